#include "app/page_settings.h"

#include <QFrame>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "app/page_common.h"
#include "app/page_data.h"

namespace tolvane {

namespace {

// The sector editor's drawing: a sector seen from the map's centre below it, outer arc on top, inner
// arc below, a double arrow at each edge that the buttons beside it move.
QImage sectorEditorDrawing(QSize size) {
  QImage image(size, QImage::Format_RGB888);
  image.fill(QColor::fromRgb(kPanelColor));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QPointF centre(size.width() / 2.0, size.height() + 60.0);
  const double outer = size.height() + 10.0;
  const double inner = 125.0;
  const double from = 75.0;
  const double span = 30.0;
  QPainterPath wedge;
  wedge.arcMoveTo(QRectF(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer), from);
  wedge.arcTo(QRectF(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer), from, span);
  wedge.arcTo(QRectF(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner), from + span, -span);
  wedge.closeSubpath();
  p.setPen(QPen(QColor(128, 0, 0), 3));
  p.setBrush(QColor(235, 200, 200));
  p.drawPath(wedge);
  const auto arrow = [&p](QPointF a, QPointF b) {
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.drawLine(a, b);
    const QPointF d = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y()) * 6.0;
    const QPointF n(-d.y(), d.x());
    p.drawLine(a, a + d + n);
    p.drawLine(a, a + d - n);
    p.drawLine(b, b - d + n);
    p.drawLine(b, b - d - n);
  };
  const double w = size.width();
  arrow(QPointF(w / 2, 42), QPointF(w / 2, 74));              // outer arc
  arrow(QPointF(w / 2, 170), QPointF(w / 2, 200));            // inner arc
  arrow(QPointF(w / 2 - 90, 118), QPointF(w / 2 - 58, 124));  // one hue edge
  arrow(QPointF(w / 2 + 58, 124), QPointF(w / 2 + 90, 118));  // the other
  return image;
}

}  // namespace

void PageSettings::buildSectorEditor() {
  constexpr int kSize = 240;
  SectorEditorPanel = new QFrame(this);
  SectorEditorPanel->setObjectName(QStringLiteral("SectorEditorPanel"));
  SectorEditorPanel->setGeometry(2 + 514 - kSize, 2 + 514 - kSize, kSize, kSize);
  SectorEditorPanel->setFrameShape(QFrame::Box);
  SectorEditorPicture = new QLabel(SectorEditorPanel);
  SectorEditorPicture->setObjectName(QStringLiteral("SectorEditorPicture"));
  SectorEditorPicture->setGeometry(0, 0, kSize, kSize);
  SectorEditorPicture->setPixmap(QPixmap::fromImage(sectorEditorDrawing(QSize(kSize, kSize))));
  const auto button = [this](const char* name, const char* caption, QPoint at) {
    TasSwitch* s = addArrow(SectorEditorPanel, QString::fromLatin1(name), QString::fromLatin1(caption),
                            QRect(at, QSize(46, 40)));
    return s;
  };
  SE_TopM_Button = button("SE_TopM_Button", "-", QPoint(70, 2));
  SE_TopP_Button = button("SE_TopP_Button", "+", QPoint(124, 2));
  SE_BottomM_Button = button("SE_BottomM_Button", "-", QPoint(70, 198));
  SE_BottomP_Button = button("SE_BottomP_Button", "+", QPoint(124, 198));
  SE_LeftM_Button = button("SE_LeftM_Button", "-", QPoint(2, 76));
  SE_LeftP_Button = button("SE_LeftP_Button", "+", QPoint(2, 122));
  SE_RightM_Button = button("SE_RightM_Button", "-", QPoint(192, 76));
  SE_RightP_Button = button("SE_RightP_Button", "+", QPoint(192, 122));
  SectorEditorPanel->hide();
}

void PageSettings::build3DPanel() {
  // Beside the "3D" switch, which stays reachable to close it.
  Panel3D = new QFrame(this);
  Panel3D->setObjectName(QStringLiteral("Panel3D"));
  Panel3D->setGeometry(76, 8, 700, 550);
  Paint3D = new QLabel(Panel3D);
  Paint3D->setObjectName(QStringLiteral("Paint3D"));
  Paint3D->setGeometry(0, 0, 700, 550);
  Paint3D->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  constexpr int kX = 700 - 92;
  turn3DUpButton =
      addArrow(Panel3D, QStringLiteral("turn3DUpButton"), QStringLiteral("Вверх"), QRect(kX, 8, 88, 46));
  turn3DDownButton =
      addArrow(Panel3D, QStringLiteral("turn3DDownButton"), QStringLiteral("Вниз"), QRect(kX, 58, 88, 46));
  turn3DLeftButton =
      addArrow(Panel3D, QStringLiteral("turn3DLeftButton"), QStringLiteral("<<"), QRect(kX, 108, 88, 46));
  turn3DRightButton =
      addArrow(Panel3D, QStringLiteral("turn3DRightButton"), QStringLiteral(">>"), QRect(kX, 158, 88, 46));
  for (TasSwitch* s : {turn3DUpButton, turn3DDownButton, turn3DLeftButton, turn3DRightButton})
    s->setAutoRepeatTime(50);
  turnBeginButton = addSwitch(Panel3D, QStringLiteral("turnBeginButton"),
                              QStringLiteral("Исходное|положение"), QRect(kX - 20, 214, 108, 56), 12);
  turnBeginButton->setAutoOff(true);
  Panel3D->hide();
}

