#pragma once

#include <array>
#include <string>
#include <string_view>

// The colour calculator of the service page: three integer fields in, three formatted fields out.
// Each input is taken within its range first (R, G, B, S, V 0..255, H 0..359), so any integer gives
// a colour of the map; a field that is not an integer makes all three outputs "error".
namespace tolvane {

using ColourFields = std::array<std::string, 3>;

inline constexpr std::string_view kColourCalculatorError = "error";

// ">>>": R, G, B to H, S, V written "000.0".
ColourFields rgbToHsvFields(std::string_view r, std::string_view g, std::string_view b);
// "<<<": H, S, V to R, G, B written "000".
ColourFields hsvToRgbFields(std::string_view h, std::string_view s, std::string_view v);

}  // namespace tolvane
