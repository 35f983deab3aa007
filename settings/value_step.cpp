#include "settings/value_step.h"

#include <charconv>

namespace tolvane {

std::optional<std::int32_t> labelNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int32_t> stepLabel(std::string_view labelText, StepDirection direction, std::int32_t lower,
                                      std::int32_t upper) {
  const std::optional<std::int32_t> value = labelNumber(labelText);
  if (!value) return std::nullopt;
  return stepValue(*value, direction, lower, upper);
}

}  // namespace tolvane
