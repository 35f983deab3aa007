#include "colour_tools/colour_calculator.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "engine/color_convert.h"
#include "settings/value_step.h"

namespace tolvane {

namespace {

// Decimal with an optional sign and blanks around it; nothing else counts as an integer.
std::optional<int> fieldNumber(std::string_view text, int lower, int upper) {
  const std::optional<std::int32_t> value = labelNumber(text);
  if (!value) return std::nullopt;
  return std::clamp<int>(*value, lower, upper);
}

std::string formatted(int value, const char* format) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

ColourFields errors() {
  const std::string e(kColourCalculatorError);
  return {e, e, e};
}

}  // namespace

ColourFields rgbToHsvFields(std::string_view r, std::string_view g, std::string_view b) {
  const auto rv = fieldNumber(r, 0, 255);
  const auto gv = fieldNumber(g, 0, 255);
  const auto bv = fieldNumber(b, 0, 255);
  if (!rv || !gv || !bv) return errors();
  const Hsv hsv = RgbToHsv(*rv, *gv, *bv);
  return {formatted(hsv.h, "%03d.0"), formatted(hsv.s, "%03d.0"), formatted(hsv.v, "%03d.0")};
}

ColourFields hsvToRgbFields(std::string_view h, std::string_view s, std::string_view v) {
  const auto hv = fieldNumber(h, 0, 359);
  const auto sv = fieldNumber(s, 0, 255);
  const auto vv = fieldNumber(v, 0, 255);
  if (!hv || !sv || !vv) return errors();
  const RgbValues rgb = HsvToRgb(*hv, *sv, *vv);
  return {formatted(rgb.r, "%03d"), formatted(rgb.g, "%03d"), formatted(rgb.b, "%03d")};
}

}  // namespace tolvane
