#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "engine/ejection_step.h"

namespace tolvane {

// Steady-clock nanoseconds for the valve timing. Tests replace it so that nothing depends on timing.
class ValveQueueClock {
 public:
  virtual ~ValveQueueClock() = default;
  virtual std::int64_t nowNs() = 0;
  // Returns at dueNs or later; may return earlier (the caller asks nowNs again).
  virtual void sleepUntil(std::int64_t dueNs) = 0;
  // sleepUntil with lock released, returning early when woken is notified. Locks again before return.
  virtual void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& woken, std::int64_t dueNs);
};

// std::chrono::steady_clock.
ValveQueueClock& steadyValveClock();

// Where the lines of a framed camera lie in time: time(L) = base + L * period, L being the line
// counter after line L was counted.
//
// The frame's own time stamp is used when the camera gives one, else its arrival. Either carries the
// jitter of transport and of the reader's wake-up, which must not move a frame's valve times, so the
// base is the earliest one seen over recent frames (the least delayed frame is the truest); a new
// window every kWindowFrames lets the base follow a slow drift between camera and system clock.
class LineTimeline {
 public:
  static constexpr int kWindowFrames = 8;
  // Frames over this span measure the period, also when the camera tells one.
  static constexpr std::int64_t kMeasuredSpanNs = 500'000'000;

  // A frame whose last line is lastLine; stampNs is its time stamp (0 none), arrivalNs when it came,
  // periodNs the camera's line period (0 unknown); after kMeasuredSpanNs the measured one counts.
  void frame(std::int64_t lastLine, std::int64_t stampNs, std::int64_t arrivalNs, std::int64_t periodNs);
  bool known() const { return known_; }
  std::int64_t periodNs() const { return periodNs_; }
  std::int64_t baseNs() const { return baseNs_; }
  std::int64_t timeOf(std::int64_t line) const { return baseNs_ + line * periodNs_; }
  // The line whose time is nearest timeNs (period known).
  std::int64_t lineAt(std::int64_t timeNs) const;

 private:
  bool known_ = false;
  std::int64_t periodNs_ = 0;
  std::int64_t baseNs_ = 0;
  std::int64_t windowMin_ = 0;
  int windowFrames_ = 0;
  bool measuring_ = false;
  std::int64_t firstLine_ = 0;
  std::int64_t firstArrivalNs_ = 0;
};

// A valve output open from startNs until endNs, known ahead of its time.
struct ValveShot {
  int output = 0;
  std::int64_t startNs = 0;
  std::int64_t endNs = 0;
};

// Valve images of camera 1 that take effect at their line's time, written in order by a thread of
// the queue's own: a frame's lines are analysed in a burst, but a pulse shorter than a frame still
// opens and closes at its lines' times.
//
// Shots known ahead (a reject judged before its due line's frame has come) are held beside the
// images, each an output open from its start to its end time: the valves written are the current
// image with every running shot's output open, so such a shot is on time even when the frame of
// its due line comes late. The producer leaves those outputs out of the images of the shot's lines.
//
// One producer (camera 1's thread), one consumer (the queue's thread); fixed storage, nothing is
// allocated per push. An image equal to the one pushed before is not queued. When the queue is full
// the newest entry is replaced by the new image and its time: every image is a whole table, so the
// valves still end in the newest state; only the replaced intermediate table is lost (counted).
class TimedValveQueue {
 public:
  static constexpr int kCapacity = 512;
  static constexpr int kShotCapacity = 128;

  // output and state must outlive the queue; clock null: steadyValveClock().
  TimedValveQueue(ValveOutput& output, EjectionState& state, ValveQueueClock* clock = nullptr);
  ~TimedValveQueue();
  TimedValveQueue(const TimedValveQueue&) = delete;
  TimedValveQueue& operator=(const TimedValveQueue&) = delete;

  // Starts the writer thread; timeCritical: real-time priority on any processor of the run.
  void start(bool timeCritical);
  // Ends the writer thread and drops what was not yet due. Later pushes are dropped.
  void stop();

  // Producer side: write image at dueNs (0 or past: at once).
  void push(const ValveImage& image, std::int64_t dueNs);
  // Producer side: takes shots from the front, all at once, while fewer than kShotCapacity are held;
  // returns how many it took (none when stopped). A shot not taken stays in the images. An output
  // outside the table opens nothing.
  int pushShots(std::span<const ValveShot> shots);
  // Producer side: forgets the shots (their times no longer hold); the images carry the valves again.
  void dropShots();
  ValveQueueClock& clock() { return *clock_; }

  // Images and shots not yet written through (a write under way counts).
  int pending() const;
  std::int64_t replaced() const { return replaced_.load(std::memory_order_relaxed); }

 private:
  struct Entry {
    ValveImage image;
    std::int64_t dueNs = 0;
  };
  void run();
  // Under mutex_: the running shots' outputs at nowNs, ended shots dropped; nextNs lowered to the
  // next start or end.
  ValveImage runningShots(std::int64_t nowNs, std::int64_t& nextNs);
  // Under mutex_: wakes the writer when it sleeps beyond dueNs.
  void wakeFor(std::int64_t dueNs);

  ValveOutput& output_;
  EjectionState& state_;
  ValveQueueClock* clock_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::array<Entry, kCapacity> ring_{};
  int head_ = 0;
  int count_ = 0;
  std::array<ValveShot, kShotCapacity> shots_{};
  int shotCount_ = 0;
  bool writing_ = false;       // a write taken off the queue is under way
  std::int64_t wakeAtNs_ = 0;  // when the writer next wakes of itself; 0 while it waits for pushes
  bool stopping_ = false;

  // Producer only.
  ValveImage lastPushed_{};
  bool pushedAny_ = false;

  std::atomic<std::int64_t> replaced_{0};
  std::thread thread_;
};

}  // namespace tolvane
