#pragma once

#include <filesystem>
#include <string_view>

#include "platform/program_launcher.h"

// The last step of every update and rollback: the new program file was copied to "TolvaneGrain_" and
// started; started under that name, it moves itself into place and starts the program file.
namespace tolvane {

inline constexpr std::string_view kProgramFileName = "TolvaneGrain";
inline constexpr std::string_view kUpdateFileName = "TolvaneGrain_";
inline constexpr std::string_view kBackupFileName = "TolvaneGrain.bak";

// Whether a program file of this name finishes an exchange: its name upper-cased with the settings
// file's letter rule equals "TOLVANEGRAIN_".
bool isUpdateFileName(std::string_view fileName);

enum class SelfUpdateOutcome {
  kNotAnUpdate,   // an ordinary start: go on with the start-up
  kEndNow,        // a program file was started: end at once, without any window
  kContinueHere,  // no program file could be started: this instance goes on as the program
};

struct SelfUpdateReport {
  SelfUpdateOutcome outcome = SelfUpdateOutcome::kNotAnUpdate;
  bool oldBackupDeleted = false;      // an older "TolvaneGrain.bak" was removed
  bool programMovedToBackup = false;  // "TolvaneGrain" became "TolvaneGrain.bak"
  bool updateInstalled = false;       // the running file became "TolvaneGrain"
  bool programRestored = false;       // after a failed install, the old program was put back
  std::filesystem::path started;      // the file that was started, if any
  int startError = 0;                 // errno of a failed start
};

// The exchange, when runningFile is the update file:
//   1. delete "TolvaneGrain.bak" if present;
//   2. rename "TolvaneGrain" to "TolvaneGrain.bak";
//   3. rename the running file to "TolvaneGrain";
//   4. start "TolvaneGrain" (working folder = its folder) and end.
// A failed step does not stop the next ones, but the program file is never lost:
// - step 3 never replaces an existing "TolvaneGrain" (the old program stays when step 2 failed);
// - when step 3 fails after step 2 moved the old program aside, the old program is renamed back, so
//   the old version starts instead of none; the update file stays where it is;
// - when no program file can be started at all, the outcome is kContinueHere instead of ending.
SelfUpdateReport completeSelfUpdate(const std::filesystem::path& runningFile, ProgramLauncher& launcher);

}  // namespace tolvane
