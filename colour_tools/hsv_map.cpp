#include "colour_tools/hsv_map.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace tolvane {

namespace {

constexpr double kCentre = 256.5;
constexpr double kRadius = 255.0;

int wrapHue(int h) { return ((h % 360) + 360) % 360; }

// The conversions lose up to a degree on the way there and back; of the hues around the wanted one,
// take the first whose colour reads back as it.
RgbValues discColour(int wantedHue, int s) {
  for (const int candidate : {wantedHue, wantedHue - 1, wantedHue + 1}) {
    const RgbValues rgb = HsvToRgb(wrapHue(candidate), s, 255);
    if (RgbToHsv(rgb.r, rgb.g, rgb.b).h == wantedHue) {
      return rgb;
    }
  }
  return HsvToRgb(wantedHue, s, 255);
}

// Soft dark rim along the image border and around the disc, mid grey in the open corners.
int surroundGrey(int x, int y, double d) {
  constexpr double kRim = 6.0;
  const double fromDisc = std::min(1.0, (d - (kRadius + 0.5)) / kRim);
  const int edge = std::min({x, y, kHsvMapSize - 1 - x, kHsvMapSize - 1 - y});
  const double fromBorder = std::min(1.0, edge / kRim);
  return 21 + static_cast<int>(76.0 * std::max(0.0, std::min(fromDisc, fromBorder)));
}

double radians(int degrees) { return degrees * std::numbers::pi / 180.0; }

// Trunc/Round results of map positions stay in int range whatever S is.
int toPixel(double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); }

}  // namespace

void drawHsvMapPicture(Rgb24Canvas& picture) {
  picture.setSize(kHsvMapSize, kHsvMapSize);
  // Many pixels share a hue and saturation; each colour is worked out once.
  std::vector<std::optional<Rgb24>> colours(360 * 256);
  for (int y = 0; y < kHsvMapSize; ++y) {
    for (int x = 0; x < kHsvMapSize; ++x) {
      const double dx = x + 0.5 - kCentre;
      const double dy = y + 0.5 - kCentre;
      const double d = std::hypot(dx, dy);
      if (d > kRadius) {
        const auto grey = static_cast<std::uint8_t>(surroundGrey(x, y, d));
        picture.putPixel(x, y, {grey, grey, grey});
        continue;
      }
      const double theta = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
      const int hue = wrapHue(static_cast<int>(roundHalfEven(theta)));
      const int s = std::min(255, static_cast<int>(roundHalfEven(d)));
      std::optional<Rgb24>& colour = colours[static_cast<std::size_t>(hue * 256 + s)];
      if (!colour) {
        const RgbValues rgb = discColour(hue, s);
        colour = Rgb24{static_cast<std::uint8_t>(rgb.r), static_cast<std::uint8_t>(rgb.g),
                       static_cast<std::uint8_t>(rgb.b)};
      }
      picture.putPixel(x, y, *colour);
    }
  }
}

std::optional<Hsv> pickMapColour(const Rgb24Canvas& picture, int x, int y) {
  if (!picture.contains(x, y)) {
    return std::nullopt;
  }
  const Rgb24 c = picture.pixel(x, y);
  if (c == kRgbBlack) {
    return std::nullopt;
  }
  return RgbToHsv(c.r, c.g, c.b);
}

MapPoint stripProbePosition(int h, int s) {
  const double a = radians(h);
  return {toPixel(std::trunc(257.0 + s * std::cos(a))), toPixel(std::trunc(256.0 + s * std::sin(a)))};
}

MapPoint sampleMarkPosition(int h, int s) {
  const double a = radians(h);
  return {toPixel(255.0 + roundHalfEven(s * std::cos(a))), toPixel(255.0 + roundHalfEven(s * std::sin(a)))};
}

}  // namespace tolvane
