#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "engine/ejection_state.h"
#include "engine/engine_lock.h"
#include "platform/digital_board.h"

namespace tolvane {

// Operator messages of the ejector tests.
inline constexpr std::string_view kTestWhileSortingText =
    "Тестирование эжекторов необходимо проводить при выключенном сканировании.\n"
    "Нажмите кнопку \"СТОП\" на вкладке \"РАБОТА\".";
inline constexpr std::string_view kSelectEjectorText = "Выберите номер эжектора.";

// Pulse width of the service page's test while its number field keeps the designed value.
inline constexpr int kDefaultServicePulseMs = 25;

// What the window does for a running test. A missing hook does nothing (a missing wait does not wait).
struct ValveTestHooks {
  // Blocks the calling thread for this many milliseconds (never negative).
  std::function<void(int ms)> wait;
  // Repaints the ejector cells (their shot counts and valve lamps).
  std::function<void()> repaint;
  // Selects this cell (ejector cell + 1) in the ejector list (full test).
  std::function<void(int cell)> selectCell;
  // Processes the window's pending messages once (start of the full test).
  std::function<void()> processMessages;
  // Held while a shot count changes: the engine lock, since camera 1's thread counts shots too.
  EngineLock* countersLock = nullptr;
};

enum class ValveTestOutcome {
  kCompleted,
  kRefusedWhileSorting,  // message kTestWhileSortingText, nothing touched
  kNoEjectorSelected,    // message kSelectEjectorText, nothing touched
  kEndedByError,         // a hook failed: the sequence ended and every valve was closed
};

struct ValveTestResult {
  ValveTestOutcome outcome = ValveTestOutcome::kCompleted;
  // Text for a message box; empty when there is none.
  std::string_view message;
  // What the board label `DASP1` shows after a test that ran (the board status of the valve writer:
  // empty, or "Плата ввода-вывода отсутствует"); nullopt when the test did not run.
  std::optional<std::string_view> boardLabel;
};

// The three valve tests of the ejector page and the service page. Each test refuses while sorting runs,
// unblocks the valve outputs, clears the valve table and then pulses valves, writing the table to the
// board at every edge and counting the shots in ShotsPerOutput. Tests leave the outputs unblocked.
// If a hook throws, the sequence ends there and every valve is closed and written, so that no valve
// stays open; the exception is not passed on.
//
// Threads: runs on the thread that calls it (the main thread), blocking it in the waits. Camera 1's
// thread may still be running after the supervision fall-back; the valve table and writer are safe for
// that, and the shot counts change under hooks.countersLock.
class ValveTests {
 public:
  ValveTests(DigitalBoard& board, EjectionState& state, ValveTestHooks hooks)
      : board_(board), state_(state), hooks_(std::move(hooks)) {}

  // `TestButton` of the ejector page. selectedCell is the selected cell of the ejector list (0..47 for
  // ejectors 1..48); that ejector's output gets a 15 ms pulse, ten pulses of 1..10 ms and five shots
  // of 66 ms.
  ValveTestResult testButton(bool sortingRuns, std::optional<int> selectedCell);

  // `FullTestButton` of the ejector page, also run by standby mode: every ejector 1..48 in turn gets
  // five shots of 16 ms.
  ValveTestResult fullTestButton(bool sortingRuns);

  // `asSwitch3` of the service page: five shots of pulseMs + 50 ms with pauses of pulseMs to the
  // selected ejector. A negative pulseMs waits 0.
  ValveTestResult asSwitch3(bool sortingRuns, std::optional<int> selectedCell, int pulseMs);

 private:
  // Checks common to all tests; nullopt when the test may run.
  std::optional<ValveTestResult> refusal(bool sortingRuns, bool needsSelection,
                                         std::optional<int> selectedCell) const;
  // Unblocks the outputs and clears the table.
  void prepare();
  ValveTestResult finish(bool completed);

  int outputOfCell(int cell) const;
  void open(int output);
  void closeCounted();         // entries 1..64 closed and written
  void closeOnly(int output);  // that entry closed and written
  void closeEverything();      // after an error: every entry closed and written
  void addShots(int output, int shots);
  void wait(int ms);
  void repaint();

  DigitalBoard& board_;
  EjectionState& state_;
  ValveTestHooks hooks_;
};

}  // namespace tolvane
