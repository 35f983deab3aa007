#include "engine/timed_valve_queue.h"

#include <algorithm>
#include <chrono>

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
};

std::int64_t roundedDiv(std::int64_t num, std::int64_t den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

}  // namespace

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
  stopFlag_.store(false, std::memory_order_release);
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
  }
  stopFlag_.store(true, std::memory_order_release);
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TimedValveQueue::push(const ValveImage& image, std::int64_t dueNs) {
  if (pushedAny_ && image == lastPushed_) return;
  pushedAny_ = true;
  lastPushed_ = image;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    if (count_ == kCapacity) {
      // Full: the newest entry gives way (never the head, which the writer may be waiting on).
      ring_[static_cast<std::size_t>((head_ + count_ - 1) % kCapacity)] = Entry{image, dueNs};
      replaced_.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    ring_[static_cast<std::size_t>((head_ + count_) % kCapacity)] = Entry{image, dueNs};
    ++count_;
  }
  changed_.notify_one();
}

int TimedValveQueue::pending() const {
  std::lock_guard lock(mutex_);
  return count_;
}

void TimedValveQueue::run() {
  for (;;) {
    Entry entry;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || count_ > 0; });
      if (stopping_) return;
      entry = ring_[static_cast<std::size_t>(head_)];
    }
    for (std::int64_t now = clock_->nowNs(); now < entry.dueNs; now = clock_->nowNs()) {
      if (stopFlag_.load(std::memory_order_acquire)) return;
      clock_->sleepUntil(std::min(entry.dueNs, now + kLongestSleepNs));
    }
    try {
      output_.writeImage(state_, entry.image);
    } catch (...) {
      // The next image is a whole table again.
    }
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    head_ = (head_ + 1) % kCapacity;
    --count_;
  }
}

}  // namespace tolvane
