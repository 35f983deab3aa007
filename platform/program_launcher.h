#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <vector>

// Starting program files: the restart, the self-update hand-over and helper tools. The program never
// waits for what it starts.
namespace tolvane {

// The running program file, from /proc/self/exe. A file that was renamed while running is found under
// its new name; one that was deleted is named by the path it had (without the kernel's " (deleted)").
// Empty when the link cannot be read.
std::filesystem::path runningProgramFile();

// The folder of the running program file, where the settings and side files lie. Empty when the
// program file is not known.
std::filesystem::path programFolder();

// What a start gave: error 0 and the new process's id, or the errno of the failure and pid 0.
struct LaunchResult {
  int error = 0;
  pid_t pid = 0;

  bool ok() const { return error == 0; }
};

class ProgramLauncher {
 public:
  virtual ~ProgramLauncher() = default;

  // Starts programFile with no arguments and workingFolder as its current folder, and returns at once.
  // A file that is missing or not executable, or a folder that does not exist, gives an error.
  virtual LaunchResult start(const std::filesystem::path& programFile,
                             const std::filesystem::path& workingFolder) = 0;
};

// Starts processes with posix_spawn. The new process gets the environment of this one, the default
// signal dispositions and an empty signal mask (the toolkit blocks signals in its threads). Children
// that have ended are reaped (without waiting) at the next start, so a long-running program does not
// collect zombies; a program that ends right after a start leaves its child to the system.
class SpawnProgramLauncher : public ProgramLauncher {
 public:
  LaunchResult start(const std::filesystem::path& programFile,
                     const std::filesystem::path& workingFolder) override;

 private:
  void reapEnded();

  std::mutex mutex_;
  std::vector<pid_t> children_;
};

// For tests: records every start and starts nothing. Thread-safe.
class RecordingProgramLauncher : public ProgramLauncher {
 public:
  struct Launch {
    std::filesystem::path programFile;
    std::filesystem::path workingFolder;
  };

  LaunchResult start(const std::filesystem::path& programFile,
                     const std::filesystem::path& workingFolder) override;

  std::vector<Launch> launches() const;
  // The error that the next starts report (0: success, with a made-up pid).
  void setError(int error);

 private:
  mutable std::mutex mutex_;
  std::vector<Launch> launches_;
  int error_ = 0;
};

// The launcher the program uses (a SpawnProgramLauncher that lives as long as the process).
ProgramLauncher& systemProgramLauncher();

}  // namespace tolvane
