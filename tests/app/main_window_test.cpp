// The main window over simulated hardware: start-up, sorting, supervision, power, navigation,
// closing and restart, and the window's geometry rules.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/main_window_layout.h"
#include "app/page_data.h"
#include "app/page_egectors.h"
#include "app/page_one_chanal.h"
#include "app/page_settings.h"
#include "app/page_simple_work.h"
#include "app/page_simple_work_settings.h"
#include "app/page_test.h"
#include "app/page_work.h"
#include "ejection/io_boards.h"
#include "settings/ini_file.h"
#include "tests/app/main_window_rig.h"
#include "ui/artwork.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::WindowRig;

std::string labelText(QLabel* label) { return label->text().toStdString(); }

void stopTimers(TmForm& form) {
  form.timer1()->stop();
  form.timer2()->stop();
  form.timer5sek()->stop();
}

// A touch (press and release) in the middle of a widget, or of a rectangle inside it.
void touch(QWidget* widget, QPoint at = {}) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

// --- Start-up --------------------------------------------------------------------------------

TEST(MainWindowStartUp, WithoutCamerasOrBoardTheLabelsSaySoAndStartUpCompletes) {
  WindowRig rig({.camerasPresent = false, .boardPresent = false, .network = false});
  TmForm& form = rig.create();
  stopTimers(form);

  EXPECT_EQ(labelText(form.tabEgectors()->Cam1), "Камера 1 не найдена");
  EXPECT_EQ(labelText(form.tabEgectors()->Cam2), "Камера 2 не найдена");
  EXPECT_EQ(labelText(form.tabEgectors()->DASP1), "Ошибка: Не найдена интерфейсная плата №1 digital.");
  EXPECT_FALSE(rig.machine().digitalBoard().DigitalBoardReady());
  EXPECT_EQ(rig.board->acceptedWrites(), 0u);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWork());
  EXPECT_TRUE(form.timer1()->interval() == 1000 && form.timer2()->interval() == 500 &&
              form.timer5sek()->interval() == 5000);
  // No network: the lamp is dark and the support button cannot be used.
  EXPECT_TRUE(form.tabSimpleWork()->iLEDgreen->isHidden());
  EXPECT_FALSE(form.tabSimpleWork()->SupportButton->isEnabled());

  // The first supervision tick marks both cameras as not found with the blue lamp.
  form.Timer5sekTimer();
  const CameraLamps& c1 = form.tabSimpleWork()->cameras[0];
  EXPECT_EQ(labelText(c1.label), "Камера 1\nне найдена!");
  EXPECT_FALSE(c1.blue->isHidden());
  EXPECT_TRUE(c1.red->isHidden());
  EXPECT_TRUE(c1.green->isHidden());
}

TEST(MainWindowStartUp, CamerasBoardTimersAndTheStartPage) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();

  EXPECT_TRUE(form.timer1()->isActive());
  EXPECT_TRUE(form.timer2()->isActive());
  EXPECT_TRUE(form.timer5sek()->isActive());
  stopTimers(form);

  EXPECT_EQ(form.objectName(), "mForm");
  EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(labelText(form.tabEgectors()->Cam1), "Камера 1 ok");
  EXPECT_EQ(labelText(form.tabEgectors()->Cam2), "Камера 2 ok");
  EXPECT_EQ(labelText(form.tabEgectors()->DASP1), kDigitalBoardReadyText);
  EXPECT_TRUE(rig.board->driverOpen());
  EXPECT_EQ(rig.board->openValves(), 0u);

  // Start page, no mode list, hidden name fields, block 5 markers hidden.
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWork());
  EXPECT_TRUE(form.modeListPanel()->isHidden());
  EXPECT_EQ(form.modeList()->currentIndex(), 0);
  for (QLineEdit* field : form.nameFields()) EXPECT_TRUE(field->isHidden());
  EXPECT_TRUE(form.findChild<QWidget*>("ShapeA_block5")->isHidden());
  EXPECT_TRUE(form.findChild<QWidget*>("ShapeB_block5")->isHidden());
  EXPECT_FALSE(form.findChild<QWidget*>("ShapeA_block4")->isHidden());

  // The active program was loaded; its names sit in the name fields; the machine id was read.
  EXPECT_TRUE(rig.machine().sorter().onCamera1);
  EXPECT_EQ(form.nameFields()[0]->text(), "Пшеница");
  EXPECT_EQ(rig.machine().machine().MachineId, "MK-0042");
  EXPECT_EQ(form.programList()->currentIndex(), 0);

  // Zones from the calibration points: ejector 1 covers [0, 43) of camera 1.
  const EjectorZone& first = rig.machine().engine().ejection.EjectorZones[1];
  EXPECT_EQ(first.aStart, 0);
  EXPECT_EQ(first.aEnd, 43);
  // The block markers follow the points: block 2 from pixel 512 to 1024.
  const QWidget* marker = form.findChild<QWidget*>("ShapeA_block2");
  EXPECT_EQ(marker->x(), 512 * 100 / 204 + 5);
  EXPECT_EQ(marker->width(), (1024 * 100 / 204 + 5) - (512 * 100 / 204 + 5));
  // The list of blocks shows each block's ejectors and points.
  EXPECT_EQ(form.tabEgectors()->BlockListCam1->items().value(1), "13 - 24|512 - 1024");
  EXPECT_EQ(form.tabEgectors()->EgectorBoxA->itemCount(), 48);
  EXPECT_EQ(form.tabEgectors()->EgectorBoxA->items().front(), "01");
}

