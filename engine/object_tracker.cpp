#include "engine/object_tracker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/color_convert.h"
#include "engine/ejection_step.h"
#include "engine/line_classifier.h"
#include "engine/reject_decision.h"

namespace tolvane {

namespace {

constexpr int kImageRowsWritten = 99;  // image rows 1..99 take lines; row 100 never
constexpr int kPrefilledRows = 50;     // rows 1..50 are prefilled at creation
constexpr int kShortRunLimit = 200;    // a run must be shorter than this to be passed on
constexpr int kLongestSingleToneObject = 95;
constexpr int kSingleToneGap = 3;

// Sums in the record are 32-bit and wrap like the integers they always were; never undefined.
void addWrapping(std::int32_t& value, std::int64_t delta) {
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(delta));
}

std::int32_t low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// Lines since a stored line number, counted on the low 32 bits so that the difference stays right
// when the counter passes 2^31.
std::int32_t since(std::int64_t now, std::int32_t then) { return clockSince(now, then); }

std::int32_t toInt32(double v) {
  if (!(v == v)) {
    return 0;
  }
  return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

struct AnalysisMode {
  bool mono;           // single-tone analysis (else colour)
  int minSampleWidth;  // XMax - XMin needed for sample judging
};

// Everything one line's object analysis needs, gathered once.
struct LineWork {
  EngineState& state;
  CameraLineState& camera;
  const SorterSettings& sorter;
  const MachineSettings& machine;
  AnalysisMode mode;
  int cam;             // 0 or 1
  std::int64_t now;    // camera's line
  std::int64_t clock;  // engine clock
  FillColour prefill;
  bool measures;  // shape measures at closing
};

// ---------------------------------------------------------------------------------------------
// Measures

struct DirectClass {
  const ClassifierInputs& inputs;
  PixelClass operator()(RgbPixel p) const { return ClassifyPixel(p.r, p.g, p.b, inputs); }
};

struct FastClass {
  PixelClassifier& classifier;
  PixelClass operator()(RgbPixel p) const { return classifier.plain(p.r, p.g, p.b); }
};

RgbPixel pixelOf(FillColour fill) { return {fill.r, fill.g, fill.b}; }

// Classes of the image pixels the moment step visited, for the projection to reuse: [column][row].
using BoxClasses = std::array<std::array<PixelClass, kObjectImageSize + 1>, kObjectImageSize + 1>;

struct MomentSums {
  double sxx = 0.0;
  double syy = 0.0;
  double sxy = 0.0;
};

void clampBox(ObjectRecord& rec) {
  rec.ImgXMin = std::clamp(rec.ImgXMin, 0, kObjectImageSize);
  rec.ImgXMax = std::clamp(rec.ImgXMax, 0, kObjectImageSize);
  rec.ImgRows = std::clamp(rec.ImgRows, 0, kObjectImageSize);
  rec.BoxCentreX = rec.ImgXMin + (rec.ImgXMax - rec.ImgXMin) / 2;
  rec.HalfRows = rec.ImgRows / 2;
}

// Pixel by pixel. Sums of integers: exact in double for any live object, and no overflow for a
// damaged record.
template <typename Classify>
// Column 0 holds no image data and reads as outside.
MomentSums momentSumsDirect(const ObjectRecord& rec, Classify classify, BoxClasses* keep, RgbPixel outside) {
  MomentSums sums;
  const std::int64_t meanX = rec.MeanX;
  const std::int64_t meanY = rec.MeanY;
  // Column by column, as the image is stored; the sums are exact, so the order does not matter.
  for (int c = rec.ImgXMin; c <= rec.ImgXMax; ++c) {
    const auto dx = static_cast<double>(c - meanX);
    for (int r = 1; r <= rec.ImgRows; ++r) {
      const PixelClass cls = classify(readImagePixel(rec, c, r, outside));
      if (keep != nullptr) {
        (*keep)[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)] = cls;
      }
      if (cls == kClassBackground) {
        continue;
      }
      const auto y1 = static_cast<double>(2 * r - 1 - meanY);
      const auto y2 = static_cast<double>(2 * r - meanY);
      sums.sxx += 2.0 * dx * dx;
      sums.syy += y1 * y1 + y2 * y2;
      sums.sxy += (y1 + y2) * dx;
    }
  }
  return sums;
}

// Means this far from the image keep every term of the sums below 2^34 and every partial sum below
// 2^48, so the pixel-by-pixel sums are exact and equal the counted ones.
constexpr std::int64_t kCountedMeanLimit = std::int64_t{1} << 16;

// The same sums from pixel counts: per column the count and the sum of rows, overall the sum of
// squared rows. Classes of a whole column come from one table walk; no floating point per pixel.
MomentSums momentSumsCounted(const ObjectRecord& rec, PixelClassifier& classifier, BoxClasses& keep,
                             RgbPixel outside) {
  const std::int64_t meanX = rec.MeanX;
  const std::int64_t meanY = rec.MeanY;
  const int rows = rec.ImgRows;
  std::int64_t n = 0;
  std::int64_t rowSum = 0;
  std::int64_t rowSquares = 0;
  std::int64_t sxx = 0;
  std::int64_t sxy = 0;
  for (int c = rec.ImgXMin; c <= rec.ImgXMax; ++c) {
    PixelClass* classes = keep[static_cast<std::size_t>(c)].data();
    if (c == 0) {
      // Column 0 holds no image data and reads as outside.
      std::memset(classes + 1, classifier.plain(outside.r, outside.g, outside.b),
                  static_cast<std::size_t>(rows));
    } else {
      classifier.plainClasses(imagePixel(rec, c, 1), classes + 1, rows);
    }
    std::int64_t nc = 0;
    std::int64_t rc = 0;
    std::int64_t rr = 0;
    for (int r = 1; r <= rows; ++r) {
      const std::int64_t counted = classes[r] != kClassBackground ? 1 : 0;
      nc += counted;
      rc += counted * r;
      rr += counted * r * r;
    }
    const std::int64_t dx = c - meanX;
    sxx += 2 * dx * dx * nc;
    sxy += dx * (4 * rc - (1 + 2 * meanY) * nc);  // (y1 + y2) dx with y1 + y2 = 4r - 1 - 2 meanY
    n += nc;
    rowSum += rc;
    rowSquares += rr;
  }
  // (2r - 1 - Y)^2 + (2r - Y)^2 = 8r^2 - 4(1 + 2Y)r + (1 + Y)^2 + Y^2
  const std::int64_t syy =
      8 * rowSquares - 4 * (1 + 2 * meanY) * rowSum + n * ((1 + meanY) * (1 + meanY) + meanY * meanY);
  return {static_cast<double>(sxx), static_cast<double>(syy), static_cast<double>(sxy)};
}

void finishMoments(ObjectRecord& rec, const MomentSums& sums) {
  std::int64_t area = 2 * static_cast<std::int64_t>(rec.ImgXMax - rec.ImgXMin + 1) * rec.ImgRows;
  if (area == 0) {
    area = 1;
  }
  const double a = sums.sxx / static_cast<double>(area) + 1.0 / 12.0;
  const double b = sums.syy / static_cast<double>(area) + 1.0 / 12.0;
  const double h = sums.sxy / static_cast<double>(area) + 1.0 / 12.0;
  double q = std::sqrt((a - b) * (a - b) + 4.0 * h * h);
  const double major = 2.8284 * std::sqrt(a + b + q);
  q = std::min(q, a + b);
  const double minor = 2.8284 * std::sqrt(a + b - q);
  rec.Eks = minor == 0.0 ? 1.0 : major / minor;
  if (b > a) {
    rec.Angle = h != 0.0 ? std::atan((b - a + q) / (2.0 * h)) : std::numbers::pi / 2.0;
  } else {
    rec.Angle = (a - b + q) != 0.0 ? std::atan(2.0 * h / (a - b + q)) : 0.0;
  }
}

template <typename Classify>
void momentStepWith(ObjectRecord& rec, Classify classify, RgbPixel outside) {
  clampBox(rec);
  finishMoments(rec, momentSumsDirect(rec, classify, nullptr, outside));
}

// The moment step of a live record; keeps the classes of the box for the projection.
void momentStepLive(ObjectRecord& rec, PixelClassifier& classifier, BoxClasses& keep, RgbPixel outside) {
  clampBox(rec);
  const bool counted = std::abs(static_cast<std::int64_t>(rec.MeanX)) <= kCountedMeanLimit &&
                       std::abs(static_cast<std::int64_t>(rec.MeanY)) <= kCountedMeanLimit;
  finishMoments(rec, counted ? momentSumsCounted(rec, classifier, keep, outside)
                             : momentSumsDirect(rec, FastClass{classifier}, &keep, outside));
}

// One axis for the grid walk of a live record: every bracket is a whole number and every quotient
// on the 100 x 100 grid has been checked to stay below 2^16, so no per-point guard is needed.
struct GridAxis {
  double a;
  double b;
  double c;
  double inverse;
  std::int64_t whole;  // the length when it is a whole number (exact halves possible), else 0

