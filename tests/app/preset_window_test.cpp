// The preset set-ups window: presets applied live to the pages, the pictures the program carries, and
// the factory reset and rollback that start the program again on the new file and write nothing more.
#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>

#include "app/machine.h"
#include "app/page_one_chanal.h"
#include "app/page_one_chanal_controller.h"
#include "app/page_simple_work.h"
#include "app/page_work.h"
#include "app/type_set_form.h"
#include "pictures/preset_pictures.h"
#include "service/jpeg_picture.h"
#include "settings/colour_ranges.h"
#include "settings/factory_settings.h"
#include "settings/ini_file.h"
#include "settings/preset_setups.h"
#include "settings/settings_recovery.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::stopTimers;
using test::touch;
using test::WindowRig;

std::string text(QLabel* label) { return label->text().toStdString(); }

struct PresetRig {
  explicit PresetRig(std::string_view settings = test::kTwoCameraSettings, std::string_view backup = {}) {
    rig.writeSettings(settings);
    if (!backup.empty()) test::writeBytes(rig.file("TolvaneGrainINI.bak"), backup);
    form = &rig.create();
    stopTimers(*form);
    window = std::make_unique<TTypeSetForm>();
    form->setPresetWindow(window.get(), presetPictureBytes);
  }
  TypeSetController& controller() { return form->typeSetController(); }

  WindowRig rig;
  TmForm* form = nullptr;
  std::unique_ptr<TTypeSetForm> window;
};

TEST(PresetPictures, EveryPictureThePresetsNameIsCarriedAndDecodes) {
  for (const PresetSetup& preset : presetSetups()) {
    for (const std::string_view name : {preset.settingsPicture, preset.workPicture}) {
      SCOPED_TRACE(std::string(name));
      const auto picture = decodeJpeg(presetPictureBytes(name));
      ASSERT_TRUE(picture.has_value());
      EXPECT_LE(picture->width(), TTypeSetForm::kPictureBox.width());
      EXPECT_LE(picture->height(), TTypeSetForm::kPictureBox.height());
      // Grabbed from a page, not a blank: the page's dark background and light value boxes are both there.
      int dark = 0;
      int light = 0;
      for (int y = 0; y < picture->height(); y += 4) {
        for (int x = 0; x < picture->width(); x += 4) {
          const Rgb24 px = picture->pixel(x, y);
          const int sum = px.r + px.g + px.b;
          if (sum < 300) ++dark;
          if (sum > 600) ++light;
        }
      }
      EXPECT_GT(dark, 100);
      EXPECT_GT(light, 50);
    }
  }
  EXPECT_TRUE(presetPictureBytes("ZAWOD9").empty());
}

TEST(PresetWindow, OpensOnTheFirstPresetAndShowsEitherPicture) {
  PresetRig p;
  touch(p.form->tabWork()->FactoryResetButton);
  EXPECT_TRUE(p.window->isVisible());
  EXPECT_EQ(p.window->BoxSettings->count(), 10);
  EXPECT_EQ(p.window->BoxSettings->currentRow(), 0);
  EXPECT_TRUE(p.window->Description->text().startsWith(QStringLiteral("Это самые простые")));
  EXPECT_FALSE(p.window->Picture->pixmap().isNull());
  EXPECT_FALSE(p.window->RollbackButton->isEnabled());
  EXPECT_EQ(p.window->RollbackButton->caption(), QStringLiteral("Откат|отсутствует"));

  p.window->BoxSettings->setCurrentRow(8);
  EXPECT_EQ(p.controller().chosen(), 8u);
  touch(p.window->WorkPictureButton);
  EXPECT_TRUE(p.controller().showingWorkPicture());
  EXPECT_TRUE(p.window->WorkPictureButton->stateOn());
  EXPECT_FALSE(p.window->SettingsPictureButton->stateOn());
  touch(p.window->ExitButton);
  EXPECT_FALSE(p.window->isVisible());
}

TEST(PresetWindow, AMissingPictureSaysSoAndTheWindowStaysUsable) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  TTypeSetForm window;
  form.setPresetWindow(&window, {});
  EXPECT_EQ(window.Picture->text(), QStringLiteral("Картинка ZAWOD1 отсутствует"));
  touch(window.WorkPictureButton);
  EXPECT_EQ(window.Picture->text(), QStringLiteral("Картинка USL1 отсутствует"));
}

