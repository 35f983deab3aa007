#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>
#include <array>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// The service page (TabTest): hidden system parameters, the colour calculator, research and test
// tools, the service ejector test, the research picture and the window texture picture (ssImage).
class PageTest : public QWidget {
  Q_OBJECT

 public:
  explicit PageTest(QWidget* parent = nullptr);

  QPushButton* ResearchButton;
  QPushButton* MasButton;
  QPushButton* Button8;
  QPushButton* EmulButton;
  QPushButton* Button4;
  TasSwitch* TestObjectButton;
  QCheckBox* CheckBox5;
  TasSwitch* asSwitch3;
  QSpinBox* SpinEdit1;
  QSpinBox* SpinEdit2;
  QLabel* Image;
  // A GenICam camera's stream counters, one line per camera; hidden for simulated cameras.
  std::array<QLabel*, 2> cameraStreamLabels{};
  // The 100 x 99 picture that the window tiles as its background; without it the background is plain.
  QLabel* ssImage;
  StepperRow MaxTime;    // MaxTimeLabel with MaxTime_Left, MaxTime_Right
  StepperRow MaxObject;  // MaxObjectLabel
  // The colour calculator: ">>>" (RgbToHsvButton) fills H, S, V from R, G, B; "<<<" (HsvToRgbButton)
  // the other way.
  QLineEdit* R_ed;
  QLineEdit* G_ed;
  QLineEdit* B_ed;
  QLineEdit* H_ed;
  QLineEdit* S_ed;
  QLineEdit* V_ed;
  QPushButton* RgbToHsvButton;
  QPushButton* HsvToRgbButton;
};

}  // namespace tolvane
