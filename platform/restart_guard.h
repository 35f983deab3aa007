#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// A failure that repeats at every start (no display, a broken installation) must not restart the
// program forever. Each restart after an unhandled error hands the times of the recent restarts to
// the new instance in its environment; once too many fall within the window, the program stops.
namespace tolvane {

// Comma-separated times of the system's monotonic clock in milliseconds, oldest first. The clock is
// shared by all processes and does not jump with the wall clock.
inline constexpr std::string_view kRestartHistoryVariable = "TOLVANE_RESTARTS";

struct RestartDecision {
  bool restart = false;
  int recentRestarts = 0;  // restarts within the window before now
  std::string history;     // for the new instance: the recent restarts and now (empty when giving up)
};

class RestartGuard {
 public:
  static constexpr int kMaxRestarts = 3;
  static constexpr std::chrono::milliseconds kWindow{60000};

  // Whether an unhandled error at nowMs may restart the program, given the history it inherited.
  // Restarts count when they lie in (nowMs - kWindow, nowMs]. Entries that are not plain decimal
  // numbers or that lie in the future (a history from before a reboot) are ignored.
  static RestartDecision decide(std::string_view history, std::int64_t nowMs);

  // The monotonic clock in milliseconds.
  static std::int64_t nowMs();
};

}  // namespace tolvane
