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
  shotCount_ = 0;
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
    shots_[static_cast<std::size_t>(shotCount_++)] =
        Shot{outputs[static_cast<std::size_t>(i)], first, last, startNs, endNs, false};
  }
}

void ShotsAhead::handOver() {
  if (dropQueued_) {
    queue_.dropShots();
    dropQueued_ = false;
  }
  for (int i = 0; i < shotCount_;) {
    Shot& shot = shots_[static_cast<std::size_t>(i)];
    if (!shot.handedOver) {
      shot.handedOver = queue_.pushShot(shot.output, shot.startNs, shot.endNs);
      if (!shot.handedOver) {  // not taken (queue full or stopped): left to the images
        shot = shots_[static_cast<std::size_t>(--shotCount_)];
        continue;
      }
      ++plannedShots_;
    }
    ++i;
  }
}

void ShotsAhead::mask(ValveImage& image, std::int64_t line) {
  for (int i = 0; i < shotCount_;) {
    const Shot& shot = shots_[static_cast<std::size_t>(i)];
    if (shot.last < line) {
      shots_[static_cast<std::size_t>(i)] = shots_[static_cast<std::size_t>(--shotCount_)];
      continue;
    }
    if (shot.first <= line) image.set(shot.output, false);
    ++i;
  }
}

}  // namespace tolvane
