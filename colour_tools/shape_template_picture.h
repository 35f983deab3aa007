#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "service/bitmap_util_core.h"
#include "settings/shape_template.h"

// The picture of the shape template editor: the outline of a ShapeTemplate on a 200 x 140 surface.
namespace tolvane {

inline constexpr Rgb24 kUpperCurveColor{255, 0, 0};
inline constexpr Rgb24 kLowerCurveColor{0, 0, 255};
// Where the ratio is written, top left.
inline constexpr int kShapeRatioTextX = 70;
inline constexpr int kShapeRatioTextY = 45;

// What one drawing found: the half-heights, the ratio (nullopt when the template gives none) and the
// text the picture writes for it.
struct ShapeTemplateView {
  TemplateHalfHeights heights;
  std::optional<std::int32_t> ratio;
  std::string ratioText;
};

// Sizes canvas to the template picture and draws it: white, then per curve (upper, lower) the two
// handles in the curve's colour and its 200 points in black. The lower curve's handles cover the
// upper's, so they end up blue. The ratio text is left to the caller, who has the fonts.
ShapeTemplateView drawShapeTemplate(Rgb24Canvas& canvas, const ShapeTemplate& shape);

}  // namespace tolvane
