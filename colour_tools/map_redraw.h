#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "service/bitmap_util_core.h"
#include "settings/color_sector.h"
#include "settings/sector_list.h"

namespace tolvane {

// A text the widget layer writes onto the working map after a redraw (the canvas has no fonts).
struct MapText {
  int x = 0;  // top-left of the text
  int y = 0;
  std::string text;  // UTF-8
  Rgb24 colour;
  bool bold = false;
  friend bool operator==(const MapText&, const MapText&) = default;
};

inline constexpr Rgb24 kRedSectorOutline{128, 0, 0};
inline constexpr Rgb24 kBlueSectorOutline{0, 0, 128};
inline constexpr int kSelectedOutlineWidth = 5;
inline constexpr int kOutlineWidth = 3;

// Outline colour of a sector type: dark red, dark blue, black for the background kinds (and anything
// else).
Rgb24 sectorOutlineColour(std::int32_t type);

// working := picture, then the outline of every active line of the list in order (pen 5 for the
// selected entry, else 3), centre offset 256. Lines that do not parse are skipped. Returns the texts to
// write: each outline's ID (bold, outline colour) and, for an active selected entry, the three white
// lines "H: ..", "S: ..", "V: .." at x 420.
std::vector<MapText> redrawSectorMap(Rgb24Canvas& working, const Rgb24Canvas& picture,
                                     const SectorLines& lines, std::optional<std::size_t> selected);

}  // namespace tolvane
