// The samples page through its widgets: a few samples placed in the engine's sample table, then
// touches on the lists' boxes, the mask and channel switches, the pictures, clearing, catching, the
// sample file, and a screenshot of the page with samples.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <memory>
#include <mutex>

#include "app/machine.h"
#include "app/page_data.h"
#include "app/page_data_controller.h"
#include "app/page_one_chanal.h"
#include "app/page_settings.h"
#include "engine/engine_state.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::AccessibleDriver;
using test::WindowRig;

// With the ranges of kTwoCameraSettings: 230 background, 150 colour 1, 60 colour 2.
constexpr std::uint8_t kPlate = 230;
constexpr std::uint8_t kGrain = 150;
constexpr std::uint8_t kSpot = 60;

// A grain of colour 1 with a spot of colour 2, centred at image column `centre`.
ObjectRecord grainSample(int camera, int centre, int spot) {
  ObjectRecord s{};
  for (int c = 1; c <= 100; ++c) {
    for (int r = 1; r <= 50; ++r) {
      const int dx = c - centre;
      const int dy = r - 22;
      std::uint8_t grey = kPlate;
      if (dx * dx * 4 + dy * dy * 9 <= 900) grey = kGrain;
      if (dx * dx + (dy - 2) * (dy - 2) <= spot * spot) grey = kSpot;
      writeImagePixel(s, c, r,
                      {grey, static_cast<std::uint8_t>(grey - 10), static_cast<std::uint8_t>(grey - 20)});
    }
  }
  s.InUse = 1;
  s.Camera = camera;
  s.XCentre = 700;
  s.MeanX = centre;
  s.MeanY = 44;
  s.ImgXMin = centre - 16;
  s.ImgXMax = centre + 16;
  s.ImgRows = 34;
  s.Mass = 1200;
  s.ClassCount[1] = 1000;
  s.ClassCount[2] = 200;
  s.Length = 31;
  s.Width = 19;
  return s;
}

struct Rig {
  Rig() {
    window.writeSettings(test::kTwoCameraSettings);
    form = &window.create();
    test::stopTimers(*form);
    form->applyScreenSize(QSize(1024, 768));
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form));
    form->enterSetupMode();
    form->showPage(form->tabData());
    {
      EngineState& engine = window.machine().engine();
      std::lock_guard lock(engine.engineLock);
      engine.SampleTable[0] = grainSample(0, 50, 0);
      engine.SampleTable[1] = grainSample(0, 45, 5);
      engine.SampleTable[6] = grainSample(1, 55, 3);
    }
    controller = &form->dataController();
    controller->rebuildThumbnails();
    driver = std::make_unique<AccessibleDriver>(form);
  }

  PageData& page() { return *form->tabData(); }
  EngineState& engine() { return window.machine().engine(); }
  ObjectRecord slot(int k) {
    std::lock_guard lock(engine().engineLock);
    return engine().SampleTable[k];
  }
  QListWidget* list(int camera) { return camera == 0 ? page().SampleBox1 : page().SampleBox2; }
  QRect itemRect(int k) {
    const int camera = k < 6 ? 0 : 1;
    return list(camera)->visualRect(list(camera)->model()->index(k - (camera == 0 ? 0 : 6), 0));
  }
  // Touch at an offset from the item's top-left corner.
  void touchItem(int k, QPoint offset) {
    const int camera = k < 6 ? 0 : 1;
    QTest::mouseClick(list(camera)->viewport(), Qt::LeftButton, {}, itemRect(k).topLeft() + offset);
  }
  // Inside the boxes of a 114 x 110 item (dx 7, dy 5).
  void touchOccupancy(int k) { touchItem(k, {7 + 7, 5 + 92}); }
  void touchMarking(int k) { touchItem(k, {7 + 70, 5 + 92}); }
  QColor itemPixel(int k, QPoint at) {
    return controller->listItemPicture(k, false, kSampleItemSize).pixelColor(at);
  }
  QColor markingColour(int k) { return itemPixel(k, {7 + 40, 5 + 100}); }
  QColor occupancyColour(int k) { return itemPixel(k, {7 - 3, 5 + 100}); }

  WindowRig window;
  TmForm* form = nullptr;
  PageDataController* controller = nullptr;
  std::unique_ptr<AccessibleDriver> driver;
};

