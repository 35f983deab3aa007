#include "ejection/reject_regulator.h"

#include <algorithm>
#include <limits>

#include "ejection/ejector_zones.h"
#include "settings/stored_controls.h"
#include "settings/text_helpers.h"

namespace tolvane {

namespace {

constexpr std::string_view kSectorItemPrefix = "Сектор №";
constexpr std::string_view kNumberSign = "№";

constexpr std::array<std::string_view, kRegulatorThresholds> kThresholdItems = {"Масса", "Цвет 1", "Цвет 2",
                                                                                "Линия"};

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t& boundField(ColorSector& sector, SectorBound bound) {
  switch (bound) {
    case SectorBound::kSMin:
      return sector.SMIN;
    case SectorBound::kHMin:
      return sector.HMIN;
    case SectorBound::kSMax:
      return sector.SMAX;
    case SectorBound::kHMax:
      break;
  }
  return sector.HMAX;
}

KeyRange boundRange(SectorBound bound) {
  return bound == SectorBound::kHMin || bound == SectorBound::kHMax ? KeyRange{0, 360} : KeyRange{0, 255};
}

bool validBound(int32_t bound) { return bound >= 0 && bound < kSectorBoundCount; }

// The first readable camera-1 sector with this ID and its position.
std::optional<std::pair<std::size_t, ColorSector>> findSector(const SectorLines& lines, int32_t id) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (parseSectorNumber(ReadQuotedValue("##ID", lines[i])) != id) continue;
    if (const std::optional<ColorSector> sector = parseSectorLine(lines[i])) return std::pair{i, *sector};
  }
  return std::nullopt;
}

const SectorLines& camera1(const SorterSettings& s) { return s.Sectors[0]; }

}  // namespace

int32_t regulatorTarget(int32_t left, int32_t right, int32_t value) {
  const int64_t span = static_cast<int64_t>(right) - left;
  const int64_t percent = std::clamp(value, kRegulatorMin, kRegulatorMax);
  return clamp32(left + divideRoundHalfEven(span * percent, 100));
}

int32_t regulatorValueFromText(std::string_view text) {
  const std::optional<int32_t> v = labelNumber(text);
  if (!v) return kRegulatorDefault;
  return std::clamp(*v, kRegulatorMin, kRegulatorMax);
}

int32_t regulatorBoundFromText(std::string_view text) { return labelNumber(text).value_or(0); }