TEST(MainWindowStartUp, MissingSideFilesLeaveEmptyTablesAndPresentOnesAreRead) {
  {
    WindowRig rig;
    TmForm& form = rig.create();
    stopTimers(form);
    const EjectionState& e = rig.machine().engine().ejection;
    for (int output = 1; output <= 64; ++output) EXPECT_EQ(e.ShotsPerOutput.of(output), 0);
    EXPECT_EQ(e.DailyStats.countOf(10, kSideA, 5), 0);
    EXPECT_EQ(rig.machine().engine().SampleTable[0].InUse, 0);
    // No program is saved before the first load.
    EXPECT_FALSE(IniDocument::load(rig.settingsFile()).hasSection("program0"));
    // The end of start-up wrote ActiveProg and the calibration points.
    EXPECT_EQ(IniDocument::load(rig.settingsFile()).readInt("options", "EgecAx1", -1), 625);
  }
  {
    WindowRig rig;
    // A .shots file with two counts; a short .stat file that reaches into day 1 only.
    std::string shots(256, '\0');
    shots[4 * 6] = 7;       // output 7
    shots[4 * 63 + 1] = 1;  // output 64: 256
    test::writeBytes(rig.file("TolvaneGrain.shots"), shots);
    std::string stat(100, '\0');
    stat[44 + 3 * 4] = 9;  // day 1, side A, ejector 3
    test::writeBytes(rig.file("TolvaneGrain.stat"), stat);
    TmForm& form = rig.create();
    stopTimers(form);
    const EjectionState& e = rig.machine().engine().ejection;
    EXPECT_EQ(e.ShotsPerOutput.of(7), 7);
    EXPECT_EQ(e.ShotsPerOutput.of(64), 256);
    EXPECT_EQ(e.ShotsPerOutput.of(8), 0);
    EXPECT_EQ(e.DailyStats.countOf(1, kSideA, 3), 9);
  }
}

TEST(MainWindowStartUp, CaptionFromTheThirdSupervisionTick) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  EXPECT_EQ(form.windowTitle(), " Markavel Grain v2 ");
  form.Timer5sekTimer();
  form.Timer5sekTimer();
  EXPECT_EQ(labelText(form.mainCaption()), " Markavel Grain v2 ");
  form.Timer5sekTimer();
  EXPECT_EQ(form.windowTitle(), "Markavel v2.11R   id=MK-0042");
  EXPECT_EQ(labelText(form.mainCaption()), "Markavel v2.11R   id=MK-0042");
}

// --- Sorting ---------------------------------------------------------------------------------

