#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "settings/sector_tables.h"

namespace tolvane {

struct Hsv {
  int h = 0;  // 0..359
  int s = 0;  // 0..255
  int v = 0;  // 0..255
  friend bool operator==(const Hsv&, const Hsv&) = default;
};

struct RgbValues {
  int r = 0;
  int g = 0;
  int b = 0;
  friend bool operator==(const RgbValues&, const RgbValues&) = default;
};

// Rounds to nearest, halves to even, independent of the floating-point environment.
inline double roundHalfEven(double x) {
  const double lower = std::floor(x);
  const double diff = x - lower;  // exact: x and its floor are close enough
  if (std::isnan(diff)) {
    return x;  // NaN and infinities stay as they are
  }
  if (diff < 0.5) {
    return lower;
  }
  if (diff > 0.5) {
    return lower + 1.0;
  }
  // Doubles from 2^53 up are even integers and never reach here with a half.
  const auto whole = static_cast<std::int64_t>(lower);
  return (whole & 1) == 0 ? lower : lower + 1.0;
}

// The nearest 32-bit integer towards zero, saturated; NaN gives 0.
inline std::int32_t toInt32(double v) {
  if (!(v == v)) {
    return 0;
  }
  return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// Integer HSV of an RGB colour; inputs are clamped to 0..255 first.
// Pure function; safe on any thread.
Hsv RgbToHsv(int r, int g, int b);

// RGB of an integer HSV colour, with the conversion factor 0.016667 per degree as the colour tools
// have always used it (H = 360 falls into the last sextant). Defined for every int input, and every
// result is in 0..255: S and V are clamped to 0..255 first; a negative H gives grey V; any H from 360
// up (a sector turned past the map) takes the last sextant's formula, as 360 does.
// Pure function; safe on any thread.
RgbValues HsvToRgb(int h, int s, int v);

// HsvToRgb as the background fill of object pictures: the conversion the sector tables take
// (buildSectorTables), defined for any sector bounds.
FillColour hsvFillColour(int32_t h, int32_t s, int32_t v);

}  // namespace tolvane
