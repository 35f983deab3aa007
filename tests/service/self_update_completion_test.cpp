#include "service/self_update_completion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/program_launcher.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(SelfUpdateName, ComparedInUpperCase) {
  EXPECT_TRUE(isUpdateFileName("TolvaneGrain_"));
  EXPECT_TRUE(isUpdateFileName("tolvanegrain_"));
  EXPECT_TRUE(isUpdateFileName("TOLVANEGRAIN_"));
  EXPECT_TRUE(isUpdateFileName("tOLVANEgRAIN_"));
  EXPECT_FALSE(isUpdateFileName("TolvaneGrain"));
  EXPECT_FALSE(isUpdateFileName("TolvaneGrain_.exe"));
  EXPECT_FALSE(isUpdateFileName("TolvaneGrain__"));
  EXPECT_FALSE(isUpdateFileName("TolvaneGrai_"));
  EXPECT_FALSE(isUpdateFileName(" TolvaneGrain_"));
  EXPECT_FALSE(isUpdateFileName(""));
}

// A program folder with the files of an exchange; contents tell the versions apart.
struct ProgramFolder {
  TempDir dir;
  RecordingProgramLauncher launcher;

  fs::path program() const { return dir / "TolvaneGrain"; }
  fs::path backup() const { return dir / "TolvaneGrain.bak"; }
};

TEST(SelfUpdateCompletion, OrdinaryStartTouchesNothing) {
  ProgramFolder f;
  writeBytes(f.program(), "current");
  writeBytes(f.backup(), "older");
  writeBytes(f.dir / "TolvaneGrain_", "update");

  const SelfUpdateReport report = completeSelfUpdate(f.program(), f.launcher);

  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kNotAnUpdate);
  EXPECT_TRUE(f.launcher.launches().empty());
  EXPECT_EQ(readBytes(f.program()), "current");
  EXPECT_EQ(readBytes(f.backup()), "older");
  EXPECT_EQ(readBytes(f.dir / "TolvaneGrain_"), "update");
}

TEST(SelfUpdateCompletion, LowerCaseUpdateNameWithOldBackupIsExchangedAndStarted) {
  ProgramFolder f;
  writeBytes(f.program(), "current");
  writeBytes(f.backup(), "older");
  const fs::path running = f.dir / "tolvanegrain_";
  writeBytes(running, "update");

  const SelfUpdateReport report = completeSelfUpdate(running, f.launcher);

  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kEndNow);
  EXPECT_TRUE(report.oldBackupDeleted);
  EXPECT_TRUE(report.programMovedToBackup);
  EXPECT_TRUE(report.updateInstalled);
  EXPECT_FALSE(report.programRestored);
  EXPECT_EQ(readBytes(f.program()), "update");
  EXPECT_EQ(readBytes(f.backup()), "current");
  EXPECT_FALSE(fs::exists(running));
  ASSERT_EQ(f.launcher.launches().size(), 1u);
  EXPECT_EQ(f.launcher.launches()[0].programFile, f.program());
  EXPECT_EQ(f.launcher.launches()[0].workingFolder, f.dir.path());
  EXPECT_EQ(report.started, f.program());
  // Only the program and its backup are left.
  EXPECT_EQ(std::distance(fs::directory_iterator(f.dir.path()), fs::directory_iterator{}), 2);
}

TEST(SelfUpdateCompletion, RollbackTwiceReturnsToTheNewerVersion) {
  ProgramFolder f;
  writeBytes(f.program(), "v1");
  writeBytes(f.dir / "TolvaneGrain_", "v2");
  completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);  // update to v2
  ASSERT_EQ(readBytes(f.program()), "v2");
  ASSERT_EQ(readBytes(f.backup()), "v1");

  // A rollback copies the backup to the update name and starts it.
  writeBytes(f.dir / "TolvaneGrain_", readBytes(f.backup()));
  completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);
  EXPECT_EQ(readBytes(f.program()), "v1");
  EXPECT_EQ(readBytes(f.backup()), "v2");

  writeBytes(f.dir / "TolvaneGrain_", readBytes(f.backup()));
  completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);
  EXPECT_EQ(readBytes(f.program()), "v2");
  EXPECT_EQ(readBytes(f.backup()), "v1");
  EXPECT_EQ(f.launcher.launches().size(), 3u);
}

TEST(SelfUpdateCompletion, WithoutAnOldProgramTheUpdateBecomesTheProgram) {
  ProgramFolder f;
  writeBytes(f.dir / "TolvaneGrain_", "update");

  const SelfUpdateReport report = completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);

  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kEndNow);
  EXPECT_FALSE(report.oldBackupDeleted);
  EXPECT_FALSE(report.programMovedToBackup);
  EXPECT_TRUE(report.updateInstalled);
  EXPECT_EQ(readBytes(f.program()), "update");
  EXPECT_FALSE(fs::exists(f.backup()));
  EXPECT_EQ(f.launcher.launches().size(), 1u);
}

