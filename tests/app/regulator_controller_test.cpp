// The reject regulator through its screens: the knob on the working page, the rows of the regulator
// settings page, the thresholds it drives on the conditions page, the sector bounds it moves, and the
// rows saved with the program and read back after a program switch.
#include "app/regulator_controller.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QListWidget>
#include <QTest>
#include <memory>
#include <mutex>
#include <string>

#include "app/machine.h"
#include "app/page_settings.h"
#include "app/page_settings_controller.h"
#include "app/page_simple_work.h"
#include "app/page_simple_work_settings.h"
#include "app/page_work.h"
#include "settings/ini_file.h"
#include "settings/stored_controls.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::AccessibleDriver;
using test::WindowRig;

// Rows of the conditions page.
constexpr std::size_t kMassaRow = 0;
constexpr std::size_t kP1Row = 2;
constexpr std::size_t kP2Row = 3;
constexpr std::size_t kFastRow = 8;

const std::string kSector3 =
    "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"10\" ##HMAX=\"40\" ##SMIN=\"20\" ##SMAX=\"200\" ##VMIN=\"0\" "
    "##VMAX=\"255\" ##ACTIVE=\"TRUE\"";
const std::string kSector5 =
    "##ID=\"5\" ##TYPE=\"2\" ##HMIN=\"100\" ##HMAX=\"140\" ##SMIN=\"30\" ##SMAX=\"90\" ##VMIN=\"0\" "
    "##VMAX=\"255\" ##ACTIVE=\"TRUE\"";

// A settings file whose program 1 holds these keys (and programs 1 and 2 have names).
std::string settingsWith(const std::string& program0, const std::string& program1 = {}) {
  return "\xEF\xBB\xBF[options]\r\nActiveProg=0\r\nProgramName0=Пшеница\r\nProgramName1=Овёс\r\n"
         "\r\n[program0]\r\nonCamera1=1\r\n" +
         program0 + "\r\n[program1]\r\nonCamera1=1\r\n" + program1;
}

// The window over the file, shown, with the window's own regulator controller; its sector action is
// counted here as well.
struct Rig {
  explicit Rig(const std::string& settings) {
    window.writeSettings(settings);
    form = &window.create();
    form->timer1()->stop();
    form->timer2()->stop();
    form->timer5sek()->stop();
    form->applyScreenSize(QSize(1024, 768));
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form));
    controller = &form->regulatorController();
    controller->setActions(RegulatorController::Actions{.sectorsChanged = [this] {
      ++sectorsChanged;
      form->settingsController().showProgram();
    }});
    driver = std::make_unique<AccessibleDriver>(form);
  }

  SorterSettings& sorter() { return window.machine().sorter(); }
  PageSimpleWorkSettings& rows() { return *form->tabSimpleWorkSettings(); }
  PageSimpleWork& working() { return *form->tabSimpleWork(); }
  const StepperRow& threshold(std::size_t row) { return form->tabWork()->conditions[row].threshold; }
  std::string thresholdText(std::size_t row) { return threshold(row).value->text().toStdString(); }
  std::string knobText() { return working().RegulatorLabel->text().toStdString(); }

  void showWorkingPage() { form->showPage(form->tabSimpleWork()); }
  void showRowsPage() { form->showPage(form->tabSimpleWorkSettings()); }
  void press(const char* description, int times = 1) {
    for (int i = 0; i < times; ++i) ASSERT_TRUE(driver->pressByDescription(QString::fromLatin1(description)));
  }
  void touchProgram(int index) {
    QTest::mouseClick(form->programList(), Qt::LeftButton, {}, form->programList()->itemRect(index).center());
  }

  WindowRig window;
  TmForm* form = nullptr;
  RegulatorController* controller = nullptr;
  std::unique_ptr<AccessibleDriver> driver;
  int sectorsChanged = 0;
};

