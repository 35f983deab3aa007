#include "app/unhandled_error.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/restart_guard.h"

namespace tolvane {

UnhandledErrorHandler::UnhandledErrorHandler(ProgramLauncher& launcher, Terminator terminator)
    : launcher_(launcher), terminator_(std::move(terminator)) {
  if (!terminator_) terminator_ = [](int exitCode) { ::_exit(exitCode); };
  clock_ = &RestartGuard::nowMs;
}

void UnhandledErrorHandler::setProgram(std::filesystem::path programFile,
                                       std::filesystem::path workingFolder) {
  programFile_ = std::move(programFile);
  workingFolder_ = std::move(workingFolder);
}

void UnhandledErrorHandler::clearHooks() {
  closeValves_ = {};
  stopCameraThreads_ = {};
  beforeExit_ = {};
}

void UnhandledErrorHandler::handle(std::string_view what) noexcept {
  ++handled_;
  // The hooks belong to the window; an error inside them must not stop the restart.
  const auto runHook = [](const Hook& hook) {
    if (!hook) return;
    try {
      hook();
    } catch (...) {
    }
  };
  const int whatLength = static_cast<int>(what.size());
  int exitCode = kRestartExitCode;
  try {
    const std::string variable(kRestartHistoryVariable);
    const char* inheritedText = std::getenv(variable.c_str());
    const bool hadHistory = inheritedText != nullptr;
    const std::string inherited = hadHistory ? inheritedText : "";
    const RestartDecision decision =
        RestartGuard::decide(inherited, clock_ ? clock_() : RestartGuard::nowMs());
    if (!decision.restart) {
      ++gaveUp_;
      exitCode = kGiveUpExitCode;
      std::fprintf(
          stderr,
          "TolvaneGrain: unhandled error: %.*s; the program was restarted %d times within %lld s and "
          "fails again: not restarting, the program stops\n",
          whatLength, what.data(), decision.recentRestarts,
          static_cast<long long>(RestartGuard::kWindow.count() / 1000));
    } else {
      const std::filesystem::path file = programFile_.empty() ? runningProgramFile() : programFile_;
      const std::filesystem::path folder = workingFolder_.empty() ? file.parent_path() : workingFolder_;
      // The new instance inherits this process's environment, and with it the history.
      ::setenv(variable.c_str(), decision.history.c_str(), 1);
      const LaunchResult started = launcher_.start(file, folder);
      if (!started.ok()) {
        // No restart happened: the history stays as this process got it.
        if (hadHistory) {
          ::setenv(variable.c_str(), inherited.c_str(), 1);
        } else {
          ::unsetenv(variable.c_str());
        }
        ++failedRestarts_;
        std::fprintf(stderr, "TolvaneGrain: unhandled error: %.*s; cannot restart %s: %s\n", whatLength,
                     what.data(), file.c_str(), std::strerror(started.error));
        return;
      }
      std::fprintf(stderr, "TolvaneGrain: unhandled error: %.*s; restarting\n", whatLength, what.data());
    }
  } catch (...) {
    ++failedRestarts_;
    return;
  }
  runHook(closeValves_);
  runHook(stopCameraThreads_);
  runHook(beforeExit_);
  std::fflush(stderr);
  terminator_(exitCode);
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  return deliverGuarded([&] { return QApplication::notify(receiver, event); }, handler_);
}

UnhandledErrorHandler* GuardedApplication::current() {
  auto* app = qobject_cast<GuardedApplication*>(QCoreApplication::instance());
  return app != nullptr ? &app->handler_ : nullptr;
}

}  // namespace tolvane
