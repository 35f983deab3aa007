#include "platform/power_off.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace tolvane {

bool RecordingPowerOff::requestPowerOff() {
  std::lock_guard lock(mutex_);
  requests_.push_back(Clock::now());
  return accepting_;
}

int RecordingPowerOff::requestCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(requests_.size());
}

std::optional<RecordingPowerOff::Clock::time_point> RecordingPowerOff::lastRequestTime() const {
  std::lock_guard lock(mutex_);
  if (requests_.empty()) return std::nullopt;
  return requests_.back();
}

std::vector<RecordingPowerOff::Clock::time_point> RecordingPowerOff::requestTimes() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RecordingPowerOff::setAccepting(bool accepting) {
  std::lock_guard lock(mutex_);
  accepting_ = accepting;
}

bool SystemPowerOff::requestPowerOff() {
  // A clean power-off through the init system; it only queues the request, so it returns quickly.
  const std::optional<int> status = runCommandAndWait({"/sbin/poweroff"}, std::chrono::seconds(10));
  return status == 0;
}

std::optional<int> runCommandAndWait(const std::vector<std::string>& argv,
                                     std::chrono::milliseconds timeout) {
  if (argv.empty() || argv.front().empty() || argv.front().front() != '/') return std::nullopt;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return std::nullopt;

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return std::nullopt;
    }
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return std::nullopt;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

}  // namespace tolvane
