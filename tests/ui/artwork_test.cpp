#include "ui/artwork.h"

#include <gtest/gtest.h>

#include <QColor>

#include "ui/tas_switch.h"

namespace tolvane {
namespace {

TEST(ArtworkTest, SwitchFacesLeaveOutOnlyTheirBlackCorners) {
  for (const bool on : {false, true}) {
    const QImage glyph = SwitchGlyph(QSize(60, 40), on);
    ASSERT_EQ(glyph.size(), QSize(60, 40));
    EXPECT_EQ(glyph.pixel(0, glyph.height() - 1) & 0xFFFFFF, 0u) << "bottom-left is the left-out colour";
    // The middle of every row and column is face, never black.
    for (int x = 3; x < 57; ++x) {
      EXPECT_NE(glyph.pixel(x, 20) & 0xFFFFFF, 0u) << x;
    }
    for (int y = 3; y < 37; ++y) {
      EXPECT_NE(glyph.pixel(30, y) & 0xFFFFFF, 0u) << y;
    }
    // Composed on a background, the corner takes the background and the face stays.
    const QImage composed = ComposeGlyph(glyph, QColor(10, 200, 30));
    EXPECT_EQ(composed.pixel(0, 0), qRgb(10, 200, 30));
    EXPECT_EQ(composed.pixel(30, 20), glyph.pixel(30, 20));
  }
  EXPECT_NE(SwitchGlyph(QSize(60, 40), true), SwitchGlyph(QSize(60, 40), false));
  EXPECT_TRUE(SwitchGlyph(QSize(0, 10), true).isNull());
  EXPECT_EQ(BuiltinSwitchGlyph(true).size(), QSize(kBuiltinGlyphWidth, kBuiltinGlyphHeight));
}

TEST(ArtworkTest, LitSwitchShowsItsLampColour) {
  const QImage on = SwitchGlyph(QSize(60, 40), true, QColor(200, 40, 40));
  const QColor mid = on.pixelColor(30, 20);
  EXPECT_GT(mid.red(), mid.green());
  EXPECT_GT(mid.red(), mid.blue());
}

TEST(ArtworkTest, LampsShowTheirHueAndAreDarkWhenOff) {
  const struct {
    LampColor color;
    int channel;  // 0 red, 1 green, 2 blue
  } cases[] = {{LampColor::Red, 0}, {LampColor::Green, 1}, {LampColor::Blue, 2}};
  for (const auto& c : cases) {
    const QImage lit = LampImage(c.color, true, 24);
    const QImage off = LampImage(c.color, false, 24);
    ASSERT_EQ(lit.size(), QSize(24, 24));
    const QColor centreLit = lit.pixelColor(14, 14);
    const QColor centreOff = off.pixelColor(14, 14);
    const int litValues[3] = {centreLit.red(), centreLit.green(), centreLit.blue()};
    for (int k = 0; k < 3; ++k) {
      if (k != c.channel) {
        EXPECT_GT(litValues[c.channel], litValues[k]) << static_cast<int>(c.color);
      }
    }
    EXPECT_LT(centreOff.value(), centreLit.value() / 2);
    // Outside the round lamp: transparent.
    EXPECT_EQ(lit.pixelColor(0, 0).alpha(), 0);
  }
  EXPECT_TRUE(LampImage(LampColor::Red, true, 0).isNull());
}

TEST(ArtworkTest, TextureIsDarkGreyTilesSeamlesslyAndIsTheSameOnEveryStart) {
  const QImage t = BackgroundTexture();
  ASSERT_EQ(t.size(), QSize(100, 99));
  EXPECT_EQ(t, BackgroundTexture());
  long long sum = 0;
  int darkest = 255;
  int lightest = 0;
  for (int y = 0; y < t.height(); ++y) {
    for (int x = 0; x < t.width(); ++x) {
      const int v = qGray(t.pixel(x, y));
      sum += v;
      darkest = std::min(darkest, v);
      lightest = std::max(lightest, v);
    }
  }
  const double mean = static_cast<double>(sum) / (t.width() * t.height());
  EXPECT_NEAR(mean, 0x4B, 4);
  EXPECT_GT(lightest, darkest) << "a grain, not a flat colour";
  // The steps across the tile's seams are no larger than those inside it.
  int inner = 0;
  int seam = 0;
  for (int y = 0; y < t.height(); ++y) {
    for (int x = 0; x + 1 < t.width(); ++x) {
      inner = std::max(inner, std::abs(qGray(t.pixel(x, y)) - qGray(t.pixel(x + 1, y))));
    }
    seam = std::max(seam, std::abs(qGray(t.pixel(t.width() - 1, y)) - qGray(t.pixel(0, y))));
  }
  EXPECT_LE(seam, inner);
}

TEST(ArtworkTest, LampWidgetSwitchesBetweenLitAndOff) {
  Lamp lamp(LampColor::Green, nullptr, 18);
  EXPECT_EQ(lamp.size(), QSize(18, 18));
  EXPECT_TRUE(lamp.isLit());
  const QImage lit = lamp.grab().toImage();
  lamp.setLit(false);
  const QImage off = lamp.grab().toImage();
  EXPECT_NE(lit, off);
  EXPECT_GT(lit.pixelColor(10, 10).green(), off.pixelColor(10, 10).green());
}

}  // namespace
}  // namespace tolvane
