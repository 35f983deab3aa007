// The ejector page on the main window: the calibration arrows with their zones and settings file, the
// stable parameters and working ranges with their limits, the cells' counts and lamps, and the three
// valve tests with the simulated board's valve trace.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/page_egectors.h"
#include "app/page_egectors_controller.h"
#include "app/page_test.h"
#include "app/page_test_controller.h"
#include "ejection/valve_outputs.h"
#include "ejection/valve_tests.h"
#include "settings/ini_file.h"
#include "settings/stored_controls.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::AccessibleDriver;
using test::WindowRig;

// A window on the ejector page, with its timers stopped and the page's actions recorded.
class EjectorPage {
 public:
  explicit EjectorPage(std::string_view settings, test::RigOptions options = {}) : rig(options) {
    if (!settings.empty()) rig.writeSettings(settings);
    form = &rig.create();
    form->timer1()->stop();
    form->timer2()->stop();
    form->timer5sek()->stop();
    form->egectorsController().setActions(
        {.calibrationChanged = [this] { ++markerRefreshes; },
         .tell = [this](const QString& text) { told.push_back(text.toStdString()); }});
    form->show();
    form->showPage(page());
    driver = std::make_unique<AccessibleDriver>(form);
  }

  PageEgectors* page() const { return form->tabEgectors(); }
  Machine& machine() { return rig.machine(); }
  MachineSettings& settings() { return machine().machine(); }
  EjectionState& ejection() { return machine().engine().ejection; }
  bool press(const char* control) { return driver->pressByDescription(QString::fromLatin1(control)); }
  IniDocument file() const { return IniDocument::load(rig.settingsFile()); }
  void selectBlock(BlockList* list, int block) {
    QTest::mouseClick(list, Qt::LeftButton, {}, list->itemRect(block).center());
  }
  void selectCell(int cell) {
    QTest::mouseClick(page()->EgectorBoxA, Qt::LeftButton, {}, page()->EgectorBoxA->cellRect(cell).center());
  }
  std::int32_t shots(int output) {
    std::lock_guard lock(machine().engine().engineLock);
    return ejection().ShotsPerOutput.of(output);
  }

  WindowRig rig;
  TmForm* form = nullptr;
  std::unique_ptr<AccessibleDriver> driver;
  int markerRefreshes = 0;
  std::vector<std::string> told;
};

// One block per quarter of side A and B; block 0 reaches 599 and block 1 starts at 626, one step
// short of the even cases.
constexpr std::string_view kCalibrationSettings =
    "[options]\r\nActiveProg=3\r\n"
    "EgecA0=0\r\nEgecAx0=599\r\nEgecA1=626\r\nEgecAx1=1250\r\nEgecA2=1300\r\nEgecAx2=1900\r\n"
    "EgecA3=1900\r\nEgecAx3=2040\r\nEgecA4=2040\r\nEgecAx4=2040\r\n"
    "EgecB0=10\r\nEgecBx0=500\r\nEgecB1=500\r\nEgecBx1=1000\r\nEgecB2=1000\r\nEgecBx2=1500\r\n"
    "EgecB3=1500\r\nEgecBx3=2000\r\nEgecB4=2000\r\nEgecBx4=2000\r\n";

// --- Calibration ---------------------------------------------------------------------------------

TEST(EjectorCalibration, SwitchEnablesAndDisablesTheEightArrowsWhichRepeatEvery20Ms) {
  EjectorPage p(kCalibrationSettings);
  for (int side = 0; side < 2; ++side) {
    for (TasSwitch* arrow : p.page()->calibrationArrows(side)) {
      ASSERT_NE(arrow, nullptr);
      EXPECT_FALSE(arrow->isEnabled()) << arrow->objectName().toStdString();
      EXPECT_TRUE(arrow->autoRepeat());
      EXPECT_EQ(arrow->autoRepeatTime(), 20);
    }
  }
  // Disabled arrows take no touch.
  p.selectBlock(p.page()->BlockListCam1, 0);
  p.press("AButtonRightPlus");
  EXPECT_EQ(p.settings().EgecAx[0], 599);
  EXPECT_EQ(p.file().readInt("options", "EgecAx0", -1), 599);

  ASSERT_TRUE(p.press("KalibrovkaEnableButton"));
  ASSERT_TRUE(p.page()->KalibrovkaEnableButton->stateOn());
  for (int side = 0; side < 2; ++side) {
    for (TasSwitch* arrow : p.page()->calibrationArrows(side)) EXPECT_TRUE(arrow->isEnabled());
  }
  ASSERT_TRUE(p.press("KalibrovkaEnableButton"));
  for (int side = 0; side < 2; ++side) {
    for (TasSwitch* arrow : p.page()->calibrationArrows(side)) EXPECT_FALSE(arrow->isEnabled());
  }
}

