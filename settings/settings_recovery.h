#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Factory reset of the whole settings file and the rollback to the copy the last reset kept. Both work
// on the files only; asking the operator, starting the new instance and ending this one are the
// window's. Paths are derived from the program file as in side_files.h: "<folder>/TolvaneGrain.ini"
// and "<folder>/TolvaneGrainINI.bak".
namespace tolvane {

// Asked in Yes/No boxes titled "Вопрос..." (kQuestionTitle).
inline constexpr std::string_view kFactoryResetQuestion =
    "Восстановление заводских настроек.\n"
    "ВНИМАНИЕ! При восстановлении пропадут все настройки, включая калибровку эжекторов.\n"
    "Запишите настройки на бумаге перед операцией.\n"
    "Начать восстановление настроек?";
inline constexpr std::string_view kRollbackQuestion =
    "Откат после восстановления заводских настроек.\n"
    "ВНИМАНИЕ! При откате настроек на резервную копию пропадут все текущие настройки, включая калибровку "
    "эжекторов.\n"
    "Запишите настройки на бумаге перед операцией.\n"
    "Провести откат настроек на сохраненные?";

inline constexpr std::string_view kNoBackupText = "Резервная копия настроек отсутствует, откат невозможен.";
inline constexpr std::string_view kBackupDamagedText =
    "Резервная копия настроек повреждена, откат невозможен.";
inline constexpr std::string_view kBackupUnreadableText =
    "Резервная копия настроек не читается, откат невозможен.";

enum class RecoveryOutcome { kDone, kWriteFailed, kNoBackup, kBackupDamaged };

struct RecoveryResult {
  RecoveryOutcome outcome = RecoveryOutcome::kDone;
  std::string message;  // for the operator; empty on kDone
};

// Writes the factory settings file byte for byte as the settings file and keeps the settings file as
// it was in the backup, replacing an older backup. The settings file exists at every instant and holds
// the old or the new whole bytes; the backup is written before the settings file is replaced.
// - No settings file: the factory file is written and an older backup is kept.
// - A settings file that cannot be read (a folder, no permission) cannot be kept: nothing changes,
//   kWriteFailed "Unable to write to <backup>".
// - Any failed write: kWriteFailed "Unable to write to <path>"; the settings file and the backup are
//   as they were.
RecoveryResult factoryReset(const std::filesystem::path& programFile) noexcept;

// Replaces the settings file with the backup's bytes; the backup stays. Nothing changes when the
// backup is missing (kNoBackup), unreadable or holds no settings (kBackupDamaged), or the settings file
// cannot be replaced (kWriteFailed "Unable to write to <settings file>").
RecoveryResult rollbackToBackup(const std::filesystem::path& programFile) noexcept;

struct RollbackButtonView {
  bool enabled = false;
  std::string caption;
};

// backupDate: FileDateText of the backup ("dd.mm.yyyy"), empty when there is none. Enabled
// "откат|<date>" with a backup, else disabled "Откат|отсутствует".
RollbackButtonView rollbackButtonView(std::string_view backupDate);

}  // namespace tolvane