TEST(SamplePageScreen, ItemsSitInTwoRowsOfThree) {
  Rig rig;
  for (int camera = 0; camera < 2; ++camera) {
    ASSERT_EQ(rig.list(camera)->count(), 6);
    for (int row = 0; row < 6; ++row) {
      const QRect r = rig.list(camera)->visualRect(rig.list(camera)->model()->index(row, 0));
      EXPECT_EQ(r, QRect((row % 3) * 114, (row / 3) * 110, 114, 110)) << camera << " " << row;
    }
  }
}

TEST(SamplePageScreen, MarkingBoxCyclesThroughThreeTouches) {
  Rig rig;
  const QColor white(255, 255, 255);
  struct Step {
    std::int32_t verdict;
    QColor colour;
  };
  const std::vector<Step> steps{{1, QColor(255, 159, 162)}, {2, QColor(162, 255, 159)}, {0, white}};
  EXPECT_EQ(rig.markingColour(1), white);
  for (const Step& step : steps) {
    rig.touchMarking(1);
    EXPECT_EQ(rig.slot(1).Verdict, step.verdict);
    EXPECT_EQ(rig.markingColour(1), step.colour) << step.verdict;
  }
  // The marking is the operator's: it changes no other slot and not the occupancy.
  EXPECT_EQ(rig.slot(0).Verdict, 0);
  EXPECT_EQ(rig.slot(1).InUse, 1);
}

TEST(SamplePageScreen, OccupancyBoxFreesAndTakesASlot) {
  Rig rig;
  const QColor green(0, 128, 0);
  const QColor white(255, 255, 255);
  struct Step {
    int slot;
    std::uint8_t inUse;
    QColor colour;
  };
  for (const Step& step :
       {Step{3, 1, green}, Step{3, 0, white}, Step{0, 0, white}, Step{0, 1, green}, Step{6, 0, white}}) {
    rig.touchOccupancy(step.slot);
    EXPECT_EQ(rig.slot(step.slot).InUse, step.inUse) << step.slot;
    EXPECT_EQ(rig.occupancyColour(step.slot), step.colour) << step.slot;
  }
  // A freed slot keeps its sample until a capture takes it.
  EXPECT_EQ(rig.slot(6).Mass, grainSample(1, 55, 3).Mass);
}