TEST(EjectorCalibration, StepMovesThePointRecomputesZonesRefreshesListsAndWritesTheFile) {
  EjectorPage p(kCalibrationSettings);
  ASSERT_TRUE(p.press("KalibrovkaEnableButton"));
  p.selectBlock(p.page()->BlockListCam1, 0);
  const int refreshesBefore = p.markerRefreshes;

  ASSERT_TRUE(p.press("AButtonRightPlus"));
  EXPECT_EQ(p.settings().EgecAx[0], 600);
  {
    std::lock_guard lock(p.machine().engine().engineLock);
    const auto& zones = p.ejection().EjectorZones;
    for (int j = 1; j <= 12; ++j) {
      EXPECT_EQ(zones[j].aStart, (j - 1) * 50) << j;
      EXPECT_EQ(zones[j].aEnd, j * 50) << j;
    }
  }
  EXPECT_EQ(p.page()->BlockListCam1->items().value(0).toStdString(), "1 - 12|0 - 600");
  EXPECT_EQ(p.page()->BlockListCam1->currentIndex(), 0);
  EXPECT_EQ(p.page()->BlockListCam2->currentIndex(), -1);
  EXPECT_EQ(p.markerRefreshes, refreshesBefore + 1);
  IniDocument doc = p.file();
  EXPECT_EQ(doc.readInt("options", "EgecAx0", -1), 600);
  EXPECT_EQ(doc.readInt("options", "ActiveProg", -1), 3);

  // Block 1 from 626 to 625: width 625, ends 625 + round(52.083 k).
  p.selectBlock(p.page()->BlockListCam1, 1);
  ASSERT_TRUE(p.press("AButtonLeftMinus"));
  EXPECT_EQ(p.settings().EgecA[1], 625);
  {
    std::lock_guard lock(p.machine().engine().engineLock);
    const auto& zones = p.ejection().EjectorZones;
    EXPECT_EQ(zones[13].aStart, 625);
    EXPECT_EQ(zones[13].aEnd, 677);
    EXPECT_EQ(zones[14].aEnd, 729);
    EXPECT_EQ(zones[24].aEnd, 1250);
    EXPECT_EQ(zones[12].aEnd, 600);  // block 0 untouched
  }
  EXPECT_EQ(p.page()->BlockListCam1->items().value(1).toStdString(), "13 - 24|625 - 1250");
  EXPECT_EQ(p.page()->BlockListCam1->currentIndex(), 1);
  doc = p.file();
  EXPECT_EQ(doc.readInt("options", "EgecA1", -1), 625);
  EXPECT_EQ(doc.readInt("options", "EgecAx0", -1), 600);

  // The other arrows of both sides, each on its own point.
  struct Arrow {
    const char* control;
    BlockList* list;
    int block;
    MachineSettings::CalibrationPoints MachineSettings::*points;
    const char* key;
    int delta;
  };
  const Arrow arrows[] = {
      {"AButtonLeftPlus", p.page()->BlockListCam1, 2, &MachineSettings::EgecA, "EgecA2", +1},
      {"AButtonRightMinus", p.page()->BlockListCam1, 3, &MachineSettings::EgecAx, "EgecAx3", -1},
      {"BButtonLeftMinus", p.page()->BlockListCam2, 0, &MachineSettings::EgecB, "EgecB0", -1},
      {"BButtonLeftPlus", p.page()->BlockListCam2, 1, &MachineSettings::EgecB, "EgecB1", +1},
      {"BButtonRightMinus", p.page()->BlockListCam2, 2, &MachineSettings::EgecBx, "EgecBx2", -1},
      {"BButtonRightPlus", p.page()->BlockListCam2, 3, &MachineSettings::EgecBx, "EgecBx3", +1},
  };
  for (const Arrow& a : arrows) {
    p.selectBlock(a.list, a.block);
    const MachineSettings before = p.settings();
    ASSERT_TRUE(p.press(a.control)) << a.control;
    MachineSettings expected = before;
    (expected.*a.points)[static_cast<std::size_t>(a.block)] += a.delta;
    EXPECT_EQ(p.settings().EgecA, expected.EgecA) << a.control;
    EXPECT_EQ(p.settings().EgecAx, expected.EgecAx) << a.control;
    EXPECT_EQ(p.settings().EgecB, expected.EgecB) << a.control;
    EXPECT_EQ(p.settings().EgecBx, expected.EgecBx) << a.control;
    EXPECT_EQ(p.file().readInt("options", a.key, -1), (expected.*a.points)[static_cast<std::size_t>(a.block)])
        << a.control;
  }
  // Side B's zones follow its points: block 3 now 1500 ... 2001.
  std::lock_guard lock(p.machine().engine().engineLock);
  EXPECT_EQ(p.ejection().EjectorZones[48].bEnd, 2001);
  EXPECT_EQ(p.ejection().EjectorZones[1].bStart, 9);
}

