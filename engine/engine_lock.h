#pragma once

#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tolvane {

// The engine lock. Both camera threads want it at the same moment for every line (both cameras see
// the line at once), and each holds it for a few microseconds; sleeping in the kernel and being
// woken again costs more than that, and adds the wake-up delay to the line. So a thread that finds
// it held first waits a short while without sleeping, then sleeps as a plain mutex does.
// Meets the standard Lockable requirements (std::lock_guard, std::unique_lock, std::scoped_lock).
class EngineLock {
 public:
  // About ten microseconds of waiting on current processors.
  static constexpr int kSpins = 256;

  void lock() {
    for (int i = 0; i < kSpins; ++i) {
      if (mutex_.try_lock()) return;
      pause();
    }
    mutex_.lock();
  }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  static void pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
  }
  std::mutex mutex_;
};

}  // namespace tolvane
