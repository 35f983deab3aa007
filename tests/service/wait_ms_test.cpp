#include "service/wait_ms.h"

#include <gtest/gtest.h>

#include <vector>

namespace tolvane {
namespace {

// A clock that the message pump advances, so the wait is tested without real time passing.
struct FakeTime {
  uint32_t now;
  uint32_t step;
  std::vector<uint32_t> offeredWaits;

  MessagePump pump() {
    return [this](uint32_t maxWaitMs) {
      offeredWaits.push_back(maxWaitMs);
      now += step;
    };
  }
  MillisecondClock clock() {
    return [this] { return now; };
  }
};

TEST(WaitMs, PumpsUntilTheTimeHasPassed) {
  FakeTime time{1000, 7, {}};
  WaitMs(3000, time.pump(), time.clock());
  EXPECT_GE(time.now - 1000, 3000u);
  EXPECT_LT(time.now - 1000, 3000u + 7);
  EXPECT_EQ(time.offeredWaits.size(), 429u);  // ceil(3000 / 7)
  EXPECT_EQ(time.offeredWaits.front(), 3000u);
  EXPECT_EQ(time.offeredWaits.back(), 3000u - 428 * 7);
}

TEST(WaitMs, ClockWrapDoesNotEndTheWaitEarly) {
  FakeTime time{0xFFFFFF00u, 50, {}};
  WaitMs(1000, time.pump(), time.clock());
  EXPECT_EQ(time.offeredWaits.size(), 20u);
  EXPECT_EQ(time.now, 0xFFFFFF00u + 1000u);  // wrapped past zero
}

TEST(WaitMs, ZeroProcessesPendingMessagesOnce) {
  FakeTime time{5, 1, {}};
  WaitMs(0, time.pump(), time.clock());
  EXPECT_EQ(time.offeredWaits.size(), 1u);
  EXPECT_EQ(time.offeredWaits.front(), 0u);
}

TEST(WaitMs, SteadyClockDoesNotGoBack) {
  const uint32_t first = SteadyMilliseconds();
  WaitMs(2);
  EXPECT_GE(SteadyMilliseconds() - first, 2u);
}

}  // namespace
}  // namespace tolvane
