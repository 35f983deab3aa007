#pragma once

#include <QListWidget>
#include <QWidget>
#include <array>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// The regulator settings page (TabSimpleWorkSettings, "Настройки регулятора выбраковки"): three rows,
// each with its active switch, driven parameter, sector bound and the bounds for 0 % and 100 %.
class PageSimpleWorkSettings : public QWidget {
  Q_OBJECT

 public:
  explicit PageSimpleWorkSettings(QWidget* parent = nullptr);

  std::array<TasSwitch*, 3> okButtons;     // Param_1_ok_button ...
  std::array<QListWidget*, 3> paramBoxes;  // ParamBox1 ...
  std::array<QListWidget*, 3> boundBoxes;  // ParamBox1s ...
  // Param_1_left_min_button, Param_1_left, Param_1_left_max_button ... (threshold at 0 %).
  std::array<StepperRow, 3> leftBounds;
  // Param_1_right_min_button, Param_1_right, Param_1_right_max_button ... (threshold at 100 %).
  std::array<StepperRow, 3> rightBounds;
};

}  // namespace tolvane