TEST(RegulatorKnob, MassaRowBetween10And30) {
  Rig rig(
      settingsWith("bParam1=1\r\nreg_ParamBox1=0\r\nreg_ParamBox1left=010\r\nreg_ParamBox1right=030\r\n"
                   "Regulator=50\r\n"));
  EXPECT_EQ(rig.sorter().ifMassa, 20);
  EXPECT_EQ(rig.thresholdText(kMassaRow), "020");
  EXPECT_EQ(rig.knobText(), "050");
  // The driven threshold's own arrows are disabled, the others are not.
  EXPECT_FALSE(rig.threshold(kMassaRow).left->isEnabled());
  EXPECT_FALSE(rig.threshold(kMassaRow).right->isEnabled());
  EXPECT_TRUE(rig.threshold(kP1Row).left->isEnabled());
  EXPECT_TRUE(rig.threshold(kFastRow).right->isEnabled());

  rig.showWorkingPage();
  EXPECT_TRUE(rig.working().RegulatorLeftButton->isEnabled());
  EXPECT_EQ(rig.working().RegulatorLabel->palette().color(QPalette::WindowText), QColor(Qt::black));
  struct Step {
    const char* arrow;
    int times;
    const char* knob;
    int32_t massa;
  };
  const Step steps[] = {
      {"RegulatorLeftButton", 50, "000", 10},   {"RegulatorLeftButton", 1, "000", 10},
      {"RegulatorRightButton", 100, "100", 30}, {"RegulatorRightButton", 1, "100", 30},
      {"RegulatorLeftButton", 25, "075", 25},
  };
  for (const Step& step : steps) {
    rig.press(step.arrow, step.times);
    EXPECT_EQ(rig.knobText(), step.knob);
    EXPECT_EQ(rig.sorter().ifMassa, step.massa) << step.knob;
    EXPECT_EQ(rig.thresholdText(kMassaRow), numberLabelText(step.massa));
    // The knob is in the program's keys at once, so the next save writes it.
    EXPECT_EQ(rig.sorter().Regulator, step.knob);
  }
}

TEST(RegulatorKnob, HalvesRoundToEven) {
  Rig rig(
      settingsWith("bParam2=1\r\nreg_ParamBox2=1\r\nreg_ParamBox2left=000\r\nreg_ParamBox2right=005\r\n"
                   "Regulator=50\r\n"));
  EXPECT_EQ(rig.thresholdText(kP1Row), "002");  // 2.5
  rig.showWorkingPage();
  rig.press("RegulatorRightButton", 20);
  EXPECT_EQ(rig.thresholdText(kP1Row), "004");  // 3.5
  rig.press("RegulatorLeftButton", 40);
  EXPECT_EQ(rig.thresholdText(kP1Row), "002");  // 1.5
  rig.press("RegulatorLeftButton", 20);
  EXPECT_EQ(rig.thresholdText(kP1Row), "000");  // 0.5
  EXPECT_EQ(rig.sorter().ifP1, 0);
}

TEST(RegulatorKnob, RowThreeWinsOverRowOneOnTheSameThreshold) {
  Rig rig(
      settingsWith("bParam1=1\r\nreg_ParamBox1=1\r\nreg_ParamBox1left=010\r\nreg_ParamBox1right=010\r\n"
                   "bParam3=1\r\nreg_ParamBox3=1\r\nreg_ParamBox3left=070\r\nreg_ParamBox3right=070\r\n"
                   "bParam2=1\r\nreg_ParamBox2=2\r\nreg_ParamBox2left=040\r\nreg_ParamBox2right=040\r\n"));
  EXPECT_EQ(rig.sorter().ifP1, 70);
  EXPECT_EQ(rig.thresholdText(kP1Row), "070");
  EXPECT_EQ(rig.sorter().ifP2, 40);
  EXPECT_FALSE(rig.threshold(kP2Row).left->isEnabled());

  // Row 3 off: row 1 takes over at the next application.
  rig.showRowsPage();
  rig.press("Param_3_ok_button");
  EXPECT_FALSE(rig.sorter().bParam3);
  EXPECT_EQ(rig.sorter().ifP1, 10);
  EXPECT_EQ(rig.thresholdText(kP1Row), "010");
}

