#include "service/startup_wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tolvane {
namespace {

// The pump moves a fake clock on, as the messages it processes would take time.
struct SteppingClock {
  uint32_t now;
  uint32_t step;
  int pumped = 0;

  MessagePump pump() {
    return [this](uint32_t) {
      ++pumped;
      now += step;
    };
  }
  MillisecondClock clock() {
    return [this] { return now; };
  }
};

TEST(StartupWait, NeverEndsBeforeMoreThanThreeSecondsHavePassed) {
  for (uint32_t step : {1u, 7u, 1000u, 3000u, 3001u, 5000u}) {
    SteppingClock t{123456, step};
    waitForPreviousInstance(t.pump(), t.clock());
    const uint32_t elapsed = t.now - 123456;
    EXPECT_GT(elapsed, kStartupWaitMs) << "step " << step;
    EXPECT_LT(elapsed, kStartupWaitMs + 1 + step) << "step " << step;  // and ends at the first chance
    EXPECT_GE(t.pumped, 1) << "step " << step;
  }
}

TEST(StartupWait, ExactlyThreeSecondsIsNotYetEnough) {
  // The clock jumps straight to exactly 3000 ms, then creeps by one.
  std::vector<uint32_t> readings{500, 3500, 3501};
  size_t next = 0;
  int pumped = 0;
  waitForPreviousInstance([&](uint32_t) { ++pumped; },
                          [&] { return readings[std::min(next++, readings.size() - 1)]; });
  EXPECT_EQ(pumped, 2);
  EXPECT_EQ(next, 3u);
}

TEST(StartupWait, ClockWrapCountsAsTimePassing) {
  SteppingClock t{0xFFFFFFFFu - 1000, 10};
  waitForPreviousInstance(t.pump(), t.clock());
  EXPECT_LT(t.now, 0xFFFFFFFFu - 1000);  // the counter wrapped during the wait
  EXPECT_EQ(t.now - (0xFFFFFFFFu - 1000), 3010u);
  EXPECT_EQ(t.pumped, 301);
}

TEST(StartupWait, StoppedClockKeepsProcessingMessages) {
  // A clock that does not move never ends the wait by itself; the pump keeps running meanwhile.
  uint32_t now = 42;
  int pumped = 0;
  waitForPreviousInstance(
      [&](uint32_t) {
        if (++pumped == 50) now += 4000;
      },
      [&] { return now; });
  EXPECT_EQ(pumped, 50);
}

}  // namespace
}  // namespace tolvane