TEST(MainWindowSorting, StartRunsBothCamerasAndStopClosesBlocksAndWrites) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  PageSimpleWork* work = form.tabSimpleWork();
  EjectionState& ejection = rig.machine().engine().ejection;

  touch(work->PuskSwitch);
  ASSERT_TRUE(rig.machine().run().view().puskSwitchOn);
  EXPECT_TRUE(work->PuskSwitch->stateOn());
  EXPECT_EQ(work->PuskSwitch->caption(), "СТОП");
  EXPECT_FALSE(form.programList()->isEnabled());
  EXPECT_EQ(rig.priorities, std::vector<int>{1});
  for (int camera = 0; camera < 2; ++camera) {
    const CameraLamps& lamps = work->cameras[static_cast<std::size_t>(camera)];
    EXPECT_EQ(labelText(lamps.label), "Камера " + std::to_string(camera + 1) + "\nработает");
    EXPECT_FALSE(lamps.green->isHidden());
    EXPECT_TRUE(lamps.red->isHidden());
    ASSERT_NE(rig.machine().run().cameraThread(camera), nullptr);
  }
  // Both threads deliver lines; the product is judged and rejects open valves on the board.
  QTRY_VERIFY_WITH_TIMEOUT(rig.machine().run().cameraThread(0)->LineCounter() > 2000, 20000);
  QTRY_VERIFY_WITH_TIMEOUT(rig.machine().run().cameraThread(1)->LineCounter() > 2000, 20000);
  QTRY_VERIFY_WITH_TIMEOUT(!rig.board->takeValveEdges().empty(), 20000);

  // The switch takes one touch per supervision period: a second touch now changes nothing.
  EXPECT_FALSE(work->PuskSwitch->isEnabled());
  touch(work->PuskSwitch);
  EXPECT_TRUE(rig.machine().run().view().puskSwitchOn);
  EXPECT_EQ(rig.machine().run().threadsCreated(), 2);

  form.Timer1Timer();
  form.Timer2Timer();
  EXPECT_NE(labelText(form.tabEgectors()->FPS1).find(" fps; "), std::string::npos);
  EXPECT_NE(labelText(work->cntLabel).find("Камера 1 = "), std::string::npos);
  EXPECT_FALSE(form.strip(0)->strip().isNull());

  form.Timer5sekTimer();
  ASSERT_TRUE(work->PuskSwitch->isEnabled());
  ASSERT_TRUE(rig.machine().run().view().puskSwitchOn);  // lines were seen: no fall-back
  touch(work->PuskSwitch);
  EXPECT_FALSE(rig.machine().run().view().puskSwitchOn);
  EXPECT_EQ(work->PuskSwitch->caption(), "ПУСК");
  EXPECT_TRUE(form.programList()->isEnabled());
  EXPECT_EQ(rig.priorities, (std::vector<int>{1, 0}));
  EXPECT_TRUE(ejection.OutputsBlocked.load());
  EXPECT_EQ(rig.board->openValves(), 0u);
  for (int j = 1; j <= 96; ++j) EXPECT_FALSE(ejection.ValveStates.isOpen(j));
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.shots")), 256u);
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.stat")), 297840u);
  QTRY_VERIFY_WITH_TIMEOUT(rig.machine().run().cameraThread(0)->finished(), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(rig.machine().run().cameraThread(1)->finished(), 10000);
}

TEST(MainWindowSorting, BothCamerasSilentTurnTheSwitchOffAtTheNextTick) {
  WindowRig rig;
  // No camera switched on in the program: a start runs no thread.
  TmForm& form = rig.create();
  stopTimers(form);
  PageSimpleWork* work = form.tabSimpleWork();
  touch(work->PuskSwitch);
  ASSERT_TRUE(work->PuskSwitch->stateOn());
  EXPECT_EQ(rig.machine().run().cameraThread(0), nullptr);

  form.Timer5sekTimer();
  EXPECT_FALSE(work->PuskSwitch->stateOn());
  EXPECT_TRUE(work->PuskSwitch->isEnabled());
  EXPECT_TRUE(form.programList()->isEnabled());
  EXPECT_EQ(labelText(work->cameras[0].label), "Камера 1\nостановлена");
  EXPECT_FALSE(work->cameras[0].red->isHidden());
  EXPECT_TRUE(work->cameras[0].green->isHidden());
  // The fall-back does not run the stop sequence.
  EXPECT_FALSE(rig.machine().engine().ejection.OutputsBlocked.load());
  EXPECT_FALSE(fs::exists(rig.file("TolvaneGrain.shots")));
}

TEST(MainWindowSorting, StandbyIsRefusedWhileSortingAndLeftByAStart) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  PageSimpleWork* work = form.tabSimpleWork();

  touch(work->WaitModeButton);
  EXPECT_TRUE(rig.machine().run().WaitMode());
  EXPECT_TRUE(work->WaitModeButton->stateOn());
  touch(work->PuskSwitch);  // a start switches standby off
  EXPECT_FALSE(rig.machine().run().WaitMode());
  EXPECT_FALSE(work->WaitModeButton->stateOn());

  touch(work->WaitModeButton);
  EXPECT_FALSE(work->WaitModeButton->stateOn());
  EXPECT_FALSE(rig.machine().run().WaitMode());
  ASSERT_EQ(rig.messages.size(), 1u);
  EXPECT_EQ(rig.messages[0], kWaitModeRefusedText);
}

