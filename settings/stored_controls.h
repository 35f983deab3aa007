#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "settings/ini_file.h"
#include "settings/machine_settings.h"

namespace tolvane {

// The file part of the main window's stored control values: keys "<control>_<property>" in "options",
// switches as the words True/False, number labels as their caption text.

// Label text of a number: at least three characters, zeros in front of the digits ("007", "-05").
std::string numberLabelText(int32_t value);

// A caption read back as a number with any fraction dropped ("12.7" is 12, "-3,9" is -3; a comma
// counts as the decimal separator too). nullopt when the text is not a number or beyond 32 bits.
std::optional<int32_t> captionNumber(std::string_view caption);

// One stored number label and the MachineSettings field it feeds.
struct StoredCaption {
  const char* key;  // e.g. "TimeLabel_Caption"
  int32_t MachineSettings::*field = nullptr;
  int blackFon = -1;  // for BlackFonLabelA/B: index into BlackFon, field unused
  int32_t initial;
};

struct StoredSwitch {
  const char* key;  // e.g. "MaskSwitch_StateOn"
  bool MachineSettings::*field;
};

std::span<const StoredCaption> storedCaptions();
std::span<const StoredSwitch> storedSwitches();

// Restores the values present in "options" into machine; a missing key, an unknown word or a caption
// that is not a number leaves that value as it is. Nothing is restored when the stored FormVersion is
// below 0 (a missing FormVersion counts as 0). Returns whether a restore was done.
bool readStoredControls(const IniDocument& doc, MachineSettings& machine);

// Writes FormVersion=0, the window's own keys (placement, in the given order), then every switch and
// caption in table order.
void writeStoredControls(IniDocument& doc, const MachineSettings& machine,
                         std::span<const std::pair<std::string, std::string>> windowKeys = {});

}  // namespace tolvane
