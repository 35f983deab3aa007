// The recorder's ticks on the working page: the network lamp, the support button at start, the hour's
// record from the start switch and the program list, today's record for the running cameras' counts and
// the side files written at every tick.
#include "app/operating_statistics_controller.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "app/machine.h"
#include "app/page_simple_work.h"
#include "service/dw_time.h"
#include "settings/side_files.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::stopTimers;
using test::touch;
using test::WindowRig;

// A machine whose network answer the test changes, and the working page alone.
struct LampRig {
  explicit LampRig(bool presentAtStart) : present(presentAtStart) {
    MachineParts parts = simulatedMachineParts(dir / "TolvaneGrain");
    parts.networkPresent = [this] {
      if (unreadable) throw std::runtime_error("no netlink");
      return present;
    };
    machine = std::make_unique<Machine>(std::move(parts));
    controller = std::make_unique<OperatingStatisticsController>(page, *machine);
    controller->inetTimer()->stop();
    controller->setClock([] { return OperatingStatisticsController::TickTime{.day = 200, .hour = 7}; });
  }

  test::TempDir dir;
  bool present;
  bool unreadable = false;
  std::unique_ptr<Machine> machine;
  PageSimpleWork page;
  std::unique_ptr<OperatingStatisticsController> controller;
};

TEST(OperatingStatistics, InetTimerTicksEveryTenMinutes) {
  LampRig rig(true);
  OperatingStatisticsController fresh(rig.page, *rig.machine);
  EXPECT_TRUE(fresh.inetTimer()->isActive());
  EXPECT_EQ(fresh.inetTimer()->interval(), 600000);
  EXPECT_EQ(fresh.inetTimer()->objectName(), "inetTimer");
}

TEST(OperatingStatistics, LampFollowsEveryTickButTheSupportButtonOnlyTheStart) {
  struct Step {
    bool present;
    bool lampShown;
  };
  struct Case {
    const char* name;
    bool atStart;
    Step ticks[2];
  };
  const Case cases[] = {
      {"no network at start, later present", false, {{true, true}, {false, false}}},
      {"network at start, later lost", true, {{false, false}, {true, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LampRig rig(c.atStart);
    rig.controller->showNetworkAtStart();
    EXPECT_EQ(rig.page.iLEDgreen->isHidden(), !c.atStart);
    EXPECT_EQ(rig.page.SupportButton->isEnabled(), c.atStart);
    for (const Step& step : c.ticks) {
      rig.present = step.present;
      rig.controller->tick();
      EXPECT_EQ(!rig.page.iLEDgreen->isHidden(), step.lampShown);
      EXPECT_EQ(rig.page.SupportButton->isEnabled(), c.atStart);  // not re-evaluated after start
    }
  }
}

TEST(OperatingStatistics, ANetworkTestThatThrowsLeavesTheLampAndStillRecords) {
  LampRig rig(true);
  rig.controller->showNetworkAtStart();
  rig.unreadable = true;
  rig.controller->setClock([] { return OperatingStatisticsController::TickTime{.day = 3, .hour = 4}; });
  EXPECT_NO_THROW(rig.controller->tick());
  EXPECT_FALSE(rig.page.iLEDgreen->isHidden());
  EXPECT_EQ(rig.machine->engine().ejection.DailyStats.day(3)->runState[4], 1);
  EXPECT_TRUE(rig.controller->lastWritten().stat);
  EXPECT_TRUE(std::filesystem::exists(rig.dir / "TolvaneGrain.stat"));
}

// The whole window sorting with both cameras: the tick records "2" with the active program and moves the
// day so the cameras' counts go into the tick's day; after the stop and a program switch it records "1"
// with the new program; every tick writes the files as images of the tables.
TEST(OperatingStatistics, TicksOnARunningMachine) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  stopTimers(form);
  PageSimpleWork* work = form.tabSimpleWork();
  OperatingStatisticsController controller(*work, rig.machine());
  controller.inetTimer()->stop();
  // A day that is not today: the counts can only get there through the tick.
  const int day = DayNumber() == 100 ? 101 : 100;
  int hour = 9;
  controller.setClock([&] { return OperatingStatisticsController::TickTime{.day = day, .hour = hour}; });
  EjectionState& ejection = rig.machine().engine().ejection;
  const auto countsOfDay = [&] {
    std::lock_guard lock(rig.machine().engine().engineLock);
    std::int64_t total = 0;
    for (int side : {kSideA, kSideB}) {
      for (int j = 1; j <= kEjectorSlots; ++j) total += ejection.DailyStats.countOf(day, side, j);
    }
    return total;
  };

  touch(work->PuskSwitch);
  ASSERT_TRUE(rig.machine().run().view().puskSwitchOn);
  controller.tick();
  EXPECT_TRUE(controller.lastWritten().stat);
  EXPECT_TRUE(controller.lastWritten().shots);
  {
    std::lock_guard lock(rig.machine().engine().engineLock);
    EXPECT_EQ(ejection.DailyStats.day(day)->runState[9], 2);
    EXPECT_EQ(ejection.DailyStats.day(day)->program[9], 1);
  }
  EXPECT_EQ(ejection.DayIndex.load(), day);
  QTRY_VERIFY_WITH_TIMEOUT(countsOfDay() > 0, 20000);

  form.Timer5sekTimer();
  touch(work->PuskSwitch);
  ASSERT_FALSE(rig.machine().run().view().puskSwitchOn);
  // The stop wrote the files too: take them away to see the tick's own.
  std::filesystem::remove(rig.file("TolvaneGrain.stat"));
  std::filesystem::remove(rig.file("TolvaneGrain.shots"));
  form.programListTouch(4);
  ASSERT_EQ(rig.machine().machine().ActiveProg, 4);
  hour = 10;
  controller.tick();
  std::lock_guard lock(rig.machine().engine().engineLock);
  EXPECT_EQ(ejection.DailyStats.day(day)->runState[10], 1);
  EXPECT_EQ(ejection.DailyStats.day(day)->program[10], 5);
  EXPECT_EQ(ejection.DailyStats.day(day)->runState[9], 2);
  const std::string stat = test::readBytes(rig.file("TolvaneGrain.stat"));
  ASSERT_EQ(stat.size(), kStatFileSize);
  EXPECT_EQ(std::memcmp(stat.data(), &ejection.DailyStats, kStatFileSize), 0);
  const std::string shots = test::readBytes(rig.file("TolvaneGrain.shots"));
  ASSERT_EQ(shots.size(), kShotsFileSize);
  EXPECT_EQ(std::memcmp(shots.data(), &ejection.ShotsPerOutput, kShotsFileSize), 0);
}

}  // namespace
}  // namespace tolvane
