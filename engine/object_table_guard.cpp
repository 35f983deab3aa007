#include "engine/object_table_guard.h"

#include <algorithm>

#include "engine/ejection_step.h"

namespace tolvane {

int objectsInUse(const EngineState& state) {
  const int count = std::clamp(state.ObjectCount, 0, kObjectTableSize);
  int inUse = 0;
  for (int k = 1; k <= count; ++k) inUse += state.ObjectTable[k].Done == 0 ? 1 : 0;
  return inUse;
}

int retireStuckObjects(EngineState& state, std::int32_t maxTime) {
  const EjectionState& e = state.ejection;
  if (e.lastPassFineTimer < 0) return 0;  // no clock yet: nothing can be judged stuck
  const std::int64_t now = e.lastPassClock;
  const int count = std::clamp(state.ObjectCount, 0, kObjectTableSize);
  int retired = 0;
  for (int k = 1; k <= count; ++k) {
    ObjectRecord& r = state.ObjectTable[k];
    if (r.Done != 0) continue;
    if (clockSince(now, r.DueAt) > maxTime) {
      r.Done = 1;
      ++retired;
    }
  }
  trimDoneRecords(state);
  return retired;
}

}  // namespace tolvane
