#pragma once

#include <QLabel>
#include <QWidget>
#include <array>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// A brightness scale 0..255, two pixels per level, under the range bars of one camera.
class BrightnessScale : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kScaleWidth = 512;
  explicit BrightnessScale(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The steppers of one camera's ranges and background levels.
struct CameraRangeSteppers {
  StepperRow fonMin, fonMax, p1Min, p1Max, p2Min, p2Max, fonBlack, fonLight;
};

// The single-tone set-up page (TabOneChanal, "Настройки однотонного режима"): background and product
// ranges and the dark and light background levels per camera, with their brightness scales and the
// small sample images.
class PageOneChanal : public QWidget {
  Q_OBJECT

 public:
  explicit PageOneChanal(QWidget* parent = nullptr);

  std::array<BrightnessScale*, 2> scales;
  std::array<CameraRangeSteppers, 2> ranges;
  QLabel* Paint4;
  QLabel* Paint5;
  TasSwitch* OC_R_Button;
  TasSwitch* OC_G_Button;
  TasSwitch* OC_B_Button;
};

}  // namespace tolvane
