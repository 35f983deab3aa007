#pragma once

#include <QObject>
#include <functional>

namespace tolvane {

class Machine;
class PageSettings;

// The colour page (TabSettings): the sector list of the edited camera, the report of sector lines
// that were left out, the background readout switch and the copy to the other camera.
//
// Threads: main thread. Sector lists change under the engine lock.
class PageSettingsController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<void(bool shown)> showBackgroundReadout;  // "фон|>>": the readout over the program bar
    std::function<bool(const QString& title, const QString& question)> ask;
  };

  PageSettingsController(PageSettings& page, Machine& machine, Actions actions, QObject* parent = nullptr);

  // 0 while "Камера 1" is on, else 1.
  int editedCamera() const;
  // After a program load: the edited camera's sector lines and the report of lines left out.
  void showProgram();
  // "Скопировать в другую камеру": asks, then replaces the other camera's lines and black level.
  void copyToOtherCamera();

 private:
  void showSectorList();

  PageSettings& page_;
  Machine& machine_;
  Actions actions_;
};

}  // namespace tolvane
