// Scheduling calls run on throw-away threads, so a real-time policy granted to a privileged test
// process never sticks to the test runner's own threads.
#include "platform/thread_priority.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvane {
namespace {

std::vector<int> affinityOf(pid_t tid) {
  cpu_set_t set;
  CPU_ZERO(&set);
  EXPECT_EQ(::sched_getaffinity(tid, sizeof(set), &set), 0);
  std::vector<int> cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

pid_t selfTid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

struct Policy {
  int policy = -1;
  int priority = -1;
  int nice = 0;
};

Policy currentPolicy() {
  Policy p;
  sched_param param{};
  EXPECT_EQ(::pthread_getschedparam(::pthread_self(), &p.policy, &param), 0);
  p.priority = param.sched_priority;
  errno = 0;
  p.nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(selfTid()));
  return p;
}

// Runs body on a fresh thread and waits for it.
void onFreshThread(const std::function<void()>& body) {
  std::thread thread(body);
  thread.join();
}

TEST(ThreadPriorityTest, RunProcessorsAreTheExistingOnesAmongTheFirstFour) {
  const std::vector<int> cpus = runProcessors();
  const int configured = ::get_nprocs_conf();
  ASSERT_FALSE(cpus.empty());
  EXPECT_EQ(cpus.front(), 0);
  EXPECT_EQ(static_cast<int>(cpus.size()), std::min(configured, kRunProcessorCount));
  for (std::size_t i = 0; i < cpus.size(); ++i) EXPECT_EQ(cpus[i], static_cast<int>(i));
}

TEST(ThreadPriorityTest, ExistingProcessorPinsTheThread) {
  onFreshThread([] {
    const ThreadSchedulingReport report = preferProcessor(0);
    EXPECT_EQ(report.preferredCpu, 0);
    EXPECT_TRUE(report.pinned);
    EXPECT_FALSE(report.cpuMissing);
    EXPECT_EQ(affinityOf(selfTid()), std::vector<int>{0});
  });
}

TEST(ThreadPriorityTest, MissingProcessorIsSkippedAndTheThreadMayUseTheRunProcessors) {
  onFreshThread([] {
    // Inherit a pin first, as a thread created by a pinned main thread would.
    ASSERT_TRUE(preferProcessor(0).pinned);
    for (int cpu : {::get_nprocs_conf(), 4000, -1}) {
      const ThreadSchedulingReport report = preferProcessor(cpu);
      EXPECT_FALSE(report.pinned) << cpu;
      EXPECT_TRUE(report.cpuMissing) << cpu;
      EXPECT_EQ(affinityOf(selfTid()), runProcessors()) << cpu;
    }
  });
}

TEST(ThreadPriorityTest, TimeCriticalReportsWhatTheSystemGranted) {
  onFreshThread([] {
    ThreadSchedulingReport report;
    makeTimeCritical(report);
    const Policy now = currentPolicy();
    if (report.realTime) {
      EXPECT_EQ(now.policy, SCHED_FIFO);
      EXPECT_EQ(now.priority, kTimeCriticalFifoPriority);
      EXPECT_EQ(report.realTimeError, 0);
      EXPECT_FALSE(report.niceRaised);
    } else {
      EXPECT_NE(now.policy, SCHED_FIFO);
      EXPECT_NE(report.realTimeError, 0);
      EXPECT_EQ(now.nice == kTimeCriticalNice, report.niceRaised);
    }

    ThreadSchedulingReport back;
    makeNormal(back);
    EXPECT_TRUE(back.normal);
    const Policy normal = currentPolicy();
    EXPECT_EQ(normal.policy, SCHED_OTHER);
    EXPECT_EQ(normal.nice, 0);
  });
}

TEST(ThreadPriorityTest, CameraThreadSchedulingCombinesProcessorAndPriority) {
  onFreshThread([] {
    const ThreadSchedulingReport report = applyCameraThreadScheduling(0);
    EXPECT_TRUE(report.pinned);
    EXPECT_EQ(report.realTime, currentPolicy().policy == SCHED_FIFO);
    ThreadSchedulingReport back;
    makeNormal(back);
  });
}

TEST(ThreadPriorityTest, RunPriorityPinsTheCallerWaitsThreeTimesAndSwitchesClass) {
  onFreshThread([] {
    std::vector<std::chrono::milliseconds> waits;
    const RunPriorityReport running =
        SetRunPriority(1, [&](std::chrono::milliseconds ms) { waits.push_back(ms); });
    EXPECT_EQ(running.mode, 1);
    EXPECT_EQ(running.processors, runProcessors());
    EXPECT_EQ(running.waits, 3);
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>(3, std::chrono::milliseconds(50)));
    EXPECT_TRUE(running.callingThread.pinned);
    EXPECT_EQ(affinityOf(selfTid()), std::vector<int>{0});
    EXPECT_EQ(running.callingThread.realTime, currentPolicy().policy == SCHED_FIFO);
    // Below the camera threads, so a camera line never waits for the main thread.
    if (running.callingThread.realTime) {
      EXPECT_EQ(currentPolicy().priority, kMainThreadFifoPriority);
    }
    EXPECT_FALSE(running.callingThread.normal);

    waits.clear();
    const RunPriorityReport stopped =
        SetRunPriority(0, [&](std::chrono::milliseconds ms) { waits.push_back(ms); });
    EXPECT_EQ(stopped.mode, 0);
    EXPECT_EQ(waits.size(), 3u);
    EXPECT_TRUE(stopped.callingThread.normal);
    EXPECT_FALSE(stopped.callingThread.realTime);
    EXPECT_EQ(currentPolicy().policy, SCHED_OTHER);
  });
}

TEST(ThreadPriorityTest, RunPriorityKeepsEveryThreadOnTheRunProcessorsAndKeepsPinsInsideThem) {
  const std::vector<int> run = runProcessors();
  const int pinCpu = run.back();
  std::mutex mutex;
  std::condition_variable changed;
  bool pinned = false;
  bool release = false;
  pid_t pinnedTid = 0;
  std::thread other([&] {
    EXPECT_TRUE(preferProcessor(pinCpu).pinned);
    std::unique_lock lock(mutex);
    pinnedTid = selfTid();
    pinned = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
  });
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return pinned; });
  }

  RunPriorityReport report;
  onFreshThread([&] { report = SetRunPriority(0, [](std::chrono::milliseconds) {}); });
  EXPECT_EQ(report.threadsRefused, 0);
  EXPECT_EQ(affinityOf(pinnedTid), std::vector<int>{pinCpu});
  for (int cpu : affinityOf(selfTid())) {
    EXPECT_TRUE(std::find(run.begin(), run.end(), cpu) != run.end()) << cpu;
  }
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  other.join();
}

}  // namespace
}  // namespace tolvane
