#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <optional>

#include "settings/colour_ranges.h"

namespace tolvane {

class Machine;
class PageSettings;

// The colour page (TabSettings): the sector list of the edited camera, the report of sector lines
// that were left out, the background readout switch, the copy to the other camera, the blue-background
// values (a touch on one of the six labels chooses the one the arrows step) and the black-background
// level of the edited camera.
//
// Threads: main thread. Sector lists and machine settings change under the engine lock.
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

  // A touch on blue-background label index (FRminLabel ... FBmaxLabel): it alone turns opaque grey
  // and is the one the arrows step. An index that names no label leaves none chosen.
  void chooseBlueFon(std::size_t index);
  std::optional<std::size_t> chosenBlueFon() const { return blueChoice_.chosen(); }
  // BlueFonLeftButton / BlueFonRightButton: the chosen value; nothing while none is chosen.
  void stepBlueFon(StepDirection direction);
  // BlackFonLeftButton / BlackFonRightButton: BlackFon of the edited camera, from its label.
  void stepBlackFon(StepDirection direction);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void showSectorList();
  void showBlueFonChoice();

  PageSettings& page_;
  Machine& machine_;
  Actions actions_;
  BlueFonChoice blueChoice_;
};

}  // namespace tolvane
