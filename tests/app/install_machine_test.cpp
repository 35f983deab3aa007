// The machine installation script, run for real into temporary folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "app/machine.h"
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
// cameras: the value of TOLVANE_CAMERAS, or null to leave it unset.
ScriptRun install(const fs::path& program, const std::string& args, const char* cameras = nullptr) {
  const std::string environment = cameras != nullptr ? "TOLVANE_CAMERAS='" + std::string(cameras) + "' "
                                                     : std::string("env -u TOLVANE_CAMERAS ");
  const std::string command = environment + "TOLVANE_PROGRAM='" + program.string() +
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

std::string simulatedSettings() { return readBytes(TOLVANE_SOURCE_DIR "/machine/simulated.ini"); }

// The simulated settings with the colour program active.
std::string colourMachineSettings() {
  std::string settings = simulatedSettings();
  const std::string from = "\r\nActiveProg=0\r\n";
  const auto at = settings.find(from);
  if (at != std::string::npos) settings.replace(at, from.size(), "\r\nActiveProg=1\r\n");
  return settings;
}

TEST(InstallMachine, CameraKindGoesIntoThePlatformFileKeepingItsOtherLines) {
  struct Case {
    const char* cameras;         // TOLVANE_CAMERAS, null: unset
    const char* platformBefore;  // null: no file
    const char* platformAfter;   // null: no file
    bool newMachine;
    int status;
  };
  const Case cases[] = {
      {"colour", nullptr, "cameras = colour\n", true, 0},
      {"single-tone", nullptr, "cameras = single-tone\n", true, 0},
      {"colour", "hardware = simulated\ncameras = single-tone\n# cameras = x\npower = sysfs",
       "hardware = simulated\n# cameras = x\npower = sysfs\ncameras = colour\n", false, 0},
      {"single-tone", "  cameras=colour  # set by hand\npoweroff = record\n",
       "poweroff = record\ncameras = single-tone\n", false, 0},
      {nullptr, "cameras = colour\n", "cameras = colour\n", false, 0},  // left as it is
      {nullptr, nullptr, nullptr, true, 0},
      {"color", "cameras = single-tone\n", "cameras = single-tone\n", false, 1},  // refused, nothing done
      {"colour ", nullptr, nullptr, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.cameras != nullptr ? c.cameras : "(unset)") + " over " +
                 (c.platformBefore != nullptr ? c.platformBefore : "(no file)"));
    TempDir build;
    TempDir home;
    const fs::path machine = home / "machine";
    if (!c.newMachine) {
      fs::create_directories(machine);
      writeBytes(machine / "TolvaneGrain.ini", "[options]\r\nActiveProg=4\r\n");
    }
    if (c.platformBefore != nullptr) {
      fs::create_directories(machine);
      writeBytes(machine / "TolvaneGrain.platform", c.platformBefore);
    }
    const ScriptRun run = install(fakeProgram(build, "program"), "'" + machine.string() + "'", c.cameras);
    ASSERT_EQ(run.status, c.status);
    if (c.platformAfter != nullptr) {
      EXPECT_EQ(readBytes(machine / "TolvaneGrain.platform"), c.platformAfter);
    } else {
      EXPECT_FALSE(fs::exists(machine / "TolvaneGrain.platform"));
    }
    if (c.status != 0) {
      EXPECT_FALSE(fs::exists(machine / "TolvaneGrain"));
      continue;
    }
    const bool colour = c.cameras != nullptr && std::string(c.cameras) == "colour";
    EXPECT_EQ(readBytes(machine / "TolvaneGrain.ini"), !c.newMachine
                                                           ? std::string("[options]\r\nActiveProg=4\r\n")
                                                       : colour ? colourMachineSettings()
                                                                : simulatedSettings());
    // Nothing else is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(machine), fs::directory_iterator{}),
              c.platformAfter != nullptr ? 3 : 2);
  }
}

// What a new colour machine folder starts as: colour cameras, the colour program with its sectors and
// its own BrightMode (off).
TEST(InstallMachine, ANewColourMachineStartsInColourOnTheColourProgram) {
  TempDir build;
  TempDir home;
  const fs::path machine = home / "machine";
  ASSERT_EQ(install(fakeProgram(build, "program"), "'" + machine.string() + "'", "colour").status, 0);
  ASSERT_NE(colourMachineSettings(), simulatedSettings());

  const PlatformConfigResult config = readPlatformConfig(machine / "TolvaneGrain");
  ASSERT_TRUE(config.error.empty()) << config.error;
  std::string error;
  std::optional<MachineParts> parts = machinePartsFromConfig(config.config, machine / "TolvaneGrain", error);
  ASSERT_TRUE(parts.has_value()) << error;
  Machine m(std::move(*parts));
  m.readMachineSettingsAndLoadActive();
  EXPECT_FALSE(m.singleToneCamera());
  EXPECT_EQ(m.machine().ActiveProg, 1);
  EXPECT_FALSE(m.sorter().BrightMode);
  EXPECT_TRUE(m.sectorReport().empty()) << m.sectorReport();
  for (int camera = 0; camera < 2; ++camera) {
    const SectorTables& tables = m.engine().sectorTables[static_cast<std::size_t>(camera)];
    EXPECT_EQ(tables.background.size(), 1u);
    EXPECT_EQ(tables.red.size(), 1u);
    EXPECT_EQ(tables.blue.size(), 1u);
  }
}

}  // namespace
}  // namespace tolvane
