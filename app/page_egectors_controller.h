#pragma once

#include <QObject>
#include <string_view>

namespace tolvane {

class Machine;
class PageEgectors;
struct RunControlView;

// The ejector page (TabEgectors): camera and board state from the start-up, the ejector cells with
// their valve lamps, the block lists, the working ejector ranges of the loaded program, the stable
// parameters' steppers and the run's figures, and the full ejector test.
//
// Threads: main thread; engine data is read under the engine lock.
class PageEgectorsController : public QObject {
  Q_OBJECT

 public:
  PageEgectorsController(PageEgectors& page, Machine& machine, QObject* parent = nullptr);

  // "Камера 1 ok" / "Камера 1 не найдена", and the board's state.
  void showCameraProbe();
  void showBoard(std::string_view text);
  // The ejector cells "01" ... "48" and the block lists from the calibration points.
  void showEjectors();
  void showBlocks();
  // After a program load: EGA_Min ... EGB_Max, and the delay and pulse steppers disabled where
  // objects are ejected at once.
  void showProgram();
  void applyRunView(const RunControlView& view);
  // The valve lamps from the valve table (the half-second tick, while the page is shown).
  void showValves();
  // The full ejector test of standby mode, shown on the cells.
  void runFullEjectorTest();

 private:
  PageEgectors& page_;
  Machine& machine_;
};

}  // namespace tolvane
