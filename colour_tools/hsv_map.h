#pragma once

#include <optional>

#include "engine/color_convert.h"
#include "service/bitmap_util_core.h"

// The HSV colour map: every hue and saturation at full brightness in polar form, hue clockwise from
// the right, saturation as the distance from the centre. The picture is generated once and never
// drawn on; it is what picking a colour reads.
namespace tolvane {

inline constexpr int kHsvMapSize = 514;

struct MapPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const MapPoint&, const MapPoint&) = default;
};

// Sets the canvas to kHsvMapSize square and draws the map: a disc of radius 255.5 around
// (256.5, 256.5) on a grey surround (21..97, never black). A disc pixel's centre at distance d and
// angle θ gets S = round(d) and the hue next to round(θ) that reads back as round(θ) where the
// conversions allow, so that picking a pixel gives the colour drawn at its place.
void drawHsvMapPicture(Rgb24Canvas& picture);

// The colour under (x, y): nothing outside the picture or on a pure black pixel, else its HSV.
std::optional<Hsv> pickMapColour(const Rgb24Canvas& picture, int x, int y);

// Where the live-strip probe puts its cross for a colour: Trunc(257 + S cos H), Trunc(256 + S sin H).
MapPoint stripProbePosition(int h, int s);
// Where the sample tool marks a colour: 255 + Round(S cos H), 255 + Round(S sin H), halves to even.
MapPoint sampleMarkPosition(int h, int s);

}  // namespace tolvane