TEST(RegulatorRows, SwitchingARowOnTakesThePresentValueSoTheThresholdDoesNotJump) {
  Rig rig(
      settingsWith("ifMassa=45\r\nreg_ParamBox1=0\r\nreg_ParamBox1left=010\r\nreg_ParamBox1right=030\r\n"));
  EXPECT_TRUE(rig.threshold(kMassaRow).left->isEnabled());
  rig.showRowsPage();
  rig.press("Param_1_ok_button");
  EXPECT_TRUE(rig.sorter().bParam1);
  EXPECT_EQ(rig.rows().leftBounds[0].value->text(), "045");
  EXPECT_EQ(rig.rows().rightBounds[0].value->text(), "045");
  EXPECT_EQ(rig.sorter().reg_ParamBox1left, "045");
  EXPECT_EQ(rig.sorter().ifMassa, 45);
  EXPECT_FALSE(rig.threshold(kMassaRow).left->isEnabled());
  EXPECT_TRUE(rig.working().RegulatorLeftButton->isEnabled());

  // The bound arrows: the threshold follows the bound it sits on at once; 0 and 360 stop them.
  rig.press("Param_1_right_max_button", 5);
  EXPECT_EQ(rig.rows().rightBounds[0].value->text(), "050");
  EXPECT_EQ(rig.sorter().reg_ParamBox1right, "050");
  EXPECT_EQ(rig.sorter().ifMassa, 47);  // 45 + round(2.5)
  rig.press("Param_1_left_min_button", 46);
  EXPECT_EQ(rig.rows().leftBounds[0].value->text(), "000");
  EXPECT_EQ(rig.sorter().ifMassa, 25);
  rig.press("Param_1_right_max_button", 311);
  EXPECT_EQ(rig.rows().rightBounds[0].value->text(), "360");
  EXPECT_EQ(rig.sorter().reg_ParamBox1right, "360");

  // Switching it off frees the threshold's arrows and leaves the knob unusable.
  rig.press("Param_1_ok_button");
  EXPECT_TRUE(rig.threshold(kMassaRow).left->isEnabled());
  EXPECT_FALSE(rig.working().RegulatorLeftButton->isEnabled());
}

TEST(RegulatorRows, AllRowsInactiveLeaveTheKnobDisabledAndGrey) {
  Rig rig(
      settingsWith("reg_ParamBox1=0\r\nreg_ParamBox1left=010\r\nreg_ParamBox1right=030\r\nifMassa=77\r\n"
                   "Regulator=80\r\n"));
  rig.showWorkingPage();
  EXPECT_FALSE(rig.working().RegulatorLeftButton->isEnabled());
  EXPECT_FALSE(rig.working().RegulatorRightButton->isEnabled());
  EXPECT_EQ(rig.working().RegulatorLabel->palette().color(QPalette::WindowText), QColor(128, 128, 128));
  EXPECT_EQ(rig.working().RegulatorPercentLabel->palette().color(QPalette::WindowText),
            QColor(128, 128, 128));
  EXPECT_EQ(rig.knobText(), "080");
  rig.press("RegulatorRightButton");
  EXPECT_EQ(rig.knobText(), "080");
  EXPECT_EQ(rig.sorter().ifMassa, 77);
  for (std::size_t row : {kMassaRow, kP1Row, kP2Row, kFastRow}) {
    EXPECT_TRUE(rig.threshold(row).left->isEnabled()) << row;
    EXPECT_TRUE(rig.threshold(row).right->isEnabled()) << row;
  }
}

TEST(RegulatorRows, LeftAboveRightOnLineModeLowersAsTheKnobRises) {
  Rig rig(
      settingsWith("bParam1=1\r\nreg_ParamBox1=3\r\nreg_ParamBox1left=040\r\nreg_ParamBox1right=010\r\n"
                   "Regulator=25\r\n"));
  EXPECT_EQ(rig.sorter().ifFast, 32);  // 40 + round(-7.5)
  EXPECT_EQ(rig.thresholdText(kFastRow), "032");
  EXPECT_EQ(rig.working().FastSort_valD->text(), "032");
  EXPECT_FALSE(rig.threshold(kFastRow).right->isEnabled());
  rig.showWorkingPage();
  rig.press("RegulatorRightButton", 75);
  EXPECT_EQ(rig.sorter().ifFast, 10);
  EXPECT_EQ(rig.working().FastSort_valD->text(), "010");
}