TEST(EjectorCalibration, WithoutASelectedBlockOnlyRecomputesAndWrites) {
  EjectorPage p(kCalibrationSettings);
  ASSERT_TRUE(p.press("KalibrovkaEnableButton"));
  const MachineSettings before = p.settings();
  // A damaged file value is replaced by the points in memory, which were not moved.
  {
    IniDocument doc = p.file();
    doc.writeInt("options", "EgecAx0", 77);
    doc.save(p.rig.settingsFile());
  }
  ASSERT_TRUE(p.press("AButtonLeftPlus"));
  ASSERT_TRUE(p.press("BButtonRightMinus"));
  EXPECT_EQ(p.settings().EgecA, before.EgecA);
  EXPECT_EQ(p.settings().EgecAx, before.EgecAx);
  EXPECT_EQ(p.settings().EgecB, before.EgecB);
  EXPECT_EQ(p.settings().EgecBx, before.EgecBx);
  EXPECT_EQ(p.file().readInt("options", "EgecAx0", -1), 599);
}

TEST(EjectorCalibration, DefaultPointsGiveEmptyZones) {
  EjectorPage p("");
  ASSERT_TRUE(p.press("KalibrovkaEnableButton"));
  p.selectBlock(p.page()->BlockListCam1, 1);
  ASSERT_TRUE(p.press("AButtonLeftPlus"));  // 626 .. 625: reversed, selects no pixel
  ASSERT_TRUE(p.press("AButtonLeftMinus"));
  std::lock_guard lock(p.machine().engine().engineLock);
  for (int j = 1; j <= 48; ++j) {
    const EjectorZone& z = p.ejection().EjectorZones[j];
    EXPECT_EQ(z.aStart, z.aEnd) << j;
    EXPECT_EQ(z.bStart, z.bEnd) << j;
  }
  EXPECT_EQ(p.ejection().EjectorZones[13].aStart, 625);
}

TEST(EjectorCalibration, HoldingAnArrowKeepsSteppingAndRewritesTheFile) {
  EjectorPage p(kCalibrationSettings);
  ASSERT_TRUE(p.press("KalibrovkaEnableButton"));
  p.selectBlock(p.page()->BlockListCam2, 1);
  TasSwitch* arrow = p.page()->BButtonRightPlus;
  QTest::mousePress(arrow, Qt::LeftButton, {}, arrow->rect().center());
  QTRY_VERIFY_WITH_TIMEOUT(p.settings().EgecBx[1] >= 1003, 10000);
  QTest::mouseRelease(arrow, Qt::LeftButton, {}, arrow->rect().center());
  const std::int32_t held = p.settings().EgecBx[1];
  QTest::qWait(100);
  EXPECT_EQ(p.settings().EgecBx[1], held);  // no step after the release
  EXPECT_FALSE(arrow->stateOn());
  EXPECT_EQ(p.file().readInt("options", "EgecBx1", -1), held);
  EXPECT_EQ(p.page()->BlockListCam2->items().value(1).toStdString(), "13 - 24|500 - " + std::to_string(held));
}

