#include "engine/shape_measures.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TOLVANE_WIDE_SHAPE_WALK 1
#endif

#include "engine/color_convert.h"
#include "engine/wide_vectors.h"

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
// Rows past the box read as background, up to a whole number of 16-row chunks, so that a column is
// taken sixteen rows at a time.
constexpr std::size_t kClassRows = 128;
using BoxClasses = std::array<std::array<PixelClass, kClassRows>, kObjectImageSize + 1>;

// Clears the classes of the rows past the box, rows + 1 up to the end of the column.
void clearRowsPastBox(PixelClass* classes, int rows) {
  const auto first = static_cast<std::size_t>(rows) + 1;
  std::memset(classes + first, kClassBackground, kClassRows - first);
}

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
  // The classifier takes sixteen pixels at a time and the rest one by one, at about twice the cost;
  // a column whose last chunk is more than half full is classified to the end of that chunk (rows of
  // the image past the box: read, then cleared).
  const int tail = rows % 16;
  const int classified = tail > 8 ? std::min(rows - tail + 16, kObjectImageSize) : rows;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi8(1);
  const __m128i sixteen = _mm_set1_epi8(16);
  __m128i squares = zero;  // sums of squared rows, 32-bit lanes: below 100 * 100 * 12544
#endif
  for (int c = rec.ImgXMin; c <= rec.ImgXMax; ++c) {
    PixelClass* classes = keep[static_cast<std::size_t>(c)].data();
    if (c == 0) {
      // Column 0 holds no image data and reads as outside.
      std::memset(classes + 1, classifier.plain(outside.r, outside.g, outside.b),
                  static_cast<std::size_t>(rows));
    } else {
      classifier.plainClasses(imagePixel(rec, c, 1), classes + 1, classified);
    }
    clearRowsPastBox(classes, rows);
    std::int64_t nc = 0;
    std::int64_t rc = 0;
#if defined(__SSE2__)
    // Per chunk of sixteen rows: the count, the sum of rows (bytes, rows up to 112) and the sum of
    // squared rows of the pixels that are not background.
    __m128i row = _mm_setr_epi8(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    __m128i counts = zero;
    __m128i rowSums = zero;
    for (int k = 0; k < rows; k += 16) {
      const __m128i cls = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classes + 1 + k));
      const __m128i background = _mm_cmpeq_epi8(cls, zero);
      const __m128i rowsHere = _mm_andnot_si128(background, row);
      counts = _mm_add_epi64(counts, _mm_sad_epu8(_mm_andnot_si128(background, one), zero));
      rowSums = _mm_add_epi64(rowSums, _mm_sad_epu8(rowsHere, zero));
      const __m128i low = _mm_unpacklo_epi8(rowsHere, zero);
      const __m128i high = _mm_unpackhi_epi8(rowsHere, zero);
      squares = _mm_add_epi32(squares, _mm_add_epi32(_mm_madd_epi16(low, low), _mm_madd_epi16(high, high)));
      row = _mm_add_epi8(row, sixteen);
    }
    // Both halves of the byte sums: count in the low, row sum in the high 32 bits of each lane.
    __m128i both = _mm_or_si128(counts, _mm_slli_epi64(rowSums, 32));
    both = _mm_add_epi64(both, _mm_unpackhi_epi64(both, both));
    nc = _mm_cvtsi128_si32(both);
    rc = _mm_cvtsi128_si32(_mm_srli_epi64(both, 32));
#else
    for (int r = 1; r <= rows; ++r) {
      const std::int64_t counted = classes[r] != kClassBackground ? 1 : 0;
      nc += counted;
      rc += counted * r;
      rowSquares += counted * r * r;
    }
#endif
    const std::int64_t dx = c - meanX;
    sxx += 2 * dx * dx * nc;
    sxy += dx * (4 * rc - (1 + 2 * meanY) * nc);  // (y1 + y2) dx with y1 + y2 = 4r - 1 - 2 meanY
    n += nc;
    rowSum += rc;
  }
#if defined(__SSE2__)
  squares = _mm_add_epi32(squares, _mm_shuffle_epi32(squares, _MM_SHUFFLE(1, 0, 3, 2)));
  squares = _mm_add_epi32(squares, _mm_shuffle_epi32(squares, _MM_SHUFFLE(2, 3, 0, 1)));
  rowSquares = _mm_cvtsi128_si32(squares);