TEST(SamplePageScreen, TouchOutsideEveryItemChangesNothing) {
  Rig rig;
  rig.touchItem(2, {50, 40});  // select slot 2 and draw it
  const QImage big = rig.controller->bigPicture(0);
  for (const QPoint at : {QPoint(347, 50), QPoint(347, 200), QPoint(350, 219)}) {
    QTest::mouseClick(rig.list(0)->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(rig.controller->selectedSlot(0), 2);
    for (int k = 0; k < 6; ++k) {
      EXPECT_EQ(rig.slot(k).Verdict, 0);
      EXPECT_EQ(rig.slot(k).InUse, k < 2 ? 1 : 0);
    }
    EXPECT_EQ(rig.controller->bigPicture(0), big);
  }
}

TEST(SamplePageScreen, TouchOnAnItemDrawsItEverywhereWithItsInformation) {
  Rig rig;
  rig.touchItem(1, {50, 40});
  EXPECT_EQ(rig.controller->selectedSlot(0), 1);
  const QImage big = rig.controller->bigPicture(0);
  ASSERT_EQ(big.size(), QSize(300, 300));
  // Image pixel (35, 22) is grain: enlarged 3 x 6 at (102..104, 126..131).
  EXPECT_EQ(big.pixelColor(103, 128), QColor(kGrain, kGrain - 10, kGrain - 20));
  // The label holds the drawn picture; so do both small pictures of camera 1.
  EXPECT_EQ(rig.page().Paint->pixmap().toImage().convertToFormat(QImage::Format_RGB888), big);
  const QImage small = rig.controller->smallPicture(0);
  EXPECT_EQ(small.size(), QSize(100, 100));
  EXPECT_EQ(rig.form->tabSettings()->Paint2->pixmap().toImage().convertToFormat(QImage::Format_RGB888),
            small);
  EXPECT_EQ(rig.form->tabOneChanal()->Paint4->pixmap().toImage().convertToFormat(QImage::Format_RGB888),
            small);

  rig.touchItem(6, {50, 40});
  EXPECT_EQ(rig.form->tabOneChanal()->Paint5->pixmap().toImage().convertToFormat(QImage::Format_RGB888),
            rig.controller->smallPicture(1));
}

TEST(SamplePageScreen, MaskChangesThePictureNotTheCounts) {
  Rig rig;
  rig.touchItem(1, {50, 40});
  rig.controller->maskRedraw();
  const ObjectRecord trueColours = rig.slot(1);
  const QImage plain = rig.controller->bigPicture(0);
  // Remeasured from the picture: grain and spot, 2 per pixel.
  EXPECT_GT(trueColours.ClassCount[1], 0);
  EXPECT_GT(trueColours.ClassCount[2], 0);
  EXPECT_EQ(trueColours.Mass, trueColours.ClassCount[1] + trueColours.ClassCount[2]);

  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("MaskSwitch")));
  ASSERT_TRUE(rig.page().MaskSwitch->stateOn());
  EXPECT_TRUE(rig.engine().MaskSwitch.load());
  const QImage mask = rig.controller->bigPicture(0);
  EXPECT_NE(mask, plain);
  EXPECT_EQ(mask.pixelColor(103, 128), QColor(255, 0, 0));
  EXPECT_EQ(mask.pixelColor(2, 150), QColor(255, 255, 255));
  const ObjectRecord masked = rig.slot(1);
  EXPECT_EQ(masked.Mass, trueColours.Mass);
  EXPECT_EQ(masked.ClassCount[1], trueColours.ClassCount[1]);
  EXPECT_EQ(masked.ClassCount[2], trueColours.ClassCount[2]);

  // A channel off changes nothing under the mask...
  test::touch(rig.page().R_Label);
  EXPECT_FALSE(rig.controller->channelOn(0));
  EXPECT_EQ(rig.controller->bigPicture(0), mask);
  // ...and the true colours lose it.
  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("MaskSwitch")));
  const QImage noRed = rig.controller->bigPicture(0);
  EXPECT_EQ(noRed.pixelColor(103, 128), QColor(0, kGrain - 10, kGrain - 20));
  EXPECT_EQ(rig.slot(1).Mass, trueColours.Mass);
  EXPECT_EQ(rig.page().R_Label->palette().color(QPalette::WindowText), QColor(128, 128, 128));
  test::touch(rig.page().R_Label);
  EXPECT_EQ(rig.controller->bigPicture(0).pixelColor(103, 128), QColor(kGrain, kGrain - 10, kGrain - 20));
}

TEST(SamplePageScreen, ClearingBlanksThumbnailsAndKeepsTheItems) {
  Rig rig;
  rig.touchMarking(0);
  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("AllClearSwitch")));
  EXPECT_FALSE(rig.page().AllClearSwitch->stateOn());
  for (int k = 0; k < kSampleSlots; ++k) {
    const ObjectRecord s = rig.slot(k);
    EXPECT_EQ(s.InUse, 0) << k;
    EXPECT_EQ(s.Verdict, 0) << k;
    EXPECT_EQ(s.Image[100], k < 14 ? 255 : 0) << k;  // FonMax of camera 1
  }
  for (int camera = 0; camera < 2; ++camera) EXPECT_EQ(rig.list(camera)->count(), 6);
  for (int k : {0, 1, 6, 11}) {
    const QImage thumb = rig.controller->thumbnail(k);
    EXPECT_EQ(thumb.pixelColor(50, 40), QColor(255, 255, 255)) << k;
    EXPECT_EQ(thumb.pixelColor(0, 0), QColor(255, 0, 0)) << k;
    EXPECT_EQ(rig.occupancyColour(k), QColor(255, 255, 255)) << k;
    EXPECT_EQ(rig.markingColour(k), QColor(255, 255, 255)) << k;
  }
}

