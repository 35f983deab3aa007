// The machine installation script, run for real into temporary folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

struct ScriptRun {
  int status;
  std::string out;
};

// Runs the script with the given program file and arguments; stdout is captured, stderr dropped.
ScriptRun install(const fs::path& program, const std::string& args) {
  const std::string command = "TOLVANE_PROGRAM='" + program.string() +
                              "' '" TOLVANE_SOURCE_DIR "/scripts/install-machine.sh' " + args +
                              " 2>/dev/null";
  ScriptRun run{-1, {}};
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

fs::path fakeProgram(const TempDir& dir, const std::string& contents) {
  const fs::path program = dir / "built";
  writeBytes(program, contents);
  fs::permissions(program, fs::perms::owner_all);
  return program;
}

TEST(InstallMachine, NewMachineGetsTheProgramAndTheSimulatedSettings) {
  TempDir build;
  TempDir home;
  const fs::path program = fakeProgram(build, "program v1");
  const fs::path machine = home / "machine" / "one";  // created with its parents

  const ScriptRun run = install(program, "'" + machine.string() + "'");

  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, fs::canonical(machine).string() + "\n");
  EXPECT_EQ(readBytes(machine / "TolvaneGrain"), "program v1");
  EXPECT_NE(fs::status(machine / "TolvaneGrain").permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.ini"), readBytes(TOLVANE_SOURCE_DIR "/machine/simulated.ini"));
  // Nothing else is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(machine), fs::directory_iterator{}), 2);
}

TEST(InstallMachine, AMachinesOwnSettingsAreNeverOverwritten) {
  TempDir build;
  TempDir machine;
  writeBytes(machine / "TolvaneGrain.ini", "[options]\r\nActiveProg=4\r\n");
  writeBytes(machine / "TolvaneGrain.stat", "side file");
  writeBytes(machine / "TolvaneGrain", "program v1");

  const ScriptRun run = install(fakeProgram(build, "program v2"), "'" + machine.path().string() + "'");

  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(readBytes(machine / "TolvaneGrain"), "program v2");
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.ini"), "[options]\r\nActiveProg=4\r\n");
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.stat"), "side file");
}

TEST(InstallMachine, RefusesWithoutABuiltProgramOrWithAFileForAFolder) {
  TempDir dir;
  const ScriptRun missing = install(dir / "not-built", "'" + (dir / "m").string() + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_FALSE(fs::exists(dir / "m"));

  writeBytes(dir / "plain-file", "x");
  const ScriptRun notFolder = install(fakeProgram(dir, "p"), "'" + (dir / "plain-file").string() + "'");
  EXPECT_EQ(notFolder.status, 1);
  EXPECT_EQ(readBytes(dir / "plain-file"), "x");
}

}  // namespace
}  // namespace tolvane