  std::int32_t distance(double cross) const {
    cross = std::abs(cross);
    const double q = cross * inverse;
    auto r = static_cast<std::int64_t>(q + 0.5);
    // Only a quotient at a half needs the exact test; any other lies at least 1/(2 length) away.
    // (With whole means and axis vectors of length 20 no bracket reaches a half; kept for safety.)
    if (whole != 0 && std::abs(static_cast<double>(r) - q) > 0.5 - 1e-9) [[unlikely]] {
      const auto twice = 2 * static_cast<std::int64_t>(cross);
      if (twice == (2 * r - 1) * whole) {
        r -= (r & 1);
      } else if (twice == (2 * r + 1) * whole) {
        r += (r & 1);
      }
    }
    return static_cast<std::int32_t>(r);
  }
};

// A line through two integer points, with the distance of integer points from it.
class AxisLine {
 public:
  // direct: the plain algorithm only (no grid walk), against which the walk is tested.
  AxisLine(double px, double py, double qx, double qy, bool direct) : px_(px), py_(py), qx_(qx), qy_(qy) {
    const double squared = (px - qx) * (px - qx) + (py - qy) * (py - qy);
    length_ = std::sqrt(squared);
    exact_ = direct;
    // A whole length can give exact halves, which the walk recognises in integers.
    const bool whole = length_ == std::floor(length_) && length_ < 1e9;
    wholeLength_ = whole ? static_cast<std::int64_t>(length_) : 0;
    inverse_ = length_ > 0.0 ? 1.0 / length_ : 0.0;
  }

  // round(|Px (Qy - y) + Qx (y - Py) + x (Py - Qy)| / |PQ|); 0 when the points coincide.
  std::int32_t distance(double x, double y) const {
    if (length_ == 0.0) {
      return 0;
    }
    const double cross = px_ * (qy_ - y) + qx_ * (y - py_) + x * (py_ - qy_);
    return toInt32(roundHalfEven(std::abs(cross) / length_));
  }

  // The same bracket as A x + B y + C, for stepping along a column (integers: exact in double).
  double a() const { return py_ - qy_; }
  double b() const { return qx_ - px_; }
  double c() const { return px_ * qy_ - qx_ * py_; }

  // The line for the grid walk, or nothing when its quotients could grow large (damaged means).
  std::optional<GridAxis> gridAxis() const;

 private:
  double px_, py_, qx_, qy_;
  double length_ = 0.0;
  double inverse_ = 0.0;
  std::int64_t wholeLength_ = 0;
  bool exact_ = true;
};

struct Axes {
  AxisLine major;
  AxisLine minor;
};

Axes axesOf(const ObjectRecord& rec, bool direct) {
  const double theta = std::isfinite(rec.Angle) ? rec.Angle : 0.0;
  const double ux = roundHalfEven(20.0 * std::cos(theta));
  const double uy = roundHalfEven(20.0 * std::sin(theta));
  const double wx = roundHalfEven(20.0 * std::cos(theta - 1.57));
  const double wy = roundHalfEven(20.0 * std::sin(theta - 1.57));
  const double cx = rec.MeanX;
  const double cy = rec.MeanY;
  return {AxisLine(cx + ux, cy + uy, cx - ux, cy - uy, direct),
          AxisLine(cx + wx, cy + wy, cx - wx, cy - wy, direct)};
}

struct ProjectionSums {
  std::int64_t along = 0;   // N: distances from the minor axis
  std::int64_t across = 0;  // M: distances from the major axis
  std::int64_t count = 1;   // J
  std::int32_t length = 1;
  std::int32_t width = 1;

