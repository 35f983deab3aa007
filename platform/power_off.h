#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// Switching the machine off. The default implementation only records the request; the one that really
// switches off must be constructed explicitly by the program's platform set-up.
class PowerOff {
 public:
  virtual ~PowerOff() = default;
  // Returns whether the request was accepted. Callers repeat a refused request at their next check.
  virtual bool requestPowerOff() = 0;
};

// Default: remembers how often and when power-off was asked for, and does nothing else. Thread-safe.
class RecordingPowerOff : public PowerOff {
 public:
  using Clock = std::chrono::system_clock;

  bool requestPowerOff() override;

  int requestCount() const;
  std::optional<Clock::time_point> lastRequestTime() const;
  std::vector<Clock::time_point> requestTimes() const;
  // Lets a test see how callers behave when the system refuses.
  void setAccepting(bool accepting);

 private:
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> requests_;
  bool accepting_ = true;
};

// Really switches the machine off by running the system's poweroff command. Only for the machine
// itself; never constructed by tests.
class SystemPowerOff : public PowerOff {
 public:
  bool requestPowerOff() override;
};

// Starts argv[0] (an absolute path) with the given arguments and waits for it at most `timeout`.
// Returns its exit status when it ended normally in time. A program that cannot be started, dies from
// a signal or overruns the timeout gives nullopt; an overrunning child is killed and reaped.
std::optional<int> runCommandAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

}  // namespace tolvane
