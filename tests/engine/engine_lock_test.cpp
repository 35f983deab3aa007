#include "engine/engine_lock.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/thread_test_support.h"

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

int kernelThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

// The scheduler's priority of a thread as /proc shows it (field 18): 20 for a normal thread at nice
// 0, below zero for a real-time one, or a normal one lent real-time priority.
int effectivePriority(int tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The name field may hold spaces; the fields after it are counted from its closing parenthesis.
  std::istringstream rest(stat.substr(stat.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 18 && rest >> field; ++i) {
  }
  return std::stoi(field);
}

TEST(EngineLockTest, HeldLockIsAPriorityInheritingFutexThatNamesItsOwner) {
  EngineLock lock;
  ASSERT_TRUE(lock.inheritsPriority());
  std::lock_guard guard(lock);
  // A priority-inheriting futex holds its owner's thread id, so the kernel knows whom to boost; a
  // plain mutex holds only a locked flag.
  constexpr unsigned kTidMask = 0x3fffffff;
  EXPECT_EQ(static_cast<int>(static_cast<unsigned>(lock.native_handle()->__data.__lock) & kTidMask),
            kernelThreadId());
}

TEST(EngineLockTest, ARealTimeWaiterLendsItsPriorityToANormalHolder) {
  EngineLock lock;
  std::atomic<int> holderTid{0};
  std::atomic<bool> release{false};
  enum : int { kPending, kRealTime, kDenied };
  std::atomic<int> waiterState{kPending};
  std::thread holder([&] {
    std::lock_guard guard(lock);
    holderTid = kernelThreadId();
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  ASSERT_TRUE(test::waitFor([&] { return holderTid != 0; }));
  const int normalPriority = effectivePriority(holderTid);
  ASSERT_GE(normalPriority, 0);

  std::thread waiter([&] {
    sched_param param{};
    param.sched_priority = 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
      waiterState = kDenied;
      return;
    }
    waiterState = kRealTime;
    std::lock_guard guard(lock);
  });
  ASSERT_TRUE(test::waitFor([&] { return waiterState != kPending; }));
  if (waiterState == kDenied) {
    release = true;
    holder.join();
    waiter.join();
    GTEST_SKIP() << "no permission for real-time priority";
  }
  const bool boosted = test::waitFor([&] { return effectivePriority(holderTid) < 0; });
  release = true;
  holder.join();
  waiter.join();
  EXPECT_TRUE(boosted) << "holder stayed at " << normalPriority;
}

}  // namespace
}  // namespace tolvane
