#include "settings/settings_recovery.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <random>
#include <thread>

#include "service/dw_time.h"
#include "settings/factory_settings.h"
#include "settings/settings_file_check.h"
#include "settings/side_files.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

// What lies at a file's place, before and after an operation.
enum class Content { kNone, kFolder, kOld, kOlder, kFactory, kEmpty, kForeign, kProgramOnly };

constexpr std::string_view kOldBytes = "[options]\r\nActiveProg=3\r\n\r\n[program3]\r\nFonMin=17\r\n";
constexpr std::string_view kOlderBytes = "[options]\r\nActiveProg=7\r\nEGA_Min=5\r\n";
constexpr std::string_view kForeignBytes = "some notes\r\n[network]\r\nhost=10.0.0.1\r\n";
constexpr std::string_view kProgramOnlyBytes = "[PROGRAM4]\r\nFonMin=9\r\n";

std::string_view bytesOf(Content c) {
  switch (c) {
    case Content::kOld:
      return kOldBytes;
    case Content::kOlder:
      return kOlderBytes;
    case Content::kFactory:
      return factorySettingsFile();
    case Content::kForeign:
      return kForeignBytes;
    case Content::kProgramOnly:
      return kProgramOnlyBytes;
    default:
      return {};
  }
}

void place(const std::filesystem::path& path, Content c) {
  if (c == Content::kNone) return;
  if (c == Content::kFolder) {
    std::filesystem::create_directory(path);
    writeBytes(path / "inside", "x");  // a folder that a plain unlink or rmdir cannot remove
    return;
  }
  writeBytes(path, bytesOf(c));
}

const char* nameOf(Content c) {
  static constexpr const char* kNames[] = {"none",    "folder", "old",     "older",
                                           "factory", "empty",  "foreign", "program-only"};
  return kNames[static_cast<int>(c)];
}

// Names what lies at path; "other" for bytes that are none of ours.
std::string found(const std::filesystem::path& path) {
  if (!std::filesystem::exists(std::filesystem::symlink_status(path))) return nameOf(Content::kNone);
  if (std::filesystem::is_directory(path)) return nameOf(Content::kFolder);
  const std::string bytes = readBytes(path);
  for (Content c :
       {Content::kOld, Content::kOlder, Content::kFactory, Content::kForeign, Content::kProgramOnly}) {
    if (bytes == bytesOf(c)) return nameOf(c);
  }
  return bytes.empty() ? nameOf(Content::kEmpty) : "other";
}

// A folder at the place of a save's temporary file makes exactly that save fail, also for root.
enum class Block { kNothing, kSettingsSave, kBackupSave };

struct Folder {
  TempDir dir;
  std::filesystem::path programFile = dir / "TolvaneGrain";
  std::filesystem::path settings = settingsFilePath(programFile);
  std::filesystem::path backup = settingsBackupPath(programFile);

  void prepare(Content ini, Content bak, Block block) {
    place(settings, ini);
    place(backup, bak);
    if (block == Block::kSettingsSave) place(dir / "TolvaneGrain.ini.tmp", Content::kFolder);
    if (block == Block::kBackupSave) place(dir / "TolvaneGrainINI.bak.tmp", Content::kFolder);
  }
  // No temporary file is left behind by a finished operation, whatever its outcome.
  void expectNoLeftovers(Block block) const {
    if (block != Block::kSettingsSave) {
      EXPECT_FALSE(std::filesystem::exists(dir / "TolvaneGrain.ini.tmp"));
    }
    if (block != Block::kBackupSave) {
      EXPECT_FALSE(std::filesystem::exists(dir / "TolvaneGrainINI.bak.tmp"));
    }
  }
};

std::string unableToWrite(const std::filesystem::path& path) { return "Unable to write to " + path.string(); }

enum class Named { kNothing, kSettings, kBackup };

struct ResetCase {
  const char* name;
  Content ini;
  Content bak;
  Block block;
  RecoveryOutcome outcome;
  Content iniAfter;
  Content bakAfter;
  Named messageNames;
};

