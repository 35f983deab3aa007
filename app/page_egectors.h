#pragma once

#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <array>
#include <optional>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// The ejector cells (EgectorBoxA): one column per ejector "01" ... "48", a valve lamp at the foot of
// each, one selected cell at most.
class EjectorCells : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kCells = 48;
  explicit EjectorCells(QWidget* parent = nullptr);

  // Creates the items "01" ... "48" (start-up).
  void createItems();
  int itemCount() const { return items_.size(); }
  const QStringList& items() const { return items_; }
  std::optional<int> selectedCell() const { return selected_; }
  void selectCell(std::optional<int> cell);
  void setValveOpen(const std::array<bool, kCells>& open);
  QRect cellRect(int cell) const;

 signals:
  void cellTouched(int cell);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QStringList items_;
  std::optional<int> selected_;
  std::array<bool, kCells> open_{};
};

// A block list (BlockListCam1/2): four cells, each item drawn in two lines split at "|".
class BlockList : public PictureList {
  Q_OBJECT

 public:
  explicit BlockList(QWidget* parent = nullptr);
  void setItems(const QStringList& items);
  const QStringList& items() const { return items_; }

 private:
  QStringList items_;
};

// The ejector page (TabEgectors): ejector cells, block lists with the calibration arrows, the stable
// parameters and working ranges, camera and board information and the ejector tests.
class PageEgectors : public QWidget {
  Q_OBJECT

 public:
  explicit PageEgectors(QWidget* parent = nullptr);

  EjectorCells* EgectorBoxA;
  BlockList* BlockListCam1;
  BlockList* BlockListCam2;
  TasSwitch* KalibrovkaEnableButton;
  QLabel* Cam1;
  QLabel* Cam2;
  QLabel* DASP1;
  QLabel* FPS1;
  QLabel* FPS2;
  QLabel* CountLabel;
  QLabel* BrakLabel;
  TasSwitch* TestButton;
  TasSwitch* FullTestButton;
  StepperRow Time;                                // TimeLabel with Time_Left, Time_Right
  StepperRow Delay;                               // DelayLabel
  StepperRow MinVes;                              // MinVesLabel
  StepperRow EGA_Min, EGA_Max, EGB_Min, EGB_Max;  // EGA_MinLabel ...
};

}  // namespace tolvane