// --- Stable parameters and working ranges ---------------------------------------------------------

struct StepperCase {
  const char* left;
  const char* right;
  StepperRow PageEgectors::*row;
  std::int32_t MachineSettings::*field;
  std::int32_t lower;
  std::int32_t upper;
};

const StepperCase kSteppers[] = {
    {"Time_Left", "Time_Right", &PageEgectors::Time, &MachineSettings::Time, 1, 300},
    {"Delay_Left", "Delay_Right", &PageEgectors::Delay, &MachineSettings::Delay, 0, 999},
    {"MinVes_Left", "MinVes_Right", &PageEgectors::MinVes, &MachineSettings::MinVes, 0, 600},
    {"EGA_Min_Left", "EGA_Min_Right", &PageEgectors::EGA_Min, &MachineSettings::EGA_Min, 1, 48},
    {"EGA_Max_Left", "EGA_Max_Right", &PageEgectors::EGA_Max, &MachineSettings::EGA_Max, 1, 48},
    {"EGB_Min_Left", "EGB_Min_Right", &PageEgectors::EGB_Min, &MachineSettings::EGB_Min, 1, 48},
    {"EGB_Max_Left", "EGB_Max_Right", &PageEgectors::EGB_Max, &MachineSettings::EGB_Max, 1, 48},
};

TEST(EjectorPageSteppers, EachStepsItsFieldWithinItsLimitsAndRedrawsTheBands) {
  EjectorPage p(test::kTwoCameraSettings);
  for (const StepperCase& c : kSteppers) {
    SCOPED_TRACE(c.right);
    QLabel* label = (p.page()->*c.row).value;
    auto set = [&](std::int32_t value) {
      label->setText(QString::fromStdString(numberLabelText(value)));
      p.settings().*c.field = value;
    };
    auto expectValue = [&](std::int32_t value) {
      EXPECT_EQ(p.settings().*c.field, value);
      EXPECT_EQ(label->text().toStdString(), numberLabelText(value));
    };
    const int refreshes = p.markerRefreshes;
    set(c.lower);
    ASSERT_TRUE(p.press(c.left));
    expectValue(c.lower);
    ASSERT_TRUE(p.press(c.right));
    expectValue(c.lower + 1);
    set(c.upper);
    ASSERT_TRUE(p.press(c.right));
    expectValue(c.upper);
    ASSERT_TRUE(p.press(c.left));
    expectValue(c.upper - 1);
    EXPECT_EQ(p.markerRefreshes, refreshes + 4);
    // Stored beyond the limits: never further out, one unit back toward the range.
    set(c.upper + 50);
    ASSERT_TRUE(p.press(c.right));
    expectValue(c.upper + 50);
    ASSERT_TRUE(p.press(c.left));
    expectValue(c.upper + 49);
    set(c.lower - 5);
    ASSERT_TRUE(p.press(c.left));
    expectValue(c.lower - 5);
    ASSERT_TRUE(p.press(c.right));
    expectValue(c.lower - 4);
    // A label that is no number changes nothing.
    p.settings().*c.field = c.lower + 2;
    label->setText(QStringLiteral("abc"));
    ASSERT_TRUE(p.press(c.right));
    ASSERT_TRUE(p.press(c.left));
    EXPECT_EQ(p.settings().*c.field, c.lower + 2);
    EXPECT_EQ(label->text(), QStringLiteral("abc"));
    set(c.lower + 2);
  }
}

