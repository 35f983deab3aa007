#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

// Values of the active sorting program: one field per key of section program<N>.
// Camera pairs are indexed by camera: [0] is stored under the plain key, [1] under the "C2" key.
// Owned by the main thread; camera threads read single fields (32-bit integers and bytes).
struct SorterSettings {
  using CameraPair = std::array<int32_t, 2>;

  // Colour ranges.
  CameraPair FonMin{200, 200};
  CameraPair FonMax{255, 255};
  CameraPair FonBlack{0, 0};
  CameraPair FonLight{255, 255};
  CameraPair P1Min{0, 0};
  CameraPair P1Max{150, 150};
  CameraPair P2Min{150, 150};
  CameraPair P2Max{200, 200};

  // Thresholds of the sorting conditions.
  int32_t ifMassa = 20;
  int32_t ifMassa2 = 20;
  int32_t ifP1 = 12;
  int32_t ifP2 = 12;
  int32_t ifLength = 5;
  int32_t ifWeight = 5;
  int32_t ifEks = 1;
  int32_t ifForma = 81;
  int32_t ifFast = 10;
  bool ifAND = false;

  // Enables.
  bool enMassa = false;
  bool enMassa2 = false;
  bool enP1 = false;
  bool enP2 = false;
  bool enLength = false;
  bool enWeight = false;
  bool enEks = false;
  bool enForma = false;
  bool enFast = false;
  bool enFonBlue = false;
  bool enFonBlack = false;
  bool enTripleShot = false;

  // Directions: true means the condition speaks above the threshold.
  bool bMassa = true;
  bool bMassa2 = true;
  bool bP1 = true;
  bool bP2 = true;
  bool bLength = true;
  bool bWeight = true;
  bool bEks = true;
  bool bForma = true;

  // Colour counts as a percentage of the object size.
  bool tipP1 = false;
  bool tipP2 = false;

  // Shape template.
  int32_t valN1 = 40;
  int32_t valN2 = 90;

  // Channel of single-channel work as stored; SingleChannel is derived from them on load.
  bool OCR = false;
  bool OCG = false;
  bool OCB = false;
  bool BrightMode = false;
  bool onCamera1 = false;
  bool onCamera2 = false;

  // Reject regulator rows (bound and sensitivity texts are stored as shown, e.g. "045", "50").
  bool bParam1 = false;
  bool bParam2 = false;
  bool bParam3 = false;
  int32_t reg_ParamBox1 = -1;
  int32_t reg_ParamBox1s = -1;
  int32_t reg_ParamBox2 = -1;
  int32_t reg_ParamBox2s = -1;
  int32_t reg_ParamBox3 = -1;
  int32_t reg_ParamBox3s = -1;
  std::string reg_ParamBox1left = "000";
  std::string reg_ParamBox1right = "000";
  std::string reg_ParamBox2left = "000";
  std::string reg_ParamBox2right = "000";
  std::string reg_ParamBox3left = "000";
  std::string reg_ParamBox3right = "000";
  std::string Regulator = "50";

  // Colour sector lines per camera: [0] keys SectorCounts/Sector<i>, [1] Cam2SectorCounts/Cam2Sector<i>.
  std::array<std::vector<std::string>, 2> Sectors;

  // Not a key: 1 red, 2 green, 3 blue; set from OCR/OCG/OCB on load, kept when none is set.
  int32_t SingleChannel = 1;
};

// Editing range of a numeric key. Loading never enforces it; the editing steps do.
struct KeyRange {
  int32_t min;
  int32_t max;
};

// One key of a program section, in the order a save writes them. The sector lists follow these
// keys in the file and are handled apart (see settings_file.h).
struct ProgramKey {
  enum class Kind : uint8_t { kCameraInt, kInt, kBool, kString };

  const char* key;  // as written to the file, e.g. "C2FonMin"
  Kind kind;
  int camera = 0;  // kCameraInt: which element of the pair
  SorterSettings::CameraPair SorterSettings::*pair = nullptr;
  int32_t SorterSettings::*integer = nullptr;
  bool SorterSettings::*flag = nullptr;
  std::string SorterSettings::*text = nullptr;
  int32_t defaultValue = 0;          // kCameraInt, kInt, kBool (0/1)
  const char* defaultText = "";      // kString
  bool hasRange = false;             // numeric range for editing (strings: the number they show)
  KeyRange range{0, 0};
};

// Every program key except the sector lists, in write order.
std::span<const ProgramKey> programKeys();

// The key of that name (exact spelling as in programKeys()), or nullptr.
const ProgramKey* findProgramKey(std::string_view key);

// Editing range of a program key, or nullptr when the key has none.
const KeyRange* programKeyRange(std::string_view key);

// The field of a kCameraInt or kInt key.
int32_t& programInt(SorterSettings& s, const ProgramKey& k);
int32_t programInt(const SorterSettings& s, const ProgramKey& k);

}  // namespace tolvane
