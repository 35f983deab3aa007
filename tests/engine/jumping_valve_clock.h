#pragma once

#include <atomic>
#include <cstdint>

#include "engine/timed_valve_queue.h"

namespace tolvane::test {

// A valve clock that stands still until the valve writer sleeps, and then jumps to the time it
// sleeps until: every write happens exactly at its due time, however slow the test machine is.
class JumpingValveClock : public ValveQueueClock {
 public:
  std::int64_t nowNs() override { return now.load(); }
  void sleepUntil(std::int64_t dueNs) override {
    std::int64_t current = now.load();
    while (current < dueNs && !now.compare_exchange_weak(current, dueNs)) {
    }
  }
  std::atomic<std::int64_t> now{0};
};

}  // namespace tolvane::test
