#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The shape template behind the "ФОРМА 1" threshold: an outline of two cubic Bézier curves on a
// 200 x 140 picture whose bulges are set by the program values valN1 (left) and valN2 (right). The
// threshold ifForma is the ratio of two half-heights of the upper curve, in percent.
namespace tolvane {

inline constexpr int kShapeTemplateWidth = 200;
inline constexpr int kShapeTemplateHeight = 140;
inline constexpr int kShapeTemplateAxis = kShapeTemplateHeight / 2;  // c
inline constexpr int kShapeTemplateEnd = 10;                         // the ends sit at 10 and W - 10
inline constexpr int kShapeTemplateSteps = 200;                      // t = i / 200, i = 1..200
// The points of the upper curve whose half-heights make the ratio.
inline constexpr int kShapeTemplateStep37 = 74;
inline constexpr int kShapeTemplateStep63 = 126;
// Bending stops when the moving value reaches this.
inline constexpr std::int32_t kShapeTemplateBendLimit = 150;

struct ShapeTemplate {
  std::int32_t valN1 = 40;
  std::int32_t valN2 = 90;
};

enum class TemplateCurve { kUpper, kLower };

struct TemplatePoint {
  double x = 0;
  double y = 0;
};

// The point of a curve at t = step / 200, each coordinate the sum of the four Bernstein products,
// every product rounded to a double on its own (so the ratio is the same on every machine).
TemplatePoint templateCurvePoint(const ShapeTemplate& shape, TemplateCurve curve, int step);

// The picture pixel of a curve point, both coordinates truncated toward zero; nullopt off the picture.
struct TemplatePixel {
  int x = 0;
  int y = 0;
  friend bool operator==(const TemplatePixel&, const TemplatePixel&) = default;
};
std::optional<TemplatePixel> templatePixel(TemplatePoint point);

// A control handle: a vertical pen line at x from `from` through the axis to `to` (the end point left
// out, as a 1-pixel pen does). Ends far off the picture are pulled in to just outside it, which draws
// the same pixels without walking millions of them for a wild value from the settings file.
struct TemplateHandle {
  int x = 0;
  int from = 0;
  int through = kShapeTemplateAxis;
  int to = 0;
  friend bool operator==(const TemplateHandle&, const TemplateHandle&) = default;
};
// The left handle (at x = 10, valN1) and the right one (at x = W - 10, valN2); both curves draw the
// same two, each in its own colour.
std::array<TemplateHandle, 2> templateHandles(const ShapeTemplate& shape);

// "<<": narrows the left end while valN1 < 150 and valN1 < valN2. ">>": the other way while
// valN2 < 150 and valN1 > 3. Both keep valN1 + valN2; false when the press changes nothing.
bool bendLeft(ShapeTemplate& shape);
bool bendRight(ShapeTemplate& shape);

struct TemplateHalfHeights {
  std::int64_t h37 = 0;
  std::int64_t h63 = 0;
  friend bool operator==(const TemplateHalfHeights&, const TemplateHalfHeights&) = default;
};
// |trunc(c - y)| of the upper curve at steps 74 and 126.
TemplateHalfHeights templateHalfHeights(const ShapeTemplate& shape);

// h37 / h63 * 100, computed in double and truncated toward zero. nullopt when the template gives no
// ratio: h63 is 0 (both values 0, or values of opposite sign that cancel) or the ratio does not fit a
// threshold (beyond 32 bits). The threshold then keeps its value.
std::optional<std::int32_t> templateRatio(TemplateHalfHeights heights);

// The ratio as the picture writes it: "81", or "---" when there is none.
std::string templateRatioText(std::optional<std::int32_t> ratio);

}  // namespace tolvane
