#pragma once

#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// The colour the operator picked in a sample picture: one grey value (single-tone build) or R, G, B.
struct PickedColour {
  int grey = 0;
  int r = 0;
  int g = 0;
  int b = 0;
};

// One text of a sample panel at its pixel position.
struct PanelText {
  int x = 0;
  int y = 0;
  std::string text;
  friend bool operator==(const PanelText&, const PanelText&) = default;
};

// What the sample panels of one slot show: the values, and the texts made from them.
struct SampleInfo {
  int slot = 0;
  int camera = 0;  // 0: camera-1 panels (slots 0..5), 1: camera-2 panels
  int mass = 0;
  int colour1 = 0;
  int colour2 = 0;
  double colour1Percent = 0.0;
  double colour2Percent = 0.0;
  bool reject = false;
  int eks = 0;  // Eks rounded half to even
  double angleDegrees = 0.0;

  // Top of the main panel: one line in the single-tone build, two (HSV, RGB) in colour.
  std::vector<std::string> colourLines;
  // Value texts of the main panel (from y 209, step 13, x 10).
  std::vector<PanelText> mainPanel;
  // Value texts of each of the two small panels (from y 48, step 12, x 5).
  std::vector<PanelText> smallPanel;
};

// Sample information for slot 0..20 (throws std::out_of_range otherwise): copies the slot into the
// scratch record 1000, judges it there and reads the shown values from the slot, so an empty slot
// shows zero weight (the judging turns the scratch copy's zero Mass into 1).
// Called on the main thread under the engine lock.
SampleInfo sampleInformation(EngineState& state, const SorterSettings& settings, int slot,
                             const PickedColour& picked, bool singleToneCamera);

// "0.00" and "00.00" formats of the panels: two decimals, at least one or two integer digits.
std::string formatFixed2(double value, int integerDigits);

}  // namespace tolvane