PageSettings::PageSettings(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSettings"));

  auto* hsvPanel = new QFrame(this);
  hsvPanel->setObjectName(QStringLiteral("hsvPanel"));
  hsvPanel->setGeometry(2, 2, 514, 514);
  HSVpaint = new HsvMapWidget(QStringLiteral("HSVpaint"), hsvPanel);
  HSVpaint->setGeometry(0, 0, 514, 514);

  Panel3DSwitch =
      addSwitch(hsvPanel, QStringLiteral("Panel3DSwitch"), QStringLiteral("3D|>>"), QRect(6, 6, 62, 46), 13);
  FonSwitch =
      // Bottom left: the selected sector's bounds are written at the top right.
      addSwitch(hsvPanel, QStringLiteral("FonSwitch"), QStringLiteral("фон|>>"), QRect(6, 462, 62, 46), 13);

  Label33 = addLabel(this, QStringLiteral("Label33"),
                     QStringLiteral("H=0..360 градусов. Оттенок, направление цвета.\n"
                                    "S=0.255 единиц. Насыщенность, расстояние от центра.\n"
                                    "V=0.255 единиц. Яркость, по оси цилиндра. На схеме = 255."),
                     QRect(4, 518, 514, 42), 11);

  constexpr int kX = 524;
  ColorCamEditSwitch1 = addSwitch(this, QStringLiteral("ColorCamEditSwitch1"), QStringLiteral("Камера 1"),
                                  QRect(kX, 2, 90, 46), 13);
  ColorCamEditSwitch1->setStateOn(true);
  ColorCamEditSwitch2 = addSwitch(this, QStringLiteral("ColorCamEditSwitch2"), QStringLiteral("Камера 2"),
                                  QRect(kX + 94, 2, 90, 46), 13);
  SectorEditorSwitch = addSwitch(this, QStringLiteral("SectorEditorSwitch"), QStringLiteral("ред|<<"),
                                 QRect(kX + 188, 2, 90, 46), 14);

  const QRect listGeometry(kX, 52, SectorListBox::kEntryWidth + SectorListBox::kScrollBarWidth,
                           6 * SectorListBox::kEntryHeight);
  BoxSectorA = new SectorListBox(this);
  BoxSectorA->setObjectName(QStringLiteral("BoxSectorA"));
  BoxSectorA->setGeometry(listGeometry);
  BoxSectorB = new SectorListBox(this);
  BoxSectorB->setObjectName(QStringLiteral("BoxSectorB"));
  BoxSectorB->setGeometry(listGeometry);
  BoxSectorB->hide();

  addLabel(this, QStringLiteral("vCaption"), QStringLiteral("V"), QRect(kX, 182, 14, 34), 14, true);
  vMinMinus = addArrow(this, QStringLiteral("vMinMinus"), QStringLiteral("<<"), QRect(kX + 16, 182, 38, 34));
  vMinLabel = addValueLabel(this, QStringLiteral("vMinLabel"), QStringLiteral("000"),
                            QRect(kX + 56, 184, 46, 30), 16);
  vMinPlus = addArrow(this, QStringLiteral("vMinPlus"), QStringLiteral(">>"), QRect(kX + 104, 182, 38, 34));
  vMaxMinus = addArrow(this, QStringLiteral("vMaxMinus"), QStringLiteral("<<"), QRect(kX + 152, 182, 38, 34));
  vMaxLabel = addValueLabel(this, QStringLiteral("vMaxLabel"), QStringLiteral("000"),
                            QRect(kX + 192, 184, 46, 30), 16);
  vMaxPlus = addArrow(this, QStringLiteral("vMaxPlus"), QStringLiteral(">>"), QRect(kX + 240, 182, 38, 34));

  BackgroundSectorButton = addSwitch(this, QStringLiteral("BackgroundSectorButton"),
                                     QStringLiteral("Фоновый|сектор"), QRect(kX, 220, 72, 46), 11);
  RedSectorButton = addSwitch(this, QStringLiteral("RedSectorButton"), QStringLiteral("Красный|сектор"),
                              QRect(kX + 74, 220, 72, 46), 11);
  BlueSectorButton = addSwitch(this, QStringLiteral("BlueSectorButton"), QStringLiteral("Синий|сектор"),
                               QRect(kX + 148, 220, 72, 46), 11);
  FullCircleButton = addSwitch(this, QStringLiteral("FullCircleButton"), QStringLiteral("круг"),
                               QRect(kX + 222, 220, 56, 22), 11);
  DeleteAllSectorsButton = addSwitch(this, QStringLiteral("DeleteAllSectorsButton"), QStringLiteral("X"),
                                     QRect(kX + 222, 244, 56, 22), 12);
  for (TasSwitch* s :
       {BackgroundSectorButton, RedSectorButton, BlueSectorButton, FullCircleButton, DeleteAllSectorsButton})
    s->setAutoOff(true);
  CopySectorsButton = addSwitch(this, QStringLiteral("CopySectorsButton"),
                                QStringLiteral("Скопировать в другую камеру"), QRect(kX, 270, 278, 34), 13);
  CopySectorsButton->setAutoOff(true);

  constexpr int kBlueY = 308;
  FonBlueButton = addSwitch(this, QStringLiteral("FonBlueButton"), QStringLiteral("Голубой|фон"),
                            QRect(kX, kBlueY, 86, 76), 13);
  const char* blueNames[6] = {"FRminLabel", "FRmaxLabel", "FGminLabel",
                              "FGmaxLabel", "FBminLabel", "FBmaxLabel"};
  for (int i = 0; i < 6; ++i) {
    QLabel* label = addValueLabel(this, QString::fromLatin1(blueNames[i]), QStringLiteral("000"),
                                  QRect(kX + 92 + (i / 2) * 48, kBlueY + (i % 2) * 26, 44, 24), 14);
    // Transparent until touched: light text on the page.
    label->setAutoFillBackground(false);
    setLabelTextColor(label, QColor::fromRgb(kTextColor));
    blueFonLabels[static_cast<std::size_t>(i)] = label;
  }
  BlueFonLeftButton = addArrow(this, QStringLiteral("BlueFonLeftButton"), QStringLiteral("<<"),
                               QRect(kX + 92, kBlueY + 52, 68, 26));
  BlueFonRightButton = addArrow(this, QStringLiteral("BlueFonRightButton"), QStringLiteral(">>"),
                                QRect(kX + 166, kBlueY + 52, 68, 26));

  constexpr int kBlackY = 388;
  FonBlackButton = addSwitch(this, QStringLiteral("FonBlackButton"), QStringLiteral("Черный|фон"),
                             QRect(kX, kBlackY, 86, 46), 13);
  BlackFonLabelA = addValueLabel(this, QStringLiteral("BlackFonLabelA"), QStringLiteral("000"),
                                 QRect(kX + 92, kBlackY + 10, 44, 24), 14);
  BlackFonLabelB = addValueLabel(this, QStringLiteral("BlackFonLabelB"), QStringLiteral("000"),
                                 QRect(kX + 140, kBlackY + 10, 44, 24), 14);
  BlackFonLabelB->hide();
  BlackFonLeftButton = addArrow(this, QStringLiteral("BlackFonLeftButton"), QStringLiteral("<<"),
                                QRect(kX + 190, kBlackY + 8, 42, 28));
  BlackFonRightButton = addArrow(this, QStringLiteral("BlackFonRightButton"), QStringLiteral(">>"),
                                 QRect(kX + 236, kBlackY + 8, 42, 28));

  Paint2 = addPictureBox(this, QStringLiteral("Paint2"), QRect(kX + 20, 438, 100, 100));
  Paint3 = addPictureBox(this, QStringLiteral("Paint3"), QRect(kX + 156, 438, 100, 100));
  V_Label = addLabel(this, QStringLiteral("V_Label"), QStringLiteral("Среднее значение яркости V="),
                     QRect(kX, 540, 278, 18), 12);

  buildSectorEditor();
  build3DPanel();

  // Over the legend, which it hides while it has something to say.
  SectorStatusLabel =
      addLabel(this, QStringLiteral("SectorStatusLabel"), QString(), QRect(4, 518, 514, 42), 12, true);
  SectorStatusLabel->setWordWrap(true);
  SectorStatusLabel->setAutoFillBackground(true);
  QPalette warning = SectorStatusLabel->palette();
  warning.setColor(QPalette::Window, QColor(120, 20, 20));
  warning.setColor(QPalette::WindowText, QColor(255, 240, 200));
  SectorStatusLabel->setPalette(warning);
  SectorStatusLabel->hide();

  UpdateGauge = new QProgressBar(this);
  UpdateGauge->setObjectName(QStringLiteral("UpdateGauge"));
  UpdateGauge->setGeometry(kX, 540, 278, 18);
  UpdateGauge->hide();
}

}  // namespace tolvane
