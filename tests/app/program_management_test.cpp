// The ten programs on the main window: switching with its save first, save, cancel, names, the
// condition switches a load sets, the copy of sectors to the other camera, and the start-up's handling
// of settings files that are missing, damaged or named after another program file.
#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "app/key_form.h"
#include "app/machine.h"
#include "app/page_egectors.h"
#include "app/page_one_chanal.h"
#include "app/page_settings.h"
#include "app/page_settings_controller.h"
#include "app/page_simple_work.h"
#include "app/page_test.h"
#include "app/page_work.h"
#include "app/program_controller.h"
#include "settings/ini_file.h"
#include "settings/stored_controls.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::stopTimers;
using test::touch;
using test::WindowRig;

void touchProgram(TmForm& form, int index) {
  touch(form.programList(), form.programList()->itemRect(index).center());
}

std::string text(QLabel* label) { return label->text().toStdString(); }

constexpr std::string_view kFivePrograms =
    "\xEF\xBB\xBF[options]\r\nActiveProg=2\r\nProgramName2=Рожь\r\n"
    "\r\n[program2]\r\nifMassa=33\r\nFonMin=120\r\n"
    "\r\n[program4]\r\nifMassa=77\r\nFonMin=140\r\nOCR=1\r\nOCB=1\r\nenFast=1\r\nenMassa=1\r\nenP1=1\r\n"
    "bLength=0\r\ntipP2=1\r\n";

TEST(ProgramSwitch, SavesTheProgramLeftWritesActiveProgAndShowsTheNewOne) {
  WindowRig rig;
  rig.writeSettings(kFivePrograms);
  TmForm& form = rig.create();
  stopTimers(form);
  Machine& m = rig.machine();
  ASSERT_EQ(m.machine().ActiveProg, 2);
  EXPECT_EQ(text(form.tabWork()->conditions[0].threshold.value), "033");
  EXPECT_EQ(text(form.tabOneChanal()->ranges[0].fonMin.value), "120");
  {
    std::lock_guard lock(m.engine().engineLock);
    m.sorter().ifMassa = 35;
  }

  // Program 3 to program 5: program2 is written before program4 is read, and ActiveProg follows.
  touchProgram(form, 4);
  IniDocument doc = IniDocument::load(rig.settingsFile());
  EXPECT_EQ(doc.readInt("program2", "ifMassa", 0), 35);
  EXPECT_EQ(doc.readInt("options", "ActiveProg", -1), 4);
  EXPECT_EQ(m.machine().ActiveProg, 4);
  EXPECT_EQ(form.programList()->currentIndex(), 4);
  EXPECT_EQ(text(form.tabWork()->conditions[0].threshold.value), "077");
  EXPECT_EQ(text(form.tabOneChanal()->ranges[0].fonMin.value), "140");
  // OCR and OCB: the last one set wins.
  EXPECT_EQ(m.sorter().SingleChannel, 3);
  EXPECT_EQ(m.engine().SingleChannel.load(), 3);
  EXPECT_TRUE(form.tabOneChanal()->OC_B_Button->stateOn());
  EXPECT_FALSE(form.tabOneChanal()->OC_R_Button->stateOn());

  // Line mode was off: switched on by the load, it switched "МАССА" and "ЦВЕТ 1" off again.
  PageWork* work = form.tabWork();
  EXPECT_TRUE(work->conditions[8].enable->stateOn());
  EXPECT_FALSE(work->conditions[0].enable->stateOn());
  EXPECT_FALSE(work->conditions[2].enable->stateOn());
  EXPECT_FALSE(m.sorter().enMassa);
  EXPECT_EQ(work->conditions[0].threshold.value->palette().color(QPalette::WindowText),
            QColor(128, 128, 128));
  EXPECT_EQ(work->conditions[8].threshold.value->palette().color(QPalette::WindowText), QColor(Qt::black));
  // Directions and types show what was loaded.
  EXPECT_TRUE(work->conditions[4].direction->stateOn());
  EXPECT_EQ(work->conditions[4].direction->caption(), "<");
  EXPECT_EQ(work->P2_type->caption(), "%");
  EXPECT_EQ(text(form.tabSimpleWork()->FastSort_valD), "010");

  // Back to program 3: as it was at the switch; program4 now holds what the load made of it.
  touchProgram(form, 2);
  EXPECT_EQ(m.sorter().ifMassa, 35);
  EXPECT_EQ(text(form.tabWork()->conditions[0].threshold.value), "035");
  doc = IniDocument::load(rig.settingsFile());
  EXPECT_EQ(doc.readInt("program4", "enMassa", -1), 0);
  EXPECT_EQ(doc.readInt("program4", "enFast", -1), 1);
  EXPECT_EQ(doc.readInt("options", "ActiveProg", -1), 2);
  // With no channel set, program 3 keeps the channel of the program before.
  EXPECT_EQ(m.sorter().SingleChannel, 3);
}

