#include "ui/hsv_map_widget.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "colour_tools/map_redraw.h"
#include "colour_tools/sector_drag.h"

namespace tolvane {
namespace {

// A map pixel of saturation s whose hue is nearest to h (not every hue shows at every saturation).
QPoint mapPointOf(const HsvMapWidget& map, int h, int s) {
  const TBitMapUtil& picture = map.picture();
  QPoint best;
  int bestDiff = 1000;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const auto c = pickMapColour(picture, x, y);
      const int diff = c ? std::abs(c->h - h) : 1000;
      if (c && c->s == s && diff < bestDiff) {
        best = {x, y};
        bestDiff = diff;
      }
    }
  }
  EXPECT_LE(bestDiff, 2) << "H " << h << " S " << s;
  return best;
}

Hsv pickAt(const HsvMapWidget& map, QPoint p) { return pickMapColour(map.picture(), p.x(), p.y()).value(); }

bool hasColour(const TBitMapUtil& bitmap, Rgb24 colour) {
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      if (bitmap.pixel(x, y) == colour) return true;
    }
  }
  return false;
}

class HsvMapWidgetTest : public ::testing::Test {
 protected:
  HsvMapWidgetTest() : map(QStringLiteral("HSVpaint")) {
    QObject::connect(&map, &HsvMapWidget::pressed, [this] { events.push_back("pressed"); });
    QObject::connect(&map, &HsvMapWidget::mapRedrawn, [this] { events.push_back("redrawn"); });
    map.setSectorList(&lines, 0);
    map.show();
  }

  SectorLines lines = {
      R"(##ID="5" ##TYPE="1" ##HMIN="0" ##HMAX="90" ##SMIN="100" ##SMAX="200" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")"};
  HsvMapWidget map;
  std::vector<std::string> events;
};

TEST_F(HsvMapWidgetTest, ShowsItselfAsTheMap) {
  EXPECT_EQ(map.objectName(), QStringLiteral("HSVpaint"));
  EXPECT_EQ(map.accessibleDescription(), QStringLiteral("HSVpaint"));
  EXPECT_FALSE(map.accessibleName().isEmpty());
  EXPECT_EQ(map.size(), QSize(kHsvMapSize, kHsvMapSize));
  EXPECT_EQ(map.workingMap().pixel(460, 257), map.picture().pixel(460, 257));

  map.redrawMap();
  EXPECT_EQ(map.workingMap().pixel(460, 257), kRedSectorOutline);  // selected: thick
  EXPECT_EQ(map.grab().toImage().pixelColor(460, 257), QColor(128, 0, 0));
  EXPECT_EQ(events, (std::vector<std::string>{"redrawn"}));
}

TEST_F(HsvMapWidgetTest, DragMarksThePendingSector) {
  QSignalSpy pendingSpy(&map, &HsvMapWidget::pendingChanged);
  const QPoint from = mapPointOf(map, 300, 200);
  const QPoint over = mapPointOf(map, 330, 150);
  const QPoint to = mapPointOf(map, 20, 100);

  const int h1 = pickAt(map, from).h;
  const int h2 = pickAt(map, to).h;

  QTest::mousePress(&map, Qt::LeftButton, Qt::NoModifier, from);
  EXPECT_EQ(events, (std::vector<std::string>{"pressed", "redrawn"}));
  EXPECT_EQ(map.pending().HMIN, h1);
  EXPECT_EQ(map.pending().SMIN, 200);

  QTest::mouseMove(&map, over);
  EXPECT_TRUE(map.dragging());
  EXPECT_EQ(map.pending().HMAX, pickAt(map, over).h);
  EXPECT_TRUE(hasColour(map.workingMap(), kRubberBandColour));

  QTest::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_FALSE(map.dragging());
  const ColorSector& p = map.pending();
  EXPECT_EQ((std::vector<int>{p.HMIN, p.HMAX, p.SMIN, p.SMAX, p.VMIN, p.VMAX}),
            (std::vector<int>{h1, h2, 100, 200, 255, 255}));
  EXPECT_GT(h1, h2);  // across 0°, in the gesture's order
  EXPECT_TRUE(hasColour(map.workingMap(), kRubberBandColour));
  EXPECT_EQ(map.workingMap().pixel(460, 257), kRedSectorOutline);  // the list stays drawn under it
  EXPECT_GE(pendingSpy.count(), 3);

  // A move without a button ends a drag that lost its release.
  QTest::mousePress(&map, Qt::LeftButton, Qt::NoModifier, from);
  QTest::mouseMove(&map, over);
  ASSERT_TRUE(map.dragging());
  QMouseEvent freeMove(QEvent::MouseMove, QPointF(to), map.mapToGlobal(QPointF(to)), Qt::NoButton,
                       Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&map, &freeMove);
  EXPECT_FALSE(map.dragging());
}

TEST_F(HsvMapWidgetTest, SampleProposalAndStripProbe) {
  EXPECT_EQ(map.proposeFromSample(QImage(), {3, 3}, false), QString());
  EXPECT_EQ(map.pending().HMAX, 20);
  EXPECT_EQ(map.pending().SMIN, 50);

  QImage sample(30, 30, QImage::Format_RGB32);
  sample.fill(QColor(0, 255, 0));  // H 120 S 255 V 255
  EXPECT_EQ(map.proposeFromSample(sample, {15, 15}, false),
            QStringLiteral("Среднее значение яркости V=255.000"));
  EXPECT_EQ(map.pending().HMIN, 120);
  EXPECT_TRUE(map.pending().Active);
  EXPECT_EQ(map.workingMap().pixel(sampleMarkPosition(120, 255).x, sampleMarkPosition(120, 255).y),
            kRgbBlack);

  EXPECT_EQ(map.proposeFromSample(sample, {15, 15}, true), QString());
  EXPECT_EQ(map.pending().HMIN, 0);
  EXPECT_EQ(map.pending().VMAX, 0);

  // H 0 S 127: the cross sits at (384, 256), on the screen only.
  map.showStripProbe(QColor(255, 128, 128));
  EXPECT_EQ(map.grab().toImage().pixelColor(384 - 5, 256), QColor(Qt::black));
  EXPECT_NE(map.workingMap().pixel(384 - 5, 256), kRgbBlack);
  map.redrawMap();
  EXPECT_NE(map.grab().toImage().pixelColor(384 - 5, 256), QColor(Qt::black));
}

// Renders the map with sectors, the last drag's outline and a strip probe into
// TOLVANE_SCREENSHOT_DIR/hsv_map.png so that a person can look at it.
TEST_F(HsvMapWidgetTest, Screenshot) {
  lines.push_back(
      R"(##ID="12" ##TYPE="-1" ##HMIN="200" ##HMAX="250" ##SMIN="10" ##SMAX="90" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")");
  lines.push_back(
      R"(##ID="13" ##TYPE="2" ##HMIN="300" ##HMAX="20" ##SMIN="150" ##SMAX="250" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")");
  map.redrawMap();
  QTest::mousePress(&map, Qt::LeftButton, Qt::NoModifier, mapPointOf(map, 120, 60));
  QTest::mouseMove(&map, mapPointOf(map, 150, 200));
  QTest::mouseRelease(&map, Qt::LeftButton, Qt::NoModifier, mapPointOf(map, 160, 220));
  map.showStripProbe(QColor(40, 160, 90));
  const QImage shot = map.grab().toImage();
  ASSERT_TRUE(QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR)));
  EXPECT_TRUE(shot.save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/hsv_map.png")));
}

}  // namespace
}  // namespace tolvane