#endif
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
  if (counted) {
    finishMoments(rec, momentSumsCounted(rec, classifier, keep, outside));
    return;
  }
  finishMoments(rec, momentSumsDirect(rec, FastClass{classifier}, &keep, outside));
  for (int c = rec.ImgXMin; c <= rec.ImgXMax; ++c) {
    clearRowsPastBox(keep[static_cast<std::size_t>(c)].data(), rec.ImgRows);
  }
}

// One axis for the grid walk of a live record: every bracket is a whole number and every quotient
// on the 100 x 100 grid has been checked to stay below 2^16, so no per-point guard is needed.
struct GridAxis {
  double a;
  double b;
  double c;
  double inverse;
  std::int64_t whole;  // the length when it is a whole number and exact halves are possible, else 0

  std::int32_t distance(double cross) const {
    cross = std::abs(cross);
    const double q = cross * inverse;
    auto r = static_cast<std::int64_t>(q + 0.5);
    // Only a quotient at a half needs the exact test; any other lies at least 1/(2 length) away.
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
  // Over a whole length an exact half needs 2 bracket = (2k + 1) length: an even length and a bracket
  // of length / 2 modulo the length. The brackets of integer points are c + g Z with g = gcd(a, b),
  // so one of them is such only when gcd(g, length) divides length / 2 - c. (It never does for a line
  // through two integer points at equal distance from an integer mean: then the walk skips the test.)
  std::int64_t halves = 0;
  if (wholeLength_ != 0 && wholeLength_ % 2 == 0) {
    const auto ia = static_cast<std::int64_t>(a());
    const auto ib = static_cast<std::int64_t>(b());
    const auto ic = static_cast<std::int64_t>(c());
    if ((wholeLength_ / 2 - ic) % std::gcd(std::gcd(ia, ib), wholeLength_) == 0) {
      halves = wholeLength_;
    }
  }
  const GridAxis axis{a(), b(), c(), inverse_, halves};
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
    wholeLanes_ =
        _mm_castsi128_pd(_mm_set_epi64x(minor.whole != 0 ? wholeMask : 0, major.whole != 0 ? wholeMask : 0));
#endif
  }

  // Whether a quotient can lie at an exact half (an axis of whole length).
  bool checksHalves() const { return major_.whole != 0 || minor_.whole != 0; }

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
    count(checksHalves() ? distances<true>(brackets_) : distances<false>(brackets_));
#else
    sums_.add(major_.distance(m_), minor_.distance(n_));
#endif
  }

  // Column c for addPair and addAt.
  void beginColumn(int c) {
#if defined(__SSE2__)
    column_ = _mm_set_pd(minor_.a * c + minor_.c, major_.a * c + major_.c);
#else
    column_ = c;
#endif
  }

  // Counts half-line s of the column begun, for an axis pair without exact halves (checksHalves()
  // false). The brackets are the same whole numbers as the walk's steps reach there.
  void addAt(int s) {
#if defined(__SSE2__)
    count(distances<false>(bracketsAt(s)));
#else
    addAtScalar(s);
#endif
  }

  // Half-lines s and s + 1 of the column begun, as addAt.
  void addPair(int s) {
#if defined(__SSE2__)
    const __m128d first = bracketsAt(s);
    __m128d q;
    const __m128d r1 = rounded(first, q);
    const __m128d r2 = rounded(_mm_add_pd(first, step_), q);
    sums_ = _mm_add_pd(sums_, _mm_add_pd(r1, r2));
    largest_ = _mm_max_pd(largest_, _mm_max_pd(r1, r2));
    count_ += 2;
#else
    addAtScalar(s);
    addAtScalar(s + 1);
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
#if defined(__SSE2__)
  __m128d bracketsAt(int s) const { return _mm_add_pd(column_, _mm_mul_pd(step_, _mm_set1_pd(s))); }

  // Both distances rounded as q + 1/2 truncated; q receives the quotients.
  __m128d rounded(__m128d brackets, __m128d& q) const {
    const __m128d cross = _mm_andnot_pd(_mm_set1_pd(-0.0), brackets);
    q = _mm_mul_pd(cross, inverse_);
    // Quotients stay below 2^16 on the grid (see gridAxis), so they fit the 32-bit conversion.
    return _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_add_pd(q, _mm_set1_pd(0.5))));
  }

  // Lanes of whole length whose quotient may be an exact half.
  __m128d nearHalf(__m128d rounded, __m128d q) const {
    const __m128d off = _mm_andnot_pd(_mm_set1_pd(-0.0), _mm_sub_pd(rounded, q));
    return _mm_and_pd(_mm_cmpgt_pd(off, _mm_set1_pd(0.5 - 1e-9)), wholeLanes_);
  }

  // The scalar test decides.
  __m128d exact(__m128d brackets) const {
    alignas(16) double b[2];
    _mm_store_pd(b, brackets);
    return _mm_set_pd(minor_.distance(b[1]), major_.distance(b[0]));
  }

  template <bool CheckHalves>
  __m128d distances(__m128d brackets) const {
    __m128d q;
    const __m128d r = rounded(brackets, q);
    if constexpr (CheckHalves) {
      if (_mm_movemask_pd(nearHalf(r, q)) != 0) [[unlikely]] {
        return exact(brackets);
      }
    }
    return r;
  }

  void count(__m128d distances) {
    sums_ = _mm_add_pd(sums_, distances);
    largest_ = _mm_max_pd(largest_, distances);
    ++count_;
  }
