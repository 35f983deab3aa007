// Renders every page of the main window at 1024 x 768 into TOLVANE_SCREENSHOT_DIR/<page>.png, so
// that a person can look at them; the working page also while simulated product is being sorted.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTest>
#include <filesystem>

#include "app/page_data.h"
#include "app/page_egectors.h"
#include "app/page_one_chanal.h"
#include "app/page_settings.h"
#include "app/page_simple_work.h"
#include "app/page_simple_work_settings.h"
#include "app/page_test.h"
#include "app/page_work.h"
#include "app/shape_template_controller.h"
#include "app/type_set_controller.h"
#include "app/type_set_form.h"
#include "pictures/preset_pictures.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

QImage shoot(TmForm& form, QWidget* page, const char* name) {
  form.showPage(page);
  QCoreApplication::processEvents();
  const QImage image = form.grab().toImage();
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  const QString file = QStringLiteral(TOLVANE_SCREENSHOT_DIR "/%1.png").arg(QString::fromLatin1(name));
  EXPECT_TRUE(image.save(file)) << file.toStdString();
  return image;
}

std::string simulatedMachineSettings() {
  return test::readBytes(std::filesystem::path(TOLVANE_SOURCE_DIR) / "machine" / "simulated.ini");
}

TEST(Screenshots, EveryPageAt1024x768) {
  test::WindowRig rig;
  const std::string settings = simulatedMachineSettings();
  rig.writeSettings(settings.empty() ? std::string(test::kTwoCameraSettings) : settings);
  TmForm& form = rig.create();
  form.applyScreenSize(QSize(1024, 768));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  const QImage work = shoot(form, form.tabSimpleWork(), "TabSimpleWork");
  EXPECT_EQ(work.size(), QSize(1024, 768));

  form.enterSetupMode();
  form.modeList()->setCurrentIndex(0);
  shoot(form, form.tabData(), "TabData");
  form.modeList()->setCurrentIndex(1);
  shoot(form, form.tabSettings(), "TabSettings");
  shoot(form, form.tabOneChanal(), "TabOneChanal");
  form.modeList()->setCurrentIndex(2);
  shoot(form, form.tabEgectors(), "TabEgectors");
  form.modeList()->setCurrentIndex(3);
  shoot(form, form.tabWork(), "TabWork");
  form.shapeTemplateController().open();
  shoot(form, form.tabWork(), "TabWork_shape_template");
  form.tabWork()->FrmEditPanel->hide();
  shoot(form, form.tabSimpleWorkSettings(), "TabSimpleWorkSettings");
  form.modeList()->setCurrentIndex(-1);
  shoot(form, form.tabTest(), "TabTest");
  // GenICam cameras' stream counters at their widest (a day at 100 000 lines/s).
  for (int i = 0; i < 2; ++i) {
    QLabel* label = form.tabTest()->cameraStreamLabels[static_cast<std::size_t>(i)];
    label->setText(
        QStringLiteral(
            "Камера %1: кадры 135000000 (сбой 12345, размер 123, переполн. 1234), строки 8640000000, "
            "потеряно 1234567, НЕТ СВЯЗИ")
            .arg(i + 1));
    label->show();
  }
  shoot(form, form.tabTest(), "TabTest_camera_streams");
}

// The preset set-ups window with the pictures the program carries: the first preset with its colour-range
// picture, the line-mode preset with its conditions picture.
TEST(Screenshots, PresetWindow) {
  test::WindowRig rig;
  TmForm& form = rig.create();
  TTypeSetForm window;
  form.setPresetWindow(&window, presetPictureBytes);
  form.typeSetController().open();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const auto save = [&window](const char* name) {
    QCoreApplication::processEvents();
    const QImage image = window.grab().toImage();
    EXPECT_EQ(image.size(), QSize(1024, 768));
    EXPECT_TRUE(image.save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/%1.png").arg(QString::fromLatin1(name))));
  };
  save("PresetWindow");
  form.typeSetController().choosePreset(9);
  form.typeSetController().showPicture(true);
  save("PresetWindow_line_mode");
}

TEST(Screenshots, WorkingPageWhileSorting) {
  test::WindowRig rig;
  const std::string settings = simulatedMachineSettings();
  rig.writeSettings(settings.empty() ? std::string(test::kTwoCameraSettings) : settings);
  TmForm& form = rig.create();
  form.applyScreenSize(QSize(1024, 768));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  form.puskSwitchClick();
  ASSERT_TRUE(form.machine().run().view().puskSwitchOn);
  // Let the cameras run; the window's own 0.5 s and 1 s timers bring the screen up to date.
  QTest::qWait(3500);
  form.Timer1Timer();
  form.Timer2Timer();
  shoot(form, form.tabSimpleWork(), "TabSimpleWork_sorting");
  form.enterSetupMode();
  form.modeList()->setCurrentIndex(2);
  form.modeListSelect(2);
  form.Timer2Timer();
  shoot(form, form.tabEgectors(), "TabEgectors_sorting");

  form.Timer5sekTimer();
  form.puskSwitchClick();
  EXPECT_FALSE(form.machine().run().view().puskSwitchOn);
}

// A colour machine on the simulated machine's colour program: the brightness-mode switch free, the
// channel switches shown.
TEST(Screenshots, PagesOfAColourMachine) {
  test::WindowRig rig({.singleToneCamera = false});
  std::string settings = simulatedMachineSettings();
  if (settings.empty()) settings = std::string(test::kTwoCameraSettings);
  const std::string active = "\r\nActiveProg=0\r\n";
  if (const auto at = settings.find(active); at != std::string::npos) {
    settings.replace(at, active.size(), "\r\nActiveProg=1\r\n");
  }
  rig.writeSettings(settings);
  TmForm& form = rig.create();
  form.applyScreenSize(QSize(1024, 768));
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  form.enterSetupMode();
  form.modeList()->setCurrentIndex(1);
  shoot(form, form.tabSettings(), "Colour_TabSettings");
  shoot(form, form.tabOneChanal(), "Colour_TabOneChanal");
  form.modeList()->setCurrentIndex(3);
  shoot(form, form.tabWork(), "Colour_TabWork");
}

}  // namespace
}  // namespace tolvane