TEST(ProgramSwitch, LineModeAlreadyOnKeepsTheLoadedConditions) {
  WindowRig rig;
  rig.writeSettings(std::string(kFivePrograms) + "\r\n[program5]\r\nenFast=1\r\nenMassa=1\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  touchProgram(form, 4);
  touchProgram(form, 5);
  EXPECT_TRUE(rig.machine().sorter().enFast);
  EXPECT_TRUE(rig.machine().sorter().enMassa);
  EXPECT_TRUE(form.tabWork()->conditions[0].enable->stateOn());
}

TEST(ProgramSwitch, NoSaveBeforeTheFirstLoadAndAFailedWriteKeepsEverything) {
  WindowRig rig;
  rig.writeSettings("[options]\r\nActiveProg=6\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  EXPECT_EQ(rig.machine().machine().ActiveProg, 6);
  EXPECT_FALSE(IniDocument::load(rig.settingsFile()).hasSection("program6"));

  // The save's temporary file cannot be made: nothing is written, the program stays.
  fs::create_directory(rig.settingsFile().string() + ".tmp");
  const std::string before = test::readBytes(rig.settingsFile());
  form.programListTouch(1);
  EXPECT_EQ(rig.machine().machine().ActiveProg, 6);
  EXPECT_EQ(form.programList()->currentIndex(), 6);
  EXPECT_EQ(test::readBytes(rig.settingsFile()), before);
  ASSERT_FALSE(rig.messages.empty());
  EXPECT_EQ(rig.messages.back(), "Unable to write to " + rig.settingsFile().string());
}

TEST(ProgramSwitch, RefusedWhileSorting) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  touch(form.tabSimpleWork()->PuskSwitch);
  ASSERT_TRUE(rig.machine().run().view().puskSwitchOn);
  form.programListTouch(3);
  EXPECT_EQ(rig.machine().machine().ActiveProg, 0);
  EXPECT_EQ(form.programList()->currentIndex(), 0);
  touch(form.tabSimpleWork()->PuskSwitch);
}

TEST(ProgramNames, KeptBySaveLostByCancel) {
  WindowRig rig;
  rig.writeSettings(kFivePrograms);
  TmForm& form = rig.create();
  stopTimers(form);
  touch(form.tabSimpleWork()->asSwitch17);
  form.nameFields()[4]->setText(QStringLiteral("Горох"));
  // Cancel starts the program again and writes nothing.
  touch(form.tabWork()->CancelButton);
  ASSERT_EQ(rig.launcher.launches().size(), 1u);
  EXPECT_EQ(rig.launcher.launches()[0].programFile, rig.programFile());
  EXPECT_FALSE(IniDocument::load(rig.settingsFile()).hasKey("options", "ProgramName4"));

  touch(form.tabWork()->SaveButton);
  const IniDocument doc = IniDocument::load(rig.settingsFile());
  EXPECT_EQ(doc.readString("options", "ProgramName4", ""), "Горох");
  EXPECT_EQ(doc.readString("options", "ProgramName2", ""), "Рожь");
  EXPECT_EQ(rig.machine().machine().ProgramName[4], "Горох");
}

TEST(ProgramNames, TypedOnTheKeyboardSavedAndFoundAfterARestart) {
  WindowRig rig;
  rig.writeSettings(kFivePrograms);
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  test::AccessibleDriver driver(&form);
  ASSERT_TRUE(driver.pressByName(QStringLiteral("Настройка")));
  touchProgram(form, 3);

  // The name field opens the keyboard with its text; "Ok" writes the edited name back.
  QLineEdit* field = form.nameFields()[3];
  field->setText(QStringLiteral("Ов"));
  touch(field);
  TKeyForm& keyboard = form.keyboard();
  ASSERT_TRUE(keyboard.isOpen());
  EXPECT_EQ(keyboard.editedIndex(), 3);
  EXPECT_EQ(keyboard.text(), QStringLiteral("Ов"));
  for (const char* key : {"а", "BkSp", "е", "с", " ", "2"})
    EXPECT_TRUE(keyboard.pressKey(QString::fromUtf8(key)));
  ASSERT_TRUE(keyboard.pressKey(QStringLiteral("Ok")));
  EXPECT_FALSE(keyboard.isOpen());
  EXPECT_EQ(field->text(), QStringLiteral("Овес 2"));

  // A value of program 4 changed through the screen, then saved.
  touch(form.modeList(), form.modeList()->itemRect(3).center());
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("Weight_Button")));
  EXPECT_TRUE(rig.machine().sorter().enWeight);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("SaveButton")));
  touchProgram(form, 2);
  touchProgram(form, 3);
  EXPECT_TRUE(form.tabWork()->conditions[5].enable->stateOn());

  // A restart: a new instance on the same folder, nothing closed first.
  rig.form.reset();
  TmForm& again = rig.create();
  stopTimers(again);
  EXPECT_EQ(rig.machine().machine().ActiveProg, 3);
  EXPECT_EQ(again.nameFields()[3]->text(), QStringLiteral("Овес 2"));
  EXPECT_EQ(rig.machine().machine().ProgramName[3], "Овес 2");
  EXPECT_TRUE(rig.machine().sorter().enWeight);
  EXPECT_TRUE(again.tabWork()->conditions[5].enable->stateOn());
}

