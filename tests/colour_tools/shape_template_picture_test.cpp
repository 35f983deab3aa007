#include "colour_tools/shape_template_picture.h"

#include <gtest/gtest.h>

#include <limits>

namespace tolvane {
namespace {

int countColour(const Rgb24Canvas& canvas, Rgb24 colour) {
  int n = 0;
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x) n += canvas.pixel(x, y) == colour ? 1 : 0;
  return n;
}

TEST(ShapeTemplatePicture, WhiteWithBlueHandlesAndBlackCurves) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    ShapeTemplate shape;
    const char* text;
    bool handles;  // any handle pixel on the picture
  };
  const Case cases[] = {
      {{40, 90}, "81", true},
      {{65, 65}, "100", true},
      {{0, 0}, "---", false},
      {{kMax, -1261220556}, "---", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shape.valN1 << "/" << c.shape.valN2);
    Rgb24Canvas canvas(5, 5);
    canvas.SetColor(kRgbWhite);  // the drawing sets its own pens
    const ShapeTemplateView view = drawShapeTemplate(canvas, c.shape);
    ASSERT_EQ(canvas.width(), 200);
    ASSERT_EQ(canvas.height(), 140);
    EXPECT_EQ(view.ratioText, c.text);
    EXPECT_EQ(view.heights, templateHalfHeights(c.shape));
    // The upper curve's red handles lie under the lower curve's blue ones.
    EXPECT_EQ(countColour(canvas, kUpperCurveColor), 0);
    EXPECT_EQ(countColour(canvas, kLowerCurveColor) > 0, c.handles);
    EXPECT_EQ(canvas.pixel(100, 139), kRgbWhite);
    int curvePixels = 0;
    for (const TemplateCurve curve : {TemplateCurve::kUpper, TemplateCurve::kLower}) {
      for (int step = 1; step <= kShapeTemplateSteps; ++step) {
        const auto pixel = templatePixel(templateCurvePoint(c.shape, curve, step));
        if (!pixel) continue;
        ++curvePixels;
        // Upper-curve points on a handle's column are painted over by the lower curve's handles.
        const bool onHandle = pixel->x == 10 || pixel->x == 190;
        if (curve == TemplateCurve::kLower || !onHandle) {
          EXPECT_EQ(canvas.pixel(pixel->x, pixel->y), kRgbBlack) << step;
        }
      }
    }
    EXPECT_GT(curvePixels, 0);
  }
}

TEST(ShapeTemplatePicture, HandlesSpanTheirValuesThroughTheAxis) {
  Rgb24Canvas canvas;
  drawShapeTemplate(canvas, {40, 90});
  struct Case {
    int x, y;
    Rgb24 colour;
  };
  const Case cases[] = {
      {10, 35, kLowerCurveColor},                                // left handle, 70 - 40 < y
      {10, 29, kRgbWhite},                                       // above its end
      {10, 110, kLowerCurveColor},                               // its start is drawn
      {10, 111, kRgbWhite},         {190, 0, kLowerCurveColor},  // the right handle runs off both edges
      {190, 139, kLowerCurveColor}, {11, 35, kRgbWhite},
  };
  for (const Case& c : cases) {
    const Rgb24 p = canvas.pixel(c.x, c.y);
    EXPECT_EQ(p, c.colour) << c.x << ", " << c.y << ": " << int(p.r) << " " << int(p.g) << " " << int(p.b);
  }
}

}  // namespace
}  // namespace tolvane
