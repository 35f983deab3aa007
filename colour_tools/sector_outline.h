#pragma once

#include <cstdint>

#include "colour_tools/hsv_map.h"
#include "service/bitmap_util_core.h"

namespace tolvane {

// One sector drawn on the map: saturation as distance, hue as angle clockwise from the right.
struct SectorOutlineShape {
  std::int32_t innerRadius = 0;  // SMIN
  std::int32_t outerRadius = 0;  // SMAX
  std::int32_t startAngle = 0;   // HMIN, degrees
  std::int32_t endAngle = 0;     // HMAX; below startAngle the sector runs across 0°
  int offset = 256;              // the centre is (offset + 2, offset + 1)
};

// Hatch lines are capped at one turn's worth (k/18 rad steps): more would only crowd the same area.
inline constexpr int kMaxHatchLines = 114;

// Draws the outline in the canvas's pen colour and width: both arcs and both radial edges, a 1-pixel
// hatch inside (radial lines at k/18 rad, arcs at radii that are multiples of 8), and the label box
// (x - 8, y - 10)–(x + 13, y + 11) at the middle of the sector, framed in the pen colour and filled with
// the brush colour. Returns where the label text goes. Any bounds a sector line can hold are drawn
// within the canvas in bounded time: radii beyond what can show are clamped, the hatch is capped.
MapPoint drawSectorOutline(Rgb24Canvas& canvas, const SectorOutlineShape& shape);

}  // namespace tolvane
