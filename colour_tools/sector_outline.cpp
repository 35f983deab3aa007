#include "colour_tools/sector_outline.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/color_convert.h"

namespace tolvane {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;
// Chord length of the polylines that stand for arcs; far below a visible error at these radii.
constexpr double kArcChord = 4.0;
constexpr int kMaxArcSteps = 1024;

class OutlinePainter {
 public:
  OutlinePainter(Rgb24Canvas& canvas, int offset)
      : canvas_(canvas),
        cx_(std::clamp(offset, -1000000, 1000000) + 2.0),
        cy_(std::clamp(offset, -1000000, 1000000) + 1.0) {
    // No canvas point lies farther from the centre than this; what is beyond cannot show.
    reach_ = std::fabs(cx_) + std::fabs(cy_) + canvas.width() + canvas.height() + canvas.penWidth() + 2.0;
  }

  double clampRadius(double radius) const { return std::clamp(radius, -reach_, reach_); }
  bool visible(double radius) const { return std::fabs(radius) <= reach_; }

  MapPoint at(double radius, double angleRad) const {
    return {truncated(cx_ + radius * std::cos(angleRad)), truncated(cy_ + radius * std::sin(angleRad))};
  }

  void radial(double from, double to, double angleRad) {
    const MapPoint a = at(clampRadius(from), angleRad);
    const MapPoint b = at(clampRadius(to), angleRad);
    canvas_.Line(a.x, a.y, b.x, b.y);
  }

  void arc(double radius, double startRad, double spanRad) {
    if (!visible(radius) || spanRad <= 0.0) {
      return;
    }
    const double steps = std::ceil(spanRad * std::fabs(radius) / kArcChord);
    const int n = static_cast<int>(std::clamp(steps, 1.0, static_cast<double>(kMaxArcSteps)));
    const MapPoint first = at(radius, startRad);
    canvas_.MoveTo(first.x, first.y);
    for (int i = 1; i <= n; ++i) {
      const MapPoint p = at(radius, startRad + spanRad * i / n);
      canvas_.LineTo(p.x, p.y);
    }
  }

 private:
  static int truncated(double v) { return static_cast<int>(std::trunc(std::clamp(v, -1e6, 1e6))); }

  Rgb24Canvas& canvas_;
  double cx_;
  double cy_;
  double reach_ = 0.0;
};

}  // namespace

MapPoint drawSectorOutline(Rgb24Canvas& canvas, const SectorOutlineShape& shape) {
  OutlinePainter painter(canvas, shape.offset);
  const std::int64_t a1 = shape.startAngle;
  const std::int64_t a2 = shape.endAngle;
  const double r = shape.innerRadius;
  const double bigR = shape.outerRadius;

  // Clockwise from a1 to a2, across 0° when a2 < a1; never more than a turn.
  const std::int64_t span = a2 < a1 ? ((a2 - a1) % 360 + 360) % 360 : std::min<std::int64_t>(a2 - a1, 360);
  const double startRad = static_cast<double>(a1 % 360) * kDegree;
  const double spanRad = static_cast<double>(span) * kDegree;
  const double a1Rad = static_cast<double>(a1) * kDegree;
  const double a2Rad = static_cast<double>(a2) * kDegree;

  painter.arc(bigR, startRad, spanRad);
  painter.arc(r, startRad, spanRad);
  painter.radial(r, bigR, a1Rad);
  painter.radial(r, bigR, a2Rad);

  const int penWidth = canvas.penWidth();
  canvas.setPenWidth(1);
  const auto k1 = static_cast<std::int64_t>(roundHalfEven(18.0 * a1Rad));
  auto k2 = static_cast<std::int64_t>(roundHalfEven(18.0 * a2Rad));
  if (k2 < k1) {
    k2 = static_cast<std::int64_t>(roundHalfEven(18.0 * (a2Rad + 2.0 * std::numbers::pi)));
  }
  const std::int64_t lastK = std::min(k2 - 1, k1 + kMaxHatchLines);
  for (std::int64_t k = k1 + 1; k <= lastK; ++k) {
    painter.radial(r, bigR, static_cast<double>(k) / 18.0);
  }
  const double lowRadius = painter.clampRadius(std::min(r, bigR));
  const double highRadius = painter.clampRadius(std::max(r, bigR));
  for (double radius = std::ceil(lowRadius / 8.0) * 8.0; radius <= highRadius; radius += 8.0) {
    painter.arc(radius, startRad, spanRad);
  }
  canvas.setPenWidth(penWidth);

  const double middleRadius = (r + bigR) / 2.0;
  double middleAngle = static_cast<double>(a1 + a2) / 2.0;
  if (a2 <= a1) {
    middleAngle += 180.0;
  }
  const MapPoint label =
      painter.at(painter.clampRadius(middleRadius), std::fmod(middleAngle, 360.0) * kDegree);
  const int x = label.x;
  const int y = label.y;
  canvas.FillRect(x - 8, y - 10, x + 13, y + 11, canvas.brushColor());
  canvas.MoveTo(x - 8, y - 10);
  canvas.LineTo(x + 12, y - 10);
  canvas.LineTo(x + 12, y + 10);
  canvas.LineTo(x - 8, y + 10);
  canvas.LineTo(x - 8, y - 10);
  return {x - 4, y - 6};
}

}  // namespace tolvane