TEST(SettingsRecovery, FactoryResetOutcomes) {
  using enum Content;
  using enum RecoveryOutcome;
  const ResetCase cases[] = {
      {"fresh folder", kNone, kNone, Block::kNothing, kDone, kFactory, kNone, Named::kNothing},
      {"no settings keeps the older backup", kNone, kOlder, Block::kNothing, kDone, kFactory, kOlder,
       Named::kNothing},
      {"settings become the backup", kOld, kNone, Block::kNothing, kDone, kFactory, kOld, Named::kNothing},
      {"an older backup is replaced", kOld, kOlder, Block::kNothing, kDone, kFactory, kOld, Named::kNothing},
      {"a damaged settings file is still kept", kForeign, kOlder, Block::kNothing, kDone, kFactory, kForeign,
       Named::kNothing},
      {"an empty settings file is kept too", kEmpty, kNone, Block::kNothing, kDone, kFactory, kEmpty,
       Named::kNothing},
      {"unreadable settings are not given up", kFolder, kOlder, Block::kNothing, kWriteFailed, kFolder,
       kOlder, Named::kBackup},
      {"a folder at the backup's place", kOld, kFolder, Block::kNothing, kWriteFailed, kOld, kFolder,
       Named::kBackup},
      {"backup cannot be saved", kOld, kOlder, Block::kBackupSave, kWriteFailed, kOld, kOlder,
       Named::kBackup},
      {"settings cannot be saved: older backup back", kOld, kOlder, Block::kSettingsSave, kWriteFailed, kOld,
       kOlder, Named::kSettings},
      {"settings cannot be saved: no backup again", kOld, kNone, Block::kSettingsSave, kWriteFailed, kOld,
       kNone, Named::kSettings},
      {"no settings and no place to write them", kNone, kOlder, Block::kSettingsSave, kWriteFailed, kNone,
       kOlder, Named::kSettings},
  };
  for (const ResetCase& c : cases) {
    SCOPED_TRACE(c.name);
    Folder f;
    f.prepare(c.ini, c.bak, c.block);
    const RecoveryResult r = factoryReset(f.programFile);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(found(f.settings), nameOf(c.iniAfter));
    EXPECT_EQ(found(f.backup), nameOf(c.bakAfter));
    const std::string message = c.messageNames == Named::kSettings ? unableToWrite(f.settings)
                                : c.messageNames == Named::kBackup ? unableToWrite(f.backup)
                                                                   : "";
    EXPECT_EQ(r.message, message);
    f.expectNoLeftovers(c.block);
  }
}

struct RollbackCase {
  const char* name;
  Content ini;
  Content bak;
  Block block;
  RecoveryOutcome outcome;
  Content iniAfter;
  std::string_view message;  // "<settings>" stands for "Unable to write to <settings file>"
};

TEST(SettingsRecovery, RollbackOutcomes) {
  using enum Content;
  using enum RecoveryOutcome;
  const RollbackCase cases[] = {
      {"backup replaces settings", kFactory, kOld, Block::kNothing, kDone, kOld, ""},
      {"backup replaces a missing settings file", kNone, kOld, Block::kNothing, kDone, kOld, ""},
      {"a backup with program sections only holds settings", kFactory, kProgramOnly, Block::kNothing, kDone,
       kProgramOnly, ""},
      {"no backup", kFactory, kNone, Block::kNothing, kNoBackup, kFactory, kNoBackupText},
      {"no backup and no settings", kNone, kNone, Block::kNothing, kNoBackup, kNone, kNoBackupText},
      {"empty backup", kFactory, kEmpty, Block::kNothing, kBackupDamaged, kFactory, kBackupDamagedText},
      {"backup of something else", kFactory, kForeign, Block::kNothing, kBackupDamaged, kFactory,
       kBackupDamagedText},
      {"empty backup, no settings: still none", kNone, kEmpty, Block::kNothing, kBackupDamaged, kNone,
       kBackupDamagedText},
      {"a folder at the backup's place", kFactory, kFolder, Block::kNothing, kBackupDamaged, kFactory,
       kBackupUnreadableText},
      {"settings cannot be saved", kFactory, kOld, Block::kSettingsSave, kWriteFailed, kFactory,
       "<settings>"},
      {"a folder at the settings file's place", kFolder, kOld, Block::kNothing, kWriteFailed, kFolder,
       "<settings>"},
  };
  for (const RollbackCase& c : cases) {
    SCOPED_TRACE(c.name);
    Folder f;
    f.prepare(c.ini, c.bak, c.block);
    const RecoveryResult r = rollbackToBackup(f.programFile);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(found(f.settings), nameOf(c.iniAfter));
    EXPECT_EQ(found(f.backup), nameOf(c.bak)) << "the backup always stays";
    EXPECT_EQ(r.message, c.message == "<settings>" ? unableToWrite(f.settings) : std::string(c.message));
    f.expectNoLeftovers(c.block);
  }
}

TEST(SettingsRecovery, ReadOnlyFolderChangesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root; the blocked saves above cover it";
  Folder f;
  f.prepare(Content::kOld, Content::kOlder, Block::kNothing);
  ASSERT_EQ(::chmod(f.dir.path().c_str(), 0555), 0);
  const RecoveryResult reset = factoryReset(f.programFile);
  const RecoveryResult rollback = rollbackToBackup(f.programFile);
  ASSERT_EQ(::chmod(f.dir.path().c_str(), 0755), 0);
  EXPECT_EQ(reset.outcome, RecoveryOutcome::kWriteFailed);
  EXPECT_EQ(reset.message, unableToWrite(f.backup));
  EXPECT_EQ(rollback.outcome, RecoveryOutcome::kWriteFailed);
  EXPECT_EQ(rollback.message, unableToWrite(f.settings));
  EXPECT_EQ(found(f.settings), nameOf(Content::kOld));
  EXPECT_EQ(found(f.backup), nameOf(Content::kOlder));
}

