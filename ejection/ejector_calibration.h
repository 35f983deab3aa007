#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "settings/machine_settings.h"
#include "settings/value_step.h"

namespace tolvane {

// The four calibration arrows of one side: the left pair moves the block's first pixel (EgecA/EgecB),
// the right pair its end pixel (EgecAx/EgecBx).
enum class CalibrationArrow { kLeftMinus, kLeftPlus, kRightMinus, kRightPlus };

// One press of a calibration arrow on the selected block (0..3) of a side (kSideA, kSideB): the point
// moves by one pixel. Calibration points have no operator limits; only the 32-bit range holds them, so
// a point at its end stays there. A block outside 0..3 (no selection) changes nothing. Returns whether
// a point changed.
bool stepCalibrationPoint(MachineSettings& machine, int side, int block, CalibrationArrow arrow);

// A stepper of the ejector page over a machine value: the field it changes and the limits of its
// arrows. The label of the stepper shows the value with at least three digits.
struct MachineStepper {
  std::string_view field;  // "Time", ... "EGB_Max"
  std::int32_t MachineSettings::*member;
  KeyRange range;
};

// The stable parameters and the working ejector ranges of the ejector page, in this order: Time,
// Delay, MinVes, EGA_Min, EGA_Max, EGB_Min, EGB_Max.
inline constexpr std::size_t kEjectorPageStepperCount = 7;
std::span<const MachineStepper, kEjectorPageStepperCount> ejectorPageSteppers();

}  // namespace tolvane
