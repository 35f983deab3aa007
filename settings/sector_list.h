#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/color_sector.h"

// The operator's operations on one camera's list of sector lines (SorterSettings::Sectors[camera]).
// Lines are rewritten in place: a line stays exactly as read until an operation changes it. A line
// that does not parse is kept as it is; operations that need its values leave it alone and say so.
// Called on the UI thread; the list belongs to the settings, the tables are rebuilt afterwards.
namespace tolvane {

using SectorLines = std::vector<std::string>;

// Entries of the on-screen list.
inline constexpr int kSectorEntryHeight = 21;

enum class SectorTouchZone { kToggle, kSelect, kDelete };
// What a touch x pixels from the list's left edge does: toggle left of 16, delete right of 228.
SectorTouchZone sectorTouchZone(int x);
// The entry at y pixels from the list's top with entry topIndex shown first; nothing below the last.
std::optional<std::size_t> sectorEntryAt(int y, std::size_t topIndex, std::size_t count);

// One more than the largest ID in the list, 0 for an empty list. Lines without a numeric ID do not
// count.
int32_t nextSectorId(const SectorLines& lines);

// Type by which a line is ordered; a line whose type is not a number orders as 0, between the
// background and the colour sectors.
int32_t sectorOrderType(const std::string& line);

// Orders by type ascending with the exchange procedure the lists have always used: for each i from the
// first, for each j from the last down to i, exchange i and j when type(j) < type(i). It is not stable,
// and lines of one type may change their order; classification order follows from it, so keep it.
void orderSectorLines(SectorLines& lines);

// New sector of type from the pending sector (all bounds 0 when the pending HMIN is 0): appended with
// the next ID, active, then the list is ordered. A hue range across 0° (HMAX < HMIN) becomes two
// sectors, HMIN..360 and then 0..HMAX with the next ID after that. Returns the lines appended (1 or 2).
// Afterwards the entry shown at the top of the list is the selected one, as if touched.
int createSector(SectorLines& lines, const ColorSector& pending, int32_t type);

// The ##ACTIVE value rewritten in place: TRUE becomes FALSE, anything else TRUE. A line without an
// ##ACTIVE value gets one appended. False for an index outside the list.
bool toggleSectorActive(SectorLines& lines, std::size_t index);

// Removes one line; false for an index outside the list.
bool deleteSector(SectorLines& lines, std::size_t index);
void deleteAllSectors(SectorLines& lines);

enum class SectorEdit {
  kDone,
  kNoSelection,  // index outside the list: nothing changed
  kBadLine,      // the line does not parse: nothing changed
};

// The selected sector covers the whole colour space: H 0..360, S 0..255, V 0..255; formatted anew.
SectorEdit makeFullCircle(SectorLines& lines, std::size_t index);

// The ##VMIN and ##VMAX texts as the line holds them, for the brightness labels.
struct BrightnessTexts {
  std::string vMin;
  std::string vMax;
};
BrightnessTexts sectorBrightnessTexts(const std::string& line);

enum class BrightnessStep { kVMinMinus, kVMinPlus, kVMaxMinus, kVMaxPlus };
// One step within 0..255 (VMIN may pass VMAX and the reverse); a value that is not a number counts
// as 0. Both values are written back in place as three-digit texts ("025"); the rest of the line is
// kept. Returns the new texts, or nothing for an index outside the list.
std::optional<BrightnessTexts> stepSectorBrightness(SectorLines& lines, std::size_t index,
                                                    BrightnessStep step);

// The eight buttons of the sector editor: hue edges left/right, inner arc bottom, outer arc top.
enum class ShapeStep {
  kLeftMinus,    // when HMIN > 0: HMIN and HMAX - 1 (the sector turns)
  kLeftPlus,     // HMIN and HMAX + 1
  kRightMinus,   // HMAX - 1
  kRightPlus,    // HMAX + 1 up to 360
  kBottomMinus,  // when SMIN > 0: SMIN and SMAX - 1
  kBottomPlus,   // when SMAX < 255: SMIN and SMAX + 1
  kTopMinus,     // when SMIN + 1 < SMAX: SMAX - 1
  kTopPlus,      // SMAX + 1 up to 255
};
SectorEdit stepSectorShape(SectorLines& lines, std::size_t index, ShapeStep step);

// Replaces the other camera's list by copies of the edited camera's lines (IDs included).
void copySectorsToOtherCamera(std::array<SectorLines, 2>& lists, int editedCamera);

}  // namespace tolvane
