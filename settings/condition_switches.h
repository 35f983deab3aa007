#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "settings/sorter_settings.h"

namespace tolvane {

// The switches of a program's sorting conditions. The first 23, in this order, are the order in which
// a program load sets them from the loaded flags; the line-mode direction switch has no field and is
// never loaded.
enum class ConditionSwitch : std::uint8_t {
  AND_Button,
  Massa_Button,
  Massa2_Button,
  P1_Button,
  P2_Button,
  Length_Button,
  Weight_Button,
  Eks_Button,
  Frm_Button,
  FastSort_Button,
  FonBlueButton,
  FonBlackButton,
  TripleShotSwitch,
  Massa_b_Button,
  Massa2_b_Button,
  P1_b_Button,
  P2_b_Button,
  Length_b_Button,
  Weight_b_Button,
  Eks_b_Button,
  Frm_b_Button,
  P1_type,
  P2_type,
  FastSort_b_Button,
};

inline constexpr std::size_t kConditionSwitchCount = 24;

struct ConditionSwitchInfo {
  std::string_view name;        // the control's name
  bool SorterSettings::*field;  // the flag it sets; null for FastSort_b_Button
  bool onSetsFieldTrue;         // false where "on" means the flag is false (AND_Button, directions)
  std::string_view captionOn;   // caption it shows when on; empty: the caption never changes
  std::string_view captionOff;
};

const ConditionSwitchInfo& conditionSwitchInfo(ConditionSwitch which);

// The nine condition rows (eight conditions and line mode) by their enable switch, in screen order.
inline constexpr std::array<ConditionSwitch, 9> kConditionRows = {
    ConditionSwitch::Massa_Button, ConditionSwitch::Massa2_Button, ConditionSwitch::P1_Button,
    ConditionSwitch::P2_Button,    ConditionSwitch::Length_Button, ConditionSwitch::Weight_Button,
    ConditionSwitch::Eks_Button,   ConditionSwitch::Frm_Button,    ConditionSwitch::FastSort_Button,
};
// The direction switch of each row.
inline constexpr std::array<ConditionSwitch, 9> kConditionDirections = {
    ConditionSwitch::Massa_b_Button, ConditionSwitch::Massa2_b_Button, ConditionSwitch::P1_b_Button,
    ConditionSwitch::P2_b_Button,    ConditionSwitch::Length_b_Button, ConditionSwitch::Weight_b_Button,
    ConditionSwitch::Eks_b_Button,   ConditionSwitch::Frm_b_Button,    ConditionSwitch::FastSort_b_Button,
};

// The threshold of condition row `row` (0 ... 8): its key, field and editing limits. "ФОРМА 1" (row 7)
// has no arrows: its threshold comes from the shape template, and its limits are nullopt.
struct ConditionThreshold {
  std::string_view key;
  std::int32_t SorterSettings::*field;
  std::optional<KeyRange> range;
};
ConditionThreshold conditionThreshold(std::size_t row);

// The line-mode row, whose value is shown twice (TabWork and the working page).
inline constexpr std::size_t kLineModeRow = 8;

// The states the condition switches show and their on/off handling, without any widget: a page binds
// each switch to one of these and applies what the calls return.
//
// Threads: main thread; the caller holds the engine lock around calls that change the settings.
class ConditionSwitches {
 public:
  bool isOn(ConditionSwitch which) const { return on_[static_cast<std::size_t>(which)]; }

  // Sets a switch as a touch or a load does. When its state changes, its on or off handling runs:
  // its flag follows, and line mode switched on switches the eight condition switches off (whose
  // flags follow in turn). Returns the switches whose state changed, the one set first.
  std::vector<ConditionSwitch> set(ConditionSwitch which, bool on, SorterSettings& sorter);

  // A program load: sets every switch from the loaded flags, in load order. A switch already in its
  // loaded state runs nothing, so line mode switched on from off clears the enables loaded before it,
  // while line mode that was on already leaves them. Returns the switches whose state changed.
  std::vector<ConditionSwitch> load(SorterSettings& sorter);

  // The caption a switch shows in its state; nullopt for switches whose caption never changes.
  std::optional<std::string_view> caption(ConditionSwitch which) const;

  // Whether the threshold of condition row `row` (0 ... 8) shows as active (black) or grey.
  static bool rowActive(std::size_t row, const SorterSettings& sorter);

 private:
  void change(ConditionSwitch which, bool on, SorterSettings& sorter, std::vector<ConditionSwitch>& changed);

  std::array<bool, kConditionSwitchCount> on_{};
};

}  // namespace tolvane