TEST(MainWindowSorting, GaugesAndPanelsFollowLineOrObjectMode) {
  {
    WindowRig rig;
    rig.writeSettings(std::string(test::kTwoCameraSettings) + "enFast=1\r\n");
    TmForm& form = rig.create();
    stopTimers(form);
    PageSimpleWork* work = form.tabSimpleWork();
    EXPECT_FALSE(work->LineModePanel->isHidden());
    EXPECT_TRUE(work->RegulatorPanel->isHidden());
    EXPECT_EQ(work->gauges[0]->x(), 40);
    EXPECT_FALSE(work->gauges[1]->isHidden());
    EXPECT_EQ(work->gaugeScale(0), 100);
    EXPECT_EQ(work->gaugeBand(1), std::make_pair(70, 90));
    EXPECT_EQ(labelText(work->FastSort_valD), "010");
  }
  {
    WindowRig rig;
    std::string settings(test::kTwoCameraSettings);
    settings.replace(settings.find("Regulator=50"), 12, "Regulator=35\r\nbParam2=1");
    rig.writeSettings(settings);
    TmForm& form = rig.create();
    stopTimers(form);
    PageSimpleWork* work = form.tabSimpleWork();
    EXPECT_TRUE(work->LineModePanel->isHidden());
    EXPECT_FALSE(work->RegulatorPanel->isHidden());
    EXPECT_EQ(work->gauges[0]->x(), 164);
    EXPECT_TRUE(work->gauges[1]->isHidden());
    EXPECT_EQ(work->gaugeScale(0), 200);  // MaxObject
    EXPECT_EQ(work->gaugeBand(0), std::make_pair(195, 198));
    // A regulator row is active: its arrows work and its value is drawn black.
    EXPECT_TRUE(work->RegulatorLeftButton->isEnabled());
    EXPECT_EQ(labelText(work->RegulatorLabel), "035");
    EXPECT_EQ(work->RegulatorLabel->palette().color(QPalette::WindowText), QColor(Qt::black));
    // The gauge moves one unit per half-second tick towards the object count.
    {
      std::lock_guard lock(rig.machine().engine().engineLock);
      rig.machine().engine().ObjectCount = 5;
    }
    form.Timer2Timer();
    form.Timer2Timer();
    EXPECT_EQ(work->gaugePosition(0), 2);
  }
}

TEST(MainWindowSorting, StandbyRunsTheFullEjectorTestEveryTenMinutes) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  touch(form.tabSimpleWork()->WaitModeButton);
  ASSERT_TRUE(rig.machine().run().WaitMode());
  for (int tick = 1; tick < 120; ++tick) form.Timer5sekTimer();
  EXPECT_EQ(rig.machine().engine().ejection.ShotsPerOutput.of(1), 0);
  form.Timer5sekTimer();
  const EjectionState& ejection = rig.machine().engine().ejection;
  for (int output = 1; output <= 48; ++output) EXPECT_EQ(ejection.ShotsPerOutput.of(output), 5) << output;
  EXPECT_FALSE(rig.waited.empty());
  EXPECT_EQ(rig.board->openValves(), 0u);
  EXPECT_EQ(form.tabEgectors()->EgectorBoxA->selectedCell(), std::optional<int>(47));
}

// --- Power -----------------------------------------------------------------------------------

TEST(MainWindowPower, LabelsAndTheSaveAndPowerOffRuleWithTheSimulatedUps) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);

  form.Timer5sekTimer();
  EXPECT_EQ(labelText(form.powerLabel()), "Питание подключено");

  rig.power->setOnBattery(91);
  form.Timer5sekTimer();
  EXPECT_EQ(labelText(form.powerLabel()), "Питание ОТКЛЮЧЕНО, ИБП=91%");
  EXPECT_EQ(rig.powerOff->requestCount(), 0);
  EXPECT_FALSE(IniDocument::load(rig.settingsFile()).hasKey("program0", "ifMassa"));

  // A link that cannot tell is no news: the label stays, nothing is switched off.
  rig.power->setUnknown();
  form.Timer5sekTimer();
  EXPECT_EQ(labelText(form.powerLabel()), "Питание ОТКЛЮЧЕНО, ИБП=91%");
  EXPECT_EQ(rig.powerOff->requestCount(), 0);

  // At 90 % the settings are saved and a power-off is requested, which the default only records.
  rig.power->setOnBattery(90);
  form.enterSetupMode();
  form.nameFields()[4]->setText(QStringLiteral("Ячмень"));
  form.Timer5sekTimer();
  EXPECT_EQ(labelText(form.powerLabel()), "Питание ОТКЛЮЧЕНО, ИБП=90%");
  EXPECT_EQ(rig.powerOff->requestCount(), 1);
  const IniDocument saved = IniDocument::load(rig.settingsFile());
  EXPECT_TRUE(saved.hasKey("program0", "ifMassa"));
  EXPECT_EQ(saved.readString("options", "ProgramName4", ""), "Ячмень");
  EXPECT_TRUE(saved.hasKey("options", "FormVersion"));
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWork());
  // Repeated on every tick while the battery stays low.
  form.Timer5sekTimer();
  EXPECT_EQ(rig.powerOff->requestCount(), 2);
}

