#include "app/page_egectors_controller.h"

#include <QCoreApplication>
#include <QStringList>
#include <array>
#include <mutex>
#include <optional>

#include "app/machine.h"
#include "app/main_window_layout.h"
#include "app/page_common.h"
#include "app/page_egectors.h"
#include "ejection/ejector_zones.h"
#include "ejection/valve_tests.h"
#include "engine/engine_constants.h"
#include "settings/build_constants.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

QString fromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

PageEgectorsController::PageEgectorsController(PageEgectors& page, Machine& machine, QObject* parent)
    : PageEgectorsController(page, machine, Actions{}, parent) {}

PageEgectorsController::PageEgectorsController(PageEgectors& page, Machine& machine, Actions actions,
                                               QObject* parent)
    : QObject(parent),
      page_(page),
      machine_(machine),
      actions_(std::move(actions)),
      steppers_{&page.Time,    &page.Delay,   &page.MinVes, &page.EGA_Min,
                &page.EGA_Max, &page.EGB_Min, &page.EGB_Max} {
  connect(page_.KalibrovkaEnableButton, &TasSwitch::switchedOn, this,
          [this](QObject*) { kalibrovkaEnable(true); });
  connect(page_.KalibrovkaEnableButton, &TasSwitch::switchedOff, this,
          [this](QObject*) { kalibrovkaEnable(false); });
  constexpr std::array<CalibrationArrow, 4> kArrows = {
      CalibrationArrow::kLeftMinus, CalibrationArrow::kLeftPlus, CalibrationArrow::kRightMinus,
      CalibrationArrow::kRightPlus};
  for (int side = 0; side < 2; ++side) {
    const std::array<TasSwitch*, 4> arrows = page_.calibrationArrows(side);
    for (std::size_t a = 0; a < arrows.size(); ++a) {
      // Per touch and per repeat tick alike.
      const CalibrationArrow arrow = kArrows[a];
      connect(arrows[a], &TasSwitch::clicked, this,
              [this, side, arrow](QObject*) { calibrateButtonsClick(side, arrow); });
    }
  }
  for (std::size_t i = 0; i < steppers_.size(); ++i) {
    connect(steppers_[i]->left, &TasSwitch::clicked, this,
            [this, i](QObject*) { stableStep(i, StepDirection::kDown); });
    connect(steppers_[i]->right, &TasSwitch::clicked, this,
            [this, i](QObject*) { stableStep(i, StepDirection::kUp); });
  }
  connect(page_.TestButton, &TasSwitch::clicked, this, [this](QObject*) { testButtonClick(); });
  connect(page_.FullTestButton, &TasSwitch::clicked, this, [this](QObject*) { fullTestButtonClick(); });
}

void PageEgectorsController::showCameraProbe() {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const bool found =
        machine_.engine().CameraFound[static_cast<std::size_t>(camera)].load(std::memory_order_relaxed);
    (camera == 0 ? page_.Cam1 : page_.Cam2)->setText(QString::fromStdString(cameraProbeText(camera, found)));
  }
}

void PageEgectorsController::showBoard(std::string_view text) { page_.DASP1->setText(fromView(text)); }

void PageEgectorsController::showEjectors() {
  page_.EgectorBoxA->createItems();
  showValves();
}

void PageEgectorsController::showBlocks() {
  const MachineSettings& ms = machine_.machine();
  QStringList a;
  QStringList b;
  for (int block = 0; block < kEjectorBlocks; ++block) {
    const auto i = static_cast<std::size_t>(block);
    a.append(QString::fromStdString(blockListItemText(block, ms.EgecA[i], ms.EgecAx[i])));
    b.append(QString::fromStdString(blockListItemText(block, ms.EgecB[i], ms.EgecBx[i])));
  }
  page_.BlockListCam1->setItems(a);
  page_.BlockListCam2->setItems(b);
}

void PageEgectorsController::showProgram() {
  const MachineSettings& ms = machine_.machine();
  page_.EGA_Min.value->setText(QString::fromStdString(numberLabelText(ms.EGA_Min)));
  page_.EGA_Max.value->setText(QString::fromStdString(numberLabelText(ms.EGA_Max)));
  page_.EGB_Min.value->setText(QString::fromStdString(numberLabelText(ms.EGB_Min)));
  page_.EGB_Max.value->setText(QString::fromStdString(numberLabelText(ms.EGB_Max)));
  if (kImmediateEjection) {
    for (const StepperRow* row : {&page_.Delay, &page_.Time}) {
      row->left->setEnabled(false);
      row->value->setEnabled(false);
      row->right->setEnabled(false);
    }
  }
}

void PageEgectorsController::applyRunView(const RunControlView& view) {
  if (!view.brakLabel.empty()) page_.BrakLabel->setText(QString::fromStdString(view.brakLabel));
  if (!view.fpsLabels[0].empty()) page_.FPS1->setText(QString::fromStdString(view.fpsLabels[0]));
  if (!view.fpsLabels[1].empty()) page_.FPS2->setText(QString::fromStdString(view.fpsLabels[1]));
  if (!view.countLabel.empty()) page_.CountLabel->setText(QString::fromStdString(view.countLabel));
}

