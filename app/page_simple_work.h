#pragma once

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>
#include <array>
#include <utility>

#include "app/page_common.h"
#include "ui/artwork.h"
#include "ui/tas_switch.h"

namespace tolvane {

// The lamps and the state label of one camera on the working page.
struct CameraLamps {
  Lamp* red = nullptr;
  Lamp* green = nullptr;
  Lamp* blue = nullptr;
  QLabel* label = nullptr;
};

// The operator's working screen (TabSimpleWork): good/reject ratio, load gauges, camera states,
// object counter, the sensitivity or line-mode panel, the right-hand column of commands with the
// start/stop switch, and the support button with the network lamp.
class PageSimpleWork : public QWidget {
  Q_OBJECT

 public:
  explicit PageSimpleWork(QWidget* parent = nullptr);

  // Shows a load gauge (0: AnalogGauge1, 1: AnalogGauge2) with its scale, indicator band and position,
  // placed at x (its top stays). The gauge widgets are reached only through these calls, so that this
  // header stays free of the gauge widget's declaration.
  void setGauge(int gauge, int scale, int bandFrom, int bandTo, int position, int x, bool visible);
  int gaugeScale(int gauge) const;
  // The start/stop switch reads "ПУСК" while stopped and "СТОП" while sorting.
  void showPuskCaption();
  static inline const QString kStartCaption = QStringLiteral("ПУСК");
  static inline const QString kStopCaption = QStringLiteral("СТОП");
  int gaugePosition(int gauge) const;
  std::pair<int, int> gaugeBand(int gauge) const;

  QLabel* NormaLabel;
  std::array<QWidget*, 2> gauges;      // AnalogGauge1, AnalogGauge2
  std::array<CameraLamps, 2> cameras;  // c1LED..., Proc0Label; c2LED..., Proc1Label
  QLabel* cntLabel;

  QFrame* RegulatorPanel;
  TasSwitch* RegulatorLeftButton;
  QLabel* RegulatorLabel;
  QLabel* RegulatorPercentLabel;
  TasSwitch* RegulatorRightButton;

  QFrame* LineModePanel;
  TasSwitch* FastSort_LeftDouble;
  QLabel* FastSort_valD;
  TasSwitch* FastSort_RightDouble;
  // cam1blackLabel, cam1lightLabel / cam2blackLabel, cam2lightLabel with their arrows.
  std::array<StepperRow, 2> blackLevels;
  std::array<StepperRow, 2> lightLevels;

  TasSwitch* PowerOffButtom;
  TasSwitch* RebootButton;
  TasSwitch* asSwitch17;
  TasSwitch* WaitModeButton;
  TasSwitch* PuskSwitch;

  TasSwitch* SupportButton;
  Lamp* iLEDgreen;
  Lamp* iLEDred;
  QFrame* DownloadPanel;
  QLabel* ParLabel;
  QProgressBar* PBar;
};

}  // namespace tolvane
