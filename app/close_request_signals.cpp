#include "app/close_request_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tolvane {

namespace {

constexpr std::array<int, 2> kCloseSignals = {SIGTERM, SIGINT};

// What the handler may touch: a lock-free atomic and write(2).
std::atomic<int> gWriteFd{-1};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<bool> gInstalled{false};
std::array<struct sigaction, kCloseSignals.size()> gPrevious{};

extern "C" void onCloseSignal(int signalNumber) {
  const int savedErrno = errno;
  const int fd = gWriteFd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe drops the byte: the requests already in it do the job.
    const ssize_t written = ::write(fd, &byte, 1);
    static_cast<void>(written);
  }
  errno = savedErrno;
}

void restorePrevious(std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) ::sigaction(kCloseSignals[i], &gPrevious[i], nullptr);
}

}  // namespace

CloseRequestSignals::CloseRequestSignals(QObject* parent) : QObject(parent) {
  if (gInstalled.exchange(true)) throw std::runtime_error("close request signals are installed already");
  int fds[2] = {-1, -1};
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int e = errno;
    gInstalled = false;
    throw std::runtime_error(std::string("close request pipe: ") + std::strerror(e));
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  gWriteFd = writeFd_;

  struct sigaction action {};
  action.sa_handler = onCloseSignal;
  sigfillset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kCloseSignals.size(); ++i) {
    if (::sigaction(kCloseSignals[i], &action, &gPrevious[i]) != 0) {
      const int e = errno;
      restorePrevious(i);
      gWriteFd = -1;
      ::close(readFd_);
      ::close(writeFd_);
      gInstalled = false;
      throw std::runtime_error(std::string("close request handler: ") + std::strerror(e));
    }
  }

  notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
  notifier_->setEnabled(false);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &CloseRequestSignals::readPending);
}

CloseRequestSignals::~CloseRequestSignals() {
  notifier_.reset();
  restorePrevious(kCloseSignals.size());
  gWriteFd = -1;
  ::close(readFd_);
  ::close(writeFd_);
  gInstalled = false;
}

void CloseRequestSignals::setCallback(Callback callback) {
  callback_ = std::move(callback);
  notifier_->setEnabled(static_cast<bool>(callback_));
}

void CloseRequestSignals::readPending() {
  unsigned char bytes[64];
  for (;;) {
    const ssize_t n = ::read(readFd_, bytes, sizeof bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      ++received_;
      if (pendingSignal_ == 0 && !delivered_) pendingSignal_ = bytes[i];
    }
  }
  if (delivered_ || pendingSignal_ == 0 || !callback_) return;
  // Marked before the call: a request that comes in while the callback runs (its close may process
  // events) is only counted.
  delivered_ = true;
  const int signalNumber = pendingSignal_;
  pendingSignal_ = 0;
  callback_(signalNumber);
}

}  // namespace tolvane
