#include "engine/color_convert.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tolvane {

Hsv RgbToHsv(int r, int g, int b) {
  r = std::clamp(r, 0, 255);
  g = std::clamp(g, 0, 255);
  b = std::clamp(b, 0, 255);
  // Ties go to R, then G: the channel that names the maximum decides the hue formula.
  int minimum = r <= g ? r : g;
  if (minimum > b) {
    minimum = b;
  }
  enum { kRed, kGreen, kBlue } maxChannel = r >= g ? kRed : kGreen;
  int maximum = r >= g ? r : g;
  if (maximum < b) {
    maximum = b;
    maxChannel = kBlue;
  }
  const int delta = maximum - minimum;
  if (delta == 0) {
    return {0, 0, r};
  }
  const double d = delta;
  int h = 0;
  switch (maxChannel) {
    case kRed:
      h = static_cast<int>(std::trunc(60.0 * (g - b) / d));
      break;
    case kGreen:
      h = static_cast<int>(std::trunc(60.0 * (b - r) / d)) + 120;
      break;
    case kBlue:
      h = static_cast<int>(std::trunc(60.0 * (r - g) / d)) + 240;
      break;
  }
  if (h < 0) {
    h += 360;
  }
  const int s = static_cast<int>(roundHalfEven(255.0 * delta / maximum));
  return {h, s, maximum};
}

RgbValues HsvToRgb(int h, int s, int v) {
  // Sector bounds from a file may hold any number; outside 0..255 the products below would leave int.
  s = std::clamp(s, 0, 255);
  v = std::clamp(v, 0, 255);
  if (h < 0) {
    return {v, v, v};
  }
  // The sextant position is held as a 32-bit float, as the colour tools always did; the product is
  // formed in extended precision first.
  const float x = static_cast<float>(static_cast<long double>(h) * 0.016667L);
  const long double floorX = std::floor(static_cast<long double>(x));
  const int i = static_cast<int>(floorX);
  const float f = x - static_cast<float>(floorX);
  const long double sl = s;
  const long double vl = v;
  const int p = static_cast<int>(std::trunc(vl * (255.0L - sl) / 255.0L));
  const int q = static_cast<int>(std::trunc((255.0L - sl * f) * vl / 255.0L));
  const int t = static_cast<int>(std::trunc((255.0L - sl * (1.0L - f)) * vl / 255.0L));
  switch (i) {
    case 0:
      return {v, t, p};
    case 1:
      return {q, v, p};
    case 2:
      return {p, v, t};
    case 3:
      return {p, q, v};
    case 4:
      return {t, p, v};
    default:
      return {v, p, q};
  }
}

FillColour hsvFillColour(int32_t h, int32_t s, int32_t v) {
  const RgbValues rgb = HsvToRgb(h, s, v);
  return FillColour{static_cast<std::uint8_t>(rgb.r), static_cast<std::uint8_t>(rgb.g),
                    static_cast<std::uint8_t>(rgb.b)};
}

}  // namespace tolvane
