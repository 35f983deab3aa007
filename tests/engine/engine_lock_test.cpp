#include "engine/engine_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tolvane {
namespace {

TEST(EngineLockTest, KeepsThreadsOutOfEachOthersWayWhetherTheyWaitShortOrLong) {
  EngineLock lock;
  long long total = 0;  // deliberately not atomic: only the lock protects it
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20'000; ++i) {
        std::lock_guard guard(lock);
        total += 1;
        // Now and then hold it longer than the short wait, so waiters also go to sleep.
        if (t == 0 && i % 2000 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(total, 80'000);
}

TEST(EngineLockTest, TryLockFailsWhileHeldAndAWaiterGetsItAfterTheRelease) {
  EngineLock lock;
  lock.lock();
  std::atomic<bool> acquired{false};
  std::thread waiter([&] {
    EXPECT_FALSE(lock.try_lock());
    std::lock_guard guard(lock);
    acquired = true;
  });
  // Long enough for the waiter to have given up its short wait and gone to sleep.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(acquired);
  lock.unlock();
  waiter.join();
  EXPECT_TRUE(acquired);
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

}  // namespace
}  // namespace tolvane
