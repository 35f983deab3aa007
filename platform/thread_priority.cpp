#include "platform/thread_priority.h"

#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace tolvane {

namespace {

pid_t currentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

int configuredProcessors() {
  const int n = ::get_nprocs_conf();
  return n > 0 ? n : 1;
}

bool validCpu(int cpu) { return cpu >= 0 && cpu < CPU_SETSIZE && cpu < configuredProcessors(); }

cpu_set_t setOf(const std::vector<int>& cpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu : cpus) CPU_SET(static_cast<std::size_t>(cpu), &set);
  return set;
}

bool setAffinity(pid_t tid, const cpu_set_t& set) { return ::sched_setaffinity(tid, sizeof(set), &set) == 0; }

// Narrows one thread to the run's processors; a thread already inside them keeps its own mask.
// 1 restricted, 0 unchanged or gone, -1 refused.
int restrictThread(pid_t tid, const cpu_set_t& run) {
  cpu_set_t current;
  CPU_ZERO(&current);
  if (::sched_getaffinity(tid, sizeof(current), &current) != 0) return errno == ESRCH ? 0 : -1;
  cpu_set_t wanted;
  CPU_AND(&wanted, &current, &run);
  if (CPU_COUNT(&wanted) == 0) wanted = run;
  if (CPU_EQUAL(&wanted, &current)) return 0;
  if (setAffinity(tid, wanted)) return 1;
  return errno == ESRCH ? 0 : -1;
}

}  // namespace

std::vector<int> runProcessors() {
  std::vector<int> cpus;
  for (int cpu = 0; cpu < kRunProcessorCount; ++cpu) {
    if (validCpu(cpu)) cpus.push_back(cpu);
  }
  return cpus;
}

ThreadSchedulingReport preferProcessor(int cpu) {
  ThreadSchedulingReport report;
  report.preferredCpu = cpu;
  const pid_t self = currentThreadId();
  if (validCpu(cpu)) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(static_cast<std::size_t>(cpu), &one);
    report.pinned = setAffinity(self, one);
  }
  if (!report.pinned) {
    // Missing, offline or outside the cgroup: run anywhere the run may run.
    report.cpuMissing = true;
    setAffinity(self, setOf(runProcessors()));
  }
  return report;
}

void makeTimeCritical(ThreadSchedulingReport& report, int fifoPriority) {
  sched_param param{};
  param.sched_priority = fifoPriority;
  const int error = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
  if (error == 0) {
    report.realTime = true;
    report.realTimeError = 0;
    return;
  }
  report.realTimeError = error;
  report.niceRaised =
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()), kTimeCriticalNice) == 0;
}

void makeNormal(ThreadSchedulingReport& report) {
  sched_param param{};
  param.sched_priority = 0;
  const bool policyOk = ::pthread_setschedparam(::pthread_self(), SCHED_OTHER, &param) == 0;
  const bool niceOk = ::setpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()), 0) == 0;
  report.normal = policyOk && niceOk;
}

ThreadSchedulingReport applyCameraThreadScheduling(int cpu) {
  ThreadSchedulingReport report = preferProcessor(cpu);
  makeTimeCritical(report);
  return report;
}

RunPriorityReport SetRunPriority(int mode, const RunPriorityWait& wait) {
  RunPriorityReport report;
  report.mode = mode;
  report.processors = runProcessors();
  const cpu_set_t run = setOf(report.processors);

  // Linux keeps processor masks per thread: the process is restricted by restricting each thread.
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (const dirent* entry = ::readdir(tasks)) {
      char* end = nullptr;
      const long tid = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || tid <= 0) continue;
      const int result = restrictThread(static_cast<pid_t>(tid), run);
      if (result > 0) ++report.threadsRestricted;
      if (result < 0) ++report.threadsRefused;
    }
    ::closedir(tasks);
  }

  report.callingThread = preferProcessor(0);
  if (mode == 1) {
    makeTimeCritical(report.callingThread, kMainThreadFifoPriority);
  } else {
    makeNormal(report.callingThread);
  }

  for (int i = 0; i < 3; ++i) {
    if (wait) {
      wait(std::chrono::milliseconds(50));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ++report.waits;
  }
  return report;
}

}  // namespace tolvane