void PageEgectorsController::showValves() {
  std::array<bool, EjectorCells::kCells> open{};
  std::array<std::int32_t, EjectorCells::kCells> counts{};
  EngineState& engine = machine_.engine();
  const EjectionState& ejection = engine.ejection;
  {
    // Camera 1's thread counts shots under the lock; the valve flags are atomics.
    std::lock_guard lock(engine.engineLock);
    for (int n = 1; n <= EjectorCells::kCells; ++n) {
      counts[static_cast<std::size_t>(n - 1)] = ejection.ShotsPerOutput.of(ejection.EjectorOutputMap[n]);
    }
  }
  for (int n = 1; n <= EjectorCells::kCells; ++n) {
    open[static_cast<std::size_t>(n - 1)] = ejection.ValveStates.isOpen(ejection.EjectorOutputMap[n]);
  }
  page_.EgectorBoxA->setValveOpen(open);
  page_.EgectorBoxA->setShotCounts(counts);
}

// --- Calibration -----------------------------------------------------------------------------

void PageEgectorsController::kalibrovkaEnable(bool on) {
  for (int side = 0; side < 2; ++side) {
    for (TasSwitch* arrow : page_.calibrationArrows(side)) arrow->setEnabled(on);
  }
}

void PageEgectorsController::calibrateButtonsClick(int side, CalibrationArrow arrow) {
  const int block = (side == kSideB ? page_.BlockListCam2 : page_.BlockListCam1)->currentIndex();
  {
    std::lock_guard lock(machine_.engine().engineLock);
    stepCalibrationPoint(machine_.machine(), side, block, arrow);
  }
  // Zones under the lock, then ActiveProg and the points written outside it, on every step.
  machine_.computeZonesAndWriteState();
  showBlocks();
  calibrationChanged();
}

void PageEgectorsController::calibrationChanged() {
  if (actions_.calibrationChanged) actions_.calibrationChanged();
}

// --- Stable parameters and working ranges ----------------------------------------------------

void PageEgectorsController::stableStep(std::size_t stepper, StepDirection direction) {
  if (stepper >= steppers_.size()) return;
  const MachineStepper& field = ejectorPageSteppers()[stepper];
  QLabel* label = steppers_[stepper]->value;
  // A label that is no number (never written by this program) leaves the value as it is.
  const std::optional<std::int32_t> value =
      stepLabel(label->text().toStdString(), direction, field.range.min, field.range.max);
  if (!value) return;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    machine_.machine().*field.member = *value;
  }
  label->setText(QString::fromStdString(numberLabelText(*value)));
  calibrationChanged();
}

// --- Valve tests -----------------------------------------------------------------------------

ValveTests PageEgectorsController::valveTests() {
  ValveTestHooks hooks;
  hooks.wait = [this](int ms) { machine_.testWait(ms); };
  hooks.repaint = [this] {
    showValves();
    page_.EgectorBoxA->repaint();
  };
  hooks.selectCell = [this](int cell) { page_.EgectorBoxA->selectCell(cell); };
  hooks.processMessages = [] { QCoreApplication::processEvents(); };
  hooks.countersLock = &machine_.engine().engineLock;
  return ValveTests(machine_.digitalBoard(), machine_.engine().ejection, std::move(hooks));
}

bool PageEgectorsController::sortingRuns() { return machine_.run().view().puskSwitchOn; }

void PageEgectorsController::showTestResult(const ValveTestResult& result) {
  if (result.boardLabel) page_.DASP1->setText(fromView(*result.boardLabel));
  // The counts as the test left them, also where the page was not repainted.
  showValves();
  if (!result.message.empty()) tell(result.message);
}

void PageEgectorsController::tell(std::string_view text) {
  if (actions_.tell) actions_.tell(fromView(text));
}

ValveTestResult PageEgectorsController::testButtonClick() {
  const ValveTestResult result = valveTests().testButton(sortingRuns(), page_.EgectorBoxA->selectedCell());
  showTestResult(result);
  return result;
}

ValveTestResult PageEgectorsController::fullTestButtonClick() {
  const ValveTestResult result = runFullEjectorTest();
  if (!result.message.empty()) tell(result.message);
  return result;
}

ValveTestResult PageEgectorsController::runServiceEjectorTest(int pulseMs) {
  const ValveTestResult result =
      valveTests().asSwitch3(sortingRuns(), page_.EgectorBoxA->selectedCell(), pulseMs);
  showTestResult(result);
  return result;
}

ValveTestResult PageEgectorsController::runFullEjectorTest() {
  const ValveTestResult result = valveTests().fullTestButton(sortingRuns());
  if (result.boardLabel) page_.DASP1->setText(fromView(*result.boardLabel));
  showValves();
  return result;
}

}  // namespace tolvane
