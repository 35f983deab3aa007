#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tolvane {

// Free space below which the settings and side files may no longer be saved (a whole program, the
// samples file and the statistics need under a megabyte).
inline constexpr std::uintmax_t kSettingsMinFreeBytes = 2u * 1024u * 1024u;

enum class SettingsFileState {
  kFine,
  kMissing,     // every value starts at its default; the first save creates the file
  kNoSettings,  // empty or damaged: no section of ours in it
  kUnreadable,  // a folder of that name, no permission, an I/O error: never overwritten
};

struct SettingsFileCheck {
  SettingsFileState state = SettingsFileState::kFine;
  bool writable = true;   // a save could create its temporary file beside the settings file
  bool diskFull = false;  // less than the minimum free space in the folder
  std::string message;    // for the operator, empty when nothing is wrong
};

// Whether the bytes of a file hold settings of ours: an "options" or a "program<N>" section. An empty or
// damaged file, or an INI file of something else, does not.
bool holdsSettings(std::string_view fileBytes);

// What the operator must know at start about the settings file: whether it is there, holds settings,
// and can be saved. The write probe creates and removes the save's own temporary file, so it fails
// exactly where a save would.
SettingsFileCheck checkSettingsFile(const std::filesystem::path& file,
                                    std::uintmax_t minFreeBytes = kSettingsMinFreeBytes);

}  // namespace tolvane
