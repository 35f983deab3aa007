#include "settings/shape_template.h"

#include <gtest/gtest.h>

#include <limits>

namespace tolvane {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(ShapeTemplate, HalfHeightsAndRatio) {
  struct Case {
    std::int32_t valN1, valN2;
    std::int64_t h37, h63;
    std::optional<std::int32_t> ratio;
  };
  const Case cases[] = {
      {40, 90, 40, 49, 81},  // the program defaults give the default threshold
      {65, 65, 45, 45, 100},
      {3, 127, 34, 56, 60},
      {39, 91, 40, 50, 80},
      {41, 89, 41, 49, 83},
      {-40, -90, 40, 49, 81},  // mirrored about the axis: the same outline upside down
      {150, -20, 60, 29, 206},
      {kMax, kMax, 1501735314, 1501735314, 100},
      // No ratio: nothing to divide by, or a ratio no threshold can hold.
      {0, 0, 0, 0, std::nullopt},
      {5, -3, 1, 0, std::nullopt},
      {kMax, -1261220556, 619763780, 0, std::nullopt},
      {kMax, -1261220559, 619763779, 1, std::nullopt},
  };
  for (const Case& c : cases) {
    const ShapeTemplate shape{c.valN1, c.valN2};
    const TemplateHalfHeights heights = templateHalfHeights(shape);
    EXPECT_EQ(heights, (TemplateHalfHeights{c.h37, c.h63})) << c.valN1 << "/" << c.valN2;
    EXPECT_EQ(templateRatio(heights), c.ratio) << c.valN1 << "/" << c.valN2;
  }
}

TEST(ShapeTemplate, RatioIsTheDoubleQuotientTruncated) {
  struct Case {
    std::int64_t h37, h63;
    std::optional<std::int32_t> ratio;
  };
  const Case cases[] = {
      {40, 49, 81},
      {49, 40, 122},
      {0, 7, 0},
      {7, 0, std::nullopt},
      // 29 / 50 is just below 0.58 in double: the threshold has always come out one lower here.
      {29, 50, 57},
      {21474836, 1, 2147483600},
      {21474837, 1, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(templateRatio({c.h37, c.h63}), c.ratio) << c.h37 << "/" << c.h63;
  }
  EXPECT_EQ(templateRatioText(81), "81");
  EXPECT_EQ(templateRatioText(100), "100");
  EXPECT_EQ(templateRatioText(std::nullopt), "---");
}

TEST(ShapeTemplate, BendsKeepTheSumAndStopAtTheirLimits) {
  struct Case {
    std::int32_t valN1, valN2;
    bool left;  // "<<" or ">>"
    bool changed;
    std::int32_t after1, after2;
  };
  const Case cases[] = {
      {40, 90, true, true, 41, 89},
      {40, 90, false, true, 39, 91},
      {65, 65, true, false, 65, 65},
      {64, 66, true, true, 65, 65},
      {3, 127, false, false, 3, 127},
      {4, 126, false, true, 3, 127},
      {149, 200, true, true, 150, 199},
      {150, 200, true, false, 150, 200},
      {100, 149, false, true, 99, 150},
      {100, 150, false, false, 100, 150},
      {0, 0, true, false, 0, 0},
      {0, 0, false, false, 0, 0},
      // Wild values from the settings file never wrap around.
      {kMin, kMax, true, true, kMin + 1, kMax - 1},
      {kMin, kMin + 1, true, true, kMin + 1, kMin},
      {kMax, kMin, false, true, kMax - 1, kMin + 1},
      {kMax, kMax, false, false, kMax, kMax},
  };
  for (const Case& c : cases) {
    ShapeTemplate shape{c.valN1, c.valN2};
    EXPECT_EQ(c.left ? bendLeft(shape) : bendRight(shape), c.changed)
        << c.valN1 << "/" << c.valN2 << (c.left ? " <<" : " >>");
    EXPECT_EQ(shape.valN1, c.after1) << c.valN1 << "/" << c.valN2;
    EXPECT_EQ(shape.valN2, c.after2) << c.valN1 << "/" << c.valN2;
  }
}

TEST(ShapeTemplate, CurvesRunBetweenTheEndsAndBulgeByTheirValues) {
  const ShapeTemplate shape{40, 90};
  struct Case {
    TemplateCurve curve;
    int step;
    double x, y;
  };
  const Case cases[] = {
      {TemplateCurve::kUpper, 0, 10, 70},
      {TemplateCurve::kUpper, 200, 190, 70},
      {TemplateCurve::kUpper, 100, 100, 70 - 0.375 * 40 - 0.375 * 90},
      {TemplateCurve::kLower, 0, 190, 70},
      {TemplateCurve::kLower, 200, 10, 70},
      {TemplateCurve::kLower, 100, 100, 70 + 0.375 * 90 + 0.375 * 40},
  };
  for (const Case& c : cases) {
    const TemplatePoint p = templateCurvePoint(shape, c.curve, c.step);
    EXPECT_DOUBLE_EQ(p.x, c.x) << c.step;
    EXPECT_DOUBLE_EQ(p.y, c.y) << c.step;
  }
}

TEST(ShapeTemplate, PixelsTruncateTowardZeroAndStayOnThePicture) {
  struct Case {
    double x, y;
    std::optional<TemplatePixel> pixel;
  };
  const Case cases[] = {
      {10.9, 29.99, TemplatePixel{10, 29}},
      {199.9, 139.9, TemplatePixel{199, 139}},
      {5.5, -0.7, TemplatePixel{5, 0}},  // toward zero, not down
      {5.5, -1.0, std::nullopt},
      {200.0, 5, std::nullopt},
      {5, 140.0, std::nullopt},
      {5, 1e12, std::nullopt},
      {5, -1e12, std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), 5, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(templatePixel({c.x, c.y}), c.pixel) << c.x << ", " << c.y;
  }
}

TEST(ShapeTemplate, HandlesAreClippedJustOutsideThePicture) {
  struct Case {
    std::int32_t valN1, valN2;
    TemplateHandle left, right;
  };
  const Case cases[] = {
      {40, 90, {10, 110, 70, 30}, {190, -1, 70, 140}},
      {0, 0, {10, 70, 70, 70}, {190, 70, 70, 70}},
      {-20, 5, {10, 50, 70, 90}, {190, 65, 70, 75}},
      {kMax, kMin, {10, 140, 70, -1}, {190, 140, 70, -1}},
  };
  for (const Case& c : cases) {
    const auto handles = templateHandles({c.valN1, c.valN2});
    EXPECT_EQ(handles[0], c.left) << c.valN1 << "/" << c.valN2;
    EXPECT_EQ(handles[1], c.right) << c.valN1 << "/" << c.valN2;
  }
}

}  // namespace
}  // namespace tolvane
