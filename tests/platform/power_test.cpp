#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/power_off.h"
#include "platform/simulated_power.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

TEST(SimulatedPowerTest, StartsOnMainsAndFollowsTheTest) {
  SimulatedPower power;
  EXPECT_EQ(power.read(),
            (PowerStatus{.known = true, .onMains = true, .lowBattery = false, .batteryPercent = 100}));

  power.setOnBattery(91);
  PowerStatus status = power.read();
  EXPECT_TRUE(status.known);
  EXPECT_FALSE(status.onMains);
  EXPECT_EQ(status.batteryPercent, 91);

  power.setOnBattery(150, true);
  status = power.read();
  EXPECT_EQ(status.batteryPercent, 100);
  EXPECT_TRUE(status.lowBattery);
  power.setOnBattery(-3);
  EXPECT_EQ(power.read().batteryPercent, 0);

  // Mains back: the charge stays what it was.
  power.setOnMains();
  status = power.read();
  EXPECT_TRUE(status.onMains);
  EXPECT_FALSE(status.lowBattery);
  EXPECT_EQ(status.batteryPercent, 0);

  power.setUnknown();
  EXPECT_FALSE(power.read().known);
  EXPECT_FALSE(power.read().batteryKnown());
  EXPECT_EQ(power.readCount(), 7);
}

TEST(SimulatedPowerTest, SafeToChangeWhileAnotherThreadReads) {
  SimulatedPower power;
  std::thread reader([&] {
    for (int i = 0; i < 2000; ++i) {
      const PowerStatus s = power.read();
      ASSERT_TRUE(s.onMains || (s.batteryPercent >= 0 && s.batteryPercent <= 100));
    }
  });
  for (int i = 0; i < 2000; ++i) {
    if (i % 2)
      power.setOnMains();
    else
      power.setOnBattery(i % 101);
  }
  reader.join();
  EXPECT_EQ(power.readCount(), 2000);
}

TEST(RecordingPowerOffTest, OnlyRecordsTheRequests) {
  RecordingPowerOff powerOff;
  EXPECT_EQ(powerOff.requestCount(), 0);
  EXPECT_EQ(powerOff.lastRequestTime(), std::nullopt);

  const auto before = RecordingPowerOff::Clock::now();
  EXPECT_TRUE(powerOff.requestPowerOff());
  EXPECT_TRUE(powerOff.requestPowerOff());
  const auto after = RecordingPowerOff::Clock::now();
  EXPECT_EQ(powerOff.requestCount(), 2);
  ASSERT_TRUE(powerOff.lastRequestTime().has_value());
  EXPECT_GE(*powerOff.lastRequestTime(), before);
  EXPECT_LE(*powerOff.lastRequestTime(), after);
  const auto times = powerOff.requestTimes();
  ASSERT_EQ(times.size(), 2u);
  EXPECT_LE(times[0], times[1]);

  // A refusing system: the request is still recorded, and the caller hears "no".
  powerOff.setAccepting(false);
  EXPECT_FALSE(powerOff.requestPowerOff());
  EXPECT_EQ(powerOff.requestCount(), 3);
}

TEST(RunCommandTest, ReportsExitStatus) {
  EXPECT_EQ(runCommandAndWait({"/bin/true"}, milliseconds(5000)), 0);
  EXPECT_EQ(runCommandAndWait({"/bin/false"}, milliseconds(5000)), 1);
  EXPECT_EQ(runCommandAndWait({"/bin/sh", "-c", "exit 7"}, milliseconds(5000)), 7);
}

TEST(RunCommandTest, FailuresGiveNoStatus) {
  EXPECT_EQ(runCommandAndWait({}, milliseconds(100)), std::nullopt);
  EXPECT_EQ(runCommandAndWait({"true"}, milliseconds(100)), std::nullopt) << "relative paths are refused";
  EXPECT_EQ(runCommandAndWait({"/nonexistent/program"}, milliseconds(1000)), std::nullopt);
  EXPECT_EQ(runCommandAndWait({"/bin/sh", "-c", "kill -KILL $$"}, milliseconds(5000)), std::nullopt);
}

TEST(RunCommandTest, OverrunningChildIsKilledAndReaped) {
  std::string pattern = (fs::temp_directory_path() / "tolvane-run-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path pidFile = fs::path(pattern) / "pid";
  EXPECT_EQ(runCommandAndWait({"/bin/sh", "-c", "echo $$ > " + pidFile.string() + "; exec sleep 30"},
                              milliseconds(300)),
            std::nullopt);
  pid_t pid = 0;
  std::ifstream(pidFile) >> pid;
  ASSERT_GT(pid, 0);
  // Our own child is gone, not even a zombie.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace tolvane
