#include "engine/shape_measures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/color_convert.h"

namespace tolvane {

namespace {

constexpr int kPrefilledRows = 50;  // rows 1..50 are prefilled at creation

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

}  // namespace

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

}  // namespace tolvane