TEST(ProgramSave, CamerasKeepAnalysingWhileTheFilesAreWritten) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  touch(form.tabSimpleWork()->PuskSwitch);
  TCameraThread* camera = rig.machine().run().cameraThread(0);
  ASSERT_NE(camera, nullptr);
  QTRY_VERIFY_WITH_TIMEOUT(camera->LineCounter() > 100, 20000);

  // In the middle of each write, the camera thread must get through lines of its own.
  std::vector<fs::path> written;
  std::vector<bool> advanced;
  rig.machine().setBeforeFileWrite([&](const fs::path& file) {
    written.push_back(file.filename());
    const auto start = camera->LineCounter();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (camera->LineCounter() < start + 200 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    advanced.push_back(camera->LineCounter() >= start + 200);
  });
  ASSERT_TRUE(form.saveSettings());
  rig.machine().setBeforeFileWrite({});
  EXPECT_EQ(written, (std::vector<fs::path>{"TolvaneGrain.ini", "TolvaneGrain.samples"}));
  EXPECT_EQ(advanced, (std::vector<bool>{true, true}));
  touch(form.tabSimpleWork()->PuskSwitch);
}

TEST(ProgramSectors, CopyToTheOtherCameraAsksAndReplacesEveryLine) {
  WindowRig rig;
  rig.writeSettings(
      "[options]\r\n\r\n[program0]\r\nSectorCounts=2\r\n"
      "Sector0=##ID=\"1\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"45\" ##SMIN=\"70\" ##SMAX=\"255\" ##VMIN=\"30\" "
      "##VMAX=\"230\" ##ACTIVE=\"TRUE\"\r\n"
      "Sector1=##ID=\"2\" ##TYPE=\"2\" ##HMIN=\"100\" ##HMAX=\"145\" ##SMIN=\"70\" ##SMAX=\"255\" "
      "##VMIN=\"30\" "
      "##VMAX=\"230\" ##ACTIVE=\"FALSE\"\r\n"
      "Cam2SectorCounts=1\r\nCam2Sector0=##ID=\"9\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"0\" "
      "##SMAX=\"255\" ##VMIN=\"0\" ##VMAX=\"255\" ##ACTIVE=\"TRUE\"\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  PageSettings* page = form.tabSettings();
  page->BlackFonLabelA->setText(QStringLiteral("017"));
  const auto sectors = rig.machine().sorter().Sectors;
  ASSERT_EQ(sectors[0].size(), 2u);
  EXPECT_EQ(page->BoxSectorA->count(), 2);

  rig.answers = {false};
  touch(page->CopySectorsButton);
  ASSERT_EQ(rig.questions.size(), 1u);
  EXPECT_EQ(rig.questions[0],
            "Вопрос... / Настройки цвета для другой камеры будут\nзамещены текущими настройками.\n"
            "Восстановление невозможно!\nПродолжить копирование?");
  EXPECT_EQ(rig.machine().sorter().Sectors[1], sectors[1]);

  rig.answers = {true};
  touch(page->CopySectorsButton);
  EXPECT_EQ(rig.machine().sorter().Sectors[1], sectors[0]);
  EXPECT_EQ(text(page->BlackFonLabelB), "017");
  // The copy reaches the file with the next save.
  form.saveSettings();
  EXPECT_EQ(IniDocument::load(rig.settingsFile()).readInt("program0", "Cam2SectorCounts", 0), 2);
}

TEST(ProgramSectors, ALineThatDoesNotParseIsReportedOnTheColourPage) {
  WindowRig rig;
  rig.writeSettings(
      "[options]\r\n\r\n[program0]\r\nSectorCounts=1\r\nSector0=##ID=\"1\" ##TYPE=\"1\" ##HMIN=\"1o\"\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  QLabel* status = form.tabSettings()->SectorStatusLabel;
  EXPECT_FALSE(status->isHidden());
  EXPECT_NE(status->text().indexOf(QStringLiteral("Sector0")), -1) << status->text().toStdString();
  EXPECT_EQ(rig.machine().sectorReport().empty(), false);
  // The line stays in the program as it was and is saved back unchanged.
  form.saveSettings();
  EXPECT_EQ(IniDocument::load(rig.settingsFile()).readString("program0", "Sector0", ""),
            "##ID=\"1\" ##TYPE=\"1\" ##HMIN=\"1o\"");
  // A program without such lines clears the report.
  form.programListTouch(1);
  EXPECT_TRUE(status->isHidden());
}

TEST(StartUp, SettingsFileProblemsAreToldAndNeverStopTheStart) {
  struct Case {
    const char* what;
    std::function<void(WindowRig&)> prepare;
    const char* saying;  // empty: nothing told
  };
  const Case cases[] = {
      {"settings present", [](WindowRig& r) { r.writeSettings(test::kTwoCameraSettings); }, ""},
      {"missing", [](WindowRig&) {}, "не найден"},
      {"empty", [](WindowRig& r) { r.writeSettings(""); }, "пуст или повреждён"},
      {"a folder in its place", [](WindowRig& r) { fs::create_directory(r.settingsFile()); }, "не читается"},
      {"cannot be written",
       [](WindowRig& r) {
         r.writeSettings(test::kTwoCameraSettings);
         fs::create_directory(r.settingsFile().string() + ".tmp");
       },
       "невозможна"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WindowRig rig;
    c.prepare(rig);
    TmForm& form = rig.create();
    stopTimers(form);
    QCoreApplication::processEvents();
    if (*c.saying == '\0') {
      EXPECT_TRUE(rig.messages.empty());
    } else {
      ASSERT_EQ(rig.messages.size(), 1u);
      EXPECT_NE(rig.messages[0].find(c.saying), std::string::npos) << rig.messages[0];
    }
    EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWork());
  }
}

TEST(StartUp, TheUpdateHandOverUsesTheMachinesOwnFiles) {
  WindowRig rig({.programName = "TolvaneGrain_"});
  rig.writeSettings(kFivePrograms);
  test::writeBytes(rig.file("TolvaneGrain.shots"), std::string(256, '\x01'));
  TmForm& form = rig.create();
  stopTimers(form);
  EXPECT_EQ(rig.machine().machine().ActiveProg, 2);
  EXPECT_EQ(rig.machine().sorter().ifMassa, 33);
  EXPECT_EQ(rig.machine().engine().ejection.ShotsPerOutput.of(1), 0x01010101);
  touchProgram(form, 4);
  form.close();
  EXPECT_EQ(IniDocument::load(rig.settingsFile()).readInt("options", "ActiveProg", -1), 4);
  for (const char* stray :
       {"TolvaneGrain_.ini", "TolvaneGrain_.samples", "TolvaneGrain_.stat", "TolvaneGrain_.shots"}) {
    EXPECT_FALSE(fs::exists(rig.file(stray))) << stray;
  }
  EXPECT_TRUE(fs::exists(rig.file("TolvaneGrain.samples")));
}

TEST(Navigation, DoubleTouchOnTheServiceMarkFromWorkShowsTheModeList) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  ASSERT_TRUE(form.modeListPanel()->isHidden());
  QTest::mouseDClick(form.serviceLabel(), Qt::LeftButton);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabTest());
  EXPECT_FALSE(form.modeListPanel()->isHidden());
  touch(form.modeList(), form.modeList()->itemRect(3).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabWork());
  // Saving leads back to work.
  touch(form.tabWork()->SaveButton);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWork());
  EXPECT_TRUE(form.modeListPanel()->isHidden());
}

TEST(StoredControls, EveryStoredNameIsExactlyOneControl) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  std::vector<std::string> names;
  for (const StoredCaption& c : storedCaptions())
    names.emplace_back(std::string_view(c.key).substr(0, std::string_view(c.key).rfind('_')));
  for (const StoredSwitch& s : storedSwitches())
    names.emplace_back(std::string_view(s.key).substr(0, std::string_view(s.key).rfind('_')));
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    EXPECT_EQ(form.findChildren<QWidget*>(QString::fromStdString(name)).size(), 1) << name;
  }
}

}  // namespace
}  // namespace tolvane