TEST(EjectorPageSteppers, ValuesStoredOutsideTheLimitsComeBackOneStepAtATimeAndAreSaved) {
  std::string settings(test::kTwoCameraSettings);
  settings.insert(settings.find("ProgramName0"),
                  "TimeLabel_Caption=1350\r\nEGA_Min=60\r\nMinVesLabel_Caption=12.7\r\n");
  EjectorPage p(settings);
  EXPECT_EQ(p.settings().Time, 1350);
  EXPECT_EQ(p.page()->Time.value->text().toStdString(), "1350");
  EXPECT_EQ(p.settings().EGA_Min, 60);
  EXPECT_EQ(p.page()->EGA_Min.value->text().toStdString(), "060");
  EXPECT_EQ(p.settings().MinVes, 12);

  ASSERT_TRUE(p.press("Time_Right"));
  EXPECT_EQ(p.settings().Time, 1350);
  ASSERT_TRUE(p.press("Time_Left"));
  EXPECT_EQ(p.settings().Time, 1349);
  ASSERT_TRUE(p.press("EGA_Min_Right"));
  EXPECT_EQ(p.settings().EGA_Min, 60);
  ASSERT_TRUE(p.press("EGA_Min_Left"));
  EXPECT_EQ(p.settings().EGA_Min, 59);
  ASSERT_TRUE(p.press("MinVes_Right"));
  EXPECT_EQ(p.settings().MinVes, 13);
  EXPECT_EQ(p.page()->MinVes.value->text().toStdString(), "013");
  ASSERT_TRUE(p.press("EGB_Max_Left"));
  EXPECT_EQ(p.settings().EGB_Max, 47);

  // The save writes the captions and the working ranges as the page shows them.
  ASSERT_TRUE(p.form->saveSettings());
  const IniDocument doc = p.file();
  EXPECT_EQ(doc.find("options", "TimeLabel_Caption"), "1349");
  EXPECT_EQ(doc.find("options", "MinVesLabel_Caption"), "013");
  EXPECT_EQ(doc.readInt("options", "EGA_Min", -1), 59);
  EXPECT_EQ(doc.readInt("options", "EGB_Max", -1), 47);
  EXPECT_EQ(p.settings().Time, 1349);
  EXPECT_EQ(p.settings().MinVes, 13);
}

// --- Cells ---------------------------------------------------------------------------------------

TEST(EjectorCells, ShowCountsAndLampsOfTheOutputsOnTheTick) {
  EjectorPage p(test::kTwoCameraSettings);
  {
    std::lock_guard lock(p.machine().engine().engineLock);
    p.ejection().ShotsPerOutput.count(3, 10'000'001);
    p.ejection().ShotsPerOutput.count(40, 25);
  }
  {
    std::lock_guard lock(p.machine().engine().engineLock);
    p.ejection().ShotsPerOutput.count(20, 20'000'001);
    p.ejection().ShotsPerOutput.count(30, 4'000'000);
  }
  p.ejection().ValveStates.open(40);
  p.page()->EgectorBoxA->selectCell(44);
  p.form->Timer2Timer();
  const auto& counts = p.page()->EgectorBoxA->shotCounts();
  EXPECT_EQ(counts[2], 10'000'001);
  EXPECT_EQ(counts[39], 25);
  EXPECT_EQ(counts[0], 0);
  EXPECT_TRUE(p.page()->EgectorBoxA->valveOpen()[39]);
  EXPECT_FALSE(p.page()->EgectorBoxA->valveOpen()[2]);

  // The yellow cell and its full wear bar on the screen.
  const QImage shot = p.page()->EgectorBoxA->grab().toImage();
  const QRect cell = p.page()->EgectorBoxA->cellRect(2);
  EXPECT_EQ(shot.pixelColor(cell.left() + 2, cell.top() + 3), QColor(0xFF, 0x9E, 0x9E));  // bar
  const QRect plain = p.page()->EgectorBoxA->cellRect(5);
  EXPECT_EQ(shot.pixelColor(plain.left() + 2, plain.top() + 3), QColor(Qt::white));
  const QRect lamp = p.page()->EgectorBoxA->cellRect(39);
  EXPECT_EQ(shot.pixelColor(lamp.center().x(), lamp.bottom() - 22), QColor(0x00, 0x80, 0x00));
  const QRect worn = p.page()->EgectorBoxA->cellRect(19);
  EXPECT_EQ(shot.pixelColor(worn.left() + 2, worn.top() + 3), QColor(0xFF, 0x9E, 0x9E));
  const QRect selected = p.page()->EgectorBoxA->cellRect(44);
  EXPECT_EQ(shot.pixelColor(selected.left() + 2, selected.top() + 3), QColor(0xB6, 0xCE, 0xFB));
  // A count below the mark: white above a bar of 4 / 10 of the cell.
  const QRect quarter = p.page()->EgectorBoxA->cellRect(29);
  EXPECT_EQ(shot.pixelColor(quarter.left() + 2, quarter.top() + 3), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(quarter.left() + 2, quarter.bottom() - 5), QColor(0xFF, 0x9E, 0x9E));

  // For a person to look at: the page with worn, yellow, selected and open cells.
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  p.form->applyScreenSize(QSize(1024, 768));
  p.form->grab().save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/TabEgectors_counts.png"));
}

