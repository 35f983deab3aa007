#pragma once

#include <QLabel>
#include <QListWidget>
#include <QSize>
#include <QWidget>

#include "ui/tas_switch.h"

namespace tolvane {

// Each list shows its six samples in two rows of three items of this size.
inline constexpr QSize kSampleItemSize{114, 110};

// The samples page (TabData): the sample lists and big sample images of both cameras with the catch,
// mask, channel and clearing controls between them.
class PageData : public QWidget {
  Q_OBJECT

 public:
  explicit PageData(QWidget* parent = nullptr);

  QListWidget* SampleBox1;
  QListWidget* SampleBox2;
  QLabel* Paint;   // camera 1, 300 x 300
  QLabel* PaintB;  // camera 2
  TasSwitch* ScanExamSwitch;
  TasSwitch* SampleNormButton;
  TasSwitch* SampleBrakButton;
  TasSwitch* MaskSwitch;
  QLabel* R_Label;
  QLabel* G_Label;
  QLabel* B_Label;
  TasSwitch* AllClearSwitch;
};

// A white picture area with a frame (sample images).
QLabel* addPictureBox(QWidget* parent, const QString& name, const QRect& geometry);

}  // namespace tolvane
