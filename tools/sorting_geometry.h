#pragma once

// The fall geometry of the simulated machine at any line rate, shared by the simulated and the
// fake-camera sorting runs.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/camera_thread.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// At 10 000 lines/s the ejector bar of the simulated machine sits this many camera lines below the
// camera line, and an item falls one line per pixel of its length. Faster cameras see the same fall
// in more lines: both scale with the rate (the bar 40 lines down is 4 ms of fall). Slower rates keep
// this geometry; shorter items would fall below the objects' size limits.
inline constexpr double kDefaultBarLines = 40;
inline constexpr double kGeometryRate = 10'000;
inline constexpr double kMaxGeometryScale = 20;  // the simulator's fall speed goes to 20 lines per pixel
// The built-in settings' Delay (42) is the bar plus this: an object's record starts a little after
// its first line. Time and MaxTime scale with the geometry like the item lengths do.
inline constexpr int kDelayBeyondBar = 2;

// How many lines of the 10 000 lines/s geometry one line stands for at this rate.
inline double geometryScale(double rate) { return std::clamp(rate / kGeometryRate, 1.0, kMaxGeometryScale); }

// Camera lines from a camera-1 line reaching the program to its valve change taking effect. A camera
// thread that takes frames applies each valve image a frame and a margin after its line; one that takes
// the lines of frames one by one gets each when its frame is complete, half a frame late on average.
inline int valveLatencyLines(int linesPerFrame, bool threadTakesFrames, double lineRateHz) {
  if (linesPerFrame <= 1) return 0;
  if (!threadTakesFrames) return linesPerFrame / 2;
  return linesPerFrame +
         static_cast<int>(std::ceil(static_cast<double>(kFrameValveMarginNs) * lineRateHz / 1e9));
}

// Delay for the bar (valves acting latencyLines after their line), and Time and MaxTime for items
// `scale` times as long in lines as at 10 000 lines/s; each within its editing range.
inline void fitEjectionTiming(MachineSettings& machine, double barLines, int latencyLines, double scale) {
  const auto fit = [](const char* name, double value) {
    const KeyRange* range = machineKeyRange(name);
    const long rounded = std::lround(value);
    return range ? static_cast<std::int32_t>(std::clamp<long>(rounded, range->min, range->max))
                 : static_cast<std::int32_t>(rounded);
  };
  machine.Delay = fit("Delay", barLines + kDelayBeyondBar - latencyLines);
  machine.Time = fit("Time", machine.Time * scale);
  machine.MaxTime = fit("MaxTime", machine.MaxTime * scale);
}

}  // namespace tolvane
