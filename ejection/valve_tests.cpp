#include "ejection/valve_tests.h"

#include <algorithm>

#include "ejection/valve_outputs.h"
#include "settings/build_constants.h"

namespace tolvane {

namespace {

constexpr int kShotsPerTest = 5;

}  // namespace

std::optional<ValveTestResult> ValveTests::refusal(bool sortingRuns, bool needsSelection,
                                                   std::optional<int> selectedCell) const {
  if (sortingRuns) return ValveTestResult{ValveTestOutcome::kRefusedWhileSorting, kTestWhileSortingText, {}};
  if (needsSelection && (!selectedCell || *selectedCell < 0 || *selectedCell >= kEjectorsPerSide)) {
    return ValveTestResult{ValveTestOutcome::kNoEjectorSelected, kSelectEjectorText, {}};
  }
  return std::nullopt;
}

void ValveTests::prepare() {
  state_.OutputsBlocked.store(false, std::memory_order_release);
  state_.ValveStates.closeAll();
}

ValveTestResult ValveTests::finish(bool completed) {
  return {completed ? ValveTestOutcome::kCompleted : ValveTestOutcome::kEndedByError,
          {},
          boardStatusText(state_.LastBoardStatus.load(std::memory_order_relaxed))};
}

int ValveTests::outputOfCell(int cell) const { return state_.EjectorOutputMap[cell + 1]; }

void ValveTests::open(int output) {
  state_.ValveStates.open(output);
  WriteValveOutputs(board_, state_);
}

void ValveTests::closeCounted() {
  for (int m = 1; m <= kCountedOutputs; ++m) state_.ValveStates.close(m);
  WriteValveOutputs(board_, state_);
}

void ValveTests::closeOnly(int output) {
  state_.ValveStates.close(output);
  WriteValveOutputs(board_, state_);
}

void ValveTests::closeEverything() {
  state_.ValveStates.closeAll();
  WriteValveOutputs(board_, state_);
}

void ValveTests::addShots(int output, int shots) {
  if (hooks_.countersLock != nullptr) {
    std::lock_guard lock(*hooks_.countersLock);
    state_.ShotsPerOutput.count(output, shots);
  } else {
    state_.ShotsPerOutput.count(output, shots);
  }
}

void ValveTests::wait(int ms) {
  if (hooks_.wait) hooks_.wait(std::max(ms, 0));
}

void ValveTests::repaint() {
  if (hooks_.repaint) hooks_.repaint();
}

ValveTestResult ValveTests::testButton(bool sortingRuns, std::optional<int> selectedCell) {
  if (auto refused = refusal(sortingRuns, true, selectedCell)) return *refused;
  prepare();
  const int output = outputOfCell(*selectedCell);
  try {
    open(output);
    wait(15);
    closeCounted();
    wait(1000);
    for (int ms = 1; ms <= 10; ++ms) {
      open(output);
      wait(ms);
      closeCounted();
      wait(100);
    }
    wait(1000);
    for (int shot = 0; shot < kShotsPerTest; ++shot) {
      open(output);
      addShots(output, 1);
      repaint();
      wait(16);
      wait(50);
      closeCounted();
      repaint();
      wait(25);
    }
  } catch (...) {
    closeEverything();
    return finish(false);
  }
  return finish(true);
}

ValveTestResult ValveTests::fullTestButton(bool sortingRuns) {
  if (auto refused = refusal(sortingRuns, false, std::nullopt)) return *refused;
  prepare();
  try {
    if (hooks_.processMessages) hooks_.processMessages();
    for (int ejector = 1; ejector <= kEjectorsPerSide; ++ejector) {
      const int output = state_.EjectorOutputMap[ejector];
      if (hooks_.selectCell) hooks_.selectCell(ejector - 1);
      state_.ValveStates.closeAll();
      addShots(output, kShotsPerTest);
      repaint();
      for (int shot = 0; shot < kShotsPerTest; ++shot) {
        open(output);
        repaint();
        wait(16);
        closeOnly(output);
        repaint();
        wait(25);
      }
      closeCounted();
      wait(100);
      repaint();
    }
    WriteValveOutputs(board_, state_);
  } catch (...) {
    closeEverything();
    return finish(false);
  }
  return finish(true);
}

ValveTestResult ValveTests::asSwitch3(bool sortingRuns, std::optional<int> selectedCell, int pulseMs) {
  if (auto refused = refusal(sortingRuns, true, selectedCell)) return *refused;
  prepare();
  const int output = outputOfCell(*selectedCell);
  try {
    for (int shot = 0; shot < kShotsPerTest; ++shot) {
      open(output);
      addShots(output, 1);
      repaint();
      wait(pulseMs);
      wait(50);
      closeCounted();
      repaint();
      wait(pulseMs);
    }
  } catch (...) {
    closeEverything();
    return finish(false);
  }
  return finish(true);
}

}  // namespace tolvane
