#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/color_sector.h"
#include "settings/sorter_settings.h"

namespace tolvane {

inline constexpr int kSectorCameraCount = 2;

// The active sectors of one camera's list, in list order, by type. Blue and black background sectors
// and inactive sectors are in none of them.
// Read by classification on the camera threads; replaced only by callers holding the engine lock,
// so nothing here locks.
struct SectorTables {
  std::vector<ColorSector> background;  // type -1
  std::vector<ColorSector> red;         // type 1
  std::vector<ColorSector> blue;        // type 2
};

// Colour of the background of object pictures; black until a background sector sets it.
struct FillColour {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  friend bool operator==(const FillColour&, const FillColour&) = default;
};

// The colour conversion of classification (H 0..359, S and V 0..255), passed in because it lives in the
// engine. Only colour machines need it. It is called with whatever a sector line holds (any int32), so
// it must be defined for every value.
using HsvToRgbFunction = std::function<FillColour(int32_t h, int32_t s, int32_t v)>;

// A line of a sector list that does not parse: skipped by the tables, kept in the list as read.
struct BadSectorLine {
  int camera;         // 0 or 1
  std::size_t index;  // position in that camera's list
  std::string line;
  std::string error;
};

struct SectorTablesBuild {
  std::array<SectorTables, kSectorCameraCount> tables;
  // Single-tone cameras: always set. Colour cameras: set when an active background sector exists in
  // either camera; otherwise the fill keeps its value.
  std::optional<FillColour> BackgroundFill;
  std::vector<BadSectorLine> badLines;
};

// The object-picture fill of a single-tone machine, from camera 1's background levels: black when
// 255 - FonLight[0] < FonBlack[0] (the dark cut-off is the wider one), else white. Either way the
// brightness test takes it as background whenever the plate is cut off by that level.
FillColour singleToneBackgroundFill(const SorterSettings& settings);

// The middle of a sector range, lower + (upper - lower) / 2 with the half rounded toward zero; exact for
// any int32 bounds (computed in 64 bits, and the result always lies between them).
int32_t sectorRangeMiddle(int32_t lower, int32_t upper);

// Tables of both cameras from settings.Sectors. Sector bounds may be any int32 (a damaged or hand-made
// file): they are stored as read, and only classification interprets them.
// The fill: single-tone cameras always take singleToneBackgroundFill, with or without background
// sectors. Colour cameras take the last active background sector of camera 2, else of camera 1: the
// middle of its H, S and V ranges (sectorRangeMiddle), converted by hsvToRgb.
SectorTablesBuild buildSectorTables(const SorterSettings& settings, bool singleToneCamera,
                                    const HsvToRgbFunction& hsvToRgb);

// buildSectorTables, then stores the tables and, when one was found, the fill. The caller holds the
// engine lock. Returns the lines that were skipped.
std::vector<BadSectorLine> rebuildSectorTables(const SorterSettings& settings, bool singleToneCamera,
                                               const HsvToRgbFunction& hsvToRgb,
                                               std::array<SectorTables, kSectorCameraCount>& tables,
                                               FillColour& backgroundFill);

// One line per bad sector line, named by its settings key, e.g.
// "Cam2Sector3: ##HMIN is not a number: \"1o\"". Empty when there are none.
std::string describeBadSectorLines(const std::vector<BadSectorLine>& badLines);

}  // namespace tolvane
