#pragma once

#include <cstdint>

#include "engine/ejection_state.h"
#include "engine/engine_constants.h"
#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// Copies the valve table to the outputs. The valve output code lives above the engine and hands an
// implementation to camera 1's thread.
class ValveOutput {
 public:
  virtual ~ValveOutput() = default;
  virtual void write(EjectionState& state) = 0;
};

// Build-time switches of the ejection, passed in so that tests can take both branches.
struct EjectionConfig {
  bool summaryOutput = kSummaryOutput;
  bool immediateEjection = kImmediateEjection;
};

// Monotonic milliseconds since an arbitrary start; the clock of the ejection with FineTimer set.
std::int64_t monotonicMillis();

// The ejection clock: camera 1's line counter, or milliseconds while FineTimer is set.
inline std::int64_t ejectionClock(bool fineTimer, std::int64_t camera1Lines) {
  return fineTimer ? monotonicMillis() : camera1Lines;
}

// Record times (CreatedAt, DueAt) keep the low 32 bits of the clock. Due and expiry compare in
// wrapping 32-bit arithmetic, so they stay right when the clock passes 2^31.
inline std::int32_t clockLow32(std::int64_t now) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(now));
}
inline std::int32_t clockSince(std::int64_t now, std::int32_t then) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(then));
}

// One pass of camera 1's thread: the immediate step when configured, then the line-mode step (enFast)
// or the object-mode step, each followed by a valve write when output is given. A clock that went
// back (a new run restarts the line counter) or changed unit (FineTimer switched) first clears the
// timing tables and retires the tracked objects, whose times belong to the old clock.
// Called on camera 1's thread under the engine lock.
void runEjectionPass(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine,
                     std::int64_t now, bool fineTimer, ValveOutput* output,
                     const EjectionConfig& config = {});

// Object mode: judges the closed objects that are due, fires rejects, expires, trims, closes valves.
// Called on camera 1's thread under the engine lock.
void objectModeEjectionStep(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine,
                            std::int64_t now, bool summaryOutput = kSummaryOutput);

// Line mode: opens and closes valves by LineModeOn/LineModeOff.
// Called on camera 1's thread under the engine lock.
void lineModeEjectionStep(EjectionState& ejection, std::int64_t now, bool summaryOutput = kSummaryOutput);

// Fires every closed object at once, without delay or pulse timing.
// Called on camera 1's thread under the engine lock.
void immediateEjectionStep(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine);

// Line mode, start of a line's analysis: zero the zone counts.
// Called on camera threads under the engine lock.
void beginLineModeLine(EjectionState& ejection);

// Line mode, end of a line's analysis on either camera: every zone of that camera's working range
// with more than ifFast defect pixels schedules (or extends) a pulse. now is camera 1's clock.
// Called on camera threads under the engine lock.
void scheduleLineMode(EjectionState& ejection, const SorterSettings& sorter, const MachineSettings& machine,
                      int camera, std::int64_t now, bool fineTimer);

// Drops trailing Done records from ObjectCount.
// Called under the engine lock.
void trimDoneRecords(EngineState& state);

}  // namespace tolvane
