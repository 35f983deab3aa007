#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>

#include "ejection/reject_regulator.h"

namespace tolvane {

class Machine;
class PageSimpleWork;
class PageSimpleWorkSettings;
class PageWork;

// The reject regulator: the rows of the regulator settings page (TabSimpleWorkSettings), the knob of
// the working page (RegulatorLeftButton, RegulatorLabel, RegulatorRightButton) and what the knob
// drives: the thresholds of "МАССА", "ЦВЕТ 1", "ЦВЕТ 2" and line mode on the conditions page (their
// own arrows disabled while driven) and camera-1 sector bounds.
//
// Every change of a row or the knob is written into the program's regulator keys at once, so the
// program save writes them. The parameter lists are built again whenever the settings page is shown.
//
// Threads: main thread. Thresholds, sector lines and the regulator keys change under the engine lock.
class RegulatorController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    // The knob rewrote a camera-1 sector line (the sector tables are rebuilt already): the colour
    // page shows its list again.
    std::function<void()> sectorsChanged;
  };

  RegulatorController(PageSimpleWorkSettings& page, PageSimpleWork& workingPage, PageWork& conditionsPage,
                      Machine& machine, Actions actions = {}, QObject* parent = nullptr);

  void setActions(Actions actions) { actions_ = std::move(actions); }

  // After a program load and at start-up: the rows, bounds and knob from the program, then the
  // regulator applied, so the driven thresholds and their arrows agree with the loaded rows.
  void showProgram();
  // Recomputes the targets and applies them (RegulatorButtonClick with any sender but the knob's
  // arrows); the window calls it after every press on a condition threshold's arrows.
  void recompute();
  // TabSimpleWorkSettingsShow: the parameter lists built again from camera 1's sector list. Runs by
  // itself when the page is shown.
  void showSettingsPage();

  // Sector editor arrow pairs the regulator holds for the selected camera-1 sector (SMIN, HMIN, SMAX,
  // HMAX): the sector editor hides those pairs.
  HeldSectorBounds heldSectorBounds(std::optional<int32_t> selectedSectorId) const {
    return regulator_.heldSectorBounds(selectedSectorId);
  }
  const RejectRegulator& regulator() const { return regulator_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void bindRows();
  void rowSwitched(int k, bool on);
  void parameterChosen(int k, int item);
  void boundChosen(int k, int bound);
  void boundStepped(int k, BoundSide side, StepDirection direction);
  void knobStepped(StepDirection direction);
  // Regulation into the settings (and with storeRows the rows and knob into the program's keys),
  // then the driven labels and arrows.
  void apply(bool storeRows);
  void rebuildLists();
  void showRows();
  void showKnob();

  PageSimpleWorkSettings& page_;
  PageSimpleWork& workingPage_;
  PageWork& conditionsPage_;
  Machine& machine_;
  Actions actions_;
  RejectRegulator regulator_;
};

}  // namespace tolvane