// --- Valve tests -----------------------------------------------------------------------------------

std::map<int, int> opensPerOutput(const std::vector<ValveEdge>& edges) {
  std::map<int, int> opens;
  for (const ValveEdge& e : edges) {
    if (e.open) ++opens[e.output];
  }
  return opens;
}

TEST(EjectorValveTests, FullTestPulsesEveryEjectorFiveTimesInOrderAndCountsFive) {
  EjectorPage p(test::kTwoCameraSettings);
  {
    std::lock_guard lock(p.machine().engine().engineLock);
    p.ejection().ShotsPerOutput.count(7, 100);
  }
  p.rig.board->takeValveEdges();
  p.rig.waited.clear();

  ASSERT_TRUE(p.press("FullTestButton"));
  const std::vector<ValveEdge> edges = p.rig.board->takeValveEdges();
  ASSERT_EQ(edges.size(), 48u * 10u);
  for (std::size_t i = 0; i < edges.size(); ++i) {
    const int ejector = static_cast<int>(i / 10) + 1;
    EXPECT_EQ(edges[i].output, ejector) << i;
    EXPECT_EQ(edges[i].open, i % 2 == 0) << i;
  }
  for (int output = 1; output <= 48; ++output) {
    EXPECT_EQ(p.shots(output), output == 7 ? 105 : 5) << output;
    EXPECT_EQ(p.page()->EgectorBoxA->shotCounts()[static_cast<std::size_t>(output - 1)], p.shots(output));
  }
  int total = 0;
  for (const int ms : p.rig.waited) total += ms;
  EXPECT_EQ(total, 48 * 305);
  EXPECT_EQ(p.page()->EgectorBoxA->selectedCell(), 47);
  EXPECT_TRUE(p.told.empty());
  EXPECT_EQ(p.page()->DASP1->text(), QString());
  EXPECT_FALSE(p.ejection().OutputsBlocked.load());
  EXPECT_EQ(p.rig.board->openValves(), 0u);
}

TEST(EjectorValveTests, SingleTestNeedsASelectedCellThenPulsesThatOutput) {
  EjectorPage p(test::kTwoCameraSettings);
  p.rig.board->takeValveEdges();
  p.rig.waited.clear();
  ASSERT_TRUE(p.press("TestButton"));
  EXPECT_EQ(p.told, std::vector<std::string>{"Выберите номер эжектора."});
  EXPECT_TRUE(p.rig.board->takeValveEdges().empty());
  EXPECT_TRUE(p.rig.waited.empty());

  p.told.clear();
  p.selectCell(4);
  ASSERT_EQ(p.page()->EgectorBoxA->selectedCell(), 4);
  ASSERT_TRUE(p.press("TestButton"));
  EXPECT_TRUE(p.told.empty());
  const std::vector<ValveEdge> edges = p.rig.board->takeValveEdges();
  EXPECT_EQ(opensPerOutput(edges), (std::map<int, int>{{5, 16}}));  // 1 + 10 + 5 pulses
  EXPECT_EQ(edges.size(), 32u);
  std::vector<int> expected = {15, 1000};
  for (int d = 1; d <= 10; ++d) {
    expected.push_back(d);
    expected.push_back(100);
  }
  expected.push_back(1000);
  for (int shot = 0; shot < 5; ++shot) expected.insert(expected.end(), {16, 50, 25});
  EXPECT_EQ(p.rig.waited, expected);
  for (int output = 1; output <= 48; ++output) EXPECT_EQ(p.shots(output), output == 5 ? 5 : 0) << output;
  EXPECT_EQ(p.page()->EgectorBoxA->shotCounts()[4], 5);
}