TEST(RegulatorRows, ChoosingAParameterOrASectorBound) {
  Rig rig(
      settingsWith("ifP2=66\r\nbParam2=1\r\nreg_ParamBox2=0\r\nreg_ParamBox2left=001\r\n"
                   "reg_ParamBox2right=009\r\nSectorCounts=2\r\nSector0=" +
                   kSector3 + "\r\nSector1=" + kSector5 + "\r\n"));
  rig.showRowsPage();
  QListWidget* params = rig.rows().paramBoxes[1];
  QListWidget* bounds = rig.rows().boundBoxes[1];
  ASSERT_EQ(params->count(), 6);
  EXPECT_EQ(params->item(4)->text(), "Сектор №3");
  EXPECT_EQ(params->item(5)->text(), "Сектор №5");
  EXPECT_EQ(params->currentRow(), 0);
  EXPECT_FALSE(bounds->isEnabled());

  params->setCurrentRow(2);  // "Цвет 2"
  EXPECT_EQ(rig.rows().leftBounds[1].value->text(), "066");
  EXPECT_EQ(rig.sorter().reg_ParamBox2, 2);
  EXPECT_EQ(rig.sorter().ifP2, 66);
  EXPECT_FALSE(rig.threshold(kP2Row).left->isEnabled());
  EXPECT_TRUE(rig.threshold(kMassaRow).left->isEnabled());

  // A sector item: its bound list opens, the bounds stay until a bound is chosen.
  params->setCurrentRow(5);
  EXPECT_TRUE(bounds->isEnabled());
  EXPECT_TRUE(rig.threshold(kP2Row).left->isEnabled());
  EXPECT_EQ(rig.rows().leftBounds[1].value->text(), "066");
  bounds->setCurrentRow(static_cast<int>(SectorBound::kSMax));
  EXPECT_EQ(rig.rows().leftBounds[1].value->text(), "090");
  EXPECT_EQ(rig.rows().rightBounds[1].value->text(), "090");
  EXPECT_EQ(rig.sorter().reg_ParamBox2s, 2);
  EXPECT_EQ(rig.controller->heldSectorBounds(5), (HeldSectorBounds{false, false, true, false}));
  EXPECT_EQ(rig.controller->heldSectorBounds(3), HeldSectorBounds{});
  EXPECT_EQ(rig.sectorsChanged, 0);  // nothing moved: the bounds are where the sector is

  // Back to a threshold: the bound list loses its choice and closes.
  params->setCurrentRow(1);
  EXPECT_FALSE(bounds->isEnabled());
  EXPECT_EQ(bounds->currentRow(), -1);
  EXPECT_EQ(rig.sorter().reg_ParamBox2s, -1);
}

TEST(RegulatorSectors, ASectorRowMovesTheBoundAndRewritesTheLine) {
  Rig rig(
      settingsWith("bParam1=1\r\nreg_ParamBox1=4\r\nreg_ParamBox1s=1\r\nreg_ParamBox1left=000\r\n"
                   "reg_ParamBox1right=100\r\nRegulator=50\r\nSectorCounts=2\r\nSector0=" +
                   kSector3 + "\r\nSector1=" + kSector5 + "\r\n"));
  Machine& m = rig.window.machine();
  EXPECT_EQ(rig.sorter().Sectors[0][0],
            "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"50\" ##HMAX=\"40\" ##SMIN=\"20\" ##SMAX=\"200\" ##VMIN=\"0\" "
            "##VMAX=\"255\" ##ACTIVE=\"TRUE\"");
  EXPECT_EQ(rig.sorter().Sectors[0][1], kSector5);
  // Moved by the start-up's load already: the colour page lists the moved line.
  EXPECT_EQ(rig.form->tabSettings()->BoxSectorA->item(0)->text().toStdString(), rig.sorter().Sectors[0][0]);
  {
    std::lock_guard lock(m.engine().engineLock);
    ASSERT_EQ(m.engine().sectorTables[0].red.size(), 1u);
    EXPECT_EQ(m.engine().sectorTables[0].red[0].HMIN, 50);
  }
  rig.showWorkingPage();
  rig.press("RegulatorRightButton", 3);
  EXPECT_EQ(parseSectorLine(rig.sorter().Sectors[0][0])->HMIN, 53);
  {
    std::lock_guard lock(m.engine().engineLock);
    EXPECT_EQ(m.engine().sectorTables[0].red[0].HMIN, 53);
  }
  EXPECT_EQ(rig.sectorsChanged, 3);

  // Saved with the program: the moved line is what the file holds.
  rig.touchProgram(1);
  IniDocument doc = IniDocument::load(rig.window.settingsFile());
  EXPECT_NE(doc.readString("program0", "Sector0", "").find("##HMIN=\"53\""), std::string::npos);
  EXPECT_EQ(doc.readString("program0", "Regulator", ""), "053");
}