TEST(SelfUpdateCompletion, OldProgramThatCannotBeMovedAsideIsKeptAndStarted) {
  ProgramFolder f;
  writeBytes(f.program(), "current");
  // A folder under the backup name can be neither deleted (not empty) nor renamed over.
  fs::create_directory(f.backup());
  writeBytes(f.backup() / "keep", "x");
  writeBytes(f.dir / "TolvaneGrain_", "update");

  const SelfUpdateReport report = completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);

  EXPECT_FALSE(report.oldBackupDeleted);
  EXPECT_FALSE(report.programMovedToBackup);
  EXPECT_FALSE(report.updateInstalled);  // never over the only program file
  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kEndNow);
  EXPECT_EQ(readBytes(f.program()), "current");
  EXPECT_EQ(readBytes(f.dir / "TolvaneGrain_"), "update");
  ASSERT_EQ(f.launcher.launches().size(), 1u);
  EXPECT_EQ(f.launcher.launches()[0].programFile, f.program());
}

TEST(SelfUpdateCompletion, FailedInstallPutsTheOldProgramBackAndStartsIt) {
  ProgramFolder f;
  writeBytes(f.program(), "current");
  writeBytes(f.backup(), "older");
  // The running file's rename fails: it is not there under the name it was started with.
  const fs::path running = f.dir / "TOLVANEGRAIN_";

  const SelfUpdateReport report = completeSelfUpdate(running, f.launcher);

  EXPECT_TRUE(report.oldBackupDeleted);
  EXPECT_TRUE(report.programMovedToBackup);
  EXPECT_FALSE(report.updateInstalled);
  EXPECT_TRUE(report.programRestored);
  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kEndNow);
  EXPECT_EQ(readBytes(f.program()), "current");
  ASSERT_EQ(f.launcher.launches().size(), 1u);
  EXPECT_EQ(f.launcher.launches()[0].programFile, f.program());
}

TEST(SelfUpdateCompletion, FailedStartLetsThisInstanceGoOn) {
  ProgramFolder f;
  writeBytes(f.program(), "current");
  writeBytes(f.dir / "TolvaneGrain_", "update");
  f.launcher.setError(EACCES);

  const SelfUpdateReport report = completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);

  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kContinueHere);
  EXPECT_EQ(report.startError, EACCES);
  EXPECT_TRUE(report.started.empty());
  // The files were exchanged all the same; this instance is now the program file.
  EXPECT_EQ(readBytes(f.program()), "update");
  EXPECT_EQ(readBytes(f.backup()), "current");
  EXPECT_EQ(f.launcher.launches().size(), 1u);
}

TEST(SelfUpdateCompletion, NoProgramFileAnywhereStartsNothing) {
  ProgramFolder f;
  const SelfUpdateReport report = completeSelfUpdate(f.dir / "TolvaneGrain_", f.launcher);

  EXPECT_EQ(report.outcome, SelfUpdateOutcome::kContinueHere);
  EXPECT_EQ(report.startError, ENOENT);
  EXPECT_TRUE(f.launcher.launches().empty());
  EXPECT_FALSE(fs::exists(f.program()));
}

TEST(SelfUpdateCompletion, SpawnedProgramRunsInItsFolder) {
  // The whole exchange with a real start: the installed "program" is a script that leaves a mark.
  ProgramFolder f;
  writeBytes(f.program(), "#!/bin/sh\necho old > started\n");
  writeBytes(f.dir / "TolvaneGrain_", "#!/bin/sh\npwd > mark\nmv mark started\n");
  fs::permissions(f.program(), fs::perms::owner_all);
  fs::permissions(f.dir / "TolvaneGrain_", fs::perms::owner_all);
  SpawnProgramLauncher launcher;

  const SelfUpdateReport report = completeSelfUpdate(f.dir / "TolvaneGrain_", launcher);

  ASSERT_EQ(report.outcome, SelfUpdateOutcome::kEndNow);
  ASSERT_EQ(report.started, f.program());
  // The launcher does not wait; this test does, for the child it knows to be there.
  // The script writes its mark under a temporary name and renames it when complete.
  for (int i = 0; i < 1000 && !fs::exists(f.dir / "started"); ++i) ::usleep(10000);
  EXPECT_EQ(readBytes(f.dir / "started"), fs::canonical(f.dir.path()).string() + "\n");
}

}  // namespace
}  // namespace tolvane
