#pragma once

#include <string_view>

namespace tolvane {

// The complete settings file that the program carries: Windows-1251 (pure ASCII), CR LF line ends,
// ending with an empty line. A factory reset writes it byte for byte as the settings file.
// Besides the keys the program reads it holds some that stay unread (EGMin/EGMax per program,
// BlackFonLabel_Caption, EgecA5 and kin, Sector<i> beyond SectorCounts). It has no "path" line, no
// camera-2 sector keys and no enTripleShot, so those take their defaults after a reset.
std::string_view factorySettingsFile();

}  // namespace tolvane