TEST(RegulatorPage, ListsAreBuiltAgainWhenThePageIsShown) {
  Rig rig(settingsWith(
      "bParam3=1\r\nreg_ParamBox3=4\r\nreg_ParamBox3s=3\r\nSectorCounts=1\r\nSector0=" + kSector3 + "\r\n"));
  QListWidget* params = rig.rows().paramBoxes[2];
  ASSERT_EQ(params->count(), 5);
  EXPECT_EQ(params->currentRow(), 4);
  EXPECT_EQ(rig.rows().boundBoxes[2]->currentRow(), 3);
  // A sector added on the colour page shows up the next time the page is shown; the choice stays.
  rig.showWorkingPage();
  rig.sorter().Sectors[0].push_back(kSector5);
  rig.showRowsPage();
  ASSERT_EQ(params->count(), 6);
  EXPECT_EQ(params->item(5)->text(), "Сектор №5");
  EXPECT_EQ(params->currentRow(), 4);
  for (QListWidget* list : rig.rows().paramBoxes) EXPECT_EQ(list->count(), 6);
  // The sector gone: its item goes, and the row's choice with it.
  rig.showWorkingPage();
  rig.sorter().Sectors[0].clear();
  rig.showRowsPage();
  EXPECT_EQ(params->count(), 4);
  EXPECT_EQ(params->currentRow(), -1);
  EXPECT_FALSE(rig.rows().boundBoxes[2]->isEnabled());
  EXPECT_EQ(rig.sorter().reg_ParamBox3, -1);
}

TEST(RegulatorPage, UnreadableStoredValuesHaveDefinedOutcomes) {
  Rig rig(
      settingsWith("bParam1=1\r\nreg_ParamBox1=17\r\nreg_ParamBox1s=2\r\nreg_ParamBox1left=xyz\r\n"
                   "reg_ParamBox1right=400\r\nRegulator=abc\r\n"
                   "bParam2=1\r\nreg_ParamBox2=0\r\nreg_ParamBox2left=-20\r\nreg_ParamBox2right=-20\r\n"));
  EXPECT_EQ(rig.knobText(), "050");
  EXPECT_EQ(rig.rows().paramBoxes[0]->currentRow(), -1);
  EXPECT_EQ(rig.rows().boundBoxes[0]->currentRow(), -1);
  EXPECT_EQ(rig.rows().leftBounds[0].value->text(), "000");
  EXPECT_EQ(rig.rows().rightBounds[0].value->text(), "400");
  // A bound below the mass threshold's limits drives it to its lowest value.
  EXPECT_EQ(rig.sorter().ifMassa, 1);
  EXPECT_EQ(rig.thresholdText(kMassaRow), "001");
  // A bound beyond 360 walks back into the range.
  rig.showRowsPage();
  rig.press("Param_1_right_max_button");
  EXPECT_EQ(rig.rows().rightBounds[0].value->text(), "400");
  rig.press("Param_1_right_min_button");
  EXPECT_EQ(rig.rows().rightBounds[0].value->text(), "399");
}

