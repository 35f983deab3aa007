#include "settings/sector_list.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "settings/text_helpers.h"

namespace tolvane {

SectorTouchZone sectorTouchZone(int x) {
  if (x < 16) {
    return SectorTouchZone::kToggle;
  }
  if (x > 228) {
    return SectorTouchZone::kDelete;
  }
  return SectorTouchZone::kSelect;
}

std::optional<std::size_t> sectorEntryAt(int y, std::size_t topIndex, std::size_t count) {
  if (y < 0) {
    return std::nullopt;
  }
  const std::size_t index = topIndex + static_cast<std::size_t>(y / kSectorEntryHeight);
  if (index >= count) {
    return std::nullopt;
  }
  return index;
}

int32_t nextSectorId(const SectorLines& lines) {
  if (lines.empty()) {
    return 0;
  }
  int64_t largest = std::numeric_limits<int64_t>::min();
  for (const std::string& line : lines) {
    if (const std::optional<int32_t> id = parseSectorNumber(ReadQuotedValue("##ID", line))) {
      largest = std::max<int64_t>(largest, *id);
    }
  }
  if (largest == std::numeric_limits<int64_t>::min()) {
    return 0;  // no line with a readable ID
  }
  return static_cast<int32_t>(std::min<int64_t>(largest + 1, std::numeric_limits<int32_t>::max()));
}

int32_t sectorOrderType(const std::string& line) {
  return parseSectorNumber(ReadQuotedValue("##TYPE", line)).value_or(0);
}

void orderSectorLines(SectorLines& lines) {
  std::vector<int32_t> types;
  types.reserve(lines.size());
  for (const std::string& line : lines) {
    types.push_back(sectorOrderType(line));
  }
  const auto count = static_cast<std::ptrdiff_t>(lines.size());
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    for (std::ptrdiff_t j = count - 1; j >= i; --j) {
      const auto ui = static_cast<std::size_t>(i);
      const auto uj = static_cast<std::size_t>(j);
      if (types[uj] < types[ui]) {
        std::swap(lines[ui], lines[uj]);
        std::swap(types[ui], types[uj]);
      }
    }
  }
}

namespace {

void addSectorLine(SectorLines& lines, ColorSector sector) {
  sector.ID = nextSectorId(lines);
  lines.push_back(formatSectorLine(sector));
  orderSectorLines(lines);
}

}  // namespace

int createSector(SectorLines& lines, const ColorSector& pending, int32_t type) {
  ColorSector sector;
  if (pending.HMIN != 0) {
    sector = pending;
  }
  sector.Type = type;
  sector.Active = true;
  if (sector.HMAX < sector.HMIN) {
    ColorSector upper = sector;
    upper.HMAX = 360;
    addSectorLine(lines, upper);
    ColorSector lower = sector;
    lower.HMIN = 0;
    addSectorLine(lines, lower);
    return 2;
  }
  addSectorLine(lines, sector);
  return 1;
}

bool toggleSectorActive(SectorLines& lines, std::size_t index) {
  if (index >= lines.size()) {
    return false;
  }
  std::string& line = lines[index];
  if (!FindQuotedValue("##ACTIVE", line)) {
    line += " ##ACTIVE=\"TRUE\"";
    return true;
  }
  const bool active = ReadQuotedValue("##ACTIVE", line) == "TRUE";
  line = WriteQuotedValue("##ACTIVE", line, active ? "FALSE" : "TRUE");
  return true;
}

