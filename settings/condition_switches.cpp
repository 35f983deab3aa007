#include "settings/condition_switches.h"

namespace tolvane {

namespace {

using S = SorterSettings;

constexpr std::string_view kLess = "<";
constexpr std::string_view kGreater = ">";

const std::array<ConditionSwitchInfo, kConditionSwitchCount> kInfo = {{
    {"AND_Button", &S::ifAND, false, {}, {}},
    {"Massa_Button", &S::enMassa, true, {}, {}},
    {"Massa2_Button", &S::enMassa2, true, {}, {}},
    {"P1_Button", &S::enP1, true, {}, {}},
    {"P2_Button", &S::enP2, true, {}, {}},
    {"Length_Button", &S::enLength, true, {}, {}},
    {"Weight_Button", &S::enWeight, true, {}, {}},
    {"Eks_Button", &S::enEks, true, {}, {}},
    {"Frm_Button", &S::enForma, true, {}, {}},
    {"FastSort_Button", &S::enFast, true, {}, {}},
    {"FonBlueButton", &S::enFonBlue, true, {}, {}},
    {"FonBlackButton", &S::enFonBlack, true, {}, {}},
    {"TripleShotSwitch", &S::enTripleShot, true, {}, {}},
    {"Massa_b_Button", &S::bMassa, false, kLess, kGreater},
    {"Massa2_b_Button", &S::bMassa2, false, kLess, kGreater},
    {"P1_b_Button", &S::bP1, false, kLess, kGreater},
    {"P2_b_Button", &S::bP2, false, kLess, kGreater},
    {"Length_b_Button", &S::bLength, false, kLess, kGreater},
    {"Weight_b_Button", &S::bWeight, false, kLess, kGreater},
    {"Eks_b_Button", &S::bEks, false, kLess, kGreater},
    {"Frm_b_Button", &S::bForma, false, kLess, kGreater},
    {"P1_type", &S::tipP1, true, "%", "ТОЧЕК"},
    {"P2_type", &S::tipP2, true, "%", "ТОЧЕК"},
    {"FastSort_b_Button", nullptr, true, kLess, kGreater},
}};

}  // namespace

ConditionThreshold conditionThreshold(std::size_t row) {
  static constexpr std::array<std::string_view, 9> kKeys = {
      "ifMassa", "ifMassa2", "ifP1", "ifP2", "ifLength", "ifWeight", "ifEks", "ifForma", "ifFast"};
  const std::string_view key = kKeys.at(row);
  const ProgramKey* programKey = findProgramKey(key);
  ConditionThreshold threshold{key, programKey->integer, std::nullopt};
  if (const KeyRange* range = programKeyRange(key)) threshold.range = *range;
  return threshold;
}

const ConditionSwitchInfo& conditionSwitchInfo(ConditionSwitch which) {
  return kInfo[static_cast<std::size_t>(which)];
}

std::vector<ConditionSwitch> ConditionSwitches::set(ConditionSwitch which, bool on, SorterSettings& sorter) {
  std::vector<ConditionSwitch> changed;
  change(which, on, sorter, changed);
  return changed;
}

void ConditionSwitches::change(ConditionSwitch which, bool on, SorterSettings& sorter,
                               std::vector<ConditionSwitch>& changed) {
  if (isOn(which) == on) return;
  on_[static_cast<std::size_t>(which)] = on;
  changed.push_back(which);
  const ConditionSwitchInfo& info = conditionSwitchInfo(which);
  if (info.field != nullptr) sorter.*info.field = info.onSetsFieldTrue ? on : !on;
  if (which == ConditionSwitch::FastSort_Button && on) {
    for (std::size_t row = 0; row < 8; ++row) change(kConditionRows[row], false, sorter, changed);
  }
}

std::vector<ConditionSwitch> ConditionSwitches::load(SorterSettings& sorter) {
  std::vector<ConditionSwitch> changed;
  // The flags are taken before any switch acts, as the load read them.
  std::array<bool, kConditionSwitchCount> loaded{};
  for (std::size_t i = 0; i < kConditionSwitchCount; ++i) {
    const ConditionSwitchInfo& info = kInfo[i];
    if (info.field != nullptr) loaded[i] = info.onSetsFieldTrue ? sorter.*info.field : !(sorter.*info.field);
  }
  for (std::size_t i = 0; i < kConditionSwitchCount; ++i) {
    if (kInfo[i].field != nullptr) change(static_cast<ConditionSwitch>(i), loaded[i], sorter, changed);
  }
  return changed;
}

std::optional<std::string_view> ConditionSwitches::caption(ConditionSwitch which) const {
  const ConditionSwitchInfo& info = conditionSwitchInfo(which);
  if (info.captionOn.empty()) return std::nullopt;
  return isOn(which) ? info.captionOn : info.captionOff;
}

bool ConditionSwitches::rowActive(std::size_t row, const SorterSettings& sorter) {
  if (row >= kConditionRows.size()) return false;
  return sorter.*conditionSwitchInfo(kConditionRows[row]).field;
}

}  // namespace tolvane
