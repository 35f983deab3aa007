// The sorting-conditions page by finger: threshold arrows within their limits, the line-mode value
// shown on both pages, and a changed threshold acting on the running cameras at once.
#include <gtest/gtest.h>

#include <QTest>
#include <mutex>

#include "app/machine.h"
#include "app/page_simple_work.h"
#include "app/page_test.h"
#include "app/page_work.h"
#include "app/page_work_controller.h"
#include "settings/stored_controls.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::stopTimers;
using test::touch;
using test::WindowRig;

TEST(ConditionThresholds, ArrowsStepWithinTheLimitsAndFromStoredValuesOutsideThem) {
  struct Row {
    std::size_t row;
    const char* left;
    const char* right;
    std::int32_t SorterSettings::*field;
    std::int32_t lower, upper;
  };
  const Row rows[] = {
      {0, "Massa_Left", "Massa_Right", &SorterSettings::ifMassa, 1, 999},
      {1, "Massa2_Left", "Massa2_Right", &SorterSettings::ifMassa2, 1, 999},
      {2, "P1_Left", "P1_Right", &SorterSettings::ifP1, 0, 999},
      {3, "P2_Left", "P2_Right", &SorterSettings::ifP2, 0, 999},
      {4, "Length_Left", "Length_Right", &SorterSettings::ifLength, 1, 200},
      {5, "Weight_Left", "Weight_Right", &SorterSettings::ifWeight, 1, 100},
      {6, "Eks_Left", "Eks_Right", &SorterSettings::ifEks, 1, 999},
      {8, "FastSort_Left", "FastSort_Right", &SorterSettings::ifFast, 1, 50},
  };
  struct Press {
    std::int32_t stored;  // relative to the limits
    bool up;
    std::int32_t after;
  };
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  form.enterSetupMode();
  form.modeListSelect(3);
  test::AccessibleDriver driver(&form);
  Machine& m = rig.machine();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.left);
    QLabel* label = form.tabWork()->conditions[r.row].threshold.value;
    const Press presses[] = {
        {r.lower, false, r.lower},
        {r.lower + 1, false, r.lower},
        {r.lower, true, r.lower + 1},
        {r.upper, true, r.upper},
        {r.upper - 1, true, r.upper},
        {r.upper + 500, true, r.upper + 500},
        {r.upper + 500, false, r.upper + 499},
    };
    for (const Press& p : presses) {
      {
        std::lock_guard lock(m.engine().engineLock);
        m.sorter().*r.field = p.stored;
      }
      label->setText(QString::fromStdString(numberLabelText(p.stored)));
      ASSERT_TRUE(driver.pressByDescription(QString::fromLatin1(p.up ? r.right : r.left)));
      EXPECT_EQ(m.sorter().*r.field, p.after) << p.stored << (p.up ? " up" : " down");
      EXPECT_EQ(label->text().toStdString(), numberLabelText(p.after));
    }
  }
  // A label that does not hold a number leaves the value alone.
  m.sorter().ifMassa = 40;
  form.tabWork()->conditions[0].threshold.value->setText(QStringLiteral("x"));
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("Massa_Right")));
  EXPECT_EQ(m.sorter().ifMassa, 40);
}

TEST(HiddenParameters, MaxTimeAndMaxObjectStepWithinTheirLimits) {
  struct Case {
    const char* control;
    std::int32_t MachineSettings::*field;
    bool maxObject;
    std::int32_t stored, after;
  };
  const Case cases[] = {
      {"MaxTime_Left", &MachineSettings::MaxTime, false, 80, 80},
      {"MaxTime_Left", &MachineSettings::MaxTime, false, 81, 80},
      {"MaxTime_Right", &MachineSettings::MaxTime, false, 600, 600},
      {"MaxTime_Right", &MachineSettings::MaxTime, false, 20, 21},
      {"MaxObject_Right", &MachineSettings::MaxObject, true, 600, 600},
      {"MaxObject_Left", &MachineSettings::MaxObject, true, 10, 10},
      {"MaxObject_Left", &MachineSettings::MaxObject, true, 900, 899},
  };
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  form.serviceDoubleTouch();
  test::AccessibleDriver driver(&form);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    QLabel* label = (c.maxObject ? form.tabTest()->MaxObject : form.tabTest()->MaxTime).value;
    label->setText(QString::fromStdString(numberLabelText(c.stored)));
    ASSERT_TRUE(driver.pressByDescription(QString::fromLatin1(c.control)));
    EXPECT_EQ(rig.machine().machine().*c.field, c.after);
    EXPECT_EQ(label->text().toStdString(), numberLabelText(c.after));
  }
}

TEST(ConditionThresholds, LineModeValueIsSteppedFromEitherPageAndShownOnBoth) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  test::AccessibleDriver driver(&form);
  // The working page: its panel shows in line mode.
  form.tabSimpleWork()->LineModePanel->show();
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("FastSort_RightDouble")));
  EXPECT_EQ(rig.machine().sorter().ifFast, 11);
  EXPECT_EQ(form.tabSimpleWork()->FastSort_valD->text(), QStringLiteral("011"));
  EXPECT_EQ(form.tabWork()->conditions[8].threshold.value->text(), QStringLiteral("011"));
  form.enterSetupMode();
  form.modeListSelect(3);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("FastSort_Left")));
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("FastSort_Left")));
  EXPECT_EQ(rig.machine().sorter().ifFast, 9);
  EXPECT_EQ(form.tabSimpleWork()->FastSort_valD->text(), QStringLiteral("009"));
}

TEST(ConditionThresholds, AChangedThresholdActsOnTheNextLinesWhileSorting) {
  WindowRig rig;
  // "МАССА" below 1 alone: nothing is a reject.
  std::string settings(test::kTwoCameraSettings);
  settings.replace(settings.find("enP2=1"), 6, "enP2=0");
  rig.writeSettings(settings + "enMassa=1\r\nbMassa=0\r\nifMassa=1\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  Machine& m = rig.machine();
  ASSERT_TRUE(m.sorter().enMassa);
  QTest::mouseClick(form.tabSimpleWork()->PuskSwitch, Qt::LeftButton);
  ASSERT_TRUE(m.run().view().puskSwitchOn);
  const auto countsAfterClear = [&]() -> std::string {
    {
      std::lock_guard lock(m.engine().engineLock);
      m.engine().ejection.EngineCounters.clear();
    }
    const bool counted = QTest::qWaitFor(
        [&] {
          std::lock_guard lock(m.engine().engineLock);
          return m.engine().ejection.EngineCounters.seen(kSideA) > 50;
        },
        20000);
    if (!counted) return std::string("no objects counted");
    form.Timer2Timer();
    return form.tabSimpleWork()->NormaLabel->text().toStdString();
  };
  EXPECT_EQ(countsAfterClear(), "% НОРМА / БРАК = 100 / 0");
  // Below 999: every object is a reject from the next lines on.
  for (int i = 0; i < 998; ++i) form.workController().stepThreshold(0, StepDirection::kUp);
  ASSERT_EQ(m.sorter().ifMassa, 999);
  EXPECT_EQ(countsAfterClear(), "% НОРМА / БРАК = 0 / 100");
  QTest::mouseClick(form.tabSimpleWork()->PuskSwitch, Qt::LeftButton);
}

}  // namespace
}  // namespace tolvane
