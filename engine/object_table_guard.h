#pragma once

#include <cstdint>

#include "engine/engine_state.h"

namespace tolvane {

// Records 1..ObjectCount that are in use. ObjectCount itself is only the highest record in use, which
// a steady stream keeps near the table's limit however few objects are in flight.
// Called under the engine lock.
int objectsInUse(const EngineState& state);

// The supervision's guard on the object table: records still in use more than maxTime after their
// due time on the ejection clock (objects left behind when line mode took over, or by a pass that
// never came) are retired. Live objects are never dropped to make room: a full table refuses new
// objects instead. Returns how many records were retired.
// Called under the engine lock.
int retireStuckObjects(EngineState& state, std::int32_t maxTime);

}  // namespace tolvane