  void add(const Axes& axes, int c, int s) { add(axes.major.distance(c, s), axes.minor.distance(c, s)); }

  void add(std::int32_t m, std::int32_t n) {
    ++count;
    across += m;
    along += n;
    width = m > width ? m : width;
    length = n > length ? n : length;
  }
};

void finishProjection(ObjectRecord& rec, const ProjectionSums& sums) {
  rec.Length = std::max(sums.length, 1);
  rec.Width = std::max(sums.width, 1);
  rec.LengthMean =
      toInt32(roundHalfEven(4.0 * static_cast<double>(sums.along) / static_cast<double>(sums.count)));
  rec.WidthMean =
      toInt32(roundHalfEven(4.0 * static_cast<double>(sums.across) / static_cast<double>(sums.count)));
  rec.Eks =
      10.0 * static_cast<double>(sums.along) / static_cast<double>(std::max<std::int64_t>(sums.across, 1));
}

// Every column 1..100 and half-line 1..100; half-line s shows image row s div 2. Row 0 holds no image
// data and reads as outside: the picture's fill, so that an empty row never counts as product.
template <typename Classify>
void projectionStepWith(ObjectRecord& rec, Classify classify, RgbPixel outside) {
  const Axes axes = axesOf(rec, true);
  ProjectionSums sums;
  for (int c = 1; c <= kObjectImageSize; ++c) {
    for (int s = 1; s <= kObjectImageSize; ++s) {
      if (classify(readImagePixel(rec, c, s / 2, outside)) != kClassBackground) {
        sums.add(axes, c, s);
      }
    }
  }
  finishProjection(rec, sums);
}

// The walk rounds |bracket| * (1 / length) by adding a half where the direct form divides and
// rounds; both stay within a few units in the last place of the true quotient q, so they agree
// unless q lies about that close to a half. Points below 2^20 keep every bracket an exact integer.
// Over a whole length exact halves occur; they are recognised in integers. Over an irrational length
// sqrt(S), q lies at least 1/(8 q S) from any half (2 bracket - (2k + 1) sqrt(S) times its conjugate
// is a non-zero integer); with q below 2^16 and S below 2^12 that is over 4e-10, ten times the
// rounding error. Live records stay far inside these bounds; others take the direct form.
std::optional<GridAxis> AxisLine::gridAxis() const {
  constexpr double kPointLimit = 1 << 20;
  constexpr double kQuotientLimit = 1 << 16;
  constexpr double kLengthLimit = 64.0;
  if (length_ == 0.0 || exact_ || !(length_ < kLengthLimit)) {
    return std::nullopt;
  }
  for (double v : {px_, py_, qx_, qy_}) {
    if (!(std::abs(v) < kPointLimit)) {
      return std::nullopt;
    }
  }
  const GridAxis axis{a(), b(), c(), inverse_, wholeLength_};
  // The bracket is linear in column and half-line, so its extremes on the grid are at the corners.
  double largest = 0.0;
  for (double x : {1.0, 100.0}) {
    for (double y : {1.0, 100.0}) {
      largest = std::max(largest, std::abs(axis.a * x + axis.b * y + axis.c));
    }
  }
  if (!(largest * inverse_ < kQuotientLimit)) {
    return std::nullopt;
  }
  return axis;
}

// The brackets of both axes at one grid point and the sums of their distances, for the grid walk.
// With SSE2 both distances are taken at once: lane 0 the major axis, lane 1 the minor one.
class GridWalk {
 public:
  GridWalk(const GridAxis& major, const GridAxis& minor) : major_(major), minor_(minor) {
#if defined(__SSE2__)
    step_ = _mm_set_pd(minor.b, major.b);
    inverse_ = _mm_set_pd(minor.inverse, major.inverse);
    const std::int64_t wholeMask = -1;
    checkHalves_ = major.whole != 0 || minor.whole != 0;
    wholeLanes_ =
        _mm_castsi128_pd(_mm_set_epi64x(minor.whole != 0 ? wholeMask : 0, major.whole != 0 ? wholeMask : 0));
#endif
  }

  // Half-line 1 of column c.
  void startColumn(int c) {
#if defined(__SSE2__)
    brackets_ = _mm_set_pd(minor_.a * c + minor_.b + minor_.c, major_.a * c + major_.b + major_.c);
#else
    m_ = major_.a * c + major_.b + major_.c;
    n_ = minor_.a * c + minor_.b + minor_.c;
#endif
  }

  // The next half-line.
  void step() {
#if defined(__SSE2__)
    brackets_ = _mm_add_pd(brackets_, step_);
#else
    m_ += major_.b;
    n_ += minor_.b;
#endif
  }

  // Counts the current point.
  void add() {
#if defined(__SSE2__)
    const __m128d signMask = _mm_set1_pd(-0.0);
    const __m128d cross = _mm_andnot_pd(signMask, brackets_);
    const __m128d q = _mm_mul_pd(cross, inverse_);
    // Quotients stay below 2^16 on the grid (see gridAxis), so they fit the 32-bit conversion.
    __m128d rounded = _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_add_pd(q, _mm_set1_pd(0.5))));
    if (checkHalves_) {
      const __m128d off = _mm_andnot_pd(signMask, _mm_sub_pd(rounded, q));
      const __m128d near = _mm_and_pd(_mm_cmpgt_pd(off, _mm_set1_pd(0.5 - 1e-9)), wholeLanes_);
      if (_mm_movemask_pd(near) != 0) [[unlikely]] {
        // Possibly an exact half: the scalar test decides.
        alignas(16) double b[2];
        _mm_store_pd(b, brackets_);
        rounded = _mm_set_pd(minor_.distance(b[1]), major_.distance(b[0]));
      }
    }
    sums_ = _mm_add_pd(sums_, rounded);
    largest_ = _mm_max_pd(largest_, rounded);
    ++count_;
#else
    sums_.add(major_.distance(m_), minor_.distance(n_));
#endif
  }

  ProjectionSums sums() const {
#if defined(__SSE2__)
    // Whole numbers below 2^53: exact in double.
    alignas(16) double total[2];
    alignas(16) double largest[2];
    _mm_store_pd(total, sums_);
    _mm_store_pd(largest, largest_);
    ProjectionSums s;
    s.across = static_cast<std::int64_t>(total[0]);
    s.along = static_cast<std::int64_t>(total[1]);
    s.count = count_;
    s.width = static_cast<std::int32_t>(largest[0]);
    s.length = static_cast<std::int32_t>(largest[1]);
    return s;
#else
    return sums_;
#endif
  }

 private:
  GridAxis major_;
  GridAxis minor_;
