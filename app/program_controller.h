#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QLineEdit;

namespace tolvane {

class Machine;
class PictureList;
class TKeyForm;
class WindowStateStore;

// The ten sorting programs on the program bar: switching with its save first, the save, the close
// request, the cancel, and the nine program names edited on the on-screen keyboard.
//
// Threads: main thread.
class ProgramController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    // Shows the loaded program on every page, in the order of a load.
    std::function<void()> showProgram;
    // Leaves set-up mode for the working page.
    std::function<void()> leaveSetupMode;
    // Starts the program again without saving.
    std::function<void()> restart;
    std::function<void(const QString&)> tell;
  };

  ProgramController(Machine& machine, PictureList& programList, const std::array<QLineEdit*, 9>& nameFields,
                    Actions actions, QObject* parent = nullptr);
  ~ProgramController() override;

  // The window-state store whose values the save writes (set once it exists).
  void setStore(WindowStateStore* store) { store_ = store; }
  // The on-screen keyboard the name fields open; without one the controller makes its own.
  void setKeyboard(TKeyForm* keyboard);
  TKeyForm& keyboard();

  // A touch on the program list. Refused while sorting; a save that fails says why and keeps the
  // active program.
  void touchProgram(int index);
  // "СОХРАНИТЬ|НАСТРОЙКИ". With interactive false a failure is not shown (automatic power-off).
  bool saveSettings(bool interactive = true);
  // A close request: saves the active program and reads it back, without messages.
  void closeRequest();
  // "ОТМЕНИТЬ|НАСТРОЙКИ": starts the program again, saving nothing.
  void cancelSettings();
  // The name fields, shown over the program bar in set-up mode.
  void setNamesVisible(bool visible);
  // A touch on name field n opens the keyboard with its text; the confirmed text goes back there.
  void editName(int field);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void nameConfirmed(int field, const QString& text);

  Machine& machine_;
  PictureList& programList_;
  std::array<QLineEdit*, 9> nameFields_;
  Actions actions_;
  WindowStateStore* store_ = nullptr;
  TKeyForm* keyboard_ = nullptr;
  std::unique_ptr<TKeyForm> ownKeyboard_;
};

}  // namespace tolvane
