#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <vector>

#include "settings/condition_switches.h"
#include "settings/value_step.h"

class QLabel;

namespace tolvane {

class Machine;
class PageWork;
class TasSwitch;

// The sorting-conditions page (TabWork): the condition switches with their on/off handling, the
// thresholds as loaded, the option switches that feed the engine's flags, and the page's commands.
// The blue and black background switches sit on the colour page but are conditions of the program
// like the others, so this controller binds them too.
//
// Threads: main thread. Settings the camera threads read change under the engine lock.
class PageWorkController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<void()> save;               // "СОХРАНИТЬ|НАСТРОЙКИ"
    std::function<void()> cancel;             // "ОТМЕНИТЬ|НАСТРОЙКИ"
    std::function<void()> showRegulatorPage;  // "Настройка|регулятора"
    // After every press of a threshold arrow (the regulator's display follows).
    std::function<void()> thresholdStepped;
  };

  PageWorkController(PageWork& page, TasSwitch* fonBlueButton, TasSwitch* fonBlackButton, Machine& machine,
                     Actions actions, QObject* parent = nullptr);

  // After a program load: option switches of the program (with single-tone cameras BrightModeButton
  // on, disabled and captioned "Монохромная|камера"; with colour cameras free with the page's caption),
  // the thresholds in their labels, then the condition switches set from the loaded flags in load order.
  void showProgram();
  // A change of the record and the condition switches together (a preset): change runs under the engine
  // lock and returns the switches whose state changed; then the switches, the thresholds (also the
  // working page's line-mode label) and their colours are shown.
  void changeConditions(
      const std::function<std::vector<ConditionSwitch>(SorterSettings&, ConditionSwitches&)>& change);
  // The three option flags taken from their switches (the window's first show).
  void takeOptionFlags();
  // The line-mode sensitivity arrows and label of the working page step the same value as
  // FastSort_Left/FastSort_Right, and both labels show it.
  void bindLineModeArrows(TasSwitch* left, TasSwitch* right, QLabel* shownOnWorkPage);
  // One press of row's "<<" (kDown) or ">>" (kUp): from the number its label shows, within its limits.
  void stepThreshold(std::size_t row, StepDirection direction);

  const ConditionSwitches& conditions() const { return conditions_; }
  TasSwitch* conditionSwitch(ConditionSwitch which) const {
    return switches_[static_cast<std::size_t>(which)];
  }

 private:
  void bindOptionSwitches();
  void conditionTouched(ConditionSwitch which, bool on);
  void showConditionSwitches(const std::vector<ConditionSwitch>& changed);
  void showThresholdColours();
  void showThresholds();

  PageWork& page_;
  Machine& machine_;
  Actions actions_;
  ConditionSwitches conditions_;
  std::array<TasSwitch*, kConditionSwitchCount> switches_{};
  bool showing_ = false;  // switches set by this controller do not count as touches
  QLabel* lineModeOnWorkPage_ = nullptr;
  QString brightModeCaption_;  // the page's own caption, shown with colour cameras
};

}  // namespace tolvane