#if defined(__SSE2__)
  __m128d brackets_ = _mm_setzero_pd();
  __m128d step_;
  __m128d inverse_;
  __m128d wholeLanes_;
  bool checkHalves_ = false;
  __m128d sums_ = _mm_setzero_pd();
  __m128d largest_ = _mm_set1_pd(1.0);  // Width and Length start at 1
  std::int64_t count_ = 1;
#else
  double m_ = 0.0;
  double n_ = 0.0;
  ProjectionSums sums_;
#endif
};

// The projection of a live record. Outside the box its pixels still hold what creation put there:
// the prefill in rows 1..50; row 0 (half-line 1) reads as the prefill too. That colour is classified
// once, so only the box needs the classifier, and the rest is visited only when its colour is not
// background.
void projectionStepLive(ObjectRecord& rec, PixelClassifier& classifier, FillColour prefill,
                        const BoxClasses& boxClasses) {
  FastClass classify{classifier};
  const Axes axes = axesOf(rec, false);
  std::optional<GridAxis> majorAxis = axes.major.gridAxis();
  std::optional<GridAxis> minorAxis = axes.minor.gridAxis();
  if (!majorAxis || !minorAxis) {
    projectionStepWith(rec, classify, pixelOf(prefill));
    return;
  }
  GridWalk walk(*majorAxis, *minorAxis);
  const bool fillCounts = classify(pixelOf(prefill)) != kClassBackground;
  const int firstColumn = std::max(rec.ImgXMin, 1);
  const int lastColumn = std::min(rec.ImgXMax, kObjectImageSize);
  const int lastRow = std::min(rec.ImgRows, kPrefilledRows);
  for (int c = 1; c <= kObjectImageSize; ++c) {
    const bool boxColumn = c >= firstColumn && c <= lastColumn;
    // The brackets of both distances at half-line 1, then one step of B per half-line.
    walk.startColumn(c);
    if (fillCounts) {
      walk.add();  // row 0
    }
    if (!boxColumn && !fillCounts) {
      continue;
    }
    const int boxRows = boxColumn ? lastRow : 0;
    const int lastHalfLine = fillCounts ? kObjectImageSize : std::min(2 * boxRows + 1, kObjectImageSize);
    const auto& classes = boxClasses[static_cast<std::size_t>(c)];
    // Row r shows half-lines 2r and 2r + 1. First the box rows whose two half-lines both lie on the
    // grid, without the bound tests, then whatever remains.
    const int pairRows = std::min(boxRows, (lastHalfLine - 1) / 2);
    for (int row = 1; row <= pairRows; ++row) {
      walk.step();
      if (classes[static_cast<std::size_t>(row)] != kClassBackground) {
        walk.add();
        walk.step();
        walk.add();
      } else {
        walk.step();
      }
    }
    for (int row = pairRows + 1; 2 * row <= lastHalfLine; ++row) {
      const bool counts =
          row <= boxRows ? classes[static_cast<std::size_t>(row)] != kClassBackground : fillCounts;
      walk.step();
      if (counts) {
        walk.add();
      }
      if (2 * row + 1 <= lastHalfLine) {
        walk.step();
        if (counts) {
          walk.add();
        }
      }
    }
  }
  finishProjection(rec, walk.sums());
}

// ---------------------------------------------------------------------------------------------
// Records

void clearAndPrefill(ObjectRecord& rec, int k, ObjectIndex& index, FillColour fill) {
  static_assert(sizeof rec.Image == kNewImageBytes);
  if (!index.newImageValid || !(index.newImageFill == fill)) {
    // Column-major: each column is 50 prefilled pixels followed by 50 black ones.
    for (std::size_t c = 0; c < kObjectImageSize; ++c) {
      std::uint8_t* column = index.newImage.data() + c * kObjectImageSize * 3;
      for (std::size_t r = 0; r < kObjectImageSize; ++r) {
        const bool upper = r < kPrefilledRows;
        column[3 * r] = upper ? fill.r : 0;
        column[3 * r + 1] = upper ? fill.g : 0;
        column[3 * r + 2] = upper ? fill.b : 0;
      }
    }
    index.newImageFill = fill;
    index.newImageValid = true;
  }
  const auto at = static_cast<std::size_t>(k);
  if (index.imageKnown[at] && index.prefill[at] == fill) {
    // Only the box of the previous object differs from a new image.
    const int firstColumn = std::clamp(rec.ImgXMin, 1, kObjectImageSize);
    const int lastColumn = std::clamp(rec.ImgXMax, 1, kObjectImageSize);
    const int rows = std::clamp(rec.ImgRows, 0, kImageRowsWritten);
    for (int c = firstColumn; c <= lastColumn && rows > 0; ++c) {
      const std::size_t columnStart = static_cast<std::size_t>(c - 1) * kObjectImageSize * 3;
      std::memcpy(rec.Image + columnStart, index.newImage.data() + columnStart,
                  static_cast<std::size_t>(rows) * 3);
    }
  } else {
    std::memcpy(rec.Image, index.newImage.data(), kNewImageBytes);
  }
  index.imageKnown[at] = !index.direct;
  std::memset(static_cast<void*>(&rec), 0, offsetof(ObjectRecord, Image));
  std::memset(static_cast<void*>(&rec.ImgXMin), 0, sizeof(ObjectRecord) - offsetof(ObjectRecord, ImgXMin));
}