#else
  void addAtScalar(int s) {
    sums_.add(major_.distance(major_.a * column_ + major_.c + major_.b * s),
              minor_.distance(minor_.a * column_ + minor_.c + minor_.b * s));
  }
#endif

  GridAxis major_;
  GridAxis minor_;
#if defined(__SSE2__)
  __m128d brackets_ = _mm_setzero_pd();
  __m128d column_ = _mm_setzero_pd();
  __m128d step_;
  __m128d inverse_;
  __m128d wholeLanes_;
  __m128d sums_ = _mm_setzero_pd();
  __m128d largest_ = _mm_set1_pd(1.0);  // Width and Length start at 1
  std::int64_t count_ = 1;
#else
  double m_ = 0.0;
  double n_ = 0.0;
  int column_ = 0;
  ProjectionSums sums_;
#endif
};

// Rows 1..lastRow (at most 64) of a column's classes that are not background: bit r - 1 for row r.
// Bits past lastRow are whatever the classes there say.
std::uint64_t productRows(const PixelClass* classes, int lastRow) {
  std::uint64_t rows = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (int k = 0; k < lastRow; k += 16) {
    const __m128i cls = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classes + 1 + k));
    const auto background = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(cls, zero)));
    rows |= static_cast<std::uint64_t>(~background & 0xFFFFu) << k;
  }
#else
  for (int r = 1; r <= lastRow; ++r) {
    rows |= static_cast<std::uint64_t>(classes[r] != kClassBackground ? 1 : 0) << (r - 1);
  }
#endif
  return rows;
}

// The walk over the product pixels of the box only, row by row from a mask of each column.
void boxProductWalk(GridWalk& walk, const BoxClasses& boxClasses, int firstColumn, int lastColumn,
                    int lastRow) {
  const std::uint64_t boxRows = (std::uint64_t{1} << lastRow) - 1;  // bit r - 1: row r
  for (int c = firstColumn; c <= lastColumn; ++c) {
    std::uint64_t rows = productRows(boxClasses[static_cast<std::size_t>(c)].data(), lastRow) & boxRows;
    if (rows == 0) {
      continue;
    }
    walk.beginColumn(c);
    // Row r shows half-lines 2r and 2r + 1; the last prefilled row only the first of them.
    const std::uint64_t lastRowBit = std::uint64_t{1} << (kPrefilledRows - 1);
    if ((rows & lastRowBit) != 0) {
      walk.addAt(2 * kPrefilledRows);
      rows &= ~lastRowBit;
    }
    while (rows != 0) {
      const int row = std::countr_zero(rows) + 1;
      rows &= rows - 1;
      walk.addPair(2 * row);
    }
  }
}

#if defined(TOLVANE_WIDE_SHAPE_WALK)
// Distances of half-lines s and s + 1 of both axes: column holds their brackets at half-line 0 and
// rise the step of the brackets from there.
__attribute__((target("avx2"), always_inline)) inline __m256d wideDistances(__m256d column, __m256d rise,
                                                                            __m256d inverse) {
  const __m256d brackets = _mm256_add_pd(column, rise);
  const __m256d q = _mm256_mul_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), brackets), inverse);
  // Quotients stay below 2^16 on the grid (see gridAxis), so they fit the 32-bit conversion.
  return _mm256_cvtepi32_pd(_mm256_cvttpd_epi32(_mm256_add_pd(q, _mm256_set1_pd(0.5))));
}

