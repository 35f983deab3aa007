#include "engine/shots_ahead.h"

#include <algorithm>

namespace tolvane {

void ShotsAhead::follow(bool plan, const LineTimeline& timeline, std::int64_t latencyNs) {
  if (!plan) {
    if (planning_) stop();
    return;
  }
  planning_ = true;
  timeline_ = &timeline;
  latencyNs_ = latencyNs;
}

void ShotsAhead::stop() {
  planning_ = false;
  dropQueued_ = true;
  shotCount_ = handedOver_ = 0;
  plannedFor_.fill(Identity{});  // their shots are gone: planned again when planning resumes
}

void ShotsAhead::closed(int record, ObjectRecord& r, std::int64_t due, std::int64_t now) {
  if (!planning_ || record < 1 || record > kObjectTableSize) return;
  Identity& planned = plannedFor_[static_cast<std::size_t>(record)];
  const Identity identity = identityOf(r);
  if (planned == identity) return;
  planned = identity;

  std::array<std::int32_t, kEjectorSlots> outputs{};
  const int count = shotOutputsOf(ejection_, r, sorter_, machine_, outputs);
  // The step opens the outputs at the pass that judges the object and closes them at the pass of
  // line last + 1.
  const std::int64_t first = std::max(due, now);
  const std::int64_t last = first + machine_.Time;
  const std::int64_t startNs = timeline_->timeOf(due) + latencyNs_;
  const std::int64_t endNs = timeline_->timeOf(last + 1) + latencyNs_;
  // Beyond kCapacity the images carry the shot, as without planning.
  for (int i = 0; i < count && shotCount_ < kCapacity; ++i) {
    const auto at = static_cast<std::size_t>(shotCount_++);
    valves_[at] = ValveShot{outputs[static_cast<std::size_t>(i)], startNs, endNs};
    lines_[at] = Lines{first, last};
  }
}

void ShotsAhead::handOver() {
  if (dropQueued_) {
    queue_.dropShots();
    dropQueued_ = false;
  }
  const int fresh = shotCount_ - handedOver_;
  if (fresh <= 0) return;
  // Those not taken (queue full or stopped) are left to the images.
  handedOver_ += queue_.pushShots(
      std::span<const ValveShot>(valves_.data() + handedOver_, static_cast<std::size_t>(fresh)));
  shotCount_ = handedOver_;
}

void ShotsAhead::mask(ValveImage& image, std::int64_t line) {
  for (int i = 0; i < shotCount_;) {
    const auto at = static_cast<std::size_t>(i);
    if (lines_[at].last < line) {
      const auto lastAt = static_cast<std::size_t>(--shotCount_);
      valves_[at] = valves_[lastAt];
      lines_[at] = lines_[lastAt];
      handedOver_ = std::min(handedOver_, shotCount_);
      continue;
    }
    if (lines_[at].first <= line) image.set(valves_[at].output, false);
    ++i;
  }
}

}  // namespace tolvane
