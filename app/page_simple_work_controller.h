#pragma once

#include <QObject>
#include <functional>

namespace tolvane {

class Machine;
class PageSimpleWork;
struct RunControlView;

// The operator's working page (TabSimpleWork): start/stop and standby, the commands of the right-hand
// column, the run's figures, gauges and lamps, and the sensitivity or line-mode panel with the values
// of the loaded program.
//
// Threads: main thread.
class PageSimpleWorkController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<void()> enterSetupMode;  // "Настройка"
    std::function<void()> restart;         // "Сброс|программы"
    std::function<void()> powerOff;        // "ВЫКЛЮЧЕНИЕ"
    std::function<void()> runViewChanged;  // after a touch changed the run (the window applies it)
    std::function<void(const QString&)> tell;
  };

  PageSimpleWorkController(PageSimpleWork& page, Machine& machine, Actions actions,
                           QObject* parent = nullptr);

  // The page is shown: the run control's view of it, and the regulator usable only with a row active.
  void show();
  // After a program load: the sensitivity, line-mode sensitivity and background levels.
  void showProgram();
  void applyRunView(const RunControlView& view);
  // The start/stop switch and "Режим|ожидания", as a touch handles them.
  void touchPuskSwitch();
  void touchWaitModeButton();

 private:
  PageSimpleWork& page_;
  Machine& machine_;
  Actions actions_;
};

}  // namespace tolvane