bool continuesObject(const ObjectRecord& rec, int cam, int a, int b, bool mono) {
  if (rec.Open == 0 || rec.Done != 0 || rec.Camera != cam || rec.SampleSlot != -1) {
    return false;
  }
  const std::int64_t tolerance = mono ? 1 : 0;
  return static_cast<std::int64_t>(rec.RunMin) - tolerance <= b &&
         static_cast<std::int64_t>(rec.RunMax) + tolerance >= a;
}

void extendObject(LineWork& w, ObjectRecord& rec, int a, int b) {
  rec.XMin = std::max(std::min(rec.XMin, a), 1);
  rec.XMax = std::min(std::max(rec.XMax, b), kPixelsPerLine);
  rec.LastLine = low32(w.now);

  const std::int32_t d = since(w.now, rec.FirstLine);
  const std::int64_t row = static_cast<std::int64_t>(d) + 1;
  const bool writeImage = row > 0 && row <= kImageRowsWritten;
  const std::int64_t len = static_cast<std::int64_t>(b) - a + 1;
  const std::int64_t shift = 50 - static_cast<std::int64_t>(rec.XCentre);  // x = i + shift

  // Class counts in registers: one running total per class, not a memory round trip per pixel.
  const std::uint8_t* classMap = w.camera.ClassMap.data();
  std::int64_t counts[4] = {0, 0, 0, 0};  // classes 0, 1, 2, 4
  int at = a;
#if defined(__SSE2__)
  const int end = b + 1;
  if (b - a < 16 * 255) {
    // Sixteen pixels at a time, a byte counter per class and lane (runs are below 200 pixels, so
    // no lane passes 13; the bound keeps it below 256 whatever the run). The last, partial block
    // is masked to the run when it lies inside the map.
    const __m128i codes[4] = {_mm_set1_epi8(kClassBackground), _mm_set1_epi8(kClassColour1),
                              _mm_set1_epi8(kClassColour2), _mm_set1_epi8(kClassOther)};
    __m128i tally[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    for (; at + 16 <= end; at += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classMap + at));
      for (int k = 0; k < 4; ++k) {
        tally[k] = _mm_sub_epi8(tally[k], _mm_cmpeq_epi8(v, codes[k]));
      }
    }
    if (at < end && at + 16 <= static_cast<int>(kLineElements)) {
      // The first end - at lanes: bytes 16 - (end - at) .. 31 - (end - at) of sixteen ones, sixteen zeros.
      alignas(16) static constexpr std::uint8_t kLanes[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
      const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLanes + 16 - (end - at)));
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classMap + at));
      for (int k = 0; k < 4; ++k) {
        tally[k] = _mm_sub_epi8(tally[k], _mm_and_si128(_mm_cmpeq_epi8(v, codes[k]), lanes));
      }
      at = end;
    }
    std::int64_t seen = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i sums = _mm_sad_epu8(tally[k], _mm_setzero_si128());
      counts[k] = _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
      seen += counts[k];
    }
    if (seen != at - a) [[unlikely]] {
      // Bytes that are no class (a damaged map) count in their own slot.
      for (int j = a; j < at; ++j) {
        const std::uint8_t cls = classMap[j];
        if (cls > kClassOther || cls == 3) addWrapping(rec.ClassCount[cls], 2);
      }
    }
  }
#endif
  for (; at <= b; ++at) {
    const std::uint8_t cls = classMap[at];
    counts[0] += cls == kClassBackground;
    counts[1] += cls == kClassColour1;
    counts[2] += cls == kClassColour2;
    counts[3] += cls == kClassOther;
    if (cls > kClassOther || cls == 3) [[unlikely]] {
      addWrapping(rec.ClassCount[cls], 2);
    }
  }
  addWrapping(rec.ClassCount[kClassBackground], 2 * counts[0]);
  addWrapping(rec.ClassCount[kClassColour1], 2 * counts[1]);
  addWrapping(rec.ClassCount[kClassColour2], 2 * counts[2]);
  addWrapping(rec.ClassCount[kClassOther], 2 * counts[3]);
  const std::int64_t mass = 2 * (len - counts[0]);

  if (writeImage) {
    std::uint8_t* rowStart = imagePixel(rec, 1, static_cast<int>(row));  // column c at + 300 (c - 1)
    const std::uint8_t* mono = w.camera.LineMono.data();
    const std::uint8_t* rgb = w.camera.LineRGB.data();
    const bool isMono = w.mode.mono;
    const auto put = [&](std::uint8_t* px, std::int64_t i) {
      if (isMono) {
        const std::uint8_t v = mono[i];
        px[0] = v;
        px[1] = v;
        px[2] = v;
      } else {
        const std::uint8_t* src = rgb + 3 * i;
        px[0] = src[0];
        px[1] = src[1];
        px[2] = src[2];
      }
    };
    // Pixels left of column 2 all land in column 1 and right of column 99 in column 100: there
    // the last one written stays. Columns 2..99 take one pixel each.
    const std::int64_t leftEnd = 1 - shift;       // i <= leftEnd: column 1
    const std::int64_t rightStart = 100 - shift;  // i >= rightStart: column 100
    if (a <= leftEnd) {
      put(rowStart, std::min<std::int64_t>(b, leftEnd));
    }
    const std::int64_t from = std::max<std::int64_t>(a, leftEnd + 1);
    const std::int64_t to = std::min<std::int64_t>(b, rightStart - 1);
    if (from <= to) {
      // One loop per kind of line, values read before the stores so that the stores (which could
      // alias the line) do not force reloads.
      std::uint8_t* px = rowStart + 300 * (from + shift - 1);
      const std::int64_t count = to - from + 1;
      if (isMono) {
        const std::uint8_t* src = mono + from;
        std::int64_t j = 0;
        for (; j + 2 <= count; j += 2, px += 600) {
          const std::uint8_t v0 = src[j];
          const std::uint8_t v1 = src[j + 1];
          px[0] = v0;
          px[1] = v0;
          px[2] = v0;
          px[300] = v1;
          px[301] = v1;
          px[302] = v1;
        }
        if (j < count) {
          const std::uint8_t v = src[j];
          px[0] = v;
          px[1] = v;
          px[2] = v;
        }
      } else {
        const std::uint8_t* src = rgb + 3 * from;
        for (std::int64_t j = 0; j < count; ++j, px += 300, src += 3) {
          const std::uint8_t r = src[0];
          const std::uint8_t g = src[1];
          const std::uint8_t bl = src[2];
          px[0] = r;
          px[1] = g;
          px[2] = bl;
        }
      }
    }
    if (b >= rightStart) {
      put(rowStart + 300 * (kObjectImageSize - 1), b);
    }
  }
  addWrapping(rec.Mass, mass);
  // Sum over the run of 2x, and of 4d + 1, as closed forms.
  addWrapping(rec.MeanX, 2 * (len * shift) + (static_cast<std::int64_t>(a) + b) * len);
  addWrapping(rec.MeanY, (4 * static_cast<std::int64_t>(d) + 1) * len);
  addWrapping(rec.SumWeight, 2 * len);
  rec.ImgXMin = static_cast<std::int32_t>(std::min<std::int64_t>(rec.ImgXMin, a + shift));
  rec.ImgXMax = static_cast<std::int32_t>(std::max<std::int64_t>(rec.ImgXMax, b + shift));
  if (row > rec.ImgRows) {
    rec.ImgRows = static_cast<std::int32_t>(std::min<std::int64_t>(row, kObjectImageSize));
  }
  rec.RunMin = std::min(rec.RunMin, a);
  rec.RunMax = std::max(rec.RunMax, b);
}

