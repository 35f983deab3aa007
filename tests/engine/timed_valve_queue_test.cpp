// The valve writer's queue on a clock that jumps to each due time, so every write time is exact:
// images at their times, shots known ahead open and close at theirs on top of the images.
#include "engine/timed_valve_queue.h"

#include <gtest/gtest.h>

#include <limits>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "jumping_valve_clock.h"
#include "tests/thread_test_support.h"

namespace tolvane {
namespace {

using test::waitFor;

using JumpingClock = test::JumpingValveClock;

using Opened = std::set<int>;

class TimedWrites : public ValveOutput {
 public:
  explicit TimedWrites(JumpingClock& clock) : clock_(clock) {}
  void write(EjectionState& state) override { writeImage(state, ValveImage::of(state.ValveStates)); }
  void writeImage(EjectionState&, const ValveImage& image) override {
    Opened open;
    for (int m = 1; m <= kEjectorSlots; ++m) {
      if (image.isOpen(m)) open.insert(m);
    }
    std::lock_guard lock(mutex_);
    if (log_.empty() || log_.back().second != open) log_.emplace_back(clock_.nowNs(), open);
  }
  std::vector<std::pair<std::int64_t, Opened>> changes() const {
    std::lock_guard lock(mutex_);
    return log_;
  }

 private:
  JumpingClock& clock_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::int64_t, Opened>> log_;
};

ValveImage imageOf(const Opened& open) {
  ValveImage image;
  for (int m : open) image.set(m, true);
  return image;
}

struct Shot {
  int output;
  std::int64_t start;
  std::int64_t end;
};

TEST(TimedValveQueueTest, ShotsOpenOnTopOfTheImagesAtTheirOwnTimes) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::int64_t, Opened>> images;
    std::vector<Shot> shots;
    std::vector<std::pair<std::int64_t, Opened>> changes;
    std::int64_t clockAt = 0;
  };
  const Row rows[] = {
      {"a shot alone", {}, {{5, 100, 200}}, {{100, {5}}, {200, {}}}},
      {"a shot between images",
       {{50, {7}}, {150, {}}},
       {{5, 100, 200}},
       {{50, {7}}, {100, {5, 7}}, {150, {5}}, {200, {}}}},
      {"overlapping shots on one output", {}, {{5, 100, 200}, {5, 150, 250}}, {{100, {5}}, {250, {}}}},
      {"an image holding the shot's output open beyond it",
       {{120, {5}}, {300, {}}},
       {{5, 100, 200}},
       {{100, {5}}, {300, {}}}},
      {"a shot whose start has passed opens at once", {{40, {2}}}, {{3, 10, 90}}, {{60, {2, 3}}, {90, {2}}}, 60},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    JumpingClock clock;
    clock.now = row.clockAt;
    TimedWrites writes(clock);
    EjectionState state;
    TimedValveQueue queue(writes, state, &clock);
    std::vector<ValveShot> shots;
    for (const Shot& s : row.shots) shots.push_back({s.output, s.start, s.end});
    ASSERT_EQ(queue.pushShots(shots), static_cast<int>(shots.size()));
    for (const auto& [due, open] : row.images) queue.push(imageOf(open), due);
    queue.start(false);
    ASSERT_TRUE(waitFor([&] { return queue.pending() == 0; }));
    queue.stop();
    EXPECT_EQ(writes.changes(), row.changes);
  }
}

TEST(TimedValveQueueTest, ShotsBeyondItsRoomAreRefusedAndDroppedShotsCloseAtOnce) {
  JumpingClock clock;
  TimedWrites writes(clock);
  EjectionState state;
  TimedValveQueue queue(writes, state, &clock);
  constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max() / 2;
  std::vector<ValveShot> shots;
  for (int i = 0; i < TimedValveQueue::kShotCapacity - 2; ++i) shots.push_back({1 + i % 8, 100, kNever});
  ASSERT_EQ(queue.pushShots(shots), TimedValveQueue::kShotCapacity - 2);
  // Taken from the front while there is room; an output outside the table opens nothing.
  const std::vector<ValveShot> more{{kEjectorSlots + 1, 100, kNever}, {9, 100, kNever}, {10, 100, kNever}};
  EXPECT_EQ(queue.pushShots(more), 2);

  queue.start(false);
  ASSERT_TRUE(waitFor([&] { return !writes.changes().empty(); }));
  EXPECT_EQ(writes.changes().front(), (std::pair<std::int64_t, Opened>{100, {1, 2, 3, 4, 5, 6, 7, 8, 9}}));
  queue.dropShots();
  ASSERT_TRUE(waitFor([&] { return queue.pending() == 0 && writes.changes().size() == 2; }));
  EXPECT_TRUE(writes.changes().back().second.empty());
  EXPECT_LT(writes.changes().back().first, kNever);
  queue.stop();
  EXPECT_EQ(queue.pushShots(more), 0);  // stopped
}

}  // namespace
}  // namespace tolvane
