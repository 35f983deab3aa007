#pragma once

#include <cstdint>

#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

inline constexpr int kTimingLines = 4000;
inline constexpr int kTimingMarkFirst = 177;  // pixels whose red byte is darkened
inline constexpr int kTimingMarkLast = 180;

// The analysis timing: 4000 times, camera 1's colour line becomes grey 100 with the red byte of
// pixels 177..180 at 8, and the line-mode analysis runs on it. Returns the elapsed milliseconds
// (0 or more). The line-mode tables and the object counters it touched are put back afterwards,
// so the test leaves no scheduled pulse and no counted object behind; the line buffers keep the
// test line.
// Called on the main thread under the engine lock; meant for a stopped sorter.
std::int64_t runAnalysisTiming(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                               const MachineSettings& machine);

}  // namespace tolvane
