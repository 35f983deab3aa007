#include "platform/program_launcher.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <string_view>
#include <system_error>

extern char** environ;

namespace tolvane {

std::filesystem::path runningProgramFile() {
  std::error_code error;
  std::filesystem::path file = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  // The kernel marks a deleted file; the path it had is still the one to start again.
  constexpr std::string_view kDeleted = " (deleted)";
  std::string text = file.string();
  if (text.size() > kDeleted.size() && text.ends_with(kDeleted) && !std::filesystem::exists(file, error)) {
    text.resize(text.size() - kDeleted.size());
    file = text;
  }
  return file;
}

std::filesystem::path programFolder() {
  const std::filesystem::path file = runningProgramFile();
  return file.empty() ? std::filesystem::path{} : file.parent_path();
}

namespace {

// posix_spawn objects freed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    actionsError_ = posix_spawn_file_actions_init(&actions_);
    attrError_ = posix_spawnattr_init(&attr_);
  }
  ~SpawnSetup() {
    if (actionsError_ == 0) posix_spawn_file_actions_destroy(&actions_);
    if (attrError_ == 0) posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  int prepare(const std::filesystem::path& workingFolder) {
    if (actionsError_ != 0) return actionsError_;
    if (attrError_ != 0) return attrError_;
    if (int e = posix_spawn_file_actions_addchdir_np(&actions_, workingFolder.c_str()); e != 0) return e;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    if (int e = posix_spawnattr_setsigmask(&attr_, &none); e != 0) return e;
    if (int e = posix_spawnattr_setsigdefault(&attr_, &all); e != 0) return e;
    return posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attr_{};
  int actionsError_ = 0;
  int attrError_ = 0;
};

}  // namespace

LaunchResult SpawnProgramLauncher::start(const std::filesystem::path& programFile,
                                         const std::filesystem::path& workingFolder) {
  std::lock_guard lock(mutex_);
  reapEnded();
  if (programFile.empty()) return {ENOENT, 0};
  // A relative name would be looked up from the child's new folder; name the file absolutely.
  std::error_code error;
  const std::filesystem::path file = std::filesystem::absolute(programFile, error);
  if (error) return {error.value(), 0};
  const std::filesystem::path folder = workingFolder.empty() ? file.parent_path() : workingFolder;

  SpawnSetup setup;
  if (int e = setup.prepare(folder); e != 0) return {e, 0};
  std::string argv0 = file.string();
  char* argv[] = {argv0.data(), nullptr};
  pid_t pid = 0;
  // glibc reports a failed chdir or exec here, from the child, before posix_spawn returns.
  if (int e = posix_spawn(&pid, file.c_str(), setup.actions(), setup.attr(), argv, environ); e != 0) {
    return {e, 0};
  }
  children_.push_back(pid);
  return {0, pid};
}

void SpawnProgramLauncher::reapEnded() {
  std::erase_if(children_, [](pid_t pid) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    // Ended (reaped now) or no longer our child (someone else reaped it): forget it.
    return r == pid || (r < 0 && errno == ECHILD);
  });
}

LaunchResult RecordingProgramLauncher::start(const std::filesystem::path& programFile,
                                             const std::filesystem::path& workingFolder) {
  std::lock_guard lock(mutex_);
  launches_.push_back({programFile, workingFolder});
  if (error_ != 0) return {error_, 0};
  return {0, static_cast<pid_t>(100000 + launches_.size())};
}

std::vector<RecordingProgramLauncher::Launch> RecordingProgramLauncher::launches() const {
  std::lock_guard lock(mutex_);
  return launches_;
}

void RecordingProgramLauncher::setError(int error) {
  std::lock_guard lock(mutex_);
  error_ = error;
}

ProgramLauncher& systemProgramLauncher() {
  static SpawnProgramLauncher launcher;
  return launcher;
}

}  // namespace tolvane
