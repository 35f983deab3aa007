// The copy with progress and the start of the exchange, with real files and, where it matters, a real
// child process.
#include "service/update_install.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/program_launcher.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(UpdateCopy, CopiesWithRisingPercentAndTheGivenMode) {
  TempDir dir;
  const std::string bytes(1'000'000, 'b');
  writeBytes(dir / "source", bytes);
  std::vector<int> percents;

  const CopyResult result =
      copyFileWithProgress(dir / "source", dir / "copy", [&](int p) { percents.push_back(p); }, 0755);

  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.bytes, bytes.size());
  EXPECT_EQ(readBytes(dir / "copy"), bytes);
  EXPECT_EQ(fs::status(dir / "copy").permissions() & fs::perms::all, fs::perms(0755));
  ASSERT_GE(percents.size(), 5u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
  EXPECT_EQ(percents.back(), 100);
}

TEST(UpdateCopy, EmptySourceReportsAHundred) {
  TempDir dir;
  writeBytes(dir / "source", "");
  std::vector<int> percents;
  ASSERT_TRUE(copyFileWithProgress(dir / "source", dir / "copy", [&](int p) { percents.push_back(p); }).ok);
  EXPECT_EQ(percents, std::vector<int>{100});
  EXPECT_TRUE(fs::exists(dir / "copy"));
}

TEST(UpdateCopy, FailureLeavesNoDestination) {
  TempDir dir;
  fs::create_directory(dir / "folder");
  writeBytes(dir / "source", "program");
  struct Case {
    const char* name;
    fs::path source;
    fs::path destination;
  } const cases[] = {
      {"missing source", dir / "missing", dir / "copy"},
      {"source is a folder", dir / "folder", dir / "copy"},
      {"destination folder missing", dir / "source", dir / "nowhere" / "copy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (fs::exists(c.destination.parent_path())) writeBytes(c.destination, "left over");
    const CopyResult result = copyFileWithProgress(c.source, c.destination, {});
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(fs::exists(c.destination));
  }
}

TEST(UpdateCopy, WriteFailureHalfWayDeletesThePartialCopy) {
  TempDir dir;
  writeBytes(dir / "source", std::string(300'000, 's'));
  // A child process whose files may not grow beyond 100 kB: the write fails part way.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100'000, 100'000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int reports = 0;
    const CopyResult result = copyFileWithProgress(dir / "source", dir / "copy", [&reports](int) { ++reports; });
    const bool expected = !result.ok && reports > 0 && !fs::exists(dir / "copy");
    ::_exit(expected ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

struct Folder {
  TempDir dir;
  RecordingProgramLauncher launcher;
  int ended = 0;
  std::function<void()> end() {
    return [this] { ++ended; };
  }
};

TEST(UpdateInstall, LeftOverIsReplacedStartedAndTheProgramEnds) {
  Folder f;
  writeBytes(f.dir / "TolvaneGrain_", "an older attempt, much longer than the new file");
  writeBytes(f.dir / "medium", "new");

  EXPECT_EQ(installUpdate(f.dir.path(), f.dir / "medium", f.launcher, {}, f.end()), InstallOutcome::kStarted);

  EXPECT_EQ(readBytes(f.dir / "TolvaneGrain_"), "new");
  EXPECT_TRUE((fs::status(f.dir / "TolvaneGrain_").permissions() & fs::perms::owner_exec) != fs::perms::none);
  ASSERT_EQ(f.launcher.launches().size(), 1u);
  EXPECT_EQ(f.launcher.launches()[0].programFile, f.dir / "TolvaneGrain_");
  EXPECT_EQ(f.launcher.launches()[0].workingFolder, f.dir.path());
  EXPECT_EQ(f.ended, 1);
}

TEST(UpdateInstall, FailedCopyAbandonsTheInstallation) {
  Folder f;
  writeBytes(f.dir / "TolvaneGrain_", "left over");

  EXPECT_EQ(installUpdate(f.dir.path(), f.dir / "missing", f.launcher, {}, f.end()), InstallOutcome::kCopyFailed);

  EXPECT_TRUE(f.launcher.launches().empty());
  EXPECT_EQ(f.ended, 0);
  EXPECT_FALSE(fs::exists(f.dir / "TolvaneGrain_"));
}

TEST(UpdateInstall, FailedStartKeepsTheProgramRunning) {
  Folder f;
  writeBytes(f.dir / "medium", "new");
  f.launcher.setError(ENOEXEC);
  EXPECT_EQ(installUpdate(f.dir.path(), f.dir / "medium", f.launcher, {}, f.end()), InstallOutcome::kStartFailed);
  EXPECT_EQ(f.ended, 0);
}

TEST(UpdateRollback, BackupIsCopiedAndARealChildStartsFromTheFolder) {
  Folder f;
  EXPECT_FALSE(rollbackPointPresent(f.dir.path()));
  fs::create_directory(f.dir / "TolvaneGrain.bak");  // a folder is no rollback point
  EXPECT_FALSE(rollbackPointPresent(f.dir.path()));
  fs::remove(f.dir / "TolvaneGrain.bak");
  // The old version: a script that notes where it runs, under a temporary name first.
  writeBytes(f.dir / "TolvaneGrain.bak", "#!/bin/sh\necho \"$0\" > mark\npwd >> mark\nmv mark started\n");
  writeBytes(f.dir / "TolvaneGrain_", "left over from an earlier attempt");
  ASSERT_TRUE(rollbackPointPresent(f.dir.path()));
  SpawnProgramLauncher launcher;

  const InstallOutcome outcome =
      installUpdate(f.dir.path(), rollbackFile(f.dir.path()), launcher, {}, f.end());

  ASSERT_EQ(outcome, InstallOutcome::kStarted);
  EXPECT_EQ(f.ended, 1);
  for (int i = 0; i < 1000 && !fs::exists(f.dir / "started"); ++i) ::usleep(10000);
  EXPECT_EQ(readBytes(f.dir / "started"),
            (f.dir / "TolvaneGrain_").string() + "\n" + fs::canonical(f.dir.path()).string() + "\n");
  EXPECT_EQ(readBytes(f.dir / "TolvaneGrain_"), readBytes(f.dir / "TolvaneGrain.bak"));
}

}  // namespace
}  // namespace tolvane