int recordLimit(const MachineSettings& machine) {
  // Record 1000 is the scratch record of sample evaluation and is never handed out.
  return std::min(machine.MaxObject, kObjectTableSize - 1);
}

void createObject(LineWork& w, int a, int b) {
  EngineState& st = w.state;
  const int count = std::min(st.ObjectCount, kObjectTableSize);
  int k = 0;
  for (int i = 1; i <= count; ++i) {
    if (st.ObjectTable[i].Done != 0) {
      k = i;
      break;
    }
  }
  if (k == 0) {
    if (st.ObjectCount >= recordLimit(w.machine)) {
      return;  // table full: the run is lost
    }
    k = ++st.ObjectCount;
  }
  ObjectRecord& rec = st.ObjectTable[k];
  ObjectIndex& index = st.objectIndex;
  clearAndPrefill(rec, k, index, w.prefill);
  rec.Camera = w.cam;
  rec.Mass = 0;
  rec.SumWeight = 1;
  rec.RunMin = a;
  rec.RunMax = b;
  rec.XMin = a;
  rec.XMax = b;
  rec.FirstLine = low32(w.now);
  rec.LastLine = low32(w.now);
  rec.XCentre = a + (b - a) / 2;
  rec.ImageLeft = (a + b) / 2 - 50;
  rec.MeanX = 50;
  rec.MeanY = 0;
  rec.ImgXMin = 50;
  rec.ImgXMax = 50;
  rec.ImgRows = 1;
  rec.SampleSlot = -1;
  rec.SampleTried = 0;
  rec.Length = 1;
  rec.Width = 1;
  rec.CreatedAt = low32(w.clock);
  rec.Open = 1;
  rec.InUse = 1;
  rec.Done = 0;
  rec.DueAt = low32(w.clock + w.machine.Delay);

  index.prefill[static_cast<std::size_t>(k)] = w.prefill;
  for (int c = 0; c < kCameraCount; ++c) {
    index.open[static_cast<std::size_t>(c)].erase(k);
    index.closed[static_cast<std::size_t>(c)].erase(k);
  }
  index.open[static_cast<std::size_t>(w.cam)].insert(k, a, b);
}

// Object step for the run [a, b] (b is the background pixel after it).
void objectStep(LineWork& w, int a, int b) {
  EngineState& st = w.state;
  bool continued = false;
  if (st.objectIndex.direct) {
    const int count = std::min(st.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      ObjectRecord& rec = st.ObjectTable[k];
      if (continuesObject(rec, w.cam, a, b, w.mode.mono)) {
        extendObject(w, rec, a, b);
        continued = true;
      }
    }
  } else {
    ObjectIndex& index = st.objectIndex;
    OpenList& open = index.open[static_cast<std::size_t>(w.cam)];
    const std::int32_t tolerance = w.mode.mono ? 1 : 0;
    int candidates[kObjectTableSize + 1];
    const int n = open.overlapping(a, b, tolerance, candidates);
    int stale[kObjectTableSize + 1];
    int staleCount = 0;
    for (int c = 0; c < n; ++c) {
      const int i = candidates[c];
      const int k = open.k(i);
      ObjectRecord& rec = st.ObjectTable[k];
      if (k > st.ObjectCount || rec.Open == 0 || rec.Camera != w.cam) {
        stale[staleCount++] = k;  // closed elsewhere or beyond the table's end: it can only come back new
        continue;
      }
      if (continuesObject(rec, w.cam, a, b, w.mode.mono)) {
        extendObject(w, rec, a, b);
        open.setExtent(i, rec.RunMin, rec.RunMax);
        continued = true;
      }
    }
    for (int c = 0; c < staleCount; ++c) {
      open.erase(stale[c]);
    }
  }
  if (!continued) {
    createObject(w, a, b);
  }
}

// Bit p of the mask is set when ClassMap[p] is not background, for p in first..last; clear
// elsewhere. Sixteen bytes per comparison.
constexpr int kMaskWords = static_cast<int>((kLineElements + 63) / 64);
using PixelMask = std::array<std::uint64_t, kMaskWords>;

void fillMask(const std::uint8_t* bytes, int first, int last, PixelMask& mask) {
  const int firstWord = first >> 6;
  const int lastWord = last >> 6;
  for (int word = firstWord; word <= lastWord; ++word) {
    const int base = word * 64;
    std::uint64_t bits = 0;
    // Bytes outside the range are masked off afterwards; a word reaching past the buffer is read
    // byte by byte up to last.
    if (base + 64 > static_cast<int>(kLineElements)) {
      for (int i = 0; base + i <= last; ++i) {
        bits |= static_cast<std::uint64_t>(bytes[base + i] != 0) << i;
      }
    } else {
#if defined(__SSE2__)
      const __m128i zero = _mm_setzero_si128();
      const auto zeros = [&](int part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + base + 16 * part));
        return static_cast<std::uint64_t>(
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))));
      };
      bits = ~(zeros(0) | zeros(1) << 16 | zeros(2) << 32 | zeros(3) << 48);
