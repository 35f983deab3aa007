#include "app/page_egectors_controller.h"

#include <QCoreApplication>
#include <QStringList>
#include <array>
#include <mutex>

#include "app/machine.h"
#include "app/main_window_layout.h"
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
    : QObject(parent), page_(page), machine_(machine) {}

void PageEgectorsController::showCameraProbe() {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const bool found =
        machine_.engine().CameraFound[static_cast<std::size_t>(camera)].load(std::memory_order_relaxed);
    (camera == 0 ? page_.Cam1 : page_.Cam2)->setText(QString::fromStdString(cameraProbeText(camera, found)));
  }
}

void PageEgectorsController::showBoard(std::string_view text) { page_.DASP1->setText(fromView(text)); }

void PageEgectorsController::showEjectors() { page_.EgectorBoxA->createItems(); }

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
  const EjectionState& ejection = machine_.engine().ejection;
  for (int n = 1; n <= EjectorCells::kCells; ++n) {
    open[static_cast<std::size_t>(n - 1)] = ejection.ValveStates.isOpen(ejection.EjectorOutputMap[n]);
  }
  page_.EgectorBoxA->setValveOpen(open);
}

void PageEgectorsController::runFullEjectorTest() {
  ValveTestHooks hooks;
  hooks.wait = [this](int ms) { machine_.testWait(ms); };
  hooks.repaint = [this] { page_.EgectorBoxA->repaint(); };
  hooks.selectCell = [this](int cell) { page_.EgectorBoxA->selectCell(cell); };
  hooks.processMessages = [] { QCoreApplication::processEvents(); };
  hooks.countersLock = &machine_.engine().engineLock;
  ValveTests tests(machine_.digitalBoard(), machine_.engine().ejection, std::move(hooks));
  const ValveTestResult result = tests.fullTestButton(machine_.run().view().puskSwitchOn);
  if (result.boardLabel) page_.DASP1->setText(fromView(*result.boardLabel));
}

}  // namespace tolvane