TEST(MainWindowPower, PowerOffButtonAsksTwice) {
  {
    WindowRig rig;
    TmForm& form = rig.create();
    stopTimers(form);
    rig.answers = {true};
    touch(form.tabSimpleWork()->PowerOffButtom);
    ASSERT_EQ(rig.questions.size(), 1u);
    EXPECT_EQ(rig.questions[0], "Вопрос... / Выключить машину?");
    EXPECT_EQ(rig.powerOff->requestCount(), 1);
    // Nothing was saved on the way.
    EXPECT_FALSE(fs::exists(rig.file("TolvaneGrain.samples")));
  }
  {
    WindowRig rig;
    TmForm& form = rig.create();
    stopTimers(form);
    form.show();
    rig.answers = {false, true};
    touch(form.tabSimpleWork()->PowerOffButtom);
    ASSERT_EQ(rig.questions.size(), 2u);
    EXPECT_EQ(rig.questions[1], "Вопрос... / Выгрузить программу?");
    EXPECT_EQ(rig.powerOff->requestCount(), 0);
    // The window closed normally, with the closing sequence.
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.samples")), 655200u);
  }
  {
    WindowRig rig;
    TmForm& form = rig.create();
    stopTimers(form);
    form.show();
    rig.answers = {false, false};
    touch(form.tabSimpleWork()->PowerOffButtom);
    EXPECT_EQ(rig.questions.size(), 2u);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(rig.powerOff->requestCount(), 0);
  }
}

// --- Closing and restart ---------------------------------------------------------------------

TEST(MainWindowClosing, CloseSavesStateSideFilesAndTheProgramAndClosesTheBoards) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  rig.machine().engine().ejection.ShotsPerOutput.count(5, 3);
  {
    std::lock_guard lock(rig.machine().engine().engineLock);
    rig.machine().sorter().ifMassa = 77;
  }
  form.close();

  EXPECT_FALSE(rig.board->driverOpen());
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.samples")), 655200u);
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.stat")), 297840u);
  const std::string shots = test::readBytes(rig.file("TolvaneGrain.shots"));
  ASSERT_EQ(shots.size(), 256u);
  EXPECT_EQ(shots[4 * 4], 3);
  const IniDocument doc = IniDocument::load(rig.settingsFile());
  EXPECT_EQ(doc.readInt("program0", "ifMassa", 0), 77);
  EXPECT_EQ(doc.readInt("options", "EgecAx3", 0), 2048);
  EXPECT_EQ(doc.readInt("options", "ActiveProg", -1), 0);
}

TEST(MainWindowClosing, ClosingWhileSortingStopsTheCamerasAndClosesTheValves) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  touch(form.tabSimpleWork()->PuskSwitch);
  ASSERT_NE(rig.machine().run().cameraThread(0), nullptr);
  QTRY_VERIFY_WITH_TIMEOUT(rig.machine().run().cameraThread(0)->LineCounter() > 100, 20000);
  form.close();
  EXPECT_TRUE(rig.machine().run().cameraThread(0)->finished());
  EXPECT_TRUE(rig.machine().run().cameraThread(1)->finished());
  EXPECT_TRUE(rig.machine().engine().ejection.OutputsBlocked.load());
  EXPECT_EQ(rig.board->openValves(), 0u);
  EXPECT_FALSE(rig.board->driverOpen());
  EXPECT_TRUE(IniDocument::load(rig.settingsFile()).hasKey("options", "MaxObjectLabel_Caption"));
}

TEST(MainWindowClosing, ASideFileThatCannotBeWrittenCostsNothingElse) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  // A folder where the samples file should be.
  fs::create_directory(rig.file("TolvaneGrain.samples"));
  {
    std::lock_guard lock(rig.machine().engine().engineLock);
    rig.machine().sorter().ifMassa = 66;
  }
  form.close();
  EXPECT_TRUE(fs::is_directory(rig.file("TolvaneGrain.samples")));
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.stat")), 297840u);
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.shots")), 256u);
  EXPECT_EQ(IniDocument::load(rig.settingsFile()).readInt("program0", "ifMassa", 0), 66);
}

TEST(MainWindowClosing, RestartStartsTheProgramAgainWithoutSaving) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  touch(form.tabSimpleWork()->RebootButton);
  ASSERT_EQ(rig.launcher.launches().size(), 1u);
  EXPECT_EQ(rig.launcher.launches()[0].programFile, rig.programFile());
  EXPECT_EQ(rig.launcher.launches()[0].workingFolder, rig.dir.path());
  EXPECT_FALSE(fs::exists(rig.file("TolvaneGrain.samples")));

  touch(form.tabWork()->CancelButton);
  EXPECT_EQ(rig.launcher.launches().size(), 2u);
  EXPECT_FALSE(fs::exists(rig.file("TolvaneGrain.samples")));
}

// --- Navigation ------------------------------------------------------------------------------