#else
      for (int i = 0; i < 64; ++i) {
        bits |= static_cast<std::uint64_t>(bytes[base + i] != 0) << i;
      }
#endif
    }
    if (word == firstWord) bits &= ~std::uint64_t{0} << (first & 63);
    if (word == lastWord && (last & 63) != 63) bits &= (std::uint64_t{1} << ((last & 63) + 1)) - 1;
    mask[static_cast<std::size_t>(word)] = bits;
  }
}

// The first position from p on whose mask bit is set (Set) or clear (!Set); past the last word
// when there is none. The caller bounds the result by the range.
template <bool Set>
int nextBit(const PixelMask& mask, int p, int endWord) {
  int word = p >> 6;
  if (word > endWord) return p;
  const auto wordAt = [&](int i) {
    const std::uint64_t bits = mask[static_cast<std::size_t>(i)];
    return Set ? bits : ~bits;
  };
  std::uint64_t bits = wordAt(word) & (~std::uint64_t{0} << (p & 63));
  while (bits == 0) {
    if (++word > endWord) return word * 64;
    bits = wordAt(word);
  }
  return word * 64 + std::countr_zero(bits);
}

// Runs of the working range, passed to the object step. Returns whether any was passed.
bool findRuns(LineWork& w) {
  const std::uint8_t* classMap = w.camera.ClassMap.data();
  const int first = w.camera.WorkFirstPixel;
  const int last = w.camera.WorkLastPixel;
  const bool mono = w.mode.mono;
  bool passed = false;
  int n = 0;
  if (w.state.objectIndex.direct) {
    for (int p = first; p <= last; ++p) {
      if (classMap[p] != 0) {
        ++n;
      } else if (n > 2 && n < kShortRunLimit) {
        objectStep(w, p - n, p);
        passed = true;
        n = 0;
      }
      if (mono && n > kShortRunLimit) {
        n = 0;
      }
    }
    return passed;
  }
  if (first > last) {
    return false;
  }
  // The object step reads ClassMap but never writes it, so the mask of the whole line holds.
  PixelMask mask;
  fillMask(classMap, first, last, mask);
  const int endWord = last >> 6;
  int p = first;
  while (true) {
    const int start = nextBit<true>(mask, p, endWord);
    if (start > last) {
      break;
    }
    // A segment of class pixels; the pixel after it is background unless the range ends.
    const int end = std::min(nextBit<false>(mask, start, endWord), last + 1);
    // Per pixel the 200 rule sets 201 back to 0, so n steps through 0..200 cyclically.
    n += end - start;
    if (mono && n > kShortRunLimit) {
      n %= kShortRunLimit + 1;
    }
    if (end > last) {
      break;
    }
    // Only the first background pixel after a segment can pass a run: later ones see the same n.
    if (n > 2 && n < kShortRunLimit) {
      objectStep(w, end - n, end);
      passed = true;
      n = 0;
    }
    p = end + 1;
  }
  return passed;
}

bool closesNow(const LineWork& w, const ObjectRecord& rec) {
  if (w.mode.mono) {
    return since(w.now, rec.LastLine) > kSingleToneGap ||
           since(w.now, rec.FirstLine) >= kLongestSingleToneObject;
  }
  const int from = std::max(rec.RunMin, 1);
  const int to = std::min(rec.RunMax, kPixelsPerLine);
  const std::uint8_t* classMap = w.camera.ClassMap.data();
  int found = 0;
  for (int p = from; p <= to && found < 2; ++p) {
    found += classMap[p] != 0 ? 1 : 0;
  }
  return found < 2;
}

void closeObject(LineWork& w, int k) {
  ObjectRecord& rec = w.state.ObjectTable[k];
  rec.SumWeight = std::max(rec.SumWeight, 1);
  rec.Open = 0;
  rec.MeanX = toInt32(roundHalfEven(static_cast<double>(rec.MeanX) / rec.SumWeight));
  rec.MeanY = toInt32(roundHalfEven(static_cast<double>(rec.MeanY) / rec.SumWeight));
  rec.XCentre = static_cast<std::int32_t>(rec.XMin + (static_cast<std::int64_t>(rec.XMax) - rec.XMin) / 2);
  if (w.measures) {
    // The fill the picture was created with; row 0 and column 0 read as it.
    const FillColour prefill = w.state.objectIndex.prefill[static_cast<std::size_t>(k)];
    if (w.state.objectIndex.direct) {
      const ClassifierInputs& inputs = w.camera.classifier.inputs();
      momentStepWith(rec, DirectClass{inputs}, pixelOf(prefill));
      projectionStepWith(rec, DirectClass{inputs}, pixelOf(prefill));
    } else {
      liveShapeMeasures(rec, w.camera.classifier, prefill);
    }
  }
  w.state.objectIndex.closed[static_cast<std::size_t>(w.cam)].insert(k);
}

void closeObjects(LineWork& w) {
  EngineState& st = w.state;
  if (st.objectIndex.direct) {
    const int count = std::min(st.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      const ObjectRecord& rec = st.ObjectTable[k];
      if (rec.Open != 0 && rec.Camera == w.cam && closesNow(w, rec)) {
        closeObject(w, k);
      }
    }
    return;
  }
  OpenList& open = st.objectIndex.open[static_cast<std::size_t>(w.cam)];
  open.forEach([&](int k) {
    const ObjectRecord& rec = st.ObjectTable[k];
    if (k > st.ObjectCount || rec.Open == 0 || rec.Camera != w.cam) {
      return false;
    }
    if (closesNow(w, rec)) {
      closeObject(w, k);
      return false;
    }
    return true;
  });
}

int freeSampleSlot(const EngineState& st, int cam) {
  const int first = cam == 1 ? kSampleSlotsPerCamera : 0;
  for (int s = first; s < first + kSampleSlotsPerCamera; ++s) {
    if (st.SampleTable[s].InUse == 0) {
      return s;
    }
  }
  return -1;
}

struct CaptureFlags {
  bool scanExam;
  bool norm;
  bool brak;
};

bool awaitsJudging(const ObjectRecord& rec, int cam) {
  return rec.Open == 0 && rec.InUse != 0 && rec.Done == 0 && rec.Camera == cam && rec.SampleTried == 0;
}

