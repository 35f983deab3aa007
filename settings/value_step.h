#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tolvane {

// "<<" lowers, ">>" raises.
enum class StepDirection { kDown, kUp };

// One press of a stepping arrow: one unit in its direction while the value is inside the limits on
// that side. A value stored outside the limits stays where it is on the far side and moves one unit
// toward the range from the near side, so the operator can always bring it back.
constexpr std::int32_t stepValue(std::int32_t value, StepDirection direction, std::int32_t lower,
                                 std::int32_t upper) {
  if (direction == StepDirection::kDown) return value > lower ? value - 1 : value;
  return value < upper ? value + 1 : value;
}

// The number a stepping label shows: decimal with an optional minus, blanks around it allowed.
// nullopt when the text is not such a number (the step then changes nothing).
std::optional<std::int32_t> labelNumber(std::string_view text);

// One press on a stepping label that reads labelText: the value the field and the label take, or
// nullopt when the label holds no number (the press then changes nothing).
std::optional<std::int32_t> stepLabel(std::string_view labelText, StepDirection direction, std::int32_t lower,
                                      std::int32_t upper);

}  // namespace tolvane
