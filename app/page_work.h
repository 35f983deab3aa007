#pragma once

#include <QLabel>
#include <QWidget>

#include "ui/tas_switch.h"

namespace tolvane {

// The sorting-conditions page (TabWork): the eight conditions and line mode with their switches,
// directions and thresholds, AND/OR and reinforced ejection, the option switches, and the buttons for
// update, regulator, factory settings, cancel and save.
class PageWork : public QWidget {
  Q_OBJECT

 public:
  explicit PageWork(QWidget* parent = nullptr);

  TasSwitch* FineTimerButton;
  TasSwitch* ColorTuneButton;
  TasSwitch* BrightModeButton;
  TasSwitch* Cam1enableSwitch;
  TasSwitch* Cam2enableSwitch;
  TasSwitch* CheckUpdateButton;
  TasSwitch* UpdateUnableButton;
  TasSwitch* RegulatorSetupButton;
  TasSwitch* FactoryResetButton;
  TasSwitch* CancelButton;
  TasSwitch* SaveButton;
  TasSwitch* AND_Button;
  TasSwitch* TripleShotSwitch;
};

}  // namespace tolvane
