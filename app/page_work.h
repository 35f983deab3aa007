#pragma once

#include <QLabel>
#include <QWidget>
#include <array>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// One condition row: its switch, direction switch and threshold with its arrows ("ФОРМА 1" has no
// arrows: its threshold comes from the shape template).
struct ConditionRow {
  TasSwitch* enable = nullptr;
  TasSwitch* direction = nullptr;
  StepperRow threshold;
};

// The sorting-conditions page (TabWork): the eight conditions and line mode with their switches,
// directions and thresholds, AND/OR and reinforced ejection, the option switches, and the buttons for
// update, regulator, factory settings, cancel and save.
class PageWork : public QWidget {
  Q_OBJECT

 public:
  // The row of "ФОРМА 1" in conditions; its label is Forma_val.
  static constexpr std::size_t kFormaRow = 7;

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
  // "МАССА", "МАССА", "ЦВЕТ 1", "ЦВЕТ 2", "ДЛИНА", "ШИРИНА", eccentricity, "ФОРМА 1", line mode.
  std::array<ConditionRow, 9> conditions;
  TasSwitch* P1_type;
  TasSwitch* P2_type;
  TasSwitch* Forma_Edit;
  // The shape template editor that Forma_Edit opens, hidden at start: the template picture (touch it
  // to draw again), "<<" and ">>" to bend it and "Ok" to take its ratio as the threshold.
  QFrame* FrmEditPanel;
  TouchLabel* FormImage;
  TasSwitch* FormaLeftUp;
  TasSwitch* FormaRightDown;
  TasSwitch* FormaOk;
  // Hidden and disabled; its state is kept in the settings file only.
  TasSwitch* RGBshiftButton;
};

}  // namespace tolvane
