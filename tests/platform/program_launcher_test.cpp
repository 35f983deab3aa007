#include "platform/program_launcher.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// A script that writes its working folder, its argument count and its signal state to "marker".
fs::path writeMarkerScript(const fs::path& folder, const std::string& name = "prog") {
  const fs::path script = folder / name;
  writeBytes(script,
             "#!/bin/sh\n"
             "{ pwd; echo \"args=$#\"; grep -E '^Sig(Blk|Ign):' /proc/self/status; } > marker.tmp\n"
             "mv marker.tmp marker\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

// Waits for the child the test started, so its marker is complete.
int reap(pid_t pid) {
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string fieldOf(const std::string& text, const std::string& name) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name, 0) == 0) return line.substr(name.size());
  }
  return "missing";
}

TEST(RunningProgram, IsThisTestExecutable) {
  const fs::path file = runningProgramFile();
  ASSERT_FALSE(file.empty());
  EXPECT_TRUE(file.is_absolute());
  EXPECT_EQ(file.filename(), "tests_platform");
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_EQ(programFolder(), file.parent_path());
}

TEST(SpawnProgramLauncher, StartsWithoutArgumentsInTheWorkingFolder) {
  TempDir programDir;
  TempDir workDir;
  const fs::path script = writeMarkerScript(programDir.path());
  SpawnProgramLauncher launcher;

  const LaunchResult result = launcher.start(script, workDir.path());

  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_GT(result.pid, 0);
  EXPECT_EQ(reap(result.pid), 0);
  const std::string marker = readBytes(workDir / "marker");
  EXPECT_EQ(marker.substr(0, marker.find('\n')), fs::canonical(workDir.path()).string());
  EXPECT_EQ(fieldOf(marker, "args="), "0");
  EXPECT_FALSE(fs::exists(programDir / "marker"));
}

TEST(SpawnProgramLauncher, ChildStartsWithDefaultSignalsAndNoneBlocked) {
  // The toolkit blocks signals in its threads and a shell may ignore some; a restarted program must
  // not inherit either, or it could not be stopped normally.
  TempDir dir;
  const fs::path script = writeMarkerScript(dir.path());
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  sigaddset(&block, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &old), 0);
  struct sigaction ignore {
  }, oldAction{};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR2, &ignore, &oldAction), 0);

  SpawnProgramLauncher launcher;
  const LaunchResult result = launcher.start(script, dir.path());

  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  sigaction(SIGUSR2, &oldAction, nullptr);
  ASSERT_TRUE(result.ok()) << result.error;
  reap(result.pid);
  const std::string marker = readBytes(dir / "marker");
  // Signals 1 ... 31; the C library keeps its own real-time signals to itself.
  const auto standardSignals = [&](const std::string& field) {
    return std::stoull(fieldOf(marker, field), nullptr, 16) & 0x7FFFFFFFull;
  };
  EXPECT_EQ(standardSignals("SigBlk:\t"), 0u);
  EXPECT_EQ(standardSignals("SigIgn:\t"), 0u);
}

TEST(SpawnProgramLauncher, ReportsWhatCannotBeStarted) {
  TempDir dir;
  SpawnProgramLauncher launcher;

  EXPECT_EQ(launcher.start(dir / "missing", dir.path()).error, ENOENT);
  EXPECT_EQ(launcher.start({}, dir.path()).error, ENOENT);

  writeBytes(dir / "plain", "#!/bin/sh\ntouch marker\n");
  fs::permissions(dir / "plain", fs::perms::owner_read | fs::perms::owner_write);
  const LaunchResult notExecutable = launcher.start(dir / "plain", dir.path());
  EXPECT_EQ(notExecutable.error, EACCES);
  EXPECT_EQ(notExecutable.pid, 0);

  const fs::path script = writeMarkerScript(dir.path());
  EXPECT_EQ(launcher.start(script, dir / "no-such-folder").error, ENOENT);
  EXPECT_EQ(launcher.start(dir.path(), dir.path()).error, EACCES);  // a folder is no program
  EXPECT_FALSE(fs::exists(dir / "marker"));
}

TEST(SpawnProgramLauncher, RelativeProgramNameIsTakenFromTheCurrentFolder) {
  TempDir programDir;
  TempDir workDir;
  writeMarkerScript(programDir.path(), "relprog");
  const fs::path before = fs::current_path();
  fs::current_path(programDir.path());
  SpawnProgramLauncher launcher;
  const LaunchResult result = launcher.start("relprog", workDir.path());
  fs::current_path(before);

  ASSERT_TRUE(result.ok()) << result.error;
  reap(result.pid);
  EXPECT_TRUE(fs::exists(workDir / "marker"));
}

TEST(SpawnProgramLauncher, EndedChildrenAreReapedAtTheNextStart) {
  TempDir dir;
  const fs::path script = writeMarkerScript(dir.path());
  SpawnProgramLauncher launcher;
  const LaunchResult first = launcher.start(script, dir.path());
  ASSERT_TRUE(first.ok());
  // Wait until the first child has ended and is a zombie, without reaping it.
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(first.pid), &info, WEXITED | WNOWAIT), 0);

  const LaunchResult second = launcher.start(script, dir.path());
  ASSERT_TRUE(second.ok());
  errno = 0;
  EXPECT_EQ(waitpid(first.pid, nullptr, WNOHANG), -1);  // already reaped by the launcher
  EXPECT_EQ(errno, ECHILD);
  reap(second.pid);
}

TEST(RecordingProgramLauncher, RecordsAndStartsNothing) {
  RecordingProgramLauncher launcher;
  const LaunchResult a = launcher.start("/nowhere/TolvaneGrain", "/nowhere");
  EXPECT_TRUE(a.ok());
  EXPECT_GT(a.pid, 0);
  launcher.setError(EPERM);
  const LaunchResult b = launcher.start("/x/y", "/x");
  EXPECT_EQ(b.error, EPERM);
  EXPECT_EQ(b.pid, 0);
  const auto launches = launcher.launches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].programFile, "/nowhere/TolvaneGrain");
  EXPECT_EQ(launches[0].workingFolder, "/nowhere");
  EXPECT_EQ(launches[1].programFile, "/x/y");
}

}  // namespace
}  // namespace tolvane
