#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "settings/build_constants.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// Machine-wide values of section "options", including the stored control values of the main window.
// Owned by the main thread; camera threads read single 32-bit fields.
struct MachineSettings {
  using CalibrationPoints = std::array<int32_t, kCalibrationPointCount>;

  int32_t ActiveProg = 0;

  // Working ejector ranges; read and written with every program although they live in "options".
  int32_t EGA_Min = 1;
  int32_t EGA_Max = kEjectorsPerSide;
  int32_t EGB_Min = 1;
  int32_t EGB_Max = kEjectorsPerSide;

  // Calibration points per side (EgecA<n>, EgecAx<n>, EgecB<n>, EgecBx<n>); missing keys read n * 625.
  CalibrationPoints EgecA{0, 625, 1250, 1875, 2500};
  CalibrationPoints EgecAx{0, 625, 1250, 1875, 2500};
  CalibrationPoints EgecB{0, 625, 1250, 1875, 2500};
  CalibrationPoints EgecBx{0, 625, 1250, 1875, 2500};

  // Names of programs 1 ... 9 (ProgramName0 ... ProgramName8); the test program has none.
  std::array<std::string, kProgramNameCount> ProgramName;

  // From the "path" line; never written by the program.
  std::string MachineId = "000";

  // Stored control values (keys <Label>_Caption, restored as numbers with the fraction dropped).
  int32_t Time = 12;
  int32_t Delay = 0;
  int32_t MinVes = 10;
  int32_t MaxTime = 300;
  int32_t MaxObject = 30;
  int32_t FRmin = 0;
  int32_t FRmax = 0;
  int32_t FGmin = 0;
  int32_t FGmax = 0;
  int32_t FBmin = 0;
  int32_t FBmax = 0;
  std::array<int32_t, 2> BlackFon{0, 0};

  // Stored switches (keys <Switch>_StateOn, words True/False).
  bool MaskSwitch_StateOn = false;
  bool ColorTuneButton_StateOn = false;
  bool RGBshiftButton_StateOn = false;
  bool BrightModeButton_StateOn = false;
  bool FineTimerButton_StateOn = false;
};

// Editing ranges of the machine values: ActiveProg, EGA_Min ... EGB_Max and the caption-backed
// values by field name ("Time", "Delay", "MinVes", "MaxTime", "MaxObject", "FRmin" ... "FBmax",
// "BlackFon"). nullptr for a name without a range.
const KeyRange* machineKeyRange(std::string_view name);

// Default of a missing calibration point n.
constexpr int32_t calibrationPointDefault(int n) { return n * 625; }

}  // namespace tolvane
