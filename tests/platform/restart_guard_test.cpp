#include "platform/restart_guard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {
namespace {

constexpr std::int64_t kNow = 1'000'000;

TEST(RestartGuard, DecidesFromTheRestartsWithinTheLastMinute) {
  const struct {
    const char* history;
    bool restart;
    int recent;
    const char* passedOn;
  } cases[] = {
      {"", true, 0, "1000000"},
      {"990000", true, 1, "990000,1000000"},
      {"950000,960000", true, 2, "950000,960000,1000000"},
      {"950000,960000,990000", false, 3, ""},
      {"1000000,1000000,1000000", false, 3, ""},
      // Older than a minute: forgotten, and not passed on.
      {"900000,950000,960000,990000", false, 3, ""},
      {"900000,930000,939999,990000", true, 1, "990000,1000000"},
      {"940000", true, 0, "1000000"},  // exactly a minute ago
      {"940001", true, 1, "940001,1000000"},
      // Damaged entries are ignored; what is left still counts.
      {"abc,,12x, 5,-7,+3,9e5", true, 0, "1000000"},
      {"99999999999999999999999", true, 0, "1000000"},
      {"x,995000,y,996000,997000", false, 3, ""},
      {"995000,", true, 1, "995000,1000000"},
      // From the future (a history that outlived a reboot): ignored.
      {"2000000,1000001,999999", true, 1, "999999,1000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.history);
    const RestartDecision d = RestartGuard::decide(c.history, kNow);
    EXPECT_EQ(d.restart, c.restart);
    EXPECT_EQ(d.recentRestarts, c.recent);
    EXPECT_EQ(d.history, c.passedOn);
  }
}

// Each decision's history is what the next instance inherits.
std::vector<bool> runSequence(const std::vector<std::int64_t>& failureTimes) {
  std::string history;
  std::vector<bool> restarted;
  for (const std::int64_t at : failureTimes) {
    const RestartDecision d = RestartGuard::decide(history, at);
    restarted.push_back(d.restart);
    if (!d.restart) break;  // the program stops; nothing inherits anything
    history = d.history;
  }
  return restarted;
}

TEST(RestartGuard, AFailureAtEveryStartStopsAfterThreeRestarts) {
  // Every instance fails right after its 3-s wait.
  EXPECT_EQ(runSequence({10'000, 14'000, 18'000, 22'000, 26'000}),
            (std::vector<bool>{true, true, true, false}));
}

TEST(RestartGuard, RestartsSpreadOverMoreThanAMinuteGoOn) {
  std::vector<std::int64_t> times;
  for (int i = 0; i < 12; ++i) times.push_back(5'000 + i * 25'000);
  EXPECT_EQ(runSequence(times), std::vector<bool>(12, true));
  // Three quick ones, then a pause longer than a minute: the count starts again.
  EXPECT_EQ(runSequence({0, 1'000, 2'000, 63'000, 64'000, 65'000, 66'000}),
            (std::vector<bool>{true, true, true, true, true, true, false}));
}

}  // namespace
}  // namespace tolvane
