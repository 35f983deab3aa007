// Any bytes as one sector line of a settings file: parsing, formatting, the operator's edits and the
// classification tables must neither crash nor lose a parsed sector.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/color_convert.h"
#include "settings/color_sector.h"
#include "settings/sector_list.h"
#include "settings/sector_tables.h"
#include "settings/sorter_settings.h"

namespace {

constexpr tolvane::ShapeStep kShapeSteps[] = {
    tolvane::ShapeStep::kLeftMinus, tolvane::ShapeStep::kLeftPlus,    tolvane::ShapeStep::kRightMinus,
    tolvane::ShapeStep::kRightPlus, tolvane::ShapeStep::kBottomMinus, tolvane::ShapeStep::kBottomPlus,
    tolvane::ShapeStep::kTopMinus,  tolvane::ShapeStep::kTopPlus,
};
constexpr tolvane::BrightnessStep kBrightnessSteps[] = {
    tolvane::BrightnessStep::kVMinMinus,
    tolvane::BrightnessStep::kVMinPlus,
    tolvane::BrightnessStep::kVMaxMinus,
    tolvane::BrightnessStep::kVMaxPlus,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  const std::string line(reinterpret_cast<const char*>(data), size);

  std::string error;
  const std::optional<ColorSector> sector = parseSectorLine(line, &error);
  if (sector) {
    // What we write reads back as the same sector.
    const std::optional<ColorSector> back = parseSectorLine(formatSectorLine(*sector));
    if (!back || *back != *sector) std::abort();
    (void)sectorTypeText(sector->Type);
  } else if (error.empty()) {
    std::abort();  // a refused line always says why
  }

  // The list operations on a list holding this line; they must keep it or rewrite it parseably.
  SectorLines lines{line, line};
  (void)nextSectorId(lines);
  (void)sectorOrderType(line);
  (void)sectorBrightnessTexts(line);
  orderSectorLines(lines);
  for (const BrightnessStep step : kBrightnessSteps) (void)stepSectorBrightness(lines, 0, step);
  for (const ShapeStep step : kShapeSteps) {
    if (stepSectorShape(lines, 1, step) == SectorEdit::kDone && !parseSectorLine(lines[1])) std::abort();
  }
  (void)toggleSectorActive(lines, 0);
  if (sector) {
    SectorLines created;
    (void)createSector(created, *sector, sector->Type);
    for (const std::string& made : created) {
      if (!parseSectorLine(made)) std::abort();
    }
  }

  // Classification tables of both camera kinds over the original and the edited lines.
  SorterSettings settings;
  settings.Sectors[0] = {line};
  settings.Sectors[1] = lines;
  const SectorTablesBuild colour = buildSectorTables(settings, false, hsvFillColour);
  const SectorTablesBuild single = buildSectorTables(settings, true, hsvFillColour);
  (void)describeBadSectorLines(colour.badLines);
  if (colour.badLines.size() != single.badLines.size()) std::abort();
  if (makeFullCircle(lines, 0) == SectorEdit::kDone && !parseSectorLine(lines[0])) std::abort();
  return 0;
}
