#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace tolvane {

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      state_(std::exchange(other.state_, InstanceLockState::kUnavailable)),
      error_(std::exchange(other.error_, 0)),
      file_(std::move(other.file_)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    state_ = std::exchange(other.state_, InstanceLockState::kUnavailable);
    error_ = std::exchange(other.error_, 0);
    file_ = std::move(other.file_);
  }
  return *this;
}

InstanceLock InstanceLock::tryAcquire(const std::filesystem::path& folder) {
  InstanceLock lock;
  lock.file_ = folder / kInstanceLockFileName;
  int fd = ::open(lock.file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int createError = errno;
    // flock needs no write access: an existing lock file in a read-only folder still guards it.
    if (createError == EACCES || createError == EROFS || createError == EPERM) {
      fd = ::open(lock.file_.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
      // Why the file could not be created says more than that there is none to read.
      lock.error_ = createError;
      return lock;
    }
  }
  int r = 0;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int e = errno;
    ::close(fd);
    if (e == EWOULDBLOCK) {
      lock.state_ = InstanceLockState::kHeldElsewhere;
    } else {
      lock.error_ = e;
    }
    return lock;
  }
  lock.fd_ = fd;
  lock.state_ = InstanceLockState::kHeld;
  return lock;
}

InstanceLock InstanceLock::acquire(const std::filesystem::path& folder, std::chrono::milliseconds timeout,
                                   std::chrono::milliseconds retryEvery) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    InstanceLock lock = tryAcquire(folder);
    if (lock.state() != InstanceLockState::kHeldElsewhere) return lock;
    if (std::chrono::steady_clock::now() >= deadline) return lock;
    std::this_thread::sleep_for(retryEvery);
  }
}

void InstanceLock::release() {
  if (fd_ >= 0) {
    // Closing the only descriptor of the open file drops the flock.
    ::close(fd_);
    fd_ = -1;
  }
  state_ = InstanceLockState::kUnavailable;
  error_ = 0;
}

}  // namespace tolvane
