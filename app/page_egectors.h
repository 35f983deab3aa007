#pragma once

#include <QLabel>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

// The ejector cells (EgectorBoxA): one column per ejector "01" ... "48" with its lifetime shot count
// written upward, a wear bar rising from the foot and a valve lamp; one selected cell at most.
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
  // Shot counts of the ejectors' outputs, cell by cell.
  void setShotCounts(const std::array<std::int32_t, kCells>& counts);
  const std::array<std::int32_t, kCells>& shotCounts() const { return counts_; }
  const std::array<bool, kCells>& valveOpen() const { return open_; }
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
  std::array<std::int32_t, kCells> counts_{};
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
  // Calibration arrows of side A (BlockListCam1) and side B (BlockListCam2), repeating every 20 ms.
  TasSwitch* AButtonLeftMinus;
  TasSwitch* AButtonLeftPlus;
  TasSwitch* AButtonRightMinus;
  TasSwitch* AButtonRightPlus;
  TasSwitch* BButtonLeftMinus;
  TasSwitch* BButtonLeftPlus;
  TasSwitch* BButtonRightMinus;
  TasSwitch* BButtonRightPlus;
  QLabel* Cam1;
  QLabel* Cam2;
  QLabel* DASP1;
  QLabel* FPS1;
  QLabel* FPS2;
  TouchLabel* CountLabel;  // a double touch writes the current objects dump
  QLabel* BrakLabel;
  TasSwitch* TestButton;
  TasSwitch* FullTestButton;
  StepperRow Time;                                // TimeLabel with Time_Left, Time_Right
  StepperRow Delay;                               // DelayLabel
  StepperRow MinVes;                              // MinVesLabel
  StepperRow EGA_Min, EGA_Max, EGB_Min, EGB_Max;  // EGA_MinLabel ...

  // The four arrows of side 0 (A) or 1 (B): left minus, left plus, right minus, right plus.
  std::array<TasSwitch*, 4> calibrationArrows(int side) const;
};

}  // namespace tolvane