bool deleteSector(SectorLines& lines, std::size_t index) {
  if (index >= lines.size()) {
    return false;
  }
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

void deleteAllSectors(SectorLines& lines) { lines.clear(); }

SectorEdit makeFullCircle(SectorLines& lines, std::size_t index) {
  if (index >= lines.size()) {
    return SectorEdit::kNoSelection;
  }
  std::optional<ColorSector> sector = parseSectorLine(lines[index]);
  if (!sector) {
    return SectorEdit::kBadLine;
  }
  sector->HMIN = 0;
  sector->HMAX = 360;
  sector->SMIN = 0;
  sector->SMAX = 255;
  sector->VMIN = 0;
  sector->VMAX = 255;
  lines[index] = formatSectorLine(*sector);
  return SectorEdit::kDone;
}

BrightnessTexts sectorBrightnessTexts(const std::string& line) {
  return {ReadQuotedValue("##VMIN", line), ReadQuotedValue("##VMAX", line)};
}

namespace {

std::string threeDigits(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d", static_cast<int>(value));
  return text;
}

}  // namespace

std::optional<BrightnessTexts> stepSectorBrightness(SectorLines& lines, std::size_t index,
                                                    BrightnessStep step) {
  if (index >= lines.size()) {
    return std::nullopt;
  }
  std::string& line = lines[index];
  int32_t vMin = parseSectorNumber(ReadQuotedValue("##VMIN", line)).value_or(0);
  int32_t vMax = parseSectorNumber(ReadQuotedValue("##VMAX", line)).value_or(0);
  switch (step) {
    case BrightnessStep::kVMinMinus:
      if (vMin > 0) --vMin;
      break;
    case BrightnessStep::kVMinPlus:
      if (vMin < 255) ++vMin;
      break;
    case BrightnessStep::kVMaxMinus:
      if (vMax > 0) --vMax;
      break;
    case BrightnessStep::kVMaxPlus:
      if (vMax < 255) ++vMax;
      break;
  }
  BrightnessTexts texts{threeDigits(vMin), threeDigits(vMax)};
  line = WriteQuotedValue("##VMIN", line, texts.vMin);
  line = WriteQuotedValue("##VMAX", line, texts.vMax);
  return texts;
}

SectorEdit stepSectorShape(SectorLines& lines, std::size_t index, ShapeStep step) {
  if (index >= lines.size()) {
    return SectorEdit::kNoSelection;
  }
  std::optional<ColorSector> parsed = parseSectorLine(lines[index]);
  if (!parsed) {
    return SectorEdit::kBadLine;
  }
  ColorSector& s = *parsed;
  // Hue may run past 0..360 without a limit on some edges; classification folds it back. Steps near
  // the 32-bit limits stop there instead of overflowing.
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  switch (step) {
    case ShapeStep::kLeftMinus:
      if (s.HMIN > 0 && s.HMAX > kMin) {
        --s.HMIN;
        --s.HMAX;
      }
      break;
    case ShapeStep::kLeftPlus:
      if (s.HMIN < kMax && s.HMAX < kMax) {
        ++s.HMIN;
        ++s.HMAX;
      }
      break;
    case ShapeStep::kRightMinus:
      if (s.HMAX > kMin) --s.HMAX;
      break;
    case ShapeStep::kRightPlus:
      if (s.HMAX < 360) ++s.HMAX;
      break;
    case ShapeStep::kBottomMinus:
      // At the centre already, the inner arc cannot move further in; the sector keeps its band
      // instead of collapsing to 0..0.
      if (s.SMIN > 0 && s.SMAX > kMin) {
        --s.SMIN;
        --s.SMAX;
      }
      break;
    case ShapeStep::kBottomPlus:
      if (s.SMAX < 255 && s.SMIN < kMax) {
        ++s.SMIN;
        ++s.SMAX;
      }
      break;
    case ShapeStep::kTopMinus:
      if (s.SMIN < kMax && s.SMIN + 1 < s.SMAX) --s.SMAX;
      break;
    case ShapeStep::kTopPlus:
      s.SMAX = s.SMAX < 255 ? s.SMAX + 1 : 255;
      break;
  }
  lines[index] = formatSectorLine(s);
  return SectorEdit::kDone;
}

void copySectorsToOtherCamera(std::array<SectorLines, 2>& lists, int editedCamera) {
  const int from = editedCamera == 0 ? 0 : 1;
  lists[static_cast<std::size_t>(1 - from)] = lists[static_cast<std::size_t>(from)];
}

}  // namespace tolvane