TEST(PresetWindow, PresetThreeAppliedWhileLineModeAndSortingRunShowsOnThePages) {
  PresetRig p;
  PageWork& work = *p.form->tabWork();
  touch(work.conditions[8].enable);  // line mode on
  touch(work.conditions[4].direction);
  touch(work.P1_type);
  ASSERT_TRUE(p.rig.machine().sorter().enFast);
  touch(p.form->tabSimpleWork()->PuskSwitch);
  ASSERT_TRUE(p.rig.machine().run().view().puskSwitchOn);

  // No: nothing changes.
  p.controller().choosePreset(2);
  p.rig.answers = {false};
  touch(p.window->ApplyButton);
  EXPECT_TRUE(p.rig.machine().sorter().enFast);

  p.rig.answers = {true};
  touch(p.window->ApplyButton);
  ASSERT_EQ(p.rig.questions.size(), 2u);
  EXPECT_EQ(p.rig.questions[1], "Вопрос... / " + std::string(kApplyPresetQuestion));
  const SorterSettings& s = p.rig.machine().sorter();
  EXPECT_FALSE(s.enFast);
  EXPECT_FALSE(work.conditions[8].enable->stateOn());
  EXPECT_FALSE(work.conditions[0].enable->stateOn());
  EXPECT_TRUE(work.conditions[2].enable->stateOn());
  EXPECT_TRUE(work.conditions[3].enable->stateOn());
  EXPECT_EQ(text(work.conditions[2].threshold.value), "084");
  EXPECT_EQ(text(work.conditions[3].threshold.value), "012");
  for (const ConditionRow& row : work.conditions) {
    if (row.direction != nullptr) {
      EXPECT_EQ(row.direction->caption(), QStringLiteral(">"));
    }
  }
  EXPECT_EQ(work.P1_type->caption(), QStringLiteral("ТОЧЕК"));
  EXPECT_EQ(work.P2_type->caption(), QStringLiteral("ТОЧЕК"));
  // Both cameras on the colour-range page, and the engine reads the new values while sorting.
  PageOneChanalController& ranges = p.form->oneChanalController();
  for (int camera : {0, 1}) {
    EXPECT_EQ(text(ranges.label(RangeField::kP1Max, camera)), "150");
    EXPECT_EQ(text(ranges.label(RangeField::kFonBlack, camera)), "050");
    EXPECT_EQ(rangeValue(s, RangeField::kP2Min, camera), 150);
  }
  EXPECT_TRUE(p.rig.machine().run().view().puskSwitchOn);
  // In memory only until the program is saved.
  EXPECT_EQ(IniDocument::load(p.rig.settingsFile()).readInt("program0", "P1Max", -1), 199);
  touch(p.form->tabSimpleWork()->PuskSwitch);
}

TEST(PresetWindow, FactoryResetAndRollbackRestartOnTheNewFileAndWriteNothingMore) {
  PresetRig p;
  const std::string before = test::readBytes(p.rig.settingsFile());
  p.rig.answers = {true};
  touch(p.window->FactoryButton);
  ASSERT_EQ(p.rig.launcher.launches().size(), 1u);
  EXPECT_EQ(p.rig.launcher.launches()[0].programFile, p.rig.programFile());
  EXPECT_EQ(test::readBytes(p.rig.file("TolvaneGrainINI.bak")), before);
  // The window's end writes no stored control values into the factory file.
  p.rig.form.reset();
  EXPECT_EQ(test::readBytes(p.rig.settingsFile()), std::string(factorySettingsFile()));

  // The next instance: the rollback button carries the backup's date; the rollback brings the old file.
  PresetRig next(factorySettingsFile(), test::readBytes(p.rig.file("TolvaneGrainINI.bak")));
  EXPECT_TRUE(next.window->RollbackButton->isEnabled());
  EXPECT_TRUE(next.window->RollbackButton->caption().startsWith(QStringLiteral("откат|")));
  EXPECT_EQ(next.window->RollbackButton->caption().size(), 16);
  next.rig.answers = {true};
  touch(next.window->RollbackButton);
  ASSERT_EQ(next.rig.launcher.launches().size(), 1u);
  next.rig.form.reset();
  EXPECT_EQ(test::readBytes(next.rig.settingsFile()), before);
  EXPECT_EQ(test::readBytes(next.rig.file("TolvaneGrainINI.bak")), before);
}

TEST(PresetWindow, AFailedResetOrADamagedBackupIsToldAndNothingRestarts) {
  PresetRig p;
  const std::string before = test::readBytes(p.rig.settingsFile());
  // The backup's temporary file cannot be made: a folder stands in its place.
  fs::create_directory(p.rig.file("TolvaneGrainINI.bak.tmp"));
  p.rig.answers = {true};
  touch(p.window->FactoryButton);
  EXPECT_TRUE(p.rig.launcher.launches().empty());
  ASSERT_EQ(p.rig.messages.size(), 1u);
  EXPECT_NE(p.rig.messages[0].find("Unable to write to"), std::string::npos);
  EXPECT_EQ(test::readBytes(p.rig.settingsFile()), before);

  test::writeBytes(p.rig.file("TolvaneGrainINI.bak"), "garbage, not settings");
  p.controller().showRollbackButton();
  p.rig.answers = {true};
  touch(p.window->RollbackButton);
  EXPECT_TRUE(p.rig.launcher.launches().empty());
  ASSERT_EQ(p.rig.messages.size(), 2u);
  EXPECT_EQ(p.rig.messages[1], std::string(kBackupDamagedText));
  EXPECT_EQ(test::readBytes(p.rig.settingsFile()), before);
}

}  // namespace
}  // namespace tolvane
