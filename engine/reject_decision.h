#pragma once

#include "engine/object_record.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// The reject decision on one object. AND mode (ifAND): every enabled condition must hold, bounds
// inclusive (direction false: value <= threshold, true: value >= threshold); no enabled condition
// means reject. OR mode: any enabled condition beyond its threshold, strictly, rejects; no enabled
// condition means keep. Its only write: a zero Mass becomes 1, so percentages never divide by zero.
// Called on camera 1's thread (ejection step) and on the main thread (sample judging), under the
// engine lock.
bool IsReject(ObjectRecord& record, const SorterSettings& settings);

}  // namespace tolvane
