#include "app/unhandled_error.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace tolvane {

UnhandledErrorHandler::UnhandledErrorHandler(ProgramLauncher& launcher, Terminator terminator)
    : launcher_(launcher), terminator_(std::move(terminator)) {
  if (!terminator_) terminator_ = [](int exitCode) { ::_exit(exitCode); };
}

void UnhandledErrorHandler::setProgram(std::filesystem::path programFile,
                                       std::filesystem::path workingFolder) {
  programFile_ = std::move(programFile);
  workingFolder_ = std::move(workingFolder);
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
  try {
    const std::filesystem::path file = programFile_.empty() ? runningProgramFile() : programFile_;
    const std::filesystem::path folder = workingFolder_.empty() ? file.parent_path() : workingFolder_;
    const LaunchResult started = launcher_.start(file, folder);
    if (!started.ok()) {
      ++failedRestarts_;
      std::fprintf(stderr, "TolvaneGrain: unhandled error: %.*s; cannot restart %s: %s\n",
                   static_cast<int>(what.size()), what.data(), file.c_str(), std::strerror(started.error));
      return;
    }
    std::fprintf(stderr, "TolvaneGrain: unhandled error: %.*s; restarting\n", static_cast<int>(what.size()),
                 what.data());
  } catch (...) {
    ++failedRestarts_;
    return;
  }
  runHook(stopCameraThreads_);
  runHook(beforeExit_);
  std::fflush(stderr);
  terminator_(kRestartExitCode);
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
