#pragma once

#include <QApplication>
#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/program_launcher.h"

namespace tolvane {

// What happens when an exception reaches the event loop: the program file is started again, every
// valve is closed and the outputs blocked, the camera threads are told to stop, and this process ends
// at once. The closing sequence does not run; only the beforeExit hook (the window-state store's
// destruction write) does. The new instance waits its 3 s before it touches cameras and boards, so
// the valves are closed here rather than left to it.
//
// A failure that repeats at every start must not restart forever: the restarts are counted across
// processes (RestartGuard, through the environment the new instance inherits), and after
// RestartGuard::kMaxRestarts restarts within RestartGuard::kWindow the next error ends the program
// with kGiveUpExitCode instead, with the valves closed the same way.
//
// When the new instance cannot be started, this one does not end: a machine with a running program
// is better than one with none. The error is then dropped, nothing is touched, and the event loop
// goes on.
class UnhandledErrorHandler {
 public:
  using Hook = std::function<void()>;
  // Ends the process at once with the given exit code; _exit by default.
  using Terminator = std::function<void(int exitCode)>;
  // The monotonic clock in milliseconds, as RestartGuard counts it.
  using Clock = std::function<std::int64_t()>;

  static constexpr int kRestartExitCode = 3;
  static constexpr int kGiveUpExitCode = 5;

  explicit UnhandledErrorHandler(ProgramLauncher& launcher = systemProgramLauncher(),
                                 Terminator terminator = {});

  // The hooks run in this order before the process ends; an exception from one does not stop the
  // others. They are not run when the program goes on after a failed restart.
  // Closes every valve and blocks the outputs; the main window provides it.
  void setCloseValves(Hook hook) { closeValves_ = std::move(hook); }
  // Sets StopRequested of both camera threads; the main window provides it.
  void setStopCameraThreads(Hook hook) { stopCameraThreads_ = std::move(hook); }
  // Runs just before the process ends.
  void setBeforeExit(Hook hook) { beforeExit_ = std::move(hook); }
  // Drops all three hooks: what they refer to is gone (a window whose creation failed).
  void clearHooks();
  // The program started again; the running program file and its folder unless set.
  void setProgram(std::filesystem::path programFile, std::filesystem::path workingFolder);
  // RestartGuard::nowMs unless set (tests).
  void setClock(Clock clock) { clock_ = std::move(clock); }

  // Handles one exception that reached the event loop (what: its message, for the error stream).
  // Returns only when the new instance could not be started, or when the terminator returns (tests).
  // Sets the restart history variable of this process's environment for the new instance.
  void handle(std::string_view what) noexcept;

  // How many exceptions were handled, how many of them could not restart the program, and how many
  // ended it without a restart because of the restart guard.
  int handledCount() const { return handled_; }
  int failedRestarts() const { return failedRestarts_; }
  int gaveUp() const { return gaveUp_; }

 private:
  ProgramLauncher& launcher_;
  Terminator terminator_;
  Clock clock_;
  Hook closeValves_;
  Hook stopCameraThreads_;
  Hook beforeExit_;
  std::filesystem::path programFile_;
  std::filesystem::path workingFolder_;
  std::atomic<int> handled_{0};
  std::atomic<int> failedRestarts_{0};
  std::atomic<int> gaveUp_{0};
};

// Delivers one event through deliver() and hands any exception that escapes it to handler. The
// event then counts as handled (true), as after the restart there is nothing left to deliver it to.
template <class Deliver>
bool deliverGuarded(Deliver&& deliver, UnhandledErrorHandler& handler) {
  try {
    return deliver();
  } catch (const std::exception& error) {
    handler.handle(error.what());
  } catch (...) {
    handler.handle("unknown exception");
  }
  return true;
}

// The application object of the program: every event is delivered under the unhandled-error handler.
class GuardedApplication : public QApplication {
  Q_OBJECT

 public:
  GuardedApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  UnhandledErrorHandler& errorHandler() { return handler_; }

  // The handler of the running GuardedApplication, or nullptr when the application is another kind
  // (tests create a plain QApplication).
  static UnhandledErrorHandler* current();

 private:
  UnhandledErrorHandler handler_;
};

}  // namespace tolvane
