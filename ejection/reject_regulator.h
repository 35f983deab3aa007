#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/color_sector.h"
#include "settings/sector_list.h"
#include "settings/sorter_settings.h"
#include "settings/value_step.h"

// The reject regulator: one percentage knob that drives up to three sorting thresholds (or colour
// sector bounds), each row mapping 0 % to its left bound and 100 % to its right bound.
//
// Everything here is plain data for the main thread; the caller holds the engine lock while it writes
// the results into SorterSettings (applyRegulation, storeRegulator).
namespace tolvane {

inline constexpr int kRegulatorRows = 3;
inline constexpr int32_t kRegulatorMin = 0;
inline constexpr int32_t kRegulatorMax = 100;
inline constexpr int32_t kRegulatorDefault = 50;  // also what an unreadable "Regulator" counts as
inline constexpr int32_t kRegulatorBoundMin = 0;
inline constexpr int32_t kRegulatorBoundMax = 360;

// Items of a row's parameter list: the four thresholds, then one item per camera-1 sector.
enum class RegulatorParameter : int32_t { kMassa = 0, kP1 = 1, kP2 = 2, kFast = 3 };
inline constexpr int kRegulatorThresholds = 4;
inline constexpr int32_t kFirstSectorItem = 4;

// Items of a row's bound list, in list order.
enum class SectorBound : int32_t { kSMin = 0, kHMin = 1, kSMax = 2, kHMax = 3 };
inline constexpr int kSectorBoundCount = 4;

enum class BoundSide { kLeft, kRight };

struct RegulatorRow {
  bool active = false;
  int32_t parameter = -1;  // item of the parameter list, -1 none
  int32_t bound = -1;      // item of the bound list, -1 none; only with a sector item
  int32_t left = 0;        // threshold at 0 %
  int32_t right = 0;       // threshold at 100 %
  // The sector ID named by the row's item text ("Сектор №7"), as the list was last built.
  std::optional<int32_t> sectorId;

  bool drivesSector() const { return parameter >= kFirstSectorItem; }
};

// left + (right - left) * value / 100, rounded to nearest with halves to even. Exact for all 32-bit
// bounds; value is held to 0..100 and the result to 32 bits.
int32_t regulatorTarget(int32_t left, int32_t right, int32_t value);

// The knob's value from its stored text: a number is held to 0..100, anything else counts as 50.
int32_t regulatorValueFromText(std::string_view text);
// A row bound from its stored text: a number is kept as it is (the arrows walk it back into 0..360),
// anything else counts as 0.
int32_t regulatorBoundFromText(std::string_view text);

// The parameter list: "Масса", "Цвет 1", "Цвет 2", "Линия", then "Сектор №" + ID for every line of
// camera 1's sector list, in list order. A line without a readable ID gives "Сектор №" alone.
std::vector<std::string> regulatorParameterItems(const SectorLines& camera1);
// The number after "№" in an item; nothing for the threshold items or when no number follows.
std::optional<int32_t> sectorIdOfItem(std::string_view item);

// The limits of each driven threshold (ifMassa 1..999, ifP1/ifP2 0..999, ifFast 1..50): a target is
// held inside them, so the knob never sets a value the threshold's own arrows could not.
KeyRange regulatorThresholdRange(RegulatorParameter parameter);
int32_t& regulatorThreshold(SorterSettings& s, RegulatorParameter parameter);
int32_t regulatorThreshold(const SorterSettings& s, RegulatorParameter parameter);

// What one application of the regulator sets.
struct SectorMove {
  int32_t id;
  SectorBound bound;
  int32_t value;  // held to the bound's range: hue 0..360, saturation 0..255
  friend bool operator==(const SectorMove&, const SectorMove&) = default;
};
struct Regulation {
  std::array<int32_t, kRegulatorRows> targets{};  // every row, active or not
  // Per threshold (RegulatorParameter order): the value the winning active row sets, nothing when no
  // active row drives it (its arrows are enabled then).
  std::array<std::optional<int32_t>, kRegulatorThresholds> thresholds;
  // Sector bounds moved by active sector rows with a bound chosen; one entry per sector and bound, the
  // higher-numbered row winning.
  std::vector<SectorMove> sectorMoves;
};

// What applyRegulation changed.
struct RegulationChanges {
  std::array<bool, kRegulatorThresholds> thresholds{};
  bool sectors = false;  // a camera-1 sector line was rewritten: rebuild the sector tables
};

// Sector bound pairs of the sector editor held by the regulator for the selected sector (SMIN, HMIN,
// SMAX, HMAX order): those of active rows naming that sector's ID with a bound chosen.
using HeldSectorBounds = std::array<bool, kSectorBoundCount>;

// The rows, the knob and the parameter list of the active program.
class RejectRegulator {
 public:
  // The program's regulator keys; the parameter list is built from the camera-1 sector lines. A stored
  // choice outside the list is dropped; a bound choice without a sector item too.
  void load(const SorterSettings& s);
  // Writes the knob and every row into the program's keys (bounds and knob as three-digit texts).
  void store(SorterSettings& s) const;

  // The settings page is shown: the parameter list is built again from the sector lines; each row
  // keeps its choice while it is still in the list and names the sector now shown there.
  void rebuildItems(const SectorLines& camera1);
  const std::vector<std::string>& items() const { return items_; }

  int32_t value() const { return value_; }
  // "<<" / ">>" of the knob: one percent, stopping at 0 and 100.
  void stepValue(StepDirection direction);
  void setValue(int32_t value);

  const RegulatorRow& row(int k) const { return rows_[static_cast<std::size_t>(k)]; }
  const std::array<RegulatorRow, kRegulatorRows>& rows() const { return rows_; }
  bool anyActive() const;

  // A row switched on or off: both bounds take the parameter's present value, so the threshold does
  // not jump.
  void setActive(int k, bool on, const SorterSettings& present);
  // A parameter chosen (-1 for none): a threshold item drops the bound choice; then both bounds take
  // the present value.
  void chooseParameter(int k, int32_t item, const SorterSettings& present);
  // A sector bound chosen (-1 for none); ignored unless the row's parameter is a sector. Both bounds
  // take the present value of that bound.
  void chooseBound(int k, int32_t bound, const SorterSettings& present);
  // The row's bound arrows: one unit, stopping at 0 and 360.
  void stepBound(int k, BoundSide side, StepDirection direction);
  void setBounds(int k, int32_t left, int32_t right);

  // The present value of what row k drives: the threshold, or the chosen bound of the sector its item
  // names. Nothing without a parameter, for a sector without a chosen bound, or when no readable
  // camera-1 line carries that ID.
  std::optional<int32_t> presentValue(int k, const SorterSettings& present) const;

  Regulation regulation() const;
  HeldSectorBounds heldSectorBounds(std::optional<int32_t> selectedSectorId) const;

 private:
  void syncSectorId(RegulatorRow& row) const;
  void takePresentValue(int k, const SorterSettings& present);

  int32_t value_ = kRegulatorDefault;
  std::array<RegulatorRow, kRegulatorRows> rows_{};
  std::vector<std::string> items_;
};

// Writes a regulation into the settings: the driven thresholds, and each moved sector bound into the
// first readable camera-1 line with that ID, formatted anew (a line whose value is already right is
// left as read). The caller holds the engine lock.
RegulationChanges applyRegulation(const Regulation& regulation, SorterSettings& s);

}  // namespace tolvane
