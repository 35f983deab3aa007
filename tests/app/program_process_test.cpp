// The real program binary, installed into a temporary machine folder and run without a display:
// stopped by SIGTERM as a service manager stops it, and started twice on one folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"
#include "settings/ini_file.h"
#include "tests/settings/settings_test_util.h"

extern char** environ;

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

constexpr auto kStartTimeout = 60s;
constexpr auto kEndTimeout = 60s;

// Installs the built program with the machine installation script, then leaves only the machine
// options in the settings: "ActiveProg" and the program sections appear once the program writes them.
fs::path installMachine(const TempDir& dir) {
  const fs::path folder = dir / "machine";
  const std::string command = "TOLVANE_PROGRAM='" TOLVANE_BIN_DIR "/TolvaneGrain' '" TOLVANE_SOURCE_DIR
                              "/scripts/install-machine.sh' '" +
                              folder.string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::string settings = readBytes(folder / "TolvaneGrain.ini");
  settings = settings.substr(0, settings.find("[program"));
  const std::size_t active = settings.find("ActiveProg=");
  if (active != std::string::npos) settings.erase(active, settings.find("\r\n", active) + 2 - active);
  writeBytes(folder / "TolvaneGrain.ini", settings);
  return folder;
}

// One run of the program that this test started, with its standard output and error in a file. A
// run still going when the test ends is killed.
class ProgramRun {
 public:
  ProgramRun(const fs::path& folder, const fs::path& output) : output_(output) {
    // No display, simulated hardware, no inherited restart history.
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry(*e);
      const std::string_view name = entry.substr(0, entry.find('='));
      if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" ||
          name == "TOLVANE_HARDWARE" || name == "TOLVANE_RESTARTS") {
        continue;
      }
      env.emplace_back(entry);
    }
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const std::string program = (folder / "TolvaneGrain").string();
    std::string argv0 = program;
    char* argv[] = {argv0.data(), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ProgramRun() {
    if (running()) {
      ::kill(pid_, SIGKILL);
      wait(10s);
    }
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  bool started() const { return pid_ > 0; }
  bool running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return !status_;
  }
  void signal(int signalNumber) const { ::kill(pid_, signalNumber); }

  // The wait status once it has ended, or nothing after the timeout.
  std::optional<int> wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(20ms);
    return status_;
  }
  std::string output() const { return readBytes(output_); }

 private:
  pid_t pid_ = 0;
  fs::path output_;
  std::optional<int> status_;
};

int exitCodeOf(std::optional<int> status) {
  if (!status) return -1000;  // still running
  if (WIFSIGNALED(*status)) return -WTERMSIG(*status);
  return WEXITSTATUS(*status);
}

bool settingsHaveActiveProg(const fs::path& folder) {
  return IniDocument::load(folder / "TolvaneGrain.ini").hasKey("options", "ActiveProg");
}

// Up: past its 3-s wait, holding the folder, and through the start-up that writes "ActiveProg".
bool waitUntilUp(ProgramRun& run, const fs::path& folder) {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!run.running()) return false;
    if (settingsHaveActiveProg(folder)) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

class ProgramProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(TOLVANE_BIN_DIR "/TolvaneGrain")) << "build the TolvaneGrain target first";
    folder_ = installMachine(dir_);
    ASSERT_FALSE(folder_.empty());
    ASSERT_FALSE(settingsHaveActiveProg(folder_));
  }

  TempDir dir_;
  fs::path folder_;
};

TEST_F(ProgramProcess, SigtermClosesLikeTheWindowAndEndsWithZero) {
  ProgramRun run(folder_, dir_ / "out.txt");
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(waitUntilUp(run, folder_)) << run.output();
  const IniDocument before = IniDocument::load(folder_ / "TolvaneGrain.ini");
  const int active = before.readInt("options", "ActiveProg", -1);
  const std::string section = "program" + std::to_string(active);
  ASSERT_FALSE(before.hasSection(section));  // only the close writes it

  run.signal(SIGTERM);
  run.signal(SIGTERM);  // a second stop request while the first is handled
  EXPECT_EQ(exitCodeOf(run.wait(kEndTimeout)), 0) << run.output();

  const IniDocument after = IniDocument::load(folder_ / "TolvaneGrain.ini");
  EXPECT_TRUE(after.hasSection(section)) << section;
  EXPECT_EQ(fs::file_size(folder_ / "TolvaneGrain.stat"), 297840u);
  EXPECT_EQ(fs::file_size(folder_ / "TolvaneGrain.shots"), 256u);
  EXPECT_NE(run.output().find("SIGTERM: closing"), std::string::npos) << run.output();
}

TEST_F(ProgramProcess, SigintClosesTheSameWay) {
  ProgramRun run(folder_, dir_ / "out.txt");
  ASSERT_TRUE(run.started());
  ASSERT_TRUE(waitUntilUp(run, folder_)) << run.output();
  run.signal(SIGINT);
  EXPECT_EQ(exitCodeOf(run.wait(kEndTimeout)), 0) << run.output();
  EXPECT_TRUE(IniDocument::load(folder_ / "TolvaneGrain.ini").hasSection("program0"));
}

TEST_F(ProgramProcess, ASecondStartInTheSameFolderEndsAndTheFirstKeepsRunning) {
  ProgramRun first(folder_, dir_ / "first.txt");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(waitUntilUp(first, folder_)) << first.output();

  ProgramRun second(folder_, dir_ / "second.txt");
  ASSERT_TRUE(second.started());
  EXPECT_EQ(exitCodeOf(second.wait(kEndTimeout)), kAlreadyRunningExitCode) << second.output();
  EXPECT_NE(second.output().find("already running in " + fs::canonical(folder_).string()), std::string::npos)
      << second.output();

  EXPECT_TRUE(first.running());
  EXPECT_EQ(InstanceLock::tryAcquire(folder_).state(), InstanceLockState::kHeldElsewhere);
  first.signal(SIGTERM);
  EXPECT_EQ(exitCodeOf(first.wait(kEndTimeout)), 0) << first.output();
}

// A restart or update hand-over: the new instance is started while the old one still runs and takes
// the folder once the old one has gone, even when that is after its own 3-s wait.
TEST_F(ProgramProcess, TheNextInstanceTakesTheFolderWhenTheRunningOneEndsWhileItRetries) {
  ProgramRun first(folder_, dir_ / "first.txt");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(waitUntilUp(first, folder_)) << first.output();

  ProgramRun next(folder_, dir_ / "next.txt");
  ASSERT_TRUE(next.started());
  std::this_thread::sleep_for(4s);  // past its wait: it is retrying the lock now
  first.signal(SIGTERM);
  EXPECT_EQ(exitCodeOf(first.wait(kEndTimeout)), 0) << first.output();

  // With the first gone, whoever holds the folder is the next instance.
  bool taken = false;
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!taken && next.running() && std::chrono::steady_clock::now() < deadline) {
    taken = InstanceLock::tryAcquire(folder_).state() == InstanceLockState::kHeldElsewhere;
    if (!taken) std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(taken) << next.output();
  EXPECT_TRUE(next.running()) << next.output();
  next.signal(SIGTERM);
  EXPECT_EQ(exitCodeOf(next.wait(kEndTimeout)), 0) << next.output();
}

}  // namespace
}  // namespace tolvane
