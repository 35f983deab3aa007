#include "ejection/ejector_calibration.h"

#include <array>
#include <limits>

#include "ejection/ejector_zones.h"
#include "engine/ejection_state.h"

namespace tolvane {

bool stepCalibrationPoint(MachineSettings& machine, int side, int block, CalibrationArrow arrow) {
  if (block < 0 || block >= kEjectorBlocks || (side != kSideA && side != kSideB)) return false;
  const bool start = arrow == CalibrationArrow::kLeftMinus || arrow == CalibrationArrow::kLeftPlus;
  const bool up = arrow == CalibrationArrow::kLeftPlus || arrow == CalibrationArrow::kRightPlus;
  MachineSettings::CalibrationPoints& points =
      side == kSideA ? (start ? machine.EgecA : machine.EgecAx) : (start ? machine.EgecB : machine.EgecBx);
  std::int32_t& point = points[static_cast<std::size_t>(block)];
  const std::int32_t before = point;
  point = stepValue(point, up ? StepDirection::kUp : StepDirection::kDown,
                    std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
  return point != before;
}

namespace {

MachineStepper stepper(std::string_view field, std::int32_t MachineSettings::*member) {
  const KeyRange* range = machineKeyRange(field);
  return {field, member, range != nullptr ? *range : KeyRange{0, 0}};
}

}  // namespace

std::span<const MachineStepper, kEjectorPageStepperCount> ejectorPageSteppers() {
  static const std::array<MachineStepper, kEjectorPageStepperCount> steppers = {
      stepper("Time", &MachineSettings::Time),       stepper("Delay", &MachineSettings::Delay),
      stepper("MinVes", &MachineSettings::MinVes),   stepper("EGA_Min", &MachineSettings::EGA_Min),
      stepper("EGA_Max", &MachineSettings::EGA_Max), stepper("EGB_Min", &MachineSettings::EGB_Min),
      stepper("EGB_Max", &MachineSettings::EGB_Max),
  };
  return steppers;
}

}  // namespace tolvane