TEST(MainWindowNavigation, SetUpModeModeListAndSave) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  touch(form.tabSimpleWork()->asSwitch17);
  EXPECT_FALSE(form.modeListPanel()->isHidden());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabData());
  EXPECT_EQ(form.modeList()->currentIndex(), 0);
  for (QLineEdit* field : form.nameFields()) EXPECT_FALSE(field->isHidden());
  EXPECT_FALSE(form.tabSimpleWork()->asSwitch17->stateOn());

  PictureList* modes = form.modeList();
  touch(modes, modes->itemRect(2).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabEgectors());
  EXPECT_EQ(modes->currentIndex(), 2);
  touch(modes, modes->itemRect(3).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabWork());
  // The single-tone build keeps BrightMode on: "НАСТРОЙКА 1" opens the single-tone page.
  EXPECT_TRUE(form.tabWork()->BrightModeButton->stateOn());
  EXPECT_FALSE(form.tabWork()->BrightModeButton->isEnabled());
  EXPECT_EQ(form.tabWork()->BrightModeButton->caption(), "Монохромная|камера");
  touch(modes, modes->itemRect(1).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabOneChanal());
  // With the flag off the same item opens the colour page.
  form.tabWork()->BrightModeButton->setStateOn(false);
  EXPECT_FALSE(rig.machine().engine().BrightMode.load());
  touch(modes, modes->itemRect(1).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSettings());
  touch(modes, modes->itemRect(0).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabData());
  form.modeListSelect(-1);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabData());

  // "Настройка|регулятора" opens the regulator page.
  touch(form.tabWork()->RegulatorSetupButton);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWorkSettings());

  // A name typed in set-up mode reaches the file with the save, which returns to work.
  form.nameFields()[2]->setText(QStringLiteral("Рожь"));
  touch(form.tabWork()->SaveButton);
  EXPECT_TRUE(form.modeListPanel()->isHidden());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabSimpleWork());
  for (QLineEdit* field : form.nameFields()) EXPECT_TRUE(field->isHidden());
  const IniDocument doc = IniDocument::load(rig.settingsFile());
  EXPECT_EQ(doc.readString("options", "ProgramName2", ""), "Рожь");
  EXPECT_EQ(rig.machine().machine().ProgramName[2], "Рожь");
  EXPECT_TRUE(doc.hasKey("program0", "onCamera1"));
  EXPECT_EQ(fs::file_size(rig.file("TolvaneGrain.samples")), 655200u);
}

TEST(MainWindowNavigation, ServiceGestureSingleClearsDoubleShowsTheServicePage) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.enterSetupMode();
  form.modeListSelect(2);
  form.modeList()->setCurrentIndex(2);

  touch(form.serviceLabel());
  EXPECT_EQ(form.modeList()->currentIndex(), -1);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabEgectors());

  form.modeList()->setCurrentIndex(2);
  QTest::mouseDClick(form.serviceLabel(), Qt::LeftButton);
  EXPECT_EQ(form.modeList()->currentIndex(), -1);
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabTest());

  // Leaving the service page is by the mode list, which navigates normally again.
  touch(form.modeList(), form.modeList()->itemRect(2).center());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabEgectors());
}

TEST(MainWindowNavigation, ProgramListSwitchesSavesFirstAndIsLockedWhileSorting) {
  WindowRig rig;
  rig.writeSettings(std::string(test::kTwoCameraSettings) +
                    "\r\n[program3]\r\nifMassa=321\r\nFonBlack=44\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  {
    std::lock_guard lock(rig.machine().engine().engineLock);
    rig.machine().sorter().ifMassa = 55;
  }
  PictureList* programs = form.programList();
  touch(programs, programs->itemRect(3).center());
  EXPECT_EQ(rig.machine().machine().ActiveProg, 3);
  EXPECT_EQ(programs->currentIndex(), 3);
  EXPECT_EQ(rig.machine().sorter().ifMassa, 321);
  EXPECT_EQ(labelText(form.findChild<QLabel*>("cam1blackLabel")), "044");
  // The program that was left was saved first.
  EXPECT_EQ(IniDocument::load(rig.settingsFile()).readInt("program0", "ifMassa", 0), 55);

  // While sorting the list takes no touch.
  touch(form.tabSimpleWork()->PuskSwitch);
  ASSERT_FALSE(programs->isEnabled());
  touch(programs, programs->itemRect(5).center());
  EXPECT_EQ(rig.machine().machine().ActiveProg, 3);
  // This program uses no camera: the next tick turns the switch off and frees the list.
  form.Timer5sekTimer();
  EXPECT_TRUE(programs->isEnabled());
}

TEST(MainWindowNavigation, AFailedSaveKeepsTheActiveProgramAndSaysWhy) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  // A folder where the settings file should be: nothing can be written there.
  fs::remove(rig.settingsFile());
  fs::create_directory(rig.settingsFile());
  form.programListTouch(4);
  EXPECT_EQ(rig.machine().machine().ActiveProg, 0);
  EXPECT_EQ(form.programList()->currentIndex(), 0);
  ASSERT_EQ(rig.messages.size(), 1u);
  EXPECT_EQ(rig.messages[0], "Unable to write to " + rig.settingsFile().string());
}

