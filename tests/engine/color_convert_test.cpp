#include "engine/color_convert.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tolvane {
namespace {

TEST(RoundHalfEvenTest, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(roundHalfEven(0.5), 0.0);
  EXPECT_EQ(roundHalfEven(1.5), 2.0);
  EXPECT_EQ(roundHalfEven(2.5), 2.0);
  EXPECT_EQ(roundHalfEven(-0.5), 0.0);
  EXPECT_EQ(roundHalfEven(-1.5), -2.0);
  EXPECT_EQ(roundHalfEven(-34.5), -34.0);
  EXPECT_EQ(roundHalfEven(2.4999), 2.0);
  EXPECT_EQ(roundHalfEven(-2.5001), -3.0);
  EXPECT_EQ(roundHalfEven(0.49999999999999994), 0.0);
  EXPECT_EQ(roundHalfEven(4503599627370497.0), 4503599627370497.0);  // 2^52 + 1
  EXPECT_EQ(roundHalfEven(1e300), 1e300);
  EXPECT_TRUE(std::isinf(roundHalfEven(INFINITY)));
  EXPECT_TRUE(std::isnan(roundHalfEven(NAN)));
}

TEST(RgbToHsvTest, KnownColours) {
  EXPECT_EQ(RgbToHsv(255, 255, 0), (Hsv{60, 255, 255}));
  EXPECT_EQ(RgbToHsv(0, 255, 0), (Hsv{120, 255, 255}));
  EXPECT_EQ(RgbToHsv(0, 0, 0), (Hsv{0, 0, 0}));
  EXPECT_EQ(RgbToHsv(10, 10, 10), (Hsv{0, 0, 10}));
  EXPECT_EQ(RgbToHsv(255, 0, 0), (Hsv{0, 255, 255}));
  EXPECT_EQ(RgbToHsv(0, 0, 255), (Hsv{240, 255, 255}));
}

TEST(RgbToHsvTest, NegativeHueWrapsAndTruncatesTowardZero) {
  // R max, B > G: 60 * (0 - 1) / 255 = -0.235 truncates to 0, not -1, so no wrap.
  EXPECT_EQ(RgbToHsv(255, 0, 1).h, 0);
  // 60 * (0 - 5) / 255 = -1.18 -> -1 -> 359.
  EXPECT_EQ(RgbToHsv(255, 0, 5).h, 359);
  // Magenta: 60 * (0 - 255) / 255 = -60 -> 300.
  EXPECT_EQ(RgbToHsv(255, 0, 255).h, 300);
}

TEST(RgbToHsvTest, TiesForTheMaximumGoToRedThenGreen) {
  // R = B max: red formula, 60 * (G - B) / delta = 60 * (0 - 200) / 200 = -60 -> 300.
  EXPECT_EQ(RgbToHsv(200, 0, 200).h, 300);
  // G = B max (R smaller): green formula, 60 * (B - R) / delta + 120 = 60 + 120 = 180.
  EXPECT_EQ(RgbToHsv(0, 200, 200).h, 180);
  // R = G max: red formula, 60 * (G - B) / delta = 60.
  EXPECT_EQ(RgbToHsv(200, 200, 0).h, 60);
}

TEST(RgbToHsvTest, SaturationRoundsHalfToEvenAndInputsAreClamped) {
  // delta 1, max 2: 255 / 2 = 127.5 -> 128 (even); delta 1, max 6: 42.5 -> 42.
  EXPECT_EQ(RgbToHsv(2, 1, 1).s, 128);
  EXPECT_EQ(RgbToHsv(6, 5, 5).s, 42);
  EXPECT_EQ(RgbToHsv(300, -20, 0), RgbToHsv(255, 0, 0));
}

TEST(RgbToHsvTest, EveryColourGivesValuesInRange) {
  for (int r = 0; r < 256; r += 3) {
    for (int g = 0; g < 256; g += 5) {
      for (int b = 0; b < 256; b += 7) {
        const Hsv hsv = RgbToHsv(r, g, b);
        ASSERT_GE(hsv.h, 0);
        ASSERT_LE(hsv.h, 359);
        ASSERT_GE(hsv.s, 0);
        ASSERT_LE(hsv.s, 255);
        ASSERT_EQ(hsv.v, std::max({r, g, b}));
      }
    }
  }
}

TEST(HsvToRgbTest, KnownColours) {
  EXPECT_EQ(HsvToRgb(0, 255, 255), (RgbValues{255, 0, 0}));
  EXPECT_EQ(HsvToRgb(-1, 100, 77), (RgbValues{77, 77, 77}));
  EXPECT_EQ(HsvToRgb(120, 255, 255), (RgbValues{0, 255, 0}));
  EXPECT_EQ(HsvToRgb(240, 255, 255), (RgbValues{0, 0, 255}));
  EXPECT_EQ(HsvToRgb(200, 0, 90), (RgbValues{90, 90, 90}));
}

TEST(HsvToRgbTest, TheFactorIsNotOneSixtieth) {
  // 60 * 0.016667 = 1.00002: sextant 1 with f slightly above 0, so q truncates to 254, not 255.
  EXPECT_EQ(HsvToRgb(60, 255, 255), (RgbValues{254, 255, 0}));
  // 360 falls into the last case (i = 6), with f = 0.00012: (V, p, q).
  EXPECT_EQ(HsvToRgb(360, 255, 255), (RgbValues{255, 0, 254}));
  // 359 is still sextant 5: x = 5.983 -> (V, p, q) with q = trunc((255 - 255 * 0.98) * 255 / 255).
  const RgbValues c = HsvToRgb(359, 255, 255);
  EXPECT_EQ(c.r, 255);
  EXPECT_EQ(c.g, 0);
  EXPECT_EQ(c.b, 4);
}

TEST(HsvToRgbTest, InRangeInputsGiveInRangeOutputs) {
  for (int h = 0; h <= 400; ++h) {
    for (int s = 0; s <= 255; s += 15) {
      for (int v = 0; v <= 255; v += 17) {
        const RgbValues c = HsvToRgb(h, s, v);
        ASSERT_TRUE(c.r >= 0 && c.r <= v && c.g >= 0 && c.g <= v && c.b >= 0 && c.b <= v)
            << h << " " << s << " " << v;
      }
    }
  }
}

TEST(HsvToRgbTest, RoundTripStaysCloseForSaturatedColours) {
  // Not exact by design (trunc and the factor), but never more than a few steps off.
  for (int r = 0; r < 256; r += 51) {
    for (int g = 0; g < 256; g += 51) {
      for (int b = 0; b < 256; b += 51) {
        const Hsv hsv = RgbToHsv(r, g, b);
        const RgbValues back = HsvToRgb(hsv.h, hsv.s, hsv.v);
        EXPECT_NEAR(back.r, r, 6);
        EXPECT_NEAR(back.g, g, 6);
        EXPECT_NEAR(back.b, b, 6);
      }
    }
  }
}

}  // namespace
}  // namespace tolvane
