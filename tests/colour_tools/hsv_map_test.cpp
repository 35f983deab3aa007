#include "colour_tools/hsv_map.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>

namespace tolvane {
namespace {

const Rgb24Canvas& mapPicture() {
  static const Rgb24Canvas picture = [] {
    Rgb24Canvas c;
    drawHsvMapPicture(c);
    return c;
  }();
  return picture;
}

struct ReferencePoint {
  const char* name;
  int x;
  int y;
  Rgb24 colour;
  int h;
  int s;
};

TEST(HsvMapTest, ReferencePointsShowAndPickTheirColour) {
  const ReferencePoint points[] = {
      {"centre", 256, 256, {255, 255, 255}, 0, 0},
      {"right edge", 511, 256, {255, 0, 0}, 0, 255},
      {"bottom", 256, 511, {131, 255, 0}, 90, 255},
      {"top", 256, 1, {131, 0, 255}, 270, 255},
      {"left edge (cyan)", 1, 256, {0, 254, 255}, 181, 255},
      {"half way right", 384, 256, {255, 127, 127}, 0, 128},
  };
  const Rgb24Canvas& picture = mapPicture();
  ASSERT_EQ(picture.width(), kHsvMapSize);
  ASSERT_EQ(picture.height(), kHsvMapSize);
  for (const ReferencePoint& p : points) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(picture.pixel(p.x, p.y), p.colour);
    const auto picked = pickMapColour(picture, p.x, p.y);
    ASSERT_TRUE(picked.has_value());
    EXPECT_EQ(picked->h, p.h);
    EXPECT_EQ(picked->s, p.s);
    EXPECT_EQ(picked->v, 255);
  }
}

TEST(HsvMapTest, EveryDiscPixelReadsBackWhereItLies) {
  const Rgb24Canvas& picture = mapPicture();
  int discPixels = 0;
  for (int y = 0; y < kHsvMapSize; ++y) {
    for (int x = 0; x < kHsvMapSize; ++x) {
      const double dx = x - 256.0;
      const double dy = y - 256.0;
      const double d = std::hypot(dx, dy);
      const Rgb24 c = picture.pixel(x, y);
      ASSERT_FALSE(c == kRgbBlack) << x << "," << y;
      if (d > 255.0) {
        ASSERT_TRUE(c.r == c.g && c.g == c.b && c.r >= 21 && c.r <= 97) << x << "," << y;
        continue;
      }
      ++discPixels;
      const Hsv hsv = *pickMapColour(picture, x, y);
      ASSERT_EQ(hsv.s, std::lround(d)) << x << "," << y;
      if (hsv.s >= 64) {  // hue resolution of the conversions grows with saturation
        double theta = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
        double diff = std::fabs(std::remainder(hsv.h - theta, 360.0));
        ASSERT_LE(diff, 1.5) << x << "," << y;
      }
    }
  }
  EXPECT_GT(discPixels, 200000);
  // The open corners are mid grey, the border rim darker.
  EXPECT_EQ(picture.pixel(12, 12), (Rgb24{97, 97, 97}));
  EXPECT_EQ(picture.pixel(0, 0), (Rgb24{21, 21, 21}));
}

TEST(HsvMapTest, PickingGivesNothingOutsideOrOnBlack) {
  Rgb24Canvas picture = mapPicture();
  picture.putPixel(300, 300, kRgbBlack);
  const struct {
    int x, y;
  } none[] = {{-1, 0}, {0, -1}, {514, 10}, {10, 514}, {INT_MIN, INT_MAX}, {300, 300}};
  for (const auto& p : none) {
    EXPECT_FALSE(pickMapColour(picture, p.x, p.y).has_value()) << p.x << "," << p.y;
  }
  // The grey surround picks as a grey.
  EXPECT_EQ(pickMapColour(picture, 12, 12), (Hsv{0, 0, 97}));
}

TEST(HsvMapTest, MapPositionsOfTheProbes) {
  const struct {
    int h, s;
    MapPoint strip;
    MapPoint sample;
  } cases[] = {
      {0, 0, {257, 256}, {255, 255}},     {0, 255, {512, 256}, {510, 255}},
      {90, 100, {257, 356}, {255, 355}},  {180, 255, {2, 256}, {0, 255}},
      {270, 50, {257, 206}, {255, 205}},  {45, 100, {327, 326}, {326, 326}},
      {225, 100, {186, 185}, {184, 184}}, {-90, 10, {257, 246}, {255, 245}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "H " << c.h << " S " << c.s);
    EXPECT_EQ(stripProbePosition(c.h, c.s), c.strip);
    EXPECT_EQ(sampleMarkPosition(c.h, c.s), c.sample);
  }
  // Saturations far beyond the map stay defined.
  EXPECT_EQ(stripProbePosition(0, INT_MAX).x, 1000000000);
  EXPECT_EQ(sampleMarkPosition(180, INT_MAX).x, -1000000000);
}

}  // namespace
}  // namespace tolvane
