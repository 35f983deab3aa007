#include "colour_tools/objects_3d.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "engine/color_convert.h"

namespace tolvane {

namespace {

// Far beyond the canvas, small enough that the line arithmetic below stays in 64 bits.
constexpr double kCoordinateLimit = 1e6;
constexpr double kDistance = 1000.0;
constexpr int kCentreX = 350;
constexpr int kCentreY = 300;
constexpr double kHeightOffset = -150.0;

double held(double v) {
  if (std::isnan(v)) {
    return 0.0;
  }
  return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

Point3D held(const Point3D& p) { return {held(p.x), held(p.y), held(p.z)}; }

// Sine and cosine of whole degrees, reduced first so that large angles keep their precision.
double radians(std::int64_t degrees) {
  return static_cast<double>(degrees % 360) * (std::numbers::pi / 180.0);
}

int heldInt(std::int64_t v) {
  return static_cast<int>(
      std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int heldInt(double v) {
  if (std::isnan(v)) {
    return 0;
  }
  return static_cast<int>(
      std::clamp<double>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

inline void putRaw(std::uint8_t* data, std::ptrdiff_t stride, std::int64_t x, std::int64_t y, Rgb24 c) {
  std::uint8_t* p = data + y * stride + x * 3;
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
}

// Integer line walk along the major axis; the minor coordinate at step i is the nearest one, halves
// away from the start: floor((2 i minorRun + n) / 2n). Steps whose major coordinate lies off the
// canvas are skipped without walking them.
template <typename Plot>
void walkLine(const Rgb24Canvas& canvas, ScreenPoint from, ScreenPoint to, bool includeEnd, Plot plot) {
  const std::int64_t dx = std::int64_t{to.x} - from.x;
  const std::int64_t dy = std::int64_t{to.y} - from.y;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const std::int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
  if (n == 0) {
    return;
  }
  const std::int64_t last = includeEnd ? n : n - 1;
  const std::int64_t aStart = xMajor ? from.x : from.y;
  const std::int64_t bStart = xMajor ? from.y : from.x;
  const std::int64_t aStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const std::int64_t bStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const std::int64_t minorRun = xMajor ? std::llabs(dy) : std::llabs(dx);
  const std::int64_t majorSize = xMajor ? canvas.width() : canvas.height();
  std::int64_t iLo = 0;
  std::int64_t iHi = last;
  if (aStep > 0) {
    iLo = std::max(iLo, -aStart);
    iHi = std::min(iHi, majorSize - 1 - aStart);
  } else {
    iLo = std::max(iLo, aStart - (majorSize - 1));
    iHi = std::min(iHi, aStart);
  }
  if (iLo > iHi) {
    return;
  }
  const std::int64_t twoN = 2 * n;
  const std::int64_t num = 2 * iLo * minorRun + n;
  std::int64_t q = num / twoN;
  std::int64_t r = num % twoN;
  for (std::int64_t i = iLo; i <= iHi; ++i) {
    plot(aStart + aStep * i, bStart + bStep * q, xMajor);
    r += 2 * minorRun;
    if (r >= twoN) {
      r -= twoN;
      ++q;
    }
  }
}

// Rows of the end dot: pixel centres within radius 3 of the corner point (x, y) of the box
// (x - 3, y - 3) .. (x + 3, y + 3). Offsets dy = -3..2, each with its dx range.
constexpr int kDotRows[6][2] = {{-2, 1}, {-3, 2}, {-3, 2}, {-3, 2}, {-3, 2}, {-2, 1}};

const ScreenPoint kNoScreen{};

}  // namespace

ViewRotation::ViewRotation(ViewAngles angles) : tilt_(angles.tilt != 0), turn_(angles.turn != 0) {
  if (tilt_) {
    sinTilt_ = std::sin(radians(angles.tilt));
    cosTilt_ = std::cos(radians(angles.tilt));
  }
  if (turn_) {
    sinTurn_ = std::sin(radians(angles.turn));
    cosTurn_ = std::cos(radians(angles.turn));
  }
}

Point3D ViewRotation::rotate(const Point3D& p) const {
  double y1 = p.y;
  double z1 = p.z;
  if (tilt_) {
    y1 = cosTilt_ * p.z - sinTilt_ * p.y;
    z1 = sinTilt_ * p.z + cosTilt_ * p.y;
  }
  double x2 = p.x;
  double y2 = y1;
  if (turn_) {
    y2 = sinTurn_ * p.x + cosTurn_ * y1;
    x2 = cosTurn_ * p.x - sinTurn_ * y1;
  }
  return {x2, y2, z1};
}

ScreenPoint projectPoint(const Point3D& rotated) {
  // At or behind the eye the perspective has no meaning; hold such points at the eye plane.
  const double depth = std::max(kDistance + held(rotated.y), 1.0);
  const double e = kDistance / depth;
  const double x = roundHalfEven(held(held(rotated.x) * e));
  const double y = roundHalfEven(held(held(rotated.z) * e));
  return {kCentreX + static_cast<int>(x), kCentreY - static_cast<int>(y)};
}

std::uint8_t depthGrey(const Point3D& rotated) {
  const auto t = static_cast<std::int64_t>(std::trunc(held(rotated.y) / 3.0 + 100.0));
  return static_cast<std::uint8_t>(-t);
}

Rgb24 depthDotColor(const Point3D& rotated) {
  const std::uint8_t g = depthGrey(rotated);
  const auto third = static_cast<std::int64_t>(std::trunc(held(rotated.y) / 3.0));
  return {g, g, static_cast<std::uint8_t>(100 - third)};
}

void drawThinLine(Rgb24Canvas& canvas, ScreenPoint from, ScreenPoint to, Rgb24 color) {
  std::uint8_t* data = canvas.data();
  const std::ptrdiff_t stride = canvas.stride();
  const std::int64_t w = canvas.width();
  const std::int64_t h = canvas.height();
  walkLine(canvas, from, to, false, [&](std::int64_t a, std::int64_t b, bool xMajor) {
    const std::int64_t x = xMajor ? a : b;
    const std::int64_t y = xMajor ? b : a;
    if (x >= 0 && y >= 0 && x < w && y < h) {
      putRaw(data, stride, x, y, color);
    }
  });
}

void drawThickLine(Rgb24Canvas& canvas, ScreenPoint from, ScreenPoint to, Rgb24 color) {
  std::uint8_t* data = canvas.data();
  const std::ptrdiff_t stride = canvas.stride();
  const std::int64_t w = canvas.width();
  const std::int64_t h = canvas.height();
  walkLine(canvas, from, to, true, [&](std::int64_t a, std::int64_t b, bool xMajor) {
    for (std::int64_t k = b - 1; k <= b + 1; ++k) {
      const std::int64_t x = xMajor ? a : k;
      const std::int64_t y = xMajor ? k : a;
      if (x >= 0 && y >= 0 && x < w && y < h) {
        putRaw(data, stride, x, y, color);
      }
    }
  });
}

void drawDot(Rgb24Canvas& canvas, ScreenPoint centre, Rgb24 color) {
  std::uint8_t* data = canvas.data();
  const std::ptrdiff_t stride = canvas.stride();
  for (int row = 0; row < 6; ++row) {
    const std::int64_t y = std::int64_t{centre.y} - 3 + row;
    if (y < 0 || y >= canvas.height()) {
      continue;
    }
    const std::int64_t x1 = std::max<std::int64_t>(std::int64_t{centre.x} + kDotRows[row][0], 0);
    const std::int64_t x2 =
        std::min<std::int64_t>(std::int64_t{centre.x} + kDotRows[row][1], canvas.width() - 1);
    for (std::int64_t x = x1; x <= x2; ++x) {
      putRaw(data, stride, x, y, color);
    }
  }
}

void clearCanvas(Rgb24Canvas& canvas, Rgb24 color) {
  if (color.r == color.g && color.g == color.b) {
    // One byte value throughout: the padding at row ends may take it too.
    if (canvas.data() != nullptr) {
      std::memset(canvas.data(), color.r, static_cast<std::size_t>(canvas.stride()) * canvas.height());
    }
  } else {
    canvas.FillRect(0, 0, canvas.width(), canvas.height(), color);
  }
  canvas.SetColor(color);
  canvas.MoveTo(canvas.width(), canvas.height());
}

// ---- EdgeObject3D ----

void EdgeObject3D::clear() {
  points_.clear();
  rotated_.clear();
  screen_.clear();
  dots_.clear();
  edges_.clear();
}

void EdgeObject3D::reserve(int points, int edges) {
  const auto p = static_cast<std::size_t>(std::clamp(points, 0, kMaxPoints));
  points_.reserve(p);
  rotated_.reserve(p);
  screen_.reserve(p);
  dots_.reserve(p);
  edges_.reserve(static_cast<std::size_t>(std::clamp(edges, 0, kMaxEdges)));
}

int EdgeObject3D::addPoint(const Point3D& p) {
  if (pointCount() >= kMaxPoints) {
    return 0;
  }
  points_.push_back(held(p));
  rotated_.push_back(points_.back());
  screen_.push_back(projectPoint(points_.back()));
  dots_.push_back(depthDotColor(points_.back()));
  return pointCount();
}

bool EdgeObject3D::addEdge(int from, int to) {
  if (edgeCount() >= kMaxEdges || from < 1 || to < 1 || from > pointCount() || to > pointCount()) {
    return false;
  }
  edges_.push_back({from, to});
  return true;
}

void EdgeObject3D::rotate(const ViewRotation& rotation) {
  for (std::size_t i = 0; i < points_.size(); ++i) {
    rotated_[i] = rotation.rotate(points_[i]);
    screen_[i] = projectPoint(rotated_[i]);
    dots_[i] = depthDotColor(rotated_[i]);
  }
}

ScreenPoint EdgeObject3D::screenPoint(int number) const {
  if (number < 1 || number > pointCount()) {
    return kNoScreen;
  }
  return screen_[static_cast<std::size_t>(number - 1)];
}

void EdgeObject3D::draw(Rgb24Canvas& canvas) const {
  for (const Edge& e : edges_) {
    const auto a = static_cast<std::size_t>(e.from - 1);
    const auto b = static_cast<std::size_t>(e.to - 1);
    drawThickLine(canvas, screen_[a], screen_[b], color_);
    drawDot(canvas, screen_[a], dots_[a]);
    drawDot(canvas, screen_[b], dots_[b]);
  }
}

// ---- MeshObject3D ----

MeshObject3D::MeshObject3D() {
  constexpr int kTotal = kPolylines * kPointsPerPolyline;
  points_.resize(kTotal);
  rotated_.resize(kTotal);
  screen_.resize(kTotal);
  shade_.resize(kTotal);
  std::array<Point3D, kPointsPerPolyline> profile;
  for (int k = 0; k < 16; ++k) {
    profile[static_cast<std::size_t>(k)] = {17.0 * k, 0.0, kHeightOffset};
    profile[static_cast<std::size_t>(16 + k)] = {255.0, 0.0, kHeightOffset + 17.0 * k};
    profile[static_cast<std::size_t>(32 + k)] = {255.0 - 17.0 * k, 0.0, 105.0};
  }
  for (int j = 0; j < kPolylines; ++j) {
    const double c = std::cos(radians(10 * j));
    const double s = std::sin(radians(10 * j));
    for (int k = 0; k < kPointsPerPolyline; ++k) {
      const Point3D& p = profile[static_cast<std::size_t>(k)];
      points_[slot(j, k)] = {p.x * c - p.y * s, p.x * s + p.y * c, p.z};
    }
  }
  rotate(ViewRotation(ViewAngles{}));
}

void MeshObject3D::rotate(const ViewRotation& rotation) {
  for (std::size_t i = 0; i < points_.size(); ++i) {
    rotated_[i] = rotation.rotate(points_[i]);
    screen_[i] = projectPoint(rotated_[i]);
    const std::uint8_t g = depthGrey(rotated_[i]);
    shade_[i] = {g, g, g};
  }
}

void MeshObject3D::draw(Rgb24Canvas& canvas) const {
  for (int k = 0; k < kPointsPerPolyline; ++k) {
    for (int j = 0; j < kPolylines; ++j) {
      const std::size_t a = slot(j, k);
      const std::size_t b = slot((j + 1) % kPolylines, k);
      drawThinLine(canvas, screen_[a], screen_[b], shade_[a]);
    }
  }
  for (int j = 0; j < kPolylines; ++j) {
    for (int k = 0; k + 1 < kPointsPerPolyline; ++k) {
      const std::size_t a = slot(j, k);
      drawThinLine(canvas, screen_[a], screen_[a + 1], shade_[a]);
    }
  }
}

// ---- Sector solids ----

SolidAngles sectorSolidAngles(const ColorSector& sector) {
  SolidAngles angles;
  const std::int64_t hMin = sector.HMIN;
  std::int64_t hMax = sector.HMAX;
  if (hMin > hMax) {
    hMax += 360;
  }
  if (hMin > hMax) {
    return angles;
  }
  const std::int64_t steps = (hMax - hMin) / 10 + 1;
  angles.count = static_cast<int>(std::min<std::int64_t>(steps, kMaxSolidAngles));
  for (int k = 0; k < angles.count; ++k) {
    angles.degrees[static_cast<std::size_t>(k)] = hMin + 10 * std::int64_t{k};
  }
  return angles;
}

Rgb24 sectorSolidColor(const ColorSector& sector) {
  constexpr Rgb24 kInactive{128, 128, 128};
  if (!sector.Active) {
    return kInactive;
  }
  switch (sector.Type) {
    case kSectorBackground:
      return kRgbWhite;
    case kSectorRed:
      return {255, 0, 0};
    case kSectorBlue:
      return {0, 0, 255};
    case kSectorBlueBackground:
      return {120, 190, 255};
    case kSectorBlackBackground:
      return {80, 80, 80};
    default:
      return kInactive;
  }
}

void buildSectorSolid(const ColorSector& sector, EdgeObject3D& solid) {
  solid.clear();
  solid.setColor(sectorSolidColor(sector));
  const SolidAngles angles = sectorSolidAngles(sector);
  const int m = angles.count;
  if (m == 0) {
    return;
  }
  const double sMin = std::clamp(sector.SMIN, 0, 255);
  const double sMax = std::clamp(sector.SMAX, 0, 255);
  const double zBottom = std::clamp(sector.VMIN, 0, 255) + kHeightOffset;
  const double zTop = std::clamp(sector.VMAX, 0, 255) + kHeightOffset;
  std::array<double, kMaxSolidAngles> cosA{};
  std::array<double, kMaxSolidAngles> sinA{};
  for (std::size_t k = 0; k < static_cast<std::size_t>(m); ++k) {
    cosA[k] = std::cos(radians(angles.degrees[k]));
    sinA[k] = std::sin(radians(angles.degrees[k]));
  }
  solid.reserve(4 * m, 6 * m);
  // Ring at height z: outer arc up the angles, inner arc back down, closed.
  const auto ring = [&](double z) {
    const int first = solid.pointCount() + 1;
    for (int k = 0; k < m; ++k) {
      const auto i = static_cast<std::size_t>(k);
      solid.addPoint({sMax * cosA[i], sMax * sinA[i], z});
    }
    for (int k = m - 1; k >= 0; --k) {
      const auto i = static_cast<std::size_t>(k);
      solid.addPoint({sMin * cosA[i], sMin * sinA[i], z});
    }
    for (int i = 0; i < 2 * m; ++i) {
      solid.addEdge(first + i, first + (i + 1) % (2 * m));
    }
  };
  ring(zBottom);
  ring(zTop);
  const int top = 2 * m;
  for (int k = 0; k < m; ++k) {
    const int outer = 1 + k;
    const int inner = 1 + m + (m - 1 - k);
    solid.addEdge(outer, top + outer);
    solid.addEdge(inner, top + inner);
  }
}

// ---- Objects3D ----

Objects3D::Objects3D() {
  axes_.setColor(kAxesColor);
  axes_.addPoint({0, 0, -150});
  axes_.addPoint({296, 0, -150});
  axes_.addPoint({0, 296, -150});
  axes_.addPoint({-300, 0, -150});
  axes_.addPoint({0, -300, -150});
  axes_.addPoint({0, 0, 150});
  for (int p = 2; p <= 6; ++p) {
    axes_.addEdge(1, p);
  }
  solids_.resize(kMaxSolids);
  for (EdgeObject3D& solid : solids_) {
    solid.reserve(4 * kMaxSolidAngles, 6 * kMaxSolidAngles);
  }
  rotateAll();
}

void Objects3D::stepTilt(int delta) { angles_.tilt = heldInt(std::int64_t{angles_.tilt} + delta); }

void Objects3D::stepTurn(int delta) { angles_.turn = heldInt(std::int64_t{angles_.turn} + delta); }

void Objects3D::rotateAll() {
  const ViewRotation rotation(angles_);
  axes_.rotate(rotation);
  mesh_.rotate(rotation);
  for (int i = 0; i < solidCount_; ++i) {
    solids_[static_cast<std::size_t>(i)].rotate(rotation);
  }
}

void Objects3D::rebuild(Rgb24Canvas& canvas, const SectorLines& lines) {
  solidCount_ = 0;
  for (const std::string& line : lines) {
    if (solidCount_ == kMaxSolids) {
      break;  // no room in the view; the list keeps them
    }
    const std::optional<ColorSector> sector = parseSectorLine(line);
    if (!sector) {
      continue;
    }
    buildSectorSolid(*sector, solids_[static_cast<std::size_t>(solidCount_)]);
    ++solidCount_;
  }
  clearCanvas(canvas, kRebuildBackground);
  rotateAll();
  axes_.draw(canvas);
  mesh_.draw(canvas);
  for (int i = 0; i < solidCount_; ++i) {
    solids_[static_cast<std::size_t>(i)].draw(canvas);
  }
}

ViewLabels Objects3D::labels() const {
  static constexpr std::array<std::string_view, 5> kTexts = {"H=0", "H=90", "H=180", "H=270", "V=255"};
  ViewLabels result;
  for (int i = 0; i < 5; ++i) {
    const ScreenPoint p = axes_.screenPoint(i + 2);
    result[static_cast<std::size_t>(i)] = {p.x + 2, p.y - 4, kTexts[static_cast<std::size_t>(i)]};
  }
  return result;
}

ViewLabels Objects3D::redraw(Rgb24Canvas& canvas, const LabelWriter& writeLabels) {
  clearCanvas(canvas, kRgbBlack);
  rotateAll();
  axes_.draw(canvas);
  const ViewLabels result = labels();
  if (writeLabels) {
    writeLabels(result);
  }
  mesh_.draw(canvas);
  for (int i = 0; i < solidCount_; ++i) {
    solids_[static_cast<std::size_t>(i)].draw(canvas);
  }
  return result;
}

std::vector<ViewAngles> Objects3D::returnToStartFrames(ViewAngles from) {
  const ViewAngles start;
  std::vector<ViewAngles> frames;
  frames.reserve(21);
  for (int n = 20; n >= 0; --n) {
    const double tilt = roundHalfEven((static_cast<double>(from.tilt) - start.tilt) / 20.0 * n) + start.tilt;
    const double turn = roundHalfEven(static_cast<double>(from.turn) / 20.0 * n);
    frames.push_back({heldInt(tilt), heldInt(turn)});
  }
  return frames;
}

}  // namespace tolvane
