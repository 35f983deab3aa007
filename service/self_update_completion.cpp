#include "service/self_update_completion.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "settings/text_helpers.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// A rename that never replaces its target, as the rename of the original system behaved. Without it a
// failed move of the old program aside would let the update overwrite the only program file there is.
bool renameWithoutReplacing(const fs::path& from, const fs::path& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the flag: look first. Nothing else renames in this folder meanwhile.
  std::error_code error;
  if (fs::exists(fs::symlink_status(to, error))) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool isProgramFile(const fs::path& file) {
  std::error_code error;
  return fs::is_regular_file(file, error);
}

}  // namespace

bool isUpdateFileName(std::string_view fileName) {
  static const std::string kUpper = UpperText(kUpdateFileName, false);
  return UpperText(fileName, false) == kUpper;
}

SelfUpdateReport completeSelfUpdate(const fs::path& runningFile, ProgramLauncher& launcher) {
  SelfUpdateReport report;
  if (!isUpdateFileName(runningFile.filename().string())) return report;

  const fs::path folder = runningFile.parent_path();
  const fs::path program = folder / kProgramFileName;
  const fs::path backup = folder / kBackupFileName;

  std::error_code error;
  if (fs::exists(fs::symlink_status(backup, error))) {
    report.oldBackupDeleted = fs::remove(backup, error);
  }
  report.programMovedToBackup = renameWithoutReplacing(program, backup);
  report.updateInstalled = renameWithoutReplacing(runningFile, program);
  if (!report.updateInstalled && report.programMovedToBackup) {
    report.programRestored = renameWithoutReplacing(backup, program);
  }

  report.outcome = SelfUpdateOutcome::kEndNow;
  if (isProgramFile(program)) {
    const LaunchResult started = launcher.start(program, folder);
    if (started.ok()) {
      report.started = program;
      return report;
    }
    report.startError = started.error;
  } else {
    report.startError = ENOENT;
  }
  report.outcome = SelfUpdateOutcome::kContinueHere;
  return report;
}

}  // namespace tolvane
