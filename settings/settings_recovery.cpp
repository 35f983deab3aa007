#include "settings/settings_recovery.h"

#include <unistd.h>

#include "settings/atomic_file.h"
#include "settings/factory_settings.h"
#include "settings/settings_file_check.h"
#include "settings/side_files.h"

namespace tolvane {
namespace {

RecoveryResult writeFailed(const std::string& message) { return {RecoveryOutcome::kWriteFailed, message}; }

RecoveryResult refused(RecoveryOutcome outcome, std::string_view message) {
  return {outcome, std::string(message)};
}

// Puts the backup back as it was before this reset wrote it; best effort, the reset has failed anyway.
void restoreBackup(const std::filesystem::path& backup, const FileContents& earlier) noexcept {
  try {
    if (earlier.status == ReadStatus::kOk) {
      writeFileAtomically(backup, earlier.bytes);
    } else if (earlier.status == ReadStatus::kMissing) {
      ::unlink(backup.c_str());
    }
  } catch (...) {
  }
}

RecoveryResult resetFiles(const std::filesystem::path& settings, const std::filesystem::path& backup) {
  const FileContents current = readWholeFile(settings);
  if (current.status == ReadStatus::kUnreadable) {
    // Settings that cannot be copied into the backup would be lost by the reset.
    return writeFailed(FileWriteError(backup).what());
  }
  if (current.status == ReadStatus::kMissing) {
    // Nothing to keep, so an older backup stays: it may be all that is left of earlier settings.
    writeFileAtomically(settings, factorySettingsFile());
    return {};
  }
  // The backup is complete on disk before the settings file changes, and the settings file is
  // replaced, never renamed away: a crash leaves the old or the factory settings in place.
  const FileContents earlier = readWholeFile(backup);
  writeFileAtomically(backup, current.bytes);
  try {
    writeFileAtomically(settings, factorySettingsFile());
  } catch (...) {
    restoreBackup(backup, earlier);
    throw;
  }
  return {};
}

RecoveryResult rollbackFiles(const std::filesystem::path& settings, const std::filesystem::path& backup) {
  const FileContents saved = readWholeFile(backup);
  switch (saved.status) {
    case ReadStatus::kMissing:
      return refused(RecoveryOutcome::kNoBackup, kNoBackupText);
    case ReadStatus::kUnreadable:
      return refused(RecoveryOutcome::kBackupDamaged, kBackupUnreadableText);
    case ReadStatus::kOk:
      break;
  }
  // A backup the program would start on with all defaults is no rollback.
  if (!holdsSettings(saved.bytes)) return refused(RecoveryOutcome::kBackupDamaged, kBackupDamagedText);
  writeFileAtomically(settings, saved.bytes);
  return {};
}

using FileStep = RecoveryResult (*)(const std::filesystem::path&, const std::filesystem::path&);

RecoveryResult guarded(FileStep step, const std::filesystem::path& programFile) noexcept {
  const std::filesystem::path settings = settingsFilePath(programFile);
  try {
    return step(settings, settingsBackupPath(programFile));
  } catch (const FileWriteError& e) {
    return writeFailed(e.what());
  } catch (...) {
    // Out of memory or the like.
    return writeFailed(FileWriteError(settings).what());
  }
}

}  // namespace

RecoveryResult factoryReset(const std::filesystem::path& programFile) noexcept {
  return guarded(resetFiles, programFile);
}

RecoveryResult rollbackToBackup(const std::filesystem::path& programFile) noexcept {
  return guarded(rollbackFiles, programFile);
}

RollbackButtonView rollbackButtonView(std::string_view backupDate) {
  if (backupDate.empty()) return {false, "Откат|отсутствует"};
  return {true, "откат|" + std::string(backupDate)};
}

}  // namespace tolvane
