#include "colour_tools/map_redraw.h"

#include "colour_tools/sector_outline.h"

namespace tolvane {

namespace {

std::string boundsText(const char* name, std::int32_t low, std::int32_t high) {
  return std::string(name) + ": " + std::to_string(low) + " - " + std::to_string(high);
}

}  // namespace

Rgb24 sectorOutlineColour(std::int32_t type) {
  switch (type) {
    case kSectorRed:
      return kRedSectorOutline;
    case kSectorBlue:
      return kBlueSectorOutline;
    default:
      return kRgbBlack;
  }
}

std::vector<MapText> redrawSectorMap(Rgb24Canvas& working, const Rgb24Canvas& picture,
                                     const SectorLines& lines, std::optional<std::size_t> selected) {
  working = picture;
  std::vector<MapText> texts;
  std::optional<ColorSector> selectedSector;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::optional<ColorSector> sector = parseSectorLine(lines[i]);
    if (!sector || !sector->Active) {
      continue;
    }
    const bool isSelected = selected == i;
    const Rgb24 colour = sectorOutlineColour(sector->Type);
    working.SetColor(colour);
    working.setPenWidth(isSelected ? kSelectedOutlineWidth : kOutlineWidth);
    const MapPoint label =
        drawSectorOutline(working, {sector->SMIN, sector->SMAX, sector->HMIN, sector->HMAX, 256});
    texts.push_back({label.x, label.y, std::to_string(sector->ID), colour, true});
    if (isSelected) {
      selectedSector = sector;
    }
  }
  if (selectedSector) {
    const ColorSector& s = *selectedSector;
    texts.push_back({420, 10, boundsText("H", s.HMIN, s.HMAX), kRgbWhite, false});
    texts.push_back({420, 22, boundsText("S", s.SMIN, s.SMAX), kRgbWhite, false});
    texts.push_back({420, 34, boundsText("V", s.VMIN, s.VMAX), kRgbWhite, false});
  }
  return texts;
}

}  // namespace tolvane