TEST(SamplePageScreen, CatchSwitchesSetTheEngineFlags) {
  Rig rig;
  EngineState& engine = rig.engine();
  EXPECT_FALSE(engine.ScanExamSwitch.load());
  EXPECT_TRUE(engine.SampleNormButton.load());
  EXPECT_TRUE(engine.SampleBrakButton.load());
  {
    std::lock_guard lock(engine.engineLock);
    engine.BackgroundFill = {1, 2, 3};
  }
  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("ScanExamSwitch")));
  EXPECT_TRUE(engine.ScanExamSwitch.load());
  {
    std::lock_guard lock(engine.engineLock);
    // 255 - FonLight (255) is not below FonBlack (0): white.
    EXPECT_EQ(engine.BackgroundFill, (FillColour{255, 255, 255}));
  }
  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("SampleNormButton")));
  EXPECT_FALSE(engine.SampleNormButton.load());
  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("SampleBrakButton")));
  EXPECT_FALSE(engine.SampleBrakButton.load());
  ASSERT_TRUE(rig.driver->pressByDescription(QStringLiteral("ScanExamSwitch")));
  EXPECT_FALSE(engine.ScanExamSwitch.load());
}

TEST(SamplePageScreen, CaughtSampleAppearsInTheList) {
  Rig rig;
  const QImage before = rig.controller->thumbnail(2);
  rig.controller->pollCaptures();  // nothing caught: nothing changes
  EXPECT_EQ(rig.controller->thumbnail(2), before);
  {
    EngineState& engine = rig.engine();
    std::lock_guard lock(engine.engineLock);
    engine.SampleTable[2] = grainSample(0, 60, 4);
    engine.SamplesCaptured[0].fetch_add(1);
  }
  rig.controller->pollCaptures();
  EXPECT_EQ(rig.controller->thumbnail(2).pixelColor(50, 44), QColor(kGrain, kGrain - 10, kGrain - 20));
  EXPECT_EQ(rig.occupancyColour(2), QColor(0, 128, 0));
}

TEST(SamplePageScreen, MarkingsComeBackFromTheSampleFile) {
  Rig rig;
  rig.touchMarking(6);
  rig.touchMarking(6);
  rig.touchOccupancy(1);
  Machine& m = rig.window.machine();
  ASSERT_TRUE(m.writeSamplesFile());
  m.clearEngineTables();
  m.readSideFiles();
  rig.controller->rebuildThumbnails();
  EXPECT_EQ(rig.markingColour(6), QColor(162, 255, 159));
  EXPECT_EQ(rig.occupancyColour(1), QColor(255, 255, 255));
  EXPECT_EQ(rig.occupancyColour(0), QColor(0, 128, 0));
  EXPECT_EQ(rig.controller->thumbnail(0).pixelColor(50, 44), QColor(kGrain, kGrain - 10, kGrain - 20));
}

TEST(SamplePageScreen, ScreenshotWithSamples) {
  Rig rig;
  rig.touchMarking(1);
  rig.touchMarking(6);
  rig.touchMarking(6);
  // The picked colour first: a list touch then draws the marks over the picture.
  QTest::mouseClick(rig.page().Paint, Qt::LeftButton, {}, QPoint(135, 130));
  rig.touchItem(1, {50, 40});
  rig.touchItem(6, {50, 40});
  QCoreApplication::processEvents();
  const QImage image = rig.form->grab().toImage();
  EXPECT_EQ(image.size(), QSize(1024, 768));
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  EXPECT_TRUE(image.save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/TabDataSamples.png")));
  rig.form->showPage(rig.form->tabSettings());
  QCoreApplication::processEvents();
  EXPECT_TRUE(
      rig.form->grab().toImage().save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/TabSettingsSamples.png")));
}

}  // namespace
}  // namespace tolvane
