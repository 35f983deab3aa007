#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

#include "ejection/ejector_calibration.h"
#include "ejection/valve_tests.h"

namespace tolvane {

class Machine;
class PageEgectors;
struct RunControlView;
struct StepperRow;

// The ejector page (TabEgectors): camera and board state from the start-up, the ejector cells with
// their shot counts and valve lamps, the block lists and their calibration arrows, the stable
// parameters (Time, Delay, MinVes) and the working ejector ranges (EGA_Min ... EGB_Max), the run's
// figures, and the three valve tests (the service page's test runs through runServiceEjectorTest).
//
// Threads: main thread. Values the engine reads change under the engine lock; the settings file is
// written outside it.
class PageEgectorsController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    // The calibration points or a working ejector range changed: the block markers and working-range
    // bands under the pages are to be placed again.
    std::function<void()> calibrationChanged;
    // An operator message (the window's message box).
    std::function<void(const QString& text)> tell;
  };

  PageEgectorsController(PageEgectors& page, Machine& machine, QObject* parent = nullptr);
  PageEgectorsController(PageEgectors& page, Machine& machine, Actions actions, QObject* parent = nullptr);
  void setActions(Actions actions) { actions_ = std::move(actions); }

  // "Камера 1 ok" / "Камера 1 не найдена", and the board's state.
  void showCameraProbe();
  void showBoard(std::string_view text);
  // The ejector cells "01" ... "48" with their counts and lamps, and the block lists from the
  // calibration points (the selected block stays selected).
  void showEjectors();
  void showBlocks();
  // After a program load: EGA_Min ... EGB_Max, and the delay and pulse steppers disabled where
  // objects are ejected at once.
  void showProgram();
  void applyRunView(const RunControlView& view);
  // The valve lamps from the valve table and the shot counts (the half-second tick, while the page is
  // shown, and every repaint of a valve test).
  void showValves();

  // --- Handlers (also driven directly by tests) ---
  // "Калибровка|эжекторов" on and off: the eight calibration arrows enabled or disabled.
  void kalibrovkaEnable(bool on);
  // A calibration arrow of side 0 (A) or 1 (B), per touch and per repeat tick: the selected block's
  // point moves, zones are recomputed, the block lists and markers follow and ActiveProg and every
  // calibration point are written to the settings file.
  void calibrateButtonsClick(int side, CalibrationArrow arrow);
  // A stepper of ejectorPageSteppers() (index in that order).
  void stableStep(std::size_t stepper, StepDirection direction);
  // "Тест|эжектора", "Полный|тест" and the service page's test with its pulse time; each tells its
  // message (sorting runs, no ejector selected) and shows the board state after it ran.
  ValveTestResult testButtonClick();
  ValveTestResult fullTestButtonClick();
  ValveTestResult runServiceEjectorTest(int pulseMs);
  // The full ejector test of standby mode, shown on the cells; says nothing to the operator.
  ValveTestResult runFullEjectorTest();

  // The page's steppers in the order of ejectorPageSteppers().
  const std::array<StepperRow*, kEjectorPageStepperCount>& steppers() const { return steppers_; }

 private:
  ValveTests valveTests();
  bool sortingRuns();
  void showTestResult(const ValveTestResult& result);
  void tell(std::string_view text);
  void calibrationChanged();

  PageEgectors& page_;
  Machine& machine_;
  Actions actions_;
  std::array<StepperRow*, kEjectorPageStepperCount> steppers_{};
};

}  // namespace tolvane
