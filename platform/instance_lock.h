#pragma once

#include <chrono>
#include <filesystem>
#include <string_view>

// One running program per machine folder: two instances on one folder would both drive the valves.
namespace tolvane {

// Fixed, whatever the running program file is called (the update hand-over runs as "TolvaneGrain_").
inline constexpr std::string_view kInstanceLockFileName = "TolvaneGrain.lock";
// The exit status of a start that finds its folder held by a running program.
inline constexpr int kAlreadyRunningExitCode = 4;

enum class InstanceLockState {
  kHeld,           // this process holds the folder
  kHeldElsewhere,  // another process holds it
  kUnavailable,    // the lock file cannot be opened (no such folder, not writable and no lock file)
};

// An exclusive flock on "<folder>/TolvaneGrain.lock", held while the object lives. The file is opened
// with O_CLOEXEC, so a program started from this one (restart, update) does not inherit the lock and
// can take it once this process has ended. The lock goes with the process, however it ends; the
// file itself stays.
//
// A folder where the lock file cannot be created is still locked through an existing lock file
// opened for reading. When there is none either, the state is kUnavailable: the caller decides (the
// program runs without the lock and warns, as such a folder cannot hold its settings either).
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock() { release(); }
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // One attempt, without waiting.
  static InstanceLock tryAcquire(const std::filesystem::path& folder);
  // Tries again every retryEvery until it is held or timeout has passed; an unavailable lock file
  // is not retried.
  static InstanceLock acquire(const std::filesystem::path& folder, std::chrono::milliseconds timeout,
                              std::chrono::milliseconds retryEvery = std::chrono::milliseconds(100));

  InstanceLockState state() const { return state_; }
  bool held() const { return state_ == InstanceLockState::kHeld; }
  // errno of the failed open when kUnavailable, else 0.
  int error() const { return error_; }
  const std::filesystem::path& file() const { return file_; }

  // Gives the folder up (state kUnavailable afterwards, error 0). Also done by the destructor.
  void release();

 private:
  int fd_ = -1;
  InstanceLockState state_ = InstanceLockState::kUnavailable;
  int error_ = 0;
  std::filesystem::path file_;
};

}  // namespace tolvane
