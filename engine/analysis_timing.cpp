#include "engine/analysis_timing.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "engine/ejection_step.h"
#include "engine/object_tracker.h"

namespace tolvane {

std::int64_t runAnalysisTiming(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                               const MachineSettings& machine) {
  EjectionState& ej = state.ejection;
  std::array<std::int64_t, kEjectorSlots> on{};
  std::array<std::int64_t, kEjectorSlots> off{};
  for (int j = 1; j <= kEjectorSlots; ++j) {
    on[static_cast<std::size_t>(j - 1)] = ej.LineModeOn[j].load(std::memory_order_relaxed);
    off[static_cast<std::size_t>(j - 1)] = ej.LineModeOff[j].load(std::memory_order_relaxed);
  }
  const auto zoneDefects = ej.ZoneDefects;
  const EngineCounterTable counters = ej.EngineCounters;

  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kTimingLines; ++i) {
    std::fill(camera1.LineRGB.begin(), camera1.LineRGB.end(), std::uint8_t{100});
    for (int p = kTimingMarkFirst; p <= kTimingMarkLast; ++p) camera1.rgb(p)[0] = 8;
    analyseLineModeLine(state, camera1, sorter, machine,
                        ejectionClock(state.FineTimer.load(std::memory_order_relaxed),
                                      camera1.LineCounter.load(std::memory_order_relaxed)));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;

  for (int j = 1; j <= kEjectorSlots; ++j) {
    ej.LineModeOn[j].store(on[static_cast<std::size_t>(j - 1)], std::memory_order_relaxed);
    ej.LineModeOff[j].store(off[static_cast<std::size_t>(j - 1)], std::memory_order_relaxed);
  }
  ej.ZoneDefects = zoneDefects;
  ej.EngineCounters = counters;
  return std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace tolvane