std::vector<std::string> regulatorParameterItems(const SectorLines& lines) {
  std::vector<std::string> items(kThresholdItems.begin(), kThresholdItems.end());
  items.reserve(items.size() + lines.size());
  for (const std::string& line : lines) {
    std::string item(kSectorItemPrefix);
    if (const std::optional<int32_t> id = parseSectorNumber(ReadQuotedValue("##ID", line))) {
      item += std::to_string(*id);
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::optional<int32_t> sectorIdOfItem(std::string_view item) {
  const std::size_t sign = item.find(kNumberSign);
  if (sign == std::string_view::npos) return std::nullopt;
  return parseSectorNumber(item.substr(sign + kNumberSign.size()));
}

KeyRange regulatorThresholdRange(RegulatorParameter parameter) {
  static constexpr std::array<const char*, kRegulatorThresholds> kKeys = {"ifMassa", "ifP1", "ifP2",
                                                                          "ifFast"};
  const KeyRange* range = programKeyRange(kKeys[static_cast<std::size_t>(parameter)]);
  return range != nullptr ? *range : KeyRange{0, 999};
}

int32_t& regulatorThreshold(SorterSettings& s, RegulatorParameter parameter) {
  switch (parameter) {
    case RegulatorParameter::kMassa:
      return s.ifMassa;
    case RegulatorParameter::kP1:
      return s.ifP1;
    case RegulatorParameter::kP2:
      return s.ifP2;
    case RegulatorParameter::kFast:
      break;
  }
  return s.ifFast;
}

int32_t regulatorThreshold(const SorterSettings& s, RegulatorParameter parameter) {
  switch (parameter) {
    case RegulatorParameter::kMassa:
      return s.ifMassa;
    case RegulatorParameter::kP1:
      return s.ifP1;
    case RegulatorParameter::kP2:
      return s.ifP2;
    case RegulatorParameter::kFast:
      break;
  }
  return s.ifFast;
}

// --- RejectRegulator ---------------------------------------------------------------------------------

void RejectRegulator::load(const SorterSettings& s) {
  value_ = regulatorValueFromText(s.Regulator);
  const std::array<bool, kRegulatorRows> active = {s.bParam1, s.bParam2, s.bParam3};
  const std::array<int32_t, kRegulatorRows> parameter = {s.reg_ParamBox1, s.reg_ParamBox2, s.reg_ParamBox3};
  const std::array<int32_t, kRegulatorRows> bound = {s.reg_ParamBox1s, s.reg_ParamBox2s, s.reg_ParamBox3s};
  const std::array<const std::string*, kRegulatorRows> left = {&s.reg_ParamBox1left, &s.reg_ParamBox2left,
                                                               &s.reg_ParamBox3left};
  const std::array<const std::string*, kRegulatorRows> right = {&s.reg_ParamBox1right, &s.reg_ParamBox2right,
                                                                &s.reg_ParamBox3right};
  for (std::size_t k = 0; k < rows_.size(); ++k) {
    RegulatorRow& row = rows_[k];
    row = RegulatorRow{};
    row.active = active[k];
    row.parameter = parameter[k];
    row.bound = bound[k];
    row.left = regulatorBoundFromText(*left[k]);
    row.right = regulatorBoundFromText(*right[k]);
  }
  rebuildItems(camera1(s));
}

void RejectRegulator::store(SorterSettings& s) const {
  s.Regulator = numberLabelText(value_);
  const std::array<bool*, kRegulatorRows> active = {&s.bParam1, &s.bParam2, &s.bParam3};
  const std::array<int32_t*, kRegulatorRows> parameter = {&s.reg_ParamBox1, &s.reg_ParamBox2,
                                                          &s.reg_ParamBox3};
  const std::array<int32_t*, kRegulatorRows> bound = {&s.reg_ParamBox1s, &s.reg_ParamBox2s,
                                                      &s.reg_ParamBox3s};
  const std::array<std::string*, kRegulatorRows> left = {&s.reg_ParamBox1left, &s.reg_ParamBox2left,
                                                         &s.reg_ParamBox3left};
  const std::array<std::string*, kRegulatorRows> right = {&s.reg_ParamBox1right, &s.reg_ParamBox2right,
                                                          &s.reg_ParamBox3right};
  for (std::size_t k = 0; k < rows_.size(); ++k) {
    const RegulatorRow& row = rows_[k];
    *active[k] = row.active;
    *parameter[k] = row.parameter;
    *bound[k] = row.bound;
    *left[k] = numberLabelText(row.left);
    *right[k] = numberLabelText(row.right);
  }
}

void RejectRegulator::rebuildItems(const SectorLines& lines) {
  items_ = regulatorParameterItems(lines);
  for (RegulatorRow& row : rows_) {
    if (row.parameter < 0 || row.parameter >= static_cast<int32_t>(items_.size())) row.parameter = -1;
    if (!row.drivesSector() || !validBound(row.bound)) row.bound = -1;
    syncSectorId(row);
  }
}

void RejectRegulator::syncSectorId(RegulatorRow& row) const {
  row.sectorId.reset();
  if (row.drivesSector() && row.parameter < static_cast<int32_t>(items_.size())) {
    row.sectorId = sectorIdOfItem(items_[static_cast<std::size_t>(row.parameter)]);
  }
}

void RejectRegulator::stepValue(StepDirection direction) {
  value_ = tolvane::stepValue(value_, direction, kRegulatorMin, kRegulatorMax);
}

void RejectRegulator::setValue(int32_t value) { value_ = std::clamp(value, kRegulatorMin, kRegulatorMax); }

bool RejectRegulator::anyActive() const {
  return std::any_of(rows_.begin(), rows_.end(), [](const RegulatorRow& row) { return row.active; });
}

void RejectRegulator::takePresentValue(int k, const SorterSettings& present) {
  if (const std::optional<int32_t> v = presentValue(k, present)) setBounds(k, *v, *v);
}

void RejectRegulator::setActive(int k, bool on, const SorterSettings& present) {
  rows_.at(static_cast<std::size_t>(k)).active = on;
  takePresentValue(k, present);
}

void RejectRegulator::chooseParameter(int k, int32_t item, const SorterSettings& present) {
  RegulatorRow& row = rows_.at(static_cast<std::size_t>(k));
  row.parameter = item >= 0 && item < static_cast<int32_t>(items_.size()) ? item : -1;
  if (!row.drivesSector()) row.bound = -1;
  syncSectorId(row);
  takePresentValue(k, present);
}

void RejectRegulator::chooseBound(int k, int32_t bound, const SorterSettings& present) {
  RegulatorRow& row = rows_.at(static_cast<std::size_t>(k));
  if (!row.drivesSector()) return;
  row.bound = validBound(bound) ? bound : -1;
  takePresentValue(k, present);
}

void RejectRegulator::stepBound(int k, BoundSide side, StepDirection direction) {
  RegulatorRow& row = rows_.at(static_cast<std::size_t>(k));
  int32_t& bound = side == BoundSide::kLeft ? row.left : row.right;
  bound = tolvane::stepValue(bound, direction, kRegulatorBoundMin, kRegulatorBoundMax);
}

void RejectRegulator::setBounds(int k, int32_t left, int32_t right) {
  RegulatorRow& row = rows_.at(static_cast<std::size_t>(k));
  row.left = left;
  row.right = right;
}

std::optional<int32_t> RejectRegulator::presentValue(int k, const SorterSettings& present) const {
  const RegulatorRow& row = rows_.at(static_cast<std::size_t>(k));
  if (row.parameter < 0) return std::nullopt;
  if (!row.drivesSector()) return regulatorThreshold(present, static_cast<RegulatorParameter>(row.parameter));
  if (!validBound(row.bound) || !row.sectorId) return std::nullopt;
  auto found = findSector(camera1(present), *row.sectorId);
  if (!found) return std::nullopt;
  return boundField(found->second, static_cast<SectorBound>(row.bound));
}

Regulation RejectRegulator::regulation() const {
  Regulation out;
  for (std::size_t k = 0; k < rows_.size(); ++k) {
    const RegulatorRow& row = rows_[k];
    const int32_t target = regulatorTarget(row.left, row.right, value_);
    out.targets[k] = target;
    if (!row.active || row.parameter < 0) continue;
    if (!row.drivesSector()) {
      const auto parameter = static_cast<RegulatorParameter>(row.parameter);
      const KeyRange range = regulatorThresholdRange(parameter);
      out.thresholds[static_cast<std::size_t>(row.parameter)] = std::clamp(target, range.min, range.max);
      continue;
    }
    if (!row.sectorId || !validBound(row.bound)) continue;
    const auto bound = static_cast<SectorBound>(row.bound);
    const KeyRange range = boundRange(bound);
    const SectorMove move{*row.sectorId, bound, std::clamp(target, range.min, range.max)};
    // Rows run in order, so a later row replaces an earlier one on the same bound.
    auto same = std::find_if(out.sectorMoves.begin(), out.sectorMoves.end(),
                             [&](const SectorMove& m) { return m.id == move.id && m.bound == move.bound; });
    if (same != out.sectorMoves.end()) {
      *same = move;
    } else {
      out.sectorMoves.push_back(move);
    }
  }
  return out;
}

HeldSectorBounds RejectRegulator::heldSectorBounds(std::optional<int32_t> selectedSectorId) const {
  HeldSectorBounds held{};
  if (!selectedSectorId) return held;
  for (const RegulatorRow& row : rows_) {
    if (row.active && row.drivesSector() && row.sectorId == selectedSectorId && validBound(row.bound)) {
      held[static_cast<std::size_t>(row.bound)] = true;
    }
  }
  return held;
}

RegulationChanges applyRegulation(const Regulation& regulation, SorterSettings& s) {
  RegulationChanges changes;
  for (std::size_t p = 0; p < regulation.thresholds.size(); ++p) {
    if (!regulation.thresholds[p]) continue;
    int32_t& field = regulatorThreshold(s, static_cast<RegulatorParameter>(p));
    changes.thresholds[p] = field != *regulation.thresholds[p];
    field = *regulation.thresholds[p];
  }
  SectorLines& lines = s.Sectors[0];
  for (const SectorMove& move : regulation.sectorMoves) {
    auto found = findSector(lines, move.id);
    if (!found) continue;
    ColorSector& sector = found->second;
    int32_t& field = boundField(sector, move.bound);
    if (field == move.value) continue;
    field = move.value;
    lines[found->first] = formatSectorLine(sector);
    changes.sectors = true;
  }
  return changes;
}

}  // namespace tolvane
