// Program entry: the start-up wait, the end of a self-update, the four windows and the event loop.
// The program reads no arguments of its own; the toolkit takes its usual ones.
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/an_form.h"
#include "app/key_form.h"
#include "app/main_window.h"
#include "app/qt_message_pump.h"
#include "app/type_set_form.h"
#include "app/unhandled_error.h"
#include "platform/program_launcher.h"
#include "service/self_update_completion.h"
#include "service/startup_wait.h"

int main(int argc, char** argv) {
  using namespace tolvane;

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

  try {
    // The main window's creation also installs its hooks into the unhandled-error handler.
    TmForm mForm;
    TAnForm anForm;
    TTypeSetForm typeSetForm;
    TKeyForm keyForm;
    mForm.show();
    return app.exec();
  } catch (const std::exception& error) {
    // Before the event loop runs there is nothing to restart into that would not fail the same way.
    std::fprintf(stderr, "TolvaneGrain: start-up failed: %s\n", error.what());
    return 1;
  }
}
