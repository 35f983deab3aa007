#include "app/page_simple_work_controller.h"

#include <QSignalBlocker>

#include "app/machine.h"
#include "app/page_simple_work.h"
#include "settings/stored_controls.h"

namespace tolvane {

PageSimpleWorkController::PageSimpleWorkController(PageSimpleWork& page, Machine& machine, Actions actions,
                                                   QObject* parent)
    : QObject(parent), page_(page), machine_(machine), actions_(std::move(actions)) {
  auto on = [this](TasSwitch* control, std::function<void()> action) {
    connect(control, &TasSwitch::clicked, this, [action = std::move(action)](QObject*) {
      if (action) action();
    });
  };
  on(page_.PuskSwitch, [this] { touchPuskSwitch(); });
  on(page_.WaitModeButton, [this] { touchWaitModeButton(); });
  on(page_.asSwitch17, [this] {
    if (actions_.enterSetupMode) actions_.enterSetupMode();
  });
  on(page_.RebootButton, [this] {
    if (actions_.restart) actions_.restart();
  });
  on(page_.PowerOffButtom, [this] {
    if (actions_.powerOff) actions_.powerOff();
  });
}

void PageSimpleWorkController::touchPuskSwitch() {
  machine_.run().touchPuskSwitch();
  if (actions_.runViewChanged) actions_.runViewChanged();
}

void PageSimpleWorkController::touchWaitModeButton() {
  const std::optional<std::string> message = machine_.run().touchWaitModeButton();
  if (actions_.runViewChanged) actions_.runViewChanged();
  if (message && actions_.tell) actions_.tell(QString::fromStdString(*message));
}

void PageSimpleWorkController::show() {
  machine_.run().TabSimpleWorkShow();
  const SorterSettings& s = machine_.sorter();
  const bool regulator = s.bParam1 || s.bParam2 || s.bParam3;
  page_.RegulatorLeftButton->setEnabled(regulator);
  page_.RegulatorRightButton->setEnabled(regulator);
  setLabelTextColor(page_.RegulatorLabel, regulator ? QColor(Qt::black) : QColor::fromRgb(kGreyTextColor));
  setLabelTextColor(page_.RegulatorPercentLabel,
                    regulator ? QColor::fromRgb(kTextColor) : QColor::fromRgb(kGreyTextColor));
  applyRunView(machine_.run().view());
}

void PageSimpleWorkController::showProgram() {
  const SorterSettings& s = machine_.sorter();
  page_.RegulatorLabel->setText(QString::fromStdString(s.Regulator));
  page_.FastSort_valD->setText(QString::fromStdString(numberLabelText(s.ifFast)));
  for (std::size_t c = 0; c < 2; ++c) {
    page_.blackLevels[c].value->setText(QString::fromStdString(numberLabelText(s.FonBlack[c])));
    page_.lightLevels[c].value->setText(QString::fromStdString(numberLabelText(s.FonLight[c])));
  }
}

void PageSimpleWorkController::applyRunView(const RunControlView& view) {
  {
    const QSignalBlocker blocker(page_.PuskSwitch);
    page_.PuskSwitch->setStateOn(view.puskSwitchOn);
  }
  page_.showPuskCaption();
  page_.PuskSwitch->setEnabled(view.puskSwitchEnabled);
  {
    const QSignalBlocker blocker(page_.WaitModeButton);
    page_.WaitModeButton->setStateOn(view.waitModeButtonOn);
  }
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const CameraIndicator& indicator = view.cameras[static_cast<std::size_t>(camera)];
    if (indicator.label.empty()) continue;
    CameraLamps& lamps = page_.cameras[static_cast<std::size_t>(camera)];
    lamps.label->setText(QString::fromStdString(indicator.label));
    lamps.red->setVisible(indicator.redLamp);
    lamps.green->setVisible(indicator.greenLamp);
    lamps.blue->setVisible(indicator.blueLamp);
  }
  if (!view.normaLabel.empty()) page_.NormaLabel->setText(QString::fromStdString(view.normaLabel));
  if (!view.cntLabel.empty() && page_.cntLabel->isVisible())
    page_.cntLabel->setText(QString::fromStdString(view.cntLabel));
  for (int g = 0; g < 2; ++g) {
    const LoadGaugeState& shown = view.gauges[static_cast<std::size_t>(g)];
    // The second gauge keeps its own place beside the first.
    const int x = g == 0 ? shown.x : page_.gauges[1]->x();
    page_.setGauge(g, shown.scale, shown.bandFrom, shown.bandTo, shown.position, x, shown.visible);
  }
  page_.LineModePanel->setVisible(view.lineModePanelVisible);
  page_.RegulatorPanel->setVisible(view.regulatorPanelVisible);
}

}  // namespace tolvane