void judgeObject(LineWork& w, ObjectRecord& rec, const CaptureFlags& flags) {
  if (static_cast<std::int64_t>(rec.XMax) - rec.XMin < w.mode.minSampleWidth) {
    return;
  }
  if (rec.Mass < w.machine.MinVes) {
    rec.Done = 1;  // too small: never fired, never counted
    return;
  }
  const bool captureWanted = flags.scanExam && rec.SampleSlot < 0 && (flags.brak || flags.norm);
  if (!captureWanted) {
    // The decision would change nothing but its own write.
    if (rec.Mass == 0) {
      rec.Mass = 1;
    }
    return;
  }
  const bool reject = IsReject(rec, w.sorter);
  if (!(reject ? flags.brak : flags.norm)) {
    return;
  }
  const int slot = freeSampleSlot(w.state, w.cam);
  if (slot >= 0) {
    std::memcpy(static_cast<void*>(&w.state.SampleTable[slot]), &rec, sizeof(ObjectRecord));
    rec.SampleSlot = slot;
    w.state.SamplesCaptured[static_cast<std::size_t>(w.cam)].fetch_add(1, std::memory_order_release);
  }
  rec.SampleTried = 1;
}

void judgeObjects(LineWork& w) {
  EngineState& st = w.state;
  const CaptureFlags flags{st.ScanExamSwitch.load(std::memory_order_relaxed),
                           st.SampleNormButton.load(std::memory_order_relaxed),
                           st.SampleBrakButton.load(std::memory_order_relaxed)};
  if (st.objectIndex.direct) {
    const int count = std::min(st.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      ObjectRecord& rec = st.ObjectTable[k];
      if (awaitsJudging(rec, w.cam)) {
        judgeObject(w, rec, flags);
      }
    }
    return;
  }
  RecordSet& closed = st.objectIndex.closed[static_cast<std::size_t>(w.cam)];
  closed.forEach([&](int k) {
    ObjectRecord& rec = st.ObjectTable[k];
    if (k > st.ObjectCount || !awaitsJudging(rec, w.cam)) {
      closed.erase(k);
      return;
    }
    judgeObject(w, rec, flags);
    if (!awaitsJudging(rec, w.cam)) {
      closed.erase(k);
    }
  });
}

void analyseObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                       const MachineSettings& machine, std::int64_t clock, bool mono) {
  const int cam = camera.CameraIndex == 1 ? 1 : 0;
  const bool shading = state.ColorTune.load(std::memory_order_relaxed);
  setWorkingRange(camera, state.ejection, machine);
  prepareClassifier(camera, state, sorter, machine);
  classifyLine(camera, mono ? LinePath::kMonoObject : LinePath::kColourObject, shading, nullptr);

  FillColour prefill = state.BackgroundFill;
  if (!mono && state.BrightMode.load(std::memory_order_relaxed)) {
    const auto v = static_cast<std::uint8_t>(sorter.FonMax[0]);
    prefill = {v, v, v};
  }
  const bool anyShape = sorter.enLength || sorter.enWeight || sorter.enEks || sorter.enForma;
  LineWork w{state,
             camera,
             sorter,
             machine,
             AnalysisMode{mono, mono ? 1 : 3},
             cam,
             camera.LineCounter.load(std::memory_order_relaxed),
             clock,
             prefill,
             !mono || anyShape};

  const bool passed = findRuns(w);
  closeObjects(w);
  judgeObjects(w);
  if (passed && state.CheckBox5.load(std::memory_order_relaxed)) {
    state.lineDump.addLine(camera, mono);
  }
}

}  // namespace

void analyseMonoObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                           const MachineSettings& machine, std::int64_t clock) {
  analyseObjectLine(state, camera, sorter, machine, clock, true);
}

void analyseColourObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                             const MachineSettings& machine, std::int64_t clock) {
  analyseObjectLine(state, camera, sorter, machine, clock, false);
}

void analyseLineModeLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                         const MachineSettings& machine, std::int64_t clock) {
  setWorkingRange(camera, state.ejection, machine);
  prepareClassifier(camera, state, sorter, machine);
  beginLineModeLine(state.ejection);
  classifyLine(camera, LinePath::kLineMode, state.ColorTune.load(std::memory_order_relaxed),
               state.ejection.ZoneDefects.data());
  scheduleLineMode(state.ejection, sorter, machine, camera.CameraIndex == 1 ? 1 : 0, clock,
                   state.FineTimer.load(std::memory_order_relaxed));
}

void analyseLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                 const MachineSettings& machine, std::int64_t clock) {
  if (sorter.enFast) {
    analyseLineModeLine(state, camera, sorter, machine, clock);
  } else if (state.singleToneCamera) {
    analyseMonoObjectLine(state, camera, sorter, machine, clock);
  } else {
    analyseColourObjectLine(state, camera, sorter, machine, clock);
  }
}

void momentStep(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside) {
  momentStepWith(record, DirectClass{inputs}, pixelOf(outside));
}

void projectionStep(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside) {
  projectionStepWith(record, DirectClass{inputs}, pixelOf(outside));
}

void shapeMeasures(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside) {
  momentStep(record, inputs, outside);
  projectionStep(record, inputs, outside);
}

void liveShapeMeasures(ObjectRecord& record, PixelClassifier& classifier, FillColour prefill) {
  BoxClasses boxClasses;  // filled for the box by the moment step, read only there
  momentStepLive(record, classifier, boxClasses, pixelOf(prefill));
  projectionStepLive(record, classifier, prefill, boxClasses);
}

void renderSamplePicture(const ObjectRecord& record, std::uint8_t* picture) {
  for (int r = 1; r <= kPrefilledRows; ++r) {
    for (int c = 1; c <= kObjectImageSize; ++c) {
      const std::uint8_t* px = imagePixel(record, c, r);
      for (int twice = 0; twice < 2; ++twice) {
        const int y = 2 * (r - 1) + twice;
        std::uint8_t* out = picture + 3 * (y * kObjectImageSize + (c - 1));
        out[0] = px[0];
        out[1] = px[1];
        out[2] = px[2];
      }
    }
  }
}

}  // namespace tolvane