TEST(RegulatorProgram, RowsAndKnobAreSavedWithTheProgramAndComeBack) {
  Rig rig(settingsWith("",
                       "bParam1=1\r\nreg_ParamBox1=1\r\nreg_ParamBox1left=005\r\n"
                       "reg_ParamBox1right=015\r\nRegulator=20\r\n"));
  // Program 1: row 2 set up on "Цвет 2" through the screens, the knob moved.
  rig.sorter().ifP2 = 30;
  rig.showRowsPage();
  rig.press("Param_2_ok_button");
  rig.rows().paramBoxes[1]->setCurrentRow(2);
  rig.press("Param_2_left_min_button", 10);
  rig.press("Param_2_right_max_button", 20);
  rig.showWorkingPage();
  rig.press("RegulatorRightButton", 10);
  EXPECT_EQ(rig.knobText(), "060");
  EXPECT_EQ(rig.sorter().ifP2, 38);  // 20 + round(30 * 0.6)

  // Program 2 has its own rows.
  rig.touchProgram(1);
  IniDocument doc = IniDocument::load(rig.window.settingsFile());
  EXPECT_EQ(doc.readString("program0", "bParam2", ""), "1");
  EXPECT_EQ(doc.readInt("program0", "reg_ParamBox2", 0), 2);
  EXPECT_EQ(doc.readString("program0", "reg_ParamBox2left", ""), "020");
  EXPECT_EQ(doc.readString("program0", "reg_ParamBox2right", ""), "050");
  EXPECT_EQ(doc.readString("program0", "Regulator", ""), "060");
  EXPECT_EQ(doc.readInt("program0", "ifP2", 0), 38);
  EXPECT_FALSE(rig.rows().okButtons[1]->stateOn());
  EXPECT_TRUE(rig.rows().okButtons[0]->stateOn());
  EXPECT_EQ(rig.rows().paramBoxes[0]->currentRow(), 1);
  EXPECT_EQ(rig.rows().paramBoxes[1]->currentRow(), -1);
  EXPECT_EQ(rig.knobText(), "020");
  EXPECT_EQ(rig.sorter().ifP1, 7);
  EXPECT_TRUE(rig.threshold(kP2Row).left->isEnabled());
  EXPECT_FALSE(rig.threshold(kP1Row).left->isEnabled());

  // Back to program 1: as it was left.
  rig.touchProgram(0);
  EXPECT_TRUE(rig.rows().okButtons[1]->stateOn());
  EXPECT_FALSE(rig.rows().okButtons[0]->stateOn());
  EXPECT_EQ(rig.rows().paramBoxes[1]->currentRow(), 2);
  EXPECT_EQ(rig.rows().leftBounds[1].value->text(), "020");
  EXPECT_EQ(rig.rows().rightBounds[1].value->text(), "050");
  EXPECT_EQ(rig.knobText(), "060");
  EXPECT_EQ(rig.sorter().ifP2, 38);
  EXPECT_EQ(rig.thresholdText(kP2Row), "038");
  EXPECT_FALSE(rig.threshold(kP2Row).left->isEnabled());
  EXPECT_TRUE(rig.threshold(kP1Row).left->isEnabled());
}

// For a person to look at: the page with rows set up and sector items in the lists.
TEST(RegulatorPage, ScreenshotWithRowsSetUp) {
  Rig rig(
      settingsWith("bParam1=1\r\nreg_ParamBox1=0\r\nreg_ParamBox1left=010\r\nreg_ParamBox1right=030\r\n"
                   "bParam3=1\r\nreg_ParamBox3=5\r\nreg_ParamBox3s=2\r\nreg_ParamBox3left=040\r\n"
                   "reg_ParamBox3right=120\r\nSectorCounts=2\r\nSector0=" +
                   kSector3 + "\r\nSector1=" + kSector5 + "\r\n"));
  rig.showRowsPage();
  QCoreApplication::processEvents();
  const QImage image = rig.form->grab().toImage();
  EXPECT_EQ(image.size(), QSize(1024, 768));
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  EXPECT_TRUE(image.save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/TabSimpleWorkSettings_rows.png")));
}

}  // namespace
}  // namespace tolvane
