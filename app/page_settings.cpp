#include "app/page_settings.h"

#include <QFrame>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/page_common.h"
#include "app/page_data.h"
#include "engine/color_convert.h"

namespace tolvane {

QImage hsvMapPicture() {
  constexpr int kSize = 514;
  constexpr double kCentre = 256.5;
  constexpr double kRadius = 255.5;
  QImage image(kSize, kSize, QImage::Format_RGB888);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const double dx = x - kCentre;
      const double dy = y - kCentre;
      const double d = std::hypot(dx, dy);
      QRgb colour;
      if (d <= kRadius) {
        double angle = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
        if (angle < 0) angle += 360.0;
        const int h = std::min(359, static_cast<int>(angle));
        const int s = std::min(255, static_cast<int>(d));
        const RgbValues rgb = HsvToRgb(h, s, 255);
        colour = qRgb(std::clamp(rgb.r, 1, 255), std::clamp(rgb.g, 1, 255), std::clamp(rgb.b, 1, 255));
      } else {
        // A soft darker rim around the disc and along the border; never black.
        const double fromDisc = std::min(1.0, (d - kRadius) / 6.0);
        const int edge = std::min({x, y, kSize - 1 - x, kSize - 1 - y});
        const double fromBorder = std::min(1.0, edge / 6.0);
        const int grey = 21 + static_cast<int>(76 * std::min(fromDisc, fromBorder));
        colour = qRgb(grey, grey, grey);
      }
      image.setPixel(x, y, colour);
    }
  }
  return image;
}

PageSettings::PageSettings(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSettings"));

  auto* hsvPanel = new QFrame(this);
  hsvPanel->setObjectName(QStringLiteral("hsvPanel"));
  hsvPanel->setGeometry(2, 2, 514, 514);
  HSVpaint = new QLabel(hsvPanel);
  HSVpaint->setObjectName(QStringLiteral("HSVpaint"));
  HSVpaint->setGeometry(0, 0, 514, 514);
  HSVpaint->setPixmap(QPixmap::fromImage(hsvMapPicture()));

  Panel3DSwitch =
      addSwitch(hsvPanel, QStringLiteral("Panel3DSwitch"), QStringLiteral("3D|>>"), QRect(6, 6, 62, 46), 13);
  FonSwitch =
      addSwitch(hsvPanel, QStringLiteral("FonSwitch"), QStringLiteral("фон|>>"), QRect(446, 6, 62, 46), 13);

  Label33 = addLabel(this, QStringLiteral("Label33"),
                     QStringLiteral("H=0..360 градусов. Оттенок, направление цвета.\n"
                                    "S=0.255 единиц. Насыщенность, расстояние от центра.\n"
                                    "V=0.255 единиц. Яркость, по оси цилиндра. На схеме = 255."),
                     QRect(4, 518, 514, 42), 11);

  constexpr int kX = 524;
  ColorCamEditSwitch1 = addSwitch(this, QStringLiteral("ColorCamEditSwitch1"), QStringLiteral("Камера 1"),
                                  QRect(kX, 2, 140, 46), 14);
  ColorCamEditSwitch1->setStateOn(true);
  SectorEditorSwitch = addSwitch(this, QStringLiteral("SectorEditorSwitch"), QStringLiteral("ред|<<"),
                                 QRect(kX + 146, 2, 132, 46), 14);

  BoxSectorA = new QListWidget(this);
  BoxSectorA->setObjectName(QStringLiteral("BoxSectorA"));
  BoxSectorA->setGeometry(kX, 52, 278, 120);
  BoxSectorA->setFont(screenFont(13, true));

  BackgroundSectorButton = addSwitch(this, QStringLiteral("BackgroundSectorButton"),
                                     QStringLiteral("Фоновый|сектор"), QRect(kX, 176, 90, 46), 12);
  RedSectorButton = addSwitch(this, QStringLiteral("RedSectorButton"), QStringLiteral("Красный|сектор"),
                              QRect(kX + 94, 176, 90, 46), 12);
  BlueSectorButton = addSwitch(this, QStringLiteral("BlueSectorButton"), QStringLiteral("Синий|сектор"),
                               QRect(kX + 188, 176, 90, 46), 12);
  for (TasSwitch* s : {BackgroundSectorButton, RedSectorButton, BlueSectorButton}) s->setAutoOff(true);
  CopySectorsButton = addSwitch(this, QStringLiteral("CopySectorsButton"),
                                QStringLiteral("Скопировать в другую камеру"), QRect(kX, 226, 278, 40), 13);
  CopySectorsButton->setAutoOff(true);

  FonBlueButton = addSwitch(this, QStringLiteral("FonBlueButton"), QStringLiteral("Голубой|фон"),
                            QRect(kX, 272, 86, 76), 13);
  const char* blueNames[6] = {"FRminLabel", "FRmaxLabel", "FGminLabel",
                              "FGmaxLabel", "FBminLabel", "FBmaxLabel"};
  for (int i = 0; i < 6; ++i) {
    QLabel* label = addValueLabel(this, QString::fromLatin1(blueNames[i]), QStringLiteral("000"),
                                  QRect(kX + 92 + (i / 2) * 48, 272 + (i % 2) * 26, 44, 24), 14);
    // Transparent until touched: light text on the page.
    label->setAutoFillBackground(false);
    setLabelTextColor(label, QColor::fromRgb(kTextColor));
    blueFonLabels[static_cast<std::size_t>(i)] = label;
  }
  BlueFonLeftButton =
      addArrow(this, QStringLiteral("BlueFonLeftButton"), QStringLiteral("<<"), QRect(kX + 92, 324, 68, 26));
  BlueFonRightButton = addArrow(this, QStringLiteral("BlueFonRightButton"), QStringLiteral(">>"),
                                QRect(kX + 166, 324, 68, 26));

  FonBlackButton = addSwitch(this, QStringLiteral("FonBlackButton"), QStringLiteral("Черный|фон"),
                             QRect(kX, 354, 86, 50), 13);
  BlackFonLabelA = addValueLabel(this, QStringLiteral("BlackFonLabelA"), QStringLiteral("000"),
                                 QRect(kX + 92, 358, 44, 24), 14);
  BlackFonLabelB = addValueLabel(this, QStringLiteral("BlackFonLabelB"), QStringLiteral("000"),
                                 QRect(kX + 140, 358, 44, 24), 14);
  BlackFonLeftButton = addArrow(this, QStringLiteral("BlackFonLeftButton"), QStringLiteral("<<"),
                                QRect(kX + 190, 356, 42, 28));
  BlackFonRightButton = addArrow(this, QStringLiteral("BlackFonRightButton"), QStringLiteral(">>"),
                                 QRect(kX + 236, 356, 42, 28));

  Paint2 = addPictureBox(this, QStringLiteral("Paint2"), QRect(kX + 20, 412, 100, 100));
  Paint3 = addPictureBox(this, QStringLiteral("Paint3"), QRect(kX + 156, 412, 100, 100));
  V_Label = addLabel(this, QStringLiteral("V_Label"), QStringLiteral("Среднее значение яркости V="),
                     QRect(kX, 518, 278, 20), 12);

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
  UpdateGauge->setGeometry(kX, 540, 278, 16);
  UpdateGauge->hide();
}

}  // namespace tolvane
