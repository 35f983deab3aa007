#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"
#include "settings/value_step.h"

namespace tolvane {

// Editing of the brightness ranges, the background levels, the blue-background values and the
// black-background level: which field each "<<"/">>" pair steps, its limits, and the geometry of the
// range bars of the single-tone page.
//
// Every function that changes a record is called with the engine lock held: the camera threads read
// the fields while sorting.

// The test program (ТЕСТ): its colour ranges stay open whatever its section holds.
inline constexpr int kTestProgramIndex = 9;

// The eight stepped values of one camera.
enum class RangeField : std::uint8_t {
  kFonMin,
  kFonMax,
  kP1Min,
  kP1Max,
  kP2Min,
  kP2Max,
  kFonBlack,
  kFonLight
};
inline constexpr std::size_t kRangeFieldCount = 8;

// The dark and light background levels are stepped without opening the test program's ranges.
constexpr bool isBackgroundLevel(RangeField field) {
  return field == RangeField::kFonBlack || field == RangeField::kFonLight;
}

// One "<<"/">>" pair of the single-tone page and the label between its arrows.
struct RangeControl {
  RangeField field;
  int camera;         // 0: camera 1, 1: camera 2
  const char* key;    // program key: "FonMin", "C2P1Max"
  const char* label;  // "FonMin", "C2P1min"
  const char* left;   // "FonChMinLeft"
  const char* right;  // "FonChMinRight"
  KeyRange range;
};

// All sixteen pairs: camera 1 in field order, then camera 2.
std::span<const RangeControl, 16> rangeControls();
const RangeControl& rangeControl(RangeField field, int camera);

// The field of a value; camera is 0 or 1.
int32_t& rangeValue(SorterSettings& s, RangeField field, int camera);
int32_t rangeValue(const SorterSettings& s, RangeField field, int camera);

// One step of a number label: the new number and the text the label shows for it ("007").
struct LabelStep {
  int32_t value;
  std::string text;
};
// nullopt when the label does not hold a whole number; its field then keeps its value. A number
// outside the limits moves only toward them (stepValue).
std::optional<LabelStep> stepLabelText(std::string_view labelText, StepDirection direction, KeyRange range);

// The first step of every range evaluation: with the test program active, both cameras' ranges and
// levels are opened (lower bounds 0, upper bounds 255) in the fields only; labels keep their text.
// Returns whether anything was opened.
bool openTestProgramRanges(SorterSettings& s, int activeProgram);

// A touch (or repeat tick) of an arrow of the pair (field, camera): a range field first runs
// openTestProgramRanges, a background level does not; then the label's number is stepped and stored.
std::optional<LabelStep> stepRange(SorterSettings& s, int activeProgram, RangeField field, int camera,
                                   StepDirection direction, std::string_view labelText);

// --- Range bars (single-tone page, one set per camera, over a scale of two pixels per level) ---

inline constexpr int kScalePixels = 512;
inline constexpr int kRangeMarkerWidth = 3;
inline constexpr int kZoneEdgeWidth = 2;
// Levels are drawn as if they lay within these bounds, which are off the scale on both sides, so that
// a value stored far out of its range cannot overflow the coordinates.
inline constexpr int kDrawnLevelMin = -64;
inline constexpr int kDrawnLevelMax = 320;

// Horizontal extent of one bar; a bound stepped past its partner gives width 0, not a negative one.
struct BarSpan {
  int left = 0;
  int width = 0;
  bool operator==(const BarSpan&) const = default;
};

struct RangeBars {
  BarSpan fonLeftMarker;
  BarSpan fonRightMarker;
  BarSpan fonRange;
  BarSpan p1;
  BarSpan p2;
  BarSpan darkZone;
  BarSpan darkEdge;  // at the dark zone's right end - 2
  BarSpan lightZone;
  BarSpan lightEdge;  // at the light zone's left edge - 1
  bool operator==(const RangeBars&) const = default;
};

// The bars of one camera; scaleLeft is the x of level 0 in the coordinates of the bars.
RangeBars rangeBars(const SorterSettings& s, int camera, int scaleLeft);

// --- Blue background (machine-wide) and black background (per camera) ---

inline constexpr std::size_t kBlueFonCount = 6;
// FRminLabel, FRmaxLabel, FGminLabel, FGmaxLabel, FBminLabel, FBmaxLabel.
inline constexpr std::array<std::string_view, kBlueFonCount> kBlueFonLabelNames = {
    "FRminLabel", "FRmaxLabel", "FGminLabel", "FGmaxLabel", "FBminLabel", "FBmaxLabel"};

// FRmin, FRmax, FGmin, FGmax, FBmin, FBmax by label index.
int32_t& blueFonValue(MachineSettings& m, std::size_t index);
KeyRange blueFonRange(std::size_t index);

// Which blue-background label the operator touched last; none at start, and the arrows then do nothing.
class BlueFonChoice {
 public:
  std::optional<std::size_t> chosen() const { return chosen_; }
  // A touch on label index; an index that names no label leaves none chosen.
  void touch(std::size_t index) {
    chosen_ = index < kBlueFonCount ? std::optional<std::size_t>(index) : std::nullopt;
  }
  bool isChosen(std::size_t index) const { return chosen_ == index; }

 private:
  std::optional<std::size_t> chosen_;
};

// Steps the chosen label's number into its field; nullopt with nothing chosen or a label that is not a
// number.
std::optional<LabelStep> stepBlueFon(MachineSettings& m, std::optional<std::size_t> chosen,
                                     StepDirection direction, std::string_view labelText);

// Steps BlackFon[camera] from the text of that camera's label (BlackFonLabelA or BlackFonLabelB).
std::optional<LabelStep> stepBlackFon(MachineSettings& m, int camera, StepDirection direction,
                                      std::string_view labelText);

// --- Single channel (OC_R_Button, OC_G_Button, OC_B_Button) ---

// Channel 1, 2 or 3 switched on: it becomes SingleChannel and the only flag set. Switched off: its flag
// is cleared and SingleChannel stays until another channel is chosen. An unknown channel changes
// nothing and returns false.
bool switchChannel(SorterSettings& s, int channel, bool on);

}  // namespace tolvane
