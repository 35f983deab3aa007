#pragma once

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace tolvane {

// The engine lock. Both camera threads want it at the same moment for every line (both cameras see
// the line at once), and each holds it for a few microseconds; sleeping in the kernel and being
// woken again costs more than that, and adds the wake-up delay to the line. So a thread that finds
// it held first waits a short while without sleeping, then sleeps as a plain mutex does.
//
// The mutex inherits priority: a camera thread at real-time priority that sleeps on it lends its
// priority to the holder (the UI thread, say), so a holder preempted by some middle-priority work
// cannot keep the camera waiting.
// Meets the standard Lockable requirements (std::lock_guard, std::unique_lock, std::scoped_lock).
class EngineLock {
 public:
  // About ten microseconds of waiting on current processors.
  static constexpr int kSpins = 256;

  EngineLock() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    // Without the protocol (a kernel without PI futexes) it still works as a plain mutex.
    inheritsPriority_ = pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT) == 0;
    if (pthread_mutex_init(&mutex_, &attr) != 0) {
      inheritsPriority_ = false;
      pthread_mutex_init(&mutex_, nullptr);
    }
    pthread_mutexattr_destroy(&attr);
  }
  ~EngineLock() { pthread_mutex_destroy(&mutex_); }
  EngineLock(const EngineLock&) = delete;
  EngineLock& operator=(const EngineLock&) = delete;

  void lock() {
    for (int i = 0; i < kSpins; ++i) {
      if (try_lock()) return;
      pause();
    }
    pthread_mutex_lock(&mutex_);
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  bool try_lock() {
    if (pthread_mutex_trylock(&mutex_) != 0) return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return true;
  }
  void unlock() {
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
  }

  // Whether the calling thread holds the lock; for checks that slow work (port writes, file I/O)
  // happens outside it.
  bool heldByThisThread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }

  // Whether the mutex was made with priority inheritance.
  bool inheritsPriority() const { return inheritsPriority_; }
  pthread_mutex_t* native_handle() { return &mutex_; }

 private:
  static void pause() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
  }
  pthread_mutex_t mutex_;
  std::atomic<std::thread::id> owner_{};
  bool inheritsPriority_ = false;
};

}  // namespace tolvane
