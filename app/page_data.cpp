#include "app/page_data.h"

#include <QPainter>
#include <algorithm>

#include "app/page_common.h"

namespace tolvane {

namespace {

QListWidget* addSampleList(QWidget* parent, const QString& name, const QRect& geometry, int firstSlot) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setGeometry(geometry);
  list->setViewMode(QListView::IconMode);
  list->setFlow(QListView::LeftToRight);
  list->setWrapping(true);
  list->setResizeMode(QListView::Adjust);
  list->setMovement(QListView::Static);
  list->setGridSize(kSampleItemSize);
  list->setSpacing(0);
  list->setFrameShape(QFrame::NoFrame);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setFont(screenFont(14, true));
  for (int slot = firstSlot; slot < firstSlot + 6; ++slot) list->addItem(QString::number(slot));
  list->setCurrentRow(0);
  return list;
}

QImage samplePicture(QSize size, bool on, bool mask) {
  return faceWithPicture(size, on, QColor(90, 150, 230), [mask](QPainter& painter, const QRectF& area) {
    const QPointF centre = area.center();
    const qreal r = std::min(area.width(), area.height()) / 3;
    painter.setPen(QPen(QColor(30, 30, 30), 2));
    if (mask) {
      painter.setBrush(QColor(230, 40, 40));
      painter.drawEllipse(centre, r, r * 0.7);
      painter.setBrush(QColor(40, 40, 230));
      painter.drawEllipse(centre + QPointF(r * 0.3, 0), r * 0.35, r * 0.3);
    } else {
      painter.setBrush(Qt::NoBrush);
      painter.drawEllipse(centre, r, r);
      painter.drawLine(QPointF(centre.x() - r * 1.4, centre.y()), QPointF(centre.x() + r * 1.4, centre.y()));
      painter.drawLine(QPointF(centre.x(), centre.y() - r * 1.4), QPointF(centre.x(), centre.y() + r * 1.4));
    }
  });
}

QLabel* addChannelLabel(QWidget* parent, const QString& name, const QString& text, int x) {
  QLabel* label = addValueLabel(parent, name, text, QRect(x, 286, 26, 30), 18);
  return label;
}

}  // namespace

QLabel* addPictureBox(QWidget* parent, const QString& name, const QRect& geometry) {
  auto* box = new QLabel(parent);
  box->setObjectName(name);
  box->setGeometry(geometry);
  box->setAutoFillBackground(true);
  QPalette palette = box->palette();
  palette.setColor(QPalette::Window, Qt::white);
  box->setPalette(palette);
  box->setFrameShape(QFrame::Box);
  box->setAlignment(Qt::AlignCenter);
  return box;
}

PageData::PageData(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabData"));

  SampleBox1 = addSampleList(this, QStringLiteral("SampleBox1"), QRect(2, 4, 352, 220), 0);
  SampleBox2 = addSampleList(this, QStringLiteral("SampleBox2"), QRect(452, 4, 352, 220), 6);
  Paint = addPictureBox(this, QStringLiteral("Paint"), QRect(28, 240, 300, 300));
  PaintB = addPictureBox(this, QStringLiteral("PaintB"), QRect(478, 240, 300, 300));
  // The picture fills the box, so a touch's position is the picture's pixel.
  Paint->setFrameShape(QFrame::NoFrame);
  PaintB->setFrameShape(QFrame::NoFrame);

  const QRect scan(360, 6, 86, 62);
  ScanExamSwitch = addSwitch(this, QStringLiteral("ScanExamSwitch"), QString(), scan);
  ScanExamSwitch->setGlyphOff(samplePicture(scan.size(), false, false));
  ScanExamSwitch->setGlyphOn(samplePicture(scan.size(), true, false));

  addLabel(this, QStringLiteral("CatchLabel"), QStringLiteral("Ловить:"), QRect(360, 74, 86, 22), 15, true,
           Qt::AlignCenter);
  SampleNormButton =
      addSwitch(this, QStringLiteral("SampleNormButton"), QStringLiteral("Норм"), QRect(360, 98, 86, 46), 15);
  SampleBrakButton = addSwitch(this, QStringLiteral("SampleBrakButton"), QStringLiteral("Брак"),
                               QRect(360, 148, 86, 46), 15);
  SampleNormButton->setStateOn(true);
  SampleBrakButton->setStateOn(true);

  const QRect mask(360, 210, 86, 62);
  MaskSwitch = addSwitch(this, QStringLiteral("MaskSwitch"), QString(), mask);
  MaskSwitch->setGlyphOff(samplePicture(mask.size(), false, true));
  MaskSwitch->setGlyphOn(samplePicture(mask.size(), true, true));

  R_Label = addChannelLabel(this, QStringLiteral("R_Label"), QStringLiteral("R"), 361);
  G_Label = addChannelLabel(this, QStringLiteral("G_Label"), QStringLiteral("G"), 390);
  B_Label = addChannelLabel(this, QStringLiteral("B_Label"), QStringLiteral("B"), 419);

  AllClearSwitch = addSwitch(this, QStringLiteral("AllClearSwitch"), QStringLiteral("Очистить|все"),
                             QRect(360, 480, 86, 60), 13);
  AllClearSwitch->setAutoOff(true);
  QObject::connect(AllClearSwitch, &TasSwitch::mouseUp, AllClearSwitch,
                   [this](QObject*, Qt::MouseButton, QPoint) { AllClearSwitch->setStateOn(false); });
}

}  // namespace tolvane
