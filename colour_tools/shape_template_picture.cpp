#include "colour_tools/shape_template_picture.h"

namespace tolvane {

ShapeTemplateView drawShapeTemplate(Rgb24Canvas& canvas, const ShapeTemplate& shape) {
  canvas.setSize(kShapeTemplateWidth, kShapeTemplateHeight);
  canvas.setPenWidth(1);
  canvas.Clear();
  const auto handles = templateHandles(shape);
  for (const TemplateCurve curve : {TemplateCurve::kUpper, TemplateCurve::kLower}) {
    canvas.SetColor(curve == TemplateCurve::kUpper ? kUpperCurveColor : kLowerCurveColor);
    for (const TemplateHandle& handle : handles) {
      canvas.MoveTo(handle.x, handle.from);
      canvas.LineTo(handle.x, handle.through);
      canvas.LineTo(handle.x, handle.to);
    }
    for (int step = 1; step <= kShapeTemplateSteps; ++step) {
      if (const auto pixel = templatePixel(templateCurvePoint(shape, curve, step))) {
        canvas.putPixel(pixel->x, pixel->y, kRgbBlack);
      }
    }
  }
  ShapeTemplateView view;
  view.heights = templateHalfHeights(shape);
  view.ratio = templateRatio(view.heights);
  view.ratioText = templateRatioText(view.ratio);
  return view;
}

}  // namespace tolvane