TEST(MainWindowControls, SteppingButtonsAreMomentaryAndRepeatWhileHeld) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  form.enterSetupMode();
  form.modeListSelect(1);
  auto* arrow = form.tabOneChanal()->findChild<TasSwitch*>("FonChMinRight");
  ASSERT_NE(arrow, nullptr);
  EXPECT_TRUE(arrow->autoOff());
  EXPECT_TRUE(arrow->autoRepeat());
  QSignalSpy clicks(arrow, &TasSwitch::clicked);
  QTest::mousePress(arrow, Qt::LeftButton, {}, arrow->rect().center());
  EXPECT_TRUE(arrow->stateOn());
  // Held: the repeat keeps clicking with the repeat timer as sender.
  QTRY_VERIFY(clicks.count() >= 2);
  EXPECT_EQ(clicks.first().at(0).value<QObject*>(), arrow->repeatTimer());
  QTest::mouseRelease(arrow, Qt::LeftButton, {}, arrow->rect().center());
  EXPECT_FALSE(arrow->stateOn());
  EXPECT_EQ(clicks.last().at(0).value<QObject*>(), arrow);
}

TEST(MainWindowControls, OptionFlagsFollowTheirSwitchesAndAreTakenAtFirstShow) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  EngineState& engine = rig.machine().engine();
  {
    // Switches set without their events (as a restore might leave them) ...
    const QSignalBlocker a(form.tabWork()->FineTimerButton);
    const QSignalBlocker b(form.tabWork()->ColorTuneButton);
    form.tabWork()->FineTimerButton->setStateOn(true);
    form.tabWork()->ColorTuneButton->setStateOn(true);
  }
  EXPECT_FALSE(engine.FineTimer.load());
  EXPECT_FALSE(engine.ColorTune.load());
  // ... reach the flags when the window is first shown.
  form.show();
  EXPECT_TRUE(engine.FineTimer.load());
  EXPECT_TRUE(engine.ColorTune.load());
  EXPECT_TRUE(engine.BrightMode.load());

  form.tabWork()->FineTimerButton->setStateOn(false);
  form.tabWork()->ColorTuneButton->setStateOn(false);
  EXPECT_FALSE(engine.FineTimer.load());
  EXPECT_FALSE(engine.ColorTune.load());
  form.tabWork()->Cam2enableSwitch->setStateOn(true);
  EXPECT_TRUE(rig.machine().sorter().onCamera2);
  form.tabWork()->Cam2enableSwitch->setStateOn(false);
  EXPECT_FALSE(rig.machine().sorter().onCamera2);
}

// --- Geometry --------------------------------------------------------------------------------

TEST(MainWindowGeometry, WindowCoversTheScreenAndThePanelIsCentredVertically) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.applyScreenSize(QSize(1024, 768));
  EXPECT_EQ(form.geometry(), QRect(0, 0, 1024, 768));
  EXPECT_EQ(form.fonPanel()->geometry(), QRect(2, -3, 1016, 774));
  form.applyScreenSize(QSize(1280, 1024));
  EXPECT_EQ(form.fonPanel()->pos(), QPoint(2, 125));
  EXPECT_EQ(form.pageControl()->size(), QSize(806, 560));
}

TEST(MainWindowGeometry, BackgroundIsTheTiledTextureOrPlainGrey) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.applyScreenSize(QSize(1024, 768));
  const QImage texture = BackgroundTexture();
  // Column 0 lies left of the content panel: window background.
  QImage shot = form.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(0, 300)), QColor(texture.pixel(0, 300 % texture.height())));
  EXPECT_EQ(QColor(shot.pixel(1, 50)), QColor(texture.pixel(1, 50)));

  form.tabTest()->ssImage->clear();
  shot = form.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(0, 300)), QColor(0x4B, 0x4B, 0x4B));
}

TEST(MainWindowLayout, RulesOfThePanelMarkersAndBands) {
  EXPECT_EQ(fonPanelTop(768), -3);
  EXPECT_EQ(fonPanelTop(773), 0);  // -1 / 2 truncates toward zero
  EXPECT_EQ(fonPanelTop(1024), 125);
  EXPECT_EQ(nameFieldX(0), 15);
  EXPECT_EQ(nameFieldX(8), 799);

  EXPECT_EQ(stripPoint(2047), 1003);
  EXPECT_EQ(stripPoint(-44), -21);  // toward zero
  EXPECT_EQ(blockMarkerSpan(625, 1250), (HorizontalSpan{311, 306}));
  EXPECT_EQ(blockMarkerSpan(1250, 625).width, -306);
  EXPECT_EQ(blockMarkerSpan(INT32_MAX, INT32_MAX).width, 0);

  const WorkRangeBands bands = workRangeBands(204, 1836);
  EXPECT_EQ(bands.left, (HorizontalSpan{5, 100}));
  EXPECT_EQ(bands.right, (HorizontalSpan{905, 106}));

  EXPECT_EQ(blockListItemText(1, 640, 1250), "13 - 24|640 - 1250");
  EXPECT_EQ(blockListItemText(0, -44, 491), "1 - 12|-44 - 491");
}

