#include "engine/timed_valve_queue.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "platform/thread_priority.h"

namespace tolvane {

namespace {

// The writer sleeps at most this long at a time, so that stop() never waits for a far due time.
constexpr std::int64_t kLongestSleepNs = 2'000'000;

class SteadyValveClock : public ValveQueueClock {
 public:
  std::int64_t nowNs() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void sleepUntil(std::int64_t dueNs) override {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(dueNs)));
  }
  void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& woken, std::int64_t dueNs) override {
    woken.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(dueNs)));
  }
};

std::int64_t roundedDiv(std::int64_t num, std::int64_t den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

}  // namespace

void ValveQueueClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable&, std::int64_t dueNs) {
  lock.unlock();
  sleepUntil(dueNs);
  lock.lock();
}

ValveQueueClock& steadyValveClock() {
  static SteadyValveClock clock;
  return clock;
}

void LineTimeline::frame(std::int64_t lastLine, std::int64_t stampNs, std::int64_t arrivalNs,
                         std::int64_t periodNs) {
  const std::int64_t timeNs = stampNs != 0 ? stampNs : arrivalNs;
  if (!measuring_) {
    measuring_ = true;
    firstLine_ = lastLine;
    firstArrivalNs_ = timeNs;
  }
  // The period the camera was set to holds until enough of the run has passed to measure it: a camera
  // may run slower than set (exposure, bandwidth), and a small error grows line by line into the
  // valve times. Over the whole run the jitter of single frames shrinks to nothing.
  const std::int64_t spanNs = timeNs - firstArrivalNs_;
  if (lastLine > firstLine_ && spanNs > 0 && (periodNs <= 0 || spanNs >= kMeasuredSpanNs)) {
    periodNs_ = std::max<std::int64_t>(1, roundedDiv(spanNs, lastLine - firstLine_));
  } else if (periodNs > 0) {
    periodNs_ = periodNs;
  }
  if (periodNs_ <= 0) return;  // the first frame without a period: no line times yet

  const std::int64_t offset = timeNs - lastLine * periodNs_;
  if (!known_) {
    known_ = true;
    baseNs_ = windowMin_ = offset;
    windowFrames_ = 1;
    return;
  }
  baseNs_ = std::min(baseNs_, offset);
  windowMin_ = windowFrames_ == 0 ? offset : std::min(windowMin_, offset);
  if (++windowFrames_ >= kWindowFrames) {
    baseNs_ = windowMin_;  // may move later: the clocks drift apart
    windowFrames_ = 0;
  }
}

std::int64_t LineTimeline::lineAt(std::int64_t timeNs) const {
  return periodNs_ > 0 ? roundedDiv(timeNs - baseNs_, periodNs_) : 0;
}

TimedValveQueue::TimedValveQueue(ValveOutput& output, EjectionState& state, ValveQueueClock* clock)
    : output_(output), state_(state), clock_(clock != nullptr ? clock : &steadyValveClock()) {}

TimedValveQueue::~TimedValveQueue() { stop(); }

void TimedValveQueue::start(bool timeCritical) {
  if (thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  thread_ = std::thread([this, timeCritical] {
    if (timeCritical) {
      // Any processor, above the camera threads: a valve table must not wait for a frame's analysis.
      ThreadSchedulingReport report = preferProcessor(-1);
      makeTimeCritical(report, kValveWriterFifoPriority);
    }
    run();
  });
}

void TimedValveQueue::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    count_ = 0;
    shotCount_ = 0;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TimedValveQueue::wakeFor(std::int64_t dueNs) {
  if (wakeAtNs_ == 0 || dueNs < wakeAtNs_) changed_.notify_one();
}

void TimedValveQueue::push(const ValveImage& image, std::int64_t dueNs) {
  if (pushedAny_ && image == lastPushed_) return;
  pushedAny_ = true;
  lastPushed_ = image;
  std::lock_guard lock(mutex_);
  if (stopping_) return;
  if (count_ == kCapacity) {
    // Full: the newest entry gives way; the head may be the one the writer is about to write.
    ring_[static_cast<std::size_t>((head_ + count_ - 1) % kCapacity)] = Entry{image, dueNs};
    replaced_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  ring_[static_cast<std::size_t>((head_ + count_) % kCapacity)] = Entry{image, dueNs};
  ++count_;
  wakeFor(dueNs);
}

int TimedValveQueue::pushShots(std::span<const ValveShot> shots) {
  std::lock_guard lock(mutex_);
  if (stopping_) return 0;
  // All under one hold: a triple shot's outputs open together.
  int taken = 0;
  std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
  for (const ValveShot& shot : shots) {
    if (shotCount_ == kShotCapacity) break;
    shots_[static_cast<std::size_t>(shotCount_++)] = shot;
    earliest = std::min(earliest, shot.startNs);
    ++taken;
  }
  if (taken > 0) wakeFor(earliest);
  return taken;
}

void TimedValveQueue::dropShots() {
  std::lock_guard lock(mutex_);
  if (shotCount_ == 0) return;
  shotCount_ = 0;
  wakeFor(0);  // the valves the shots held are written again without them
}

int TimedValveQueue::pending() const {
  std::lock_guard lock(mutex_);
  return count_ + shotCount_ + (writing_ ? 1 : 0);
}

ValveImage TimedValveQueue::runningShots(std::int64_t nowNs, std::int64_t& nextNs) {
  ValveImage open;
  for (int i = 0; i < shotCount_;) {
    ValveShot& shot = shots_[static_cast<std::size_t>(i)];
    if (shot.endNs <= nowNs) {
      shot = shots_[static_cast<std::size_t>(--shotCount_)];
      continue;
    }
    if (shot.startNs <= nowNs) {
      open.set(shot.output, true);
      nextNs = std::min(nextNs, shot.endNs);
    } else {
      nextNs = std::min(nextNs, shot.startNs);
    }
    ++i;
  }
  return open;
}

void TimedValveQueue::run() {
  ValveImage image;    // the newest image due
  ValveImage written;  // what the outputs were last given
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopping_) return;
    const std::int64_t now = clock_->nowNs();
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    bool imageDue = false;
    if (count_ > 0) {
      const Entry& head = ring_[static_cast<std::size_t>(head_)];
      if (head.dueNs <= now) {
        image = head.image;
        head_ = (head_ + 1) % kCapacity;
        --count_;
        imageDue = true;
      } else {
        next = head.dueNs;
      }
    }
    ValveImage valves = image;
    valves |= runningShots(now, next);
    if (imageDue || valves != written) {
      written = valves;
      wakeAtNs_ = now;  // busy: only an earlier due time needs a wake-up
      writing_ = true;
      lock.unlock();
      try {
        output_.writeImage(state_, valves);
      } catch (...) {
        // The next write is a whole table again.
      }
      lock.lock();
      writing_ = false;
      continue;
    }
    if (next == std::numeric_limits<std::int64_t>::max()) {
      wakeAtNs_ = 0;
      changed_.wait(lock, [&] { return stopping_ || count_ > 0 || shotCount_ > 0; });
      continue;
    }
    // Never long asleep, so that stop() does not wait for a far due time.
    wakeAtNs_ = std::min(next, now + kLongestSleepNs);
    clock_->waitUntil(lock, changed_, wakeAtNs_);
  }
}

}  // namespace tolvane
