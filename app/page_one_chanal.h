#pragma once

#include <QLabel>
#include <QWidget>
#include <array>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// A brightness scale 0..255, two pixels per level, under the range bars of one camera: the grey ramp on
// top, the levels written below it.
class BrightnessScale : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kScaleWidth = 512;
  explicit BrightnessScale(QWidget* parent = nullptr);
  // x of level 0 inside the widget.
  int scaleLeft() const { return (width() - kScaleWidth) / 2; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The bars of one camera above its scale, children of strip (as wide as the scale widget and at its x,
// so that level 0 lies at the same scaleLeft). Each keeps its height and top; the controller places
// them across. Later members are drawn over earlier ones.
struct RangeBarWidgets {
  QWidget* strip = nullptr;
  QWidget* darkZone = nullptr;
  QWidget* lightZone = nullptr;
  QWidget* fonRange = nullptr;
  QWidget* p1 = nullptr;
  QWidget* p2 = nullptr;
  QWidget* darkEdge = nullptr;
  QWidget* lightEdge = nullptr;
  QWidget* fonLeftMarker = nullptr;
  QWidget* fonRightMarker = nullptr;
};

// The steppers of one camera's ranges and background levels.
struct CameraRangeSteppers {
  StepperRow fonMin, fonMax, p1Min, p1Max, p2Min, p2Max, fonBlack, fonLight;
};

// The single-tone set-up page (TabOneChanal, "Настройки однотонного режима"): background and product
// ranges and the dark and light background levels per camera, with their range bars over brightness
// scales and the small sample images.
class PageOneChanal : public QWidget {
  Q_OBJECT

 public:
  explicit PageOneChanal(QWidget* parent = nullptr);

  std::array<BrightnessScale*, 2> scales;
  std::array<CameraRangeSteppers, 2> ranges;
  std::array<RangeBarWidgets, 2> bars;
  QLabel* Paint4;
  QLabel* Paint5;
  TasSwitch* OC_R_Button;
  TasSwitch* OC_G_Button;
  TasSwitch* OC_B_Button;
};

}  // namespace tolvane