TEST(SettingsRecovery, ResetWritesFactoryBytesThatLoadAndRollbackBringsTheOldBytesBack) {
  Folder f;
  // Windows-1251 text and a last line without CR LF must survive byte for byte.
  const std::string old = "[options]\r\nProgramName0=\xCF\xF8\xE5\xED\xE8\xF6\xE0\r\n[program0]\r\nFonMin=1";
  writeBytes(f.settings, old);
  ASSERT_EQ(factoryReset(f.programFile).outcome, RecoveryOutcome::kDone);
  EXPECT_EQ(readBytes(f.settings), factorySettingsFile());
  EXPECT_EQ(checkSettingsFile(f.settings, 0).state, SettingsFileState::kFine);
  EXPECT_EQ(readBytes(f.backup), old);
  ASSERT_EQ(rollbackToBackup(f.programFile).outcome, RecoveryOutcome::kDone);
  EXPECT_EQ(readBytes(f.settings), old);
  EXPECT_EQ(readBytes(f.backup), old);
}

TEST(SettingsRecovery, SecondResetReplacesTheFirstBackup) {
  Folder f;
  writeBytes(f.settings, kOldBytes);
  ASSERT_EQ(factoryReset(f.programFile).outcome, RecoveryOutcome::kDone);
  // The new instance runs on the factory file and saves a change.
  const std::string edited = std::string(factorySettingsFile()) + "[program5]\r\nFonMin=44\r\n";
  writeBytes(f.settings, edited);
  ASSERT_EQ(factoryReset(f.programFile).outcome, RecoveryOutcome::kDone);
  EXPECT_EQ(readBytes(f.backup), edited);
  EXPECT_EQ(readBytes(f.settings), factorySettingsFile());
  ASSERT_EQ(rollbackToBackup(f.programFile).outcome, RecoveryOutcome::kDone);
  EXPECT_EQ(readBytes(f.settings), edited);
}

void setLocalModificationDate(const std::filesystem::path& path, int year, int month, int day) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = 12;
  local.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
  std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(when));
}

TEST(SettingsRecovery, RollbackButtonShowsTheBackupsDate) {
  struct Case {
    const char* name;
    Content bak;
    bool enabled;
    std::string_view caption;
  };
  const Case cases[] = {
      {"no backup", Content::kNone, false, "Откат|отсутствует"},
      {"a folder is no backup", Content::kFolder, false, "Откат|отсутствует"},
      {"backup", Content::kOld, true, "откат|05.01.2012"},
      // Damaged or not, the file is there; the rollback itself refuses it with a message.
      {"empty backup", Content::kEmpty, true, "откат|05.01.2012"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Folder f;
    f.prepare(Content::kFactory, c.bak, Block::kNothing);
    if (c.bak != Content::kNone) setLocalModificationDate(f.backup, 2012, 1, 5);
    const RollbackButtonView view = rollbackButtonView(FileDateText(f.backup));
    EXPECT_EQ(view.enabled, c.enabled);
    EXPECT_EQ(view.caption, c.caption);
  }
}

TEST(SettingsRecovery, AfterAResetTheButtonShowsTheResetsDate) {
  Folder f;
  writeBytes(f.settings, kOldBytes);
  EXPECT_FALSE(rollbackButtonView(FileDateText(f.backup)).enabled);
  ASSERT_EQ(factoryReset(f.programFile).outcome, RecoveryOutcome::kDone);
  const RollbackButtonView view = rollbackButtonView(FileDateText(f.backup));
  EXPECT_TRUE(view.enabled);
  // Around midnight the reset may fall on the day before the check.
  const std::string today = "откат|" + DateText(Today());
  if (view.caption != today) {
    EXPECT_EQ(view.caption, "откат|" + DateText(LocalDate(std::time(nullptr) - 60)));
  }
}

// A child resets and rolls back over and over and is killed at random moments. At every instant the
// settings file is there, whole, and holds the old or the factory settings; the backup always holds
// the old ones (each reset follows a rollback).
TEST(SettingsRecovery, KilledResetOrRollbackNeverLeavesTheMachineWithoutSettings) {
  Folder f;
  writeBytes(f.settings, kOldBytes);
  writeBytes(f.backup, kOldBytes);
  std::mt19937 rng(20120105);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        if (rollbackToBackup(f.programFile).outcome != RecoveryOutcome::kDone) ::_exit(3);
        if (factoryReset(f.programFile).outcome != RecoveryOutcome::kDone) ::_exit(4);
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child ended with status " << status;
    const std::string settings = found(f.settings);
    ASSERT_TRUE(settings == nameOf(Content::kOld) || settings == nameOf(Content::kFactory)) << settings;
    ASSERT_TRUE(holdsSettings(readBytes(f.settings)));
    ASSERT_EQ(found(f.backup), nameOf(Content::kOld));
  }
  // The next operation clears a temporary file a killed one may have left.
  EXPECT_EQ(rollbackToBackup(f.programFile).outcome, RecoveryOutcome::kDone);
  EXPECT_EQ(factoryReset(f.programFile).outcome, RecoveryOutcome::kDone);
  f.expectNoLeftovers(Block::kNothing);
}

}  // namespace
}  // namespace tolvane