TEST(EjectorValveTests, ServicePageTestUsesItsTimeField) {
  EjectorPage p(test::kTwoCameraSettings);
  // The window binds the service page: the touches below go through its controller.
  p.form->showPage(p.form->tabTest());
  p.form->tabTest()->SpinEdit1->setValue(40);
  p.rig.board->takeValveEdges();
  p.rig.waited.clear();

  ASSERT_TRUE(p.press("asSwitch3"));
  EXPECT_EQ(p.told, std::vector<std::string>{"Выберите номер эжектора."});
  EXPECT_TRUE(p.rig.waited.empty());

  p.told.clear();
  p.page()->EgectorBoxA->selectCell(10);
  ASSERT_TRUE(p.press("asSwitch3"));
  EXPECT_TRUE(p.told.empty());
  EXPECT_EQ(opensPerOutput(p.rig.board->takeValveEdges()), (std::map<int, int>{{11, 5}}));
  std::vector<int> expected;
  for (int shot = 0; shot < 5; ++shot) expected.insert(expected.end(), {40, 50, 40});
  EXPECT_EQ(p.rig.waited, expected);
  EXPECT_EQ(p.shots(11), 5);
  EXPECT_EQ(p.page()->EgectorBoxA->shotCounts()[10], 5);
}

TEST(EjectorValveTests, RefusedWhileSortingWithoutTouchingAValve) {
  // Both cameras off: sorting runs without camera threads, so any valve edge would be a test's.
  EjectorPage p("");
  // The window binds the service page: the touches below go through its controller.
  p.page()->EgectorBoxA->selectCell(0);
  p.form->puskSwitchClick();
  ASSERT_TRUE(p.machine().run().view().puskSwitchOn);
  p.rig.board->takeValveEdges();
  p.rig.waited.clear();
  const QString boardBefore = p.page()->DASP1->text();

  ASSERT_TRUE(p.press("TestButton"));
  ASSERT_TRUE(p.press("FullTestButton"));
  p.form->showPage(p.form->tabTest());
  ASSERT_TRUE(p.press("asSwitch3"));
  const std::string refused(kTestWhileSortingText);
  EXPECT_EQ(p.told, (std::vector<std::string>{refused, refused, refused}));
  EXPECT_EQ(refused,
            "Тестирование эжекторов необходимо проводить при выключенном сканировании.\n"
            "Нажмите кнопку \"СТОП\" на вкладке \"РАБОТА\".");
  EXPECT_TRUE(p.rig.board->takeValveEdges().empty());
  EXPECT_TRUE(p.rig.waited.empty());
  EXPECT_EQ(p.shots(1), 0);
  EXPECT_EQ(p.page()->DASP1->text(), boardBefore);
  p.form->puskSwitchClick();
}

TEST(EjectorValveTests, WithoutTheBoardTheTestsRunTheirTimingAndSayTheBoardIsMissing) {
  EjectorPage p(test::kTwoCameraSettings, {.boardPresent = false});
  p.rig.waited.clear();
  ASSERT_TRUE(p.press("FullTestButton"));
  EXPECT_EQ(p.page()->DASP1->text().toStdString(), "Плата ввода-вывода отсутствует");
  EXPECT_TRUE(p.rig.board->takeValveEdges().empty());
  int total = 0;
  for (const int ms : p.rig.waited) total += ms;
  EXPECT_EQ(total, 48 * 305);
  EXPECT_EQ(p.shots(48), 5);
  EXPECT_TRUE(p.told.empty());
}

}  // namespace
}  // namespace tolvane
