#include "settings/shape_template.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvane {

namespace {

constexpr double kLeft = kShapeTemplateEnd;
constexpr double kRight = kShapeTemplateWidth - kShapeTemplateEnd;
constexpr double kAxis = kShapeTemplateAxis;

// One coordinate of the cubic: each product a double of its own, summed left to right.
double bezier(double t, double p0, double p1, double p2, double p3) {
  const double mt = 1.0 - t;
  const double a = mt * mt * mt * p0;
  const double b = 3.0 * t * mt * mt * p1;
  const double c = 3.0 * t * t * mt * p2;
  const double d = t * t * t * p3;
  return a + b + c + d;
}

// An end of a handle, pulled in to just outside the picture.
int handleEnd(std::int64_t y) {
  return static_cast<int>(std::clamp<std::int64_t>(y, -1, kShapeTemplateHeight));
}

}  // namespace

TemplatePoint templateCurvePoint(const ShapeTemplate& shape, TemplateCurve curve, int step) {
  const double t = static_cast<double>(step) / kShapeTemplateSteps;
  // valN1 and valN2 enter as doubles: any 32-bit value from the settings file is exact there.
  const double n1 = shape.valN1;
  const double n2 = shape.valN2;
  if (curve == TemplateCurve::kUpper) {
    return {bezier(t, kLeft, kLeft, kRight, kRight), bezier(t, kAxis, kAxis - n1, kAxis - n2, kAxis)};
  }
  return {bezier(t, kRight, kRight, kLeft, kLeft), bezier(t, kAxis, kAxis + n2, kAxis + n1, kAxis)};
}

std::optional<TemplatePixel> templatePixel(TemplatePoint point) {
  const double x = std::trunc(point.x);
  const double y = std::trunc(point.y);
  // Written so that a NaN fails every comparison and stays off the picture.
  if (!(x >= 0 && x < kShapeTemplateWidth && y >= 0 && y < kShapeTemplateHeight)) return std::nullopt;
  return TemplatePixel{static_cast<int>(x), static_cast<int>(y)};
}

std::array<TemplateHandle, 2> templateHandles(const ShapeTemplate& shape) {
  const std::int64_t c = kShapeTemplateAxis;
  return {TemplateHandle{kShapeTemplateEnd, handleEnd(c + shape.valN1), kShapeTemplateAxis,
                         handleEnd(c - shape.valN1)},
          TemplateHandle{kShapeTemplateWidth - kShapeTemplateEnd, handleEnd(c - shape.valN2),
                         kShapeTemplateAxis, handleEnd(c + shape.valN2)}};
}

bool bendLeft(ShapeTemplate& shape) {
  // valN2 > valN1 keeps valN2 - 1 inside 32 bits.
  if (shape.valN1 >= kShapeTemplateBendLimit || shape.valN1 >= shape.valN2) return false;
  ++shape.valN1;
  --shape.valN2;
  return true;
}

bool bendRight(ShapeTemplate& shape) {
  if (shape.valN2 >= kShapeTemplateBendLimit || shape.valN1 <= 3) return false;
  --shape.valN1;
  ++shape.valN2;
  return true;
}

TemplateHalfHeights templateHalfHeights(const ShapeTemplate& shape) {
  // |c - y| stays below 2^31 for any 32-bit valN1 and valN2, so the conversions are exact.
  auto halfHeight = [&shape](int step) {
    const TemplatePoint p = templateCurvePoint(shape, TemplateCurve::kUpper, step);
    return static_cast<std::int64_t>(std::fabs(std::trunc(kAxis - p.y)));
  };
  return {halfHeight(kShapeTemplateStep37), halfHeight(kShapeTemplateStep63)};
}

std::optional<std::int32_t> templateRatio(TemplateHalfHeights heights) {
  if (heights.h63 == 0) return std::nullopt;
  const double ratio =
      std::trunc(static_cast<double>(heights.h37) / static_cast<double>(heights.h63) * 100.0);
  if (!(ratio >= 0 && ratio <= std::numeric_limits<std::int32_t>::max())) return std::nullopt;
  return static_cast<std::int32_t>(ratio);
}

std::string templateRatioText(std::optional<std::int32_t> ratio) {
  return ratio ? std::to_string(*ratio) : std::string("---");
}

}  // namespace tolvane
