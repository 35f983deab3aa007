#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace tolvane {

// SCHED_FIFO priority of the camera threads. Just below the kernel's threaded interrupt handlers
// (50): a camera thread that polls must not starve the USB interrupts that bring its own lines.
inline constexpr int kTimeCriticalFifoPriority = 49;
// SCHED_FIFO priority of the thread that writes framed valve changes at their times. Above the camera
// threads: it wakes only for a moment to write a valve table, and waiting for a camera thread to finish
// analysing a frame would make the valve late by that long.
inline constexpr int kValveWriterFifoPriority = 50;
// SCHED_FIFO priority of the main thread while sorting: time-critical too, but below the camera
// threads. Real-time threads of one priority never preempt each other, so at the same level a
// repaint or a save on the main thread would hold up a camera line until it finished.
inline constexpr int kMainThreadFifoPriority = 48;
static_assert(kMainThreadFifoPriority < kTimeCriticalFifoPriority);
// Nice value tried when real-time scheduling is refused.
inline constexpr int kTimeCriticalNice = -10;
// Sorting keeps the process on processors 0..3.
inline constexpr int kRunProcessorCount = 4;

// What was applied to one thread. Nothing here needs privileges to be read: tests compare it with
// what the system allowed.
struct ThreadSchedulingReport {
  int preferredCpu = -1;    // processor asked for, -1 when none
  bool pinned = false;      // the thread now runs on preferredCpu only
  bool cpuMissing = false;  // no such processor: the thread may use every processor of the run
  bool realTime = false;    // SCHED_FIFO at the priority asked for
  bool niceRaised = false;  // real time refused, kTimeCriticalNice applied instead
  bool normal = false;      // SCHED_OTHER with nice 0
  int realTimeError = 0;    // errno of a refused SCHED_FIFO request, 0 when not refused
};

// Processors that exist among 0..kRunProcessorCount - 1, ascending.
std::vector<int> runProcessors();

// Pins the calling thread to processor cpu (numbered from 0). When that processor does not exist
// or may not be used, the thread is allowed every processor of runProcessors() instead, so it does
// not stay on whatever processor its creator was pinned to. Never fails.
ThreadSchedulingReport preferProcessor(int cpu);

// Time-critical: SCHED_FIFO at fifoPriority when permitted, else nice kTimeCriticalNice when
// permitted, else left as it is. Never fails. Adds to report.
void makeTimeCritical(ThreadSchedulingReport& report, int fifoPriority = kTimeCriticalFifoPriority);

// Back to SCHED_OTHER with nice 0.
void makeNormal(ThreadSchedulingReport& report);

// A camera thread's own set-up: preferred processor, then time-critical priority.
ThreadSchedulingReport applyCameraThreadScheduling(int cpu);

struct RunPriorityReport {
  int mode = 0;
  std::vector<int> processors;  // runProcessors() at the time of the call
  int threadsRestricted = 0;    // threads of the process whose processors were narrowed to them
  int threadsRefused = 0;       // threads the system would not restrict
  ThreadSchedulingReport callingThread;
  int waits = 0;  // 50 ms waits made
};

using RunPriorityWait = std::function<void(std::chrono::milliseconds)>;

// Mode 1 for sorting, 0 for stopped. Every thread of the process is kept to processors 0..3 (a
// thread already pinned inside them keeps its pin); the calling thread is pinned to processor 0 and
// made time-critical (below the camera threads) in mode 1 or normal in mode 0; then wait(50 ms) is called
// three times (a real sleep when wait is empty). Never fails; the report says what the system allowed. Called
// on the main thread.
RunPriorityReport SetRunPriority(int mode, const RunPriorityWait& wait = {});

}  // namespace tolvane
