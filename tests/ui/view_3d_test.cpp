#include "ui/view_3d.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QRect>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

std::string redSector() {
  return formatSectorLine(ColorSector{true, kSectorRed, 1, 0, 90, 100, 200, 50, 250});
}

// Pixels in a box that are clearly green (the labels' colour on black).
int greenPixels(const QImage& image, const QRect& box) {
  int count = 0;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    for (int x = box.left(); x <= box.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      count += c.green() > 100 && c.red() < 60 && c.blue() < 60;
    }
  }
  return count;
}

int pixelsOf(const QImage& image, QRgb colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      count += image.pixel(x, y) == colour;
    }
  }
  return count;
}

TEST(View3DTest, StartsBlackAtTheStartAngles) {
  const View3D view;
  EXPECT_EQ(view.tilt(), 110);
  EXPECT_EQ(view.turn(), 0);
  EXPECT_EQ(view.canvas().width(), 1000);
  EXPECT_EQ(view.canvas().height(), 1000);
  EXPECT_EQ(view.canvas().penColor(), kRgbWhite);
  const QImage image = view.viewImage(QSize(700, 550));
  ASSERT_EQ(image.size(), QSize(700, 550));
  EXPECT_EQ(pixelsOf(image, qRgb(0, 0, 0)), 700 * 550);
}

TEST(View3DTest, RedrawWritesTheLabelsInGreenBesideTheAxisEnds) {
  View3D view;
  view.redraw();
  const QImage image = view.viewImage(QSize(700, 550));
  // "H=0" from (634, 430), right of the axis end dot at (632, 434); nothing else is drawn there.
  const QRect h0(636, 430, 40, 16);
  EXPECT_GT(greenPixels(image, h0), 10);
  // "H=270" from (352, 325), right of the vertical axis, under the mesh lines.
  EXPECT_GT(greenPixels(image, QRect(354, 326, 40, 12)), 5);
  // Redraw clears: the rebuild background is gone.
  EXPECT_EQ(image.pixel(5, 5), qRgb(0, 0, 0));
}

TEST(View3DTest, RebuildDrawsTheSectorsWithoutLabels) {
  View3D view;
  view.rebuild({redSector(), "not a sector"});
  QImage image = view.viewImage(QSize(700, 550));
  EXPECT_EQ(image.pixel(5, 5), qRgb(3, 3, 3));
  EXPECT_EQ(greenPixels(image, QRect(636, 430, 40, 16)), 0);
  EXPECT_EQ(image.pixel(550, 297), qRgb(255, 0, 0));
  // The solids stay for the redraws that follow.
  view.redraw();
  image = view.viewImage(QSize(700, 550));
  EXPECT_EQ(image.pixel(550, 297), qRgb(255, 0, 0));
  view.rebuild({});
  view.redraw();
  EXPECT_EQ(pixelsOf(view.viewImage(QSize(700, 550)), qRgb(255, 0, 0)), 0);
}

TEST(View3DTest, StepsTurnTheViewAndRedraw) {
  struct Case {
    int tiltSteps;
    int turnSteps;
    int tilt;
    int turn;
  };
  const Case cases[] = {{1, 0, 111, 0}, {-1, 0, 109, 0}, {0, 1, 110, 1}, {0, -1, 110, -1}, {-110, 5, 0, 5}};
  for (const Case& c : cases) {
    View3D view;
    view.redraw();
    const QImage before = view.viewImage(QSize(700, 550));
    view.stepTilt(c.tiltSteps);
    view.stepTurn(c.turnSteps);
    EXPECT_EQ(view.tilt(), c.tilt);
    EXPECT_EQ(view.turn(), c.turn);
    EXPECT_NE(view.viewImage(QSize(700, 550)), before) << c.tilt << ", " << c.turn;
  }
}

TEST(View3DTest, ReturnToStartFramesFromTheCurrentAngles) {
  View3D view;
  view.setAngles(130, 40);
  EXPECT_EQ(view.tilt(), 130);
  EXPECT_EQ(view.turn(), 40);
  const std::vector<std::pair<int, int>> frames = view.returnToStartFrames();
  ASSERT_EQ(frames.size(), 21u);
  EXPECT_EQ(frames[0], std::make_pair(130, 40));
  EXPECT_EQ(frames[1], std::make_pair(129, 38));
  EXPECT_EQ(frames[2], std::make_pair(128, 36));
  EXPECT_EQ(frames[20], std::make_pair(110, 0));
  // Only the frames: the angles stay until the caller sets them.
  EXPECT_EQ(view.tilt(), 130);
}

TEST(View3DTest, ViewImageSizes) {
  View3D view;
  view.redraw();
  EXPECT_TRUE(view.viewImage(QSize(0, 550)).isNull());
  EXPECT_TRUE(view.viewImage(QSize(-5, -5)).isNull());
  const QImage small = view.viewImage(QSize(10, 20));
  EXPECT_EQ(small.size(), QSize(10, 20));
  // Beyond the canvas: black.
  const QImage big = view.viewImage(QSize(1200, 1000));
  ASSERT_EQ(big.size(), QSize(1200, 1000));
  EXPECT_EQ(big.pixel(1100, 500), qRgb(0, 0, 0));
  EXPECT_EQ(big.pixel(550, 297), view.viewImage(QSize(700, 550)).pixel(550, 297));
}

}  // namespace
}  // namespace tolvane