// --- Platform configuration ------------------------------------------------------------------

TEST(PlatformConfig, SimulatedByDefaultAndAnythingElseIsAClearMessage) {
  PlatformConfigResult none = parsePlatformConfig("", nullptr);
  EXPECT_TRUE(none.error.empty());
  EXPECT_EQ(none.config.hardware, "simulated");
  EXPECT_EQ(none.config.powerOff, "record");

  const PlatformConfigResult real = parsePlatformConfig("# the machine\nhardware = real\n", nullptr);
  EXPECT_NE(real.error.find("\"real\""), std::string::npos);
  EXPECT_NE(real.error.find("simulated"), std::string::npos);

  // The environment overrides the file, both ways.
  EXPECT_TRUE(parsePlatformConfig("hardware = real\n", "simulated").error.empty());
  EXPECT_NE(parsePlatformConfig("", "genicam").error.find("\"genicam\""), std::string::npos);

  EXPECT_NE(parsePlatformConfig("hardwre = simulated\n", nullptr).error.find("\"hardwre\""),
            std::string::npos);
  EXPECT_NE(parsePlatformConfig("hardware simulated\n", nullptr).error.find("строка 1"), std::string::npos);

  const PlatformConfigResult nut =
      parsePlatformConfig("power = nut:ups@127.0.0.1:3493\npoweroff=record\n", nullptr);
  EXPECT_TRUE(nut.error.empty()) << nut.error;
  EXPECT_EQ(nut.config.power, "nut:ups@127.0.0.1:3493");
  EXPECT_FALSE(parsePlatformConfig("power = nut:bad name\n", nullptr).error.empty());
  EXPECT_FALSE(parsePlatformConfig("power = battery\n", nullptr).error.empty());
  EXPECT_FALSE(parsePlatformConfig("poweroff = now\n", nullptr).error.empty());
  EXPECT_TRUE(parsePlatformConfig("poweroff = system\n", nullptr).error.empty());

  const PlatformConfigResult links =
      parsePlatformConfig("update_server = https://u.example\nmail_tls = required\n", nullptr);
  EXPECT_TRUE(links.error.empty()) << links.error;
  EXPECT_EQ(links.config.links.updateServer, "https://u.example");
  EXPECT_NE(parsePlatformConfig("mail_tls = often\n", nullptr).error.find("строка 1"), std::string::npos);
}

TEST(PlatformConfig, FileBesideTheProgramAndTheParts) {
  test::TempDir dir;
  const fs::path program = dir / "TolvaneGrain";
  unsetenv("TOLVANE_HARDWARE");
  EXPECT_TRUE(readPlatformConfig(program).error.empty());
  test::writeBytes(dir / "TolvaneGrain.platform", "hardware = real\n");
  EXPECT_FALSE(readPlatformConfig(program).error.empty());
  test::writeBytes(dir / "TolvaneGrain.platform", "hardware = simulated\npower = sysfs\n");
  const PlatformConfigResult config = readPlatformConfig(program);
  ASSERT_TRUE(config.error.empty()) << config.error;

  std::string error;
  std::optional<MachineParts> parts = machinePartsFromConfig(config.config, program, error);
  ASSERT_TRUE(parts.has_value()) << error;
  EXPECT_NE(dynamic_cast<ProductStreamSimulator*>(parts->cameras.get()), nullptr);
  EXPECT_NE(dynamic_cast<SimulatedDigitalBoard*>(parts->digitalBoard.get()), nullptr);
  EXPECT_NE(dynamic_cast<RecordingPowerOff*>(parts->powerOff.get()), nullptr);
  EXPECT_EQ(dynamic_cast<SimulatedPower*>(parts->power.get()), nullptr);

  PlatformConfig real;
  real.hardware = "real";
  EXPECT_FALSE(machinePartsFromConfig(real, program, error).has_value());
  EXPECT_NE(error.find("\"real\""), std::string::npos);
}

TEST(NetworkLamp, DefaultRouteInTheKernelTable) {
  test::TempDir dir;
  const std::string header = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n";
  test::writeBytes(dir / "route", header + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t0\t00000000\n");
  EXPECT_TRUE(defaultRoutePresent(dir / "route"));
  test::writeBytes(dir / "route", header + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n");
  EXPECT_FALSE(defaultRoutePresent(dir / "route"));
  // A default route that is not up does not count.
  test::writeBytes(dir / "route", header + "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\n");
  EXPECT_FALSE(defaultRoutePresent(dir / "route"));
  EXPECT_FALSE(defaultRoutePresent(dir / "missing"));
}

}  // namespace
}  // namespace tolvane
