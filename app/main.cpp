// Program entry: the start-up wait, the end of a self-update, the one-instance lock, the four windows
// and the event loop. The program reads no arguments of its own; the toolkit takes its usual ones.
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "app/an_form.h"
#include "app/close_request_signals.h"
#include "app/key_form.h"
#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "app/type_set_form.h"
#include "app/unhandled_error.h"
#include "pictures/preset_pictures.h"
#include "platform/instance_lock.h"
#include "platform/program_launcher.h"
#include "service/self_update_completion.h"
#include "service/startup_wait.h"

namespace {

using namespace tolvane;

// The instance that is handing over (restart, update) may still be closing its files after our 3 s.
constexpr std::chrono::milliseconds kInstanceLockWait{5000};
// An unattended machine must not keep a second instance waiting for a touch that never comes.
constexpr int kAlreadyRunningBoxMs = 60000;

// The operator only sees the screen: the refusal is shown there too, unless there is no screen.
void tellAlreadyRunning(const std::filesystem::path& folder) {
  if (QGuiApplication::platformName() == QStringLiteral("offscreen")) return;
  QMessageBox box(QMessageBox::Warning, QStringLiteral("MK Grain"),
                  QStringLiteral("Программа уже запущена в этой папке:\n%1\n\nВторой экземпляр не запущен.")
                      .arg(QString::fromStdString(folder.string())),
                  QMessageBox::Ok);
  QTimer::singleShot(kAlreadyRunningBoxMs, &box, &QMessageBox::accept);
  box.exec();
}

const char* signalName(int signalNumber) { return signalNumber == SIGINT ? "SIGINT" : "SIGTERM"; }

// A failure while the windows are built restarts the program like any other unhandled error, within
// the restart guard. The windows are gone by now, and with them what the hooks refer to.
int startUpFailed(GuardedApplication& app, CloseRequestSignals* closeRequests, const char* what) {
  if (closeRequests != nullptr) closeRequests->setCallback({});
  app.errorHandler().clearHooks();
  app.errorHandler().handle(what);
  // Only reached when no new instance could be started.
  std::fprintf(stderr, "TolvaneGrain: start-up failed: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  GuardedApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("MK Grain"));
  QApplication::setApplicationDisplayName(QStringLiteral("MK Grain"));

  // An instance that is restarting or handing over an update must be gone before this one touches
  // the cameras and boards.
  waitForPreviousInstance(qtMessagePump());

  const SelfUpdateReport update = completeSelfUpdate(runningProgramFile(), systemProgramLauncher());
  if (update.outcome == SelfUpdateOutcome::kEndNow) return 0;
  if (update.outcome == SelfUpdateOutcome::kContinueHere) {
    std::fprintf(stderr,
                 "TolvaneGrain: no program file could be started after the update (%s); running this copy\n",
                 std::strerror(update.startError));
  }

  // Two instances on one folder would both drive the valves.
  const std::filesystem::path folder = programFolder();
  const InstanceLock lock = InstanceLock::acquire(folder, kInstanceLockWait);
  if (lock.state() == InstanceLockState::kHeldElsewhere) {
    std::fprintf(stderr, "TolvaneGrain: the program is already running in %s; this start ends\n",
                 folder.c_str());
    tellAlreadyRunning(folder);
    return kAlreadyRunningExitCode;
  }
  if (lock.state() == InstanceLockState::kUnavailable) {
    // Such a folder cannot hold the settings either; a sorting machine beats a refused start.
    std::fprintf(stderr, "TolvaneGrain: cannot lock %s (%s); running without the one-instance guard\n",
                 lock.file().c_str(), std::strerror(lock.error()));
  }

  // Installed before the windows are built: a stop request during their creation waits in the pipe
  // until the event loop runs and then closes the window like any other.
  std::unique_ptr<CloseRequestSignals> closeRequests;
  try {
    closeRequests = std::make_unique<CloseRequestSignals>();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TolvaneGrain: %s; SIGTERM and SIGINT end the program without saving\n",
                 error.what());
  }

  try {
    // The main window's creation also installs its hooks into the unhandled-error handler.
    TmForm mForm;
    TAnForm anForm;
    TTypeSetForm typeSetForm;
    TKeyForm keyForm;
    mForm.setKeyboard(&keyForm);
    mForm.setPresetWindow(&typeSetForm, presetPictureBytes);
    if (closeRequests) {
      closeRequests->setCallback([&mForm](int signalNumber) {
        std::fprintf(stderr, "TolvaneGrain: %s: closing\n", signalName(signalNumber));
        // The window's close saves and closes the valves; the loop then ends with 0 even when the
        // close comes from inside a dialog's loop or another window is still shown.
        mForm.close();
        QCoreApplication::exit(0);
      });
    }
    mForm.show();
    return app.exec();
  } catch (const std::exception& error) {
    return startUpFailed(app, closeRequests.get(), error.what());
  } catch (...) {
    return startUpFailed(app, closeRequests.get(), "unknown exception");
  }
}
