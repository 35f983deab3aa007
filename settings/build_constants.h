#pragma once

#include <cstdint>

namespace tolvane {

// Fixed configuration of this build. Nothing changes these at run time; the engine and the
// ejection code take them from here so that settings and engine agree.

// The camera kind of a machine whose platform configuration does not name one: the delivered
// machines have single-tone cameras. The machine's own kind is in EngineState::singleToneCamera.
inline constexpr bool kSingleToneCamera = true;

// Ejectors per side of the ejector bar; default of EGA_Max and EGB_Max.
inline constexpr int32_t kEjectorsPerSide = 48;

// Calibration points per side (EgecA0 ... EgecA4 and kin).
inline constexpr int kCalibrationPointCount = 5;

// Sorting programs program0 ... program9; programs 0 ... 8 carry a name, program 9 is the test program.
inline constexpr int kProgramCount = 10;
inline constexpr int kProgramNameCount = 9;

}  // namespace tolvane