// boxProductWalk with four lanes (AVX2): half-lines s and s + 1 of both axes at once, lanes major s,
// minor s, major s + 1, minor s + 1. Same brackets, same rounding, so the same sums.
__attribute__((target("avx2"))) ProjectionSums boxProductWalkWide(const GridAxis& major,
                                                                  const GridAxis& minor,
                                                                  const BoxClasses& boxClasses,
                                                                  int firstColumn, int lastColumn,
                                                                  int lastRow) {
  const __m256d step = _mm256_setr_pd(major.b, minor.b, major.b, minor.b);
  const __m256d inverse = _mm256_setr_pd(major.inverse, minor.inverse, major.inverse, minor.inverse);
  const __m256d firstHalfLine = _mm256_castsi256_pd(_mm256_setr_epi64x(-1, -1, 0, 0));
  __m256d sums = _mm256_setzero_pd();
  __m256d largest = _mm256_set1_pd(1.0);  // Width and Length start at 1
  std::int64_t count = 1;
  const std::uint64_t boxRows = (std::uint64_t{1} << lastRow) - 1;  // bit r - 1: row r
  const std::uint64_t lastRowBit = std::uint64_t{1} << (kPrefilledRows - 1);
  // Rise of the brackets from half-line 0 to half-line 2r, for row r at [r - 1]: whole numbers.
  __m256d rise[kPrefilledRows];  // a plain array: std::array would drop the vector type's attributes
  for (int row = 1; row <= lastRow; ++row) {
    rise[row - 1] = _mm256_mul_pd(step, _mm256_set1_pd(2 * row));
  }
  for (int c = firstColumn; c <= lastColumn; ++c) {
    std::uint64_t rows = productRows(boxClasses[static_cast<std::size_t>(c)].data(), lastRow) & boxRows;
    if (rows == 0) {
      continue;
    }
    const double majorColumn = major.a * c + major.c;  // brackets at half-line 0
    const double minorColumn = minor.a * c + minor.c;
    const __m256d column =
        _mm256_setr_pd(majorColumn, minorColumn, majorColumn + major.b, minorColumn + minor.b);
    count += 2 * std::popcount(rows);
    // Row r shows half-lines 2r and 2r + 1; the last prefilled row only the first of them.
    if ((rows & lastRowBit) != 0) {
      const __m256d d =
          _mm256_and_pd(wideDistances(column, rise[kPrefilledRows - 1], inverse), firstHalfLine);
      sums = _mm256_add_pd(sums, d);
      largest = _mm256_max_pd(largest, d);
      rows &= ~lastRowBit;
      --count;
    }
    while (rows != 0) {
      const auto bit = static_cast<std::size_t>(std::countr_zero(rows));
      rows &= rows - 1;
      const __m256d d = wideDistances(column, rise[bit], inverse);
      sums = _mm256_add_pd(sums, d);
      largest = _mm256_max_pd(largest, d);
    }
  }
  // Whole numbers below 2^53: exact in double, and so are their sums.
  alignas(32) double total[4];
  alignas(32) double most[4];
  _mm256_store_pd(total, sums);
  _mm256_store_pd(most, largest);
  ProjectionSums result;
  result.across = static_cast<std::int64_t>(total[0]) + static_cast<std::int64_t>(total[2]);
  result.along = static_cast<std::int64_t>(total[1]) + static_cast<std::int64_t>(total[3]);
  result.count = count;
  result.width = static_cast<std::int32_t>(std::max(most[0], most[2]));
  result.length = static_cast<std::int32_t>(std::max(most[1], most[3]));
  return result;
}
#endif

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
  if (!fillCounts && !walk.checksHalves()) {
    // Only the box's product pixels count: visit just those, row by row from a mask of the column.
#if defined(TOLVANE_WIDE_SHAPE_WALK)
    if (wideVectors()) {
      finishProjection(
          rec, boxProductWalkWide(*majorAxis, *minorAxis, boxClasses, firstColumn, lastColumn, lastRow));
      return;
    }
#endif
    boxProductWalk(walk, boxClasses, firstColumn, lastColumn, lastRow);
    finishProjection(rec, walk.sums());
    return;
  }
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
