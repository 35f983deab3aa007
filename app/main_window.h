#pragma once

#include <QWidget>
#include <memory>
#include <string>

namespace tolvane {

class Machine;

// The operator's main window: a 1024x768 frameless full-screen window holding every page.
//
// The window runs the start-up sequence in its constructor (settings, cameras, boards, side files)
// and the closing sequence when it closes. Show it with show(); it sizes itself to the screen.
class TmForm : public QWidget {
  Q_OBJECT

 public:
  // Builds the machine from the platform configuration beside the program file (simulated
  // hardware unless configured otherwise). When the configuration cannot be served the operator is
  // told why and the application quits as soon as its event loop runs.
  explicit TmForm(QWidget* parent = nullptr);
  // With a machine prepared by the caller (tests, tools).
  explicit TmForm(std::unique_ptr<Machine> machine, QWidget* parent = nullptr);
  ~TmForm() override;

  // Asks both camera threads to stop; for the unhandled-error handler before it restarts the program.
  void stopCameraThreads();
};

}  // namespace tolvane
