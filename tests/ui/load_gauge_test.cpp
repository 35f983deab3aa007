#include "ui/load_gauge.h"

#include <gtest/gtest.h>

#include <QImage>

namespace tolvane {
namespace {

TEST(LoadGaugeTest, StartsAtZeroOnAScaleOfHundredWithItsCaption) {
  LoadGauge gauge;
  EXPECT_EQ(gauge.caption(), QStringLiteral("НАГРУЗКА"));
  EXPECT_EQ(gauge.scale(), 100);
  EXPECT_EQ(gauge.position(), 0);
  EXPECT_DOUBLE_EQ(gauge.needleFraction(), 0.0);
}

TEST(LoadGaugeTest, PositionAndScaleAreClamped) {
  LoadGauge gauge;
  gauge.setScale(40);
  gauge.setPosition(10);
  EXPECT_DOUBLE_EQ(gauge.needleFraction(), 0.25);

  gauge.setPosition(-7);
  EXPECT_EQ(gauge.position(), 0) << "a negative position is shown as 0";

  // Above the scale (after the scale shrank): kept, but the needle stops at the end.
  gauge.setPosition(55);
  EXPECT_EQ(gauge.position(), 55);
  EXPECT_DOUBLE_EQ(gauge.needleFraction(), 1.0);

  gauge.setScale(0);
  EXPECT_EQ(gauge.scale(), 1);
  gauge.setScale(-20);
  EXPECT_EQ(gauge.scale(), 1);
  EXPECT_DOUBLE_EQ(LoadGauge::fractionOf(3, 0), 1.0);
  EXPECT_DOUBLE_EQ(LoadGauge::fractionOf(0, -5), 0.0);
}

TEST(LoadGaugeTest, BandIsDrawnOrderedAndWithinTheScale) {
  LoadGauge gauge;
  gauge.setIndicatorBand(70, 90);
  EXPECT_EQ(gauge.indicatorMin(), 70);
  EXPECT_EQ(gauge.indicatorMax(), 90);
  EXPECT_DOUBLE_EQ(gauge.bandFromFraction(), 0.7);
  EXPECT_DOUBLE_EQ(gauge.bandToFraction(), 0.9);

  // Object mode with a tiny table: MaxObject 3 gives the band -2…1.
  gauge.setScale(3);
  gauge.setIndicatorBand(3 - 5, 3 - 2);
  EXPECT_DOUBLE_EQ(gauge.bandFromFraction(), 0.0);
  EXPECT_DOUBLE_EQ(gauge.bandToFraction(), 1.0 / 3.0);

  gauge.setIndicatorBand(90, 70);
  gauge.setScale(100);
  EXPECT_DOUBLE_EQ(gauge.bandFromFraction(), 0.7);
  EXPECT_DOUBLE_EQ(gauge.bandToFraction(), 0.9);
}

TEST(LoadGaugeTest, SecondGaugeTakesOverScaleAndBandButNotPosition) {
  LoadGauge first;
  LoadGauge second;
  first.setScale(250);
  first.setIndicatorBand(245, 248);
  first.setPosition(120);
  second.setPosition(7);
  second.copyScaleAndBand(first);
  EXPECT_EQ(second.scale(), 250);
  EXPECT_EQ(second.indicatorMin(), 245);
  EXPECT_EQ(second.indicatorMax(), 248);
  EXPECT_EQ(second.position(), 7);
}

// The needle is the only red-dominated drawing besides the band; compare where it points.
int redPixelsInHalf(const QImage& image, bool leftHalf) {
  int n = 0;
  const int from = leftHalf ? 0 : image.width() / 2 + 2;
  const int to = leftHalf ? image.width() / 2 - 2 : image.width();
  for (int y = 0; y < image.height(); ++y) {
    for (int x = from; x < to; ++x) {
      const QColor c = image.pixelColor(x, y);
      n += (c.red() > 150 && c.green() < 80 && c.blue() < 80) ? 1 : 0;
    }
  }
  return n;
}

TEST(LoadGaugeTest, NeedleFollowsThePosition) {
  LoadGauge gauge;
  gauge.resize(200, 150);
  gauge.setIndicatorBand(0, 0);  // no band: only the needle is red
  gauge.setPosition(5);
  const QImage low = gauge.grab().toImage();
  gauge.setPosition(95);
  const QImage high = gauge.grab().toImage();
  EXPECT_GT(redPixelsInHalf(low, true), redPixelsInHalf(low, false));
  EXPECT_GT(redPixelsInHalf(high, false), redPixelsInHalf(high, true));
}

}  // namespace
}  // namespace tolvane
