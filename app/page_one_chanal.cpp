#include "app/page_one_chanal.h"

#include <QLinearGradient>
#include <QPainter>

#include "app/page_common.h"
#include "app/page_data.h"

namespace tolvane {

BrightnessScale::BrightnessScale(QWidget* parent) : QWidget(parent) {}

void BrightnessScale::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int left = scaleLeft();
  const int ramp = height() / 2;
  QLinearGradient gradient(left, 0, left + kScaleWidth, 0);
  gradient.setColorAt(0.0, QColor(1, 1, 1));
  gradient.setColorAt(1.0, QColor(255, 255, 255));
  painter.fillRect(QRect(left, 0, kScaleWidth, ramp), gradient);
  painter.setPen(QColor::fromRgb(kTextColor));
  painter.setFont(screenFont(10));
  for (int level = 0; level <= 250; level += 50) {
    const int x = left + 2 * level;
    painter.drawLine(x, ramp, x, ramp + 4);
    painter.drawText(QRect(x - 15, ramp + 4, 30, height() - ramp - 4), Qt::AlignCenter,
                     QString::number(level));
  }
}

namespace {

QWidget* addBar(QWidget* strip, const QString& name, QRgb colour, int top, int height) {
  auto* bar = new QWidget(strip);
  bar->setObjectName(name);
  bar->setAutoFillBackground(true);
  QPalette palette = bar->palette();
  palette.setColor(QPalette::Window, QColor::fromRgb(colour));
  bar->setPalette(palette);
  bar->setGeometry(0, top, 0, height);
  return bar;
}

// Bars of one camera in the strip: zones over the full height, the background range on top, product
// colours 1 and 2 below it, markers over everything.
RangeBarWidgets addRangeBars(QWidget* parent, const QString& prefix, const QRect& geometry) {
  RangeBarWidgets bars;
  bars.strip = new QWidget(parent);
  bars.strip->setObjectName(prefix + QStringLiteral("RangeBars"));
  bars.strip->setGeometry(geometry);
  const int h = geometry.height();
  bars.darkZone = addBar(bars.strip, prefix + QStringLiteral("DarkZoneBar"), 0xFF141414, 0, h);
  bars.lightZone = addBar(bars.strip, prefix + QStringLiteral("LightZoneBar"), 0xFFE6E6E6, 0, h);
  bars.fonRange = addBar(bars.strip, prefix + QStringLiteral("FonRangeBar"), 0xFF3C8CE6, 1, 6);
  bars.p1 = addBar(bars.strip, prefix + QStringLiteral("P1RangeBar"), 0xFF3CC850, 8, 5);
  bars.p2 = addBar(bars.strip, prefix + QStringLiteral("P2RangeBar"), 0xFFF0A028, 14, h - 14);
  bars.darkEdge = addBar(bars.strip, prefix + QStringLiteral("DarkEdgeBar"), 0xFFFFDC00, 0, h);
  bars.lightEdge = addBar(bars.strip, prefix + QStringLiteral("LightEdgeBar"), 0xFFFFDC00, 0, h);
  bars.fonLeftMarker = addBar(bars.strip, prefix + QStringLiteral("FonMinMarker"), 0xFF1040A0, 0, 8);
  bars.fonRightMarker = addBar(bars.strip, prefix + QStringLiteral("FonMaxMarker"), 0xFF1040A0, 0, 8);
  return bars;
}

}  // namespace

PageOneChanal::PageOneChanal(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabOneChanal"));
  addLabel(this, QStringLiteral("OneChanalTitle"), QStringLiteral("Настройки однотонного режима"),
           QRect(8, 2, 500, 26), 18, true);

  for (int camera = 0; camera < 2; ++camera) {
    const QString p = camera == 0 ? QString() : QStringLiteral("C2");
    const int top = 32 + camera * 264;
    QFrame* block =
        addPanel(this, QStringLiteral("CameraRangePanel%1").arg(camera + 1), QRect(2, top, 802, 258));
    addLabel(block, QStringLiteral("CameraRangeTitle%1").arg(camera + 1),
             QStringLiteral("Камера %1").arg(camera + 1), QRect(10, 8, 110, 24), 16, true);
    bars[static_cast<std::size_t>(camera)] = addRangeBars(block, p, QRect(130, 6, 540, 20));
    auto* scale = new BrightnessScale(block);
    scale->setObjectName(QStringLiteral("RangeScale%1").arg(camera + 1));
    scale->setGeometry(130, 27, 540, 30);
    scales[static_cast<std::size_t>(camera)] = scale;

    struct Row {
      const char* caption;
      const char* minButton;
      const char* minLabel;
      const char* maxButton;
      const char* maxLabel;
      const char* minText;
      const char* maxText;
    };
    const Row rows[3] = {
        {"Фоновый диапазон:", "FonChMin", "FonMin", "FonChMax", "FonMax", "200", "255"},
        {"Цвет продукта 1:", "P1ChMin", "P1min", "P1ChMax", "P1max", "000", "150"},
        {"Цвет продукта 2:", "P2ChMin", "P2min", "P2ChMax", "P2max", "150", "200"},
    };
    CameraRangeSteppers& shown = ranges[static_cast<std::size_t>(camera)];
    const std::array<std::pair<StepperRow*, StepperRow*>, 3> targets = {
        {{&shown.fonMin, &shown.fonMax}, {&shown.p1Min, &shown.p1Max}, {&shown.p2Min, &shown.p2Max}}};
    for (int r = 0; r < 3; ++r) {
      const int y = 62 + r * 46;
      const Row& row = rows[r];
      addLabel(block, p + QStringLiteral("RangeCaption%1").arg(r), QString::fromUtf8(row.caption),
               QRect(10, y, 180, 40), 15, true);
      const QString minButton = p + QString::fromLatin1(row.minButton);
      const QString maxButton = p + QString::fromLatin1(row.maxButton);
      *targets[static_cast<std::size_t>(r)].first =
          addStepper(block, minButton + QStringLiteral("Left"), p + QString::fromLatin1(row.minLabel),
                     minButton + QStringLiteral("Right"), QString::fromLatin1(row.minText), QPoint(196, y));
      *targets[static_cast<std::size_t>(r)].second =
          addStepper(block, maxButton + QStringLiteral("Left"), p + QString::fromLatin1(row.maxLabel),
                     maxButton + QStringLiteral("Right"), QString::fromLatin1(row.maxText), QPoint(372, y));
    }
    const int y = 62 + 3 * 46;
    addLabel(block, p + QStringLiteral("DarkCaption"), QStringLiteral("темный фон"), QRect(10, y, 180, 40),
             15, true);
    shown.fonBlack =
        addStepper(block, p + QStringLiteral("FonBlackChMinLeft"), p + QStringLiteral("FonBlack"),
                   p + QStringLiteral("FonBlackChMinRight"), QStringLiteral("000"), QPoint(196, y));
    addLabel(block, p + QStringLiteral("LightCaption"), QStringLiteral("светлый фон"), QRect(548, y, 128, 40),
             15, true);
    shown.fonLight =
        addStepper(block, p + QStringLiteral("FonLightChMinLeft"), p + QStringLiteral("FonLight"),
                   p + QStringLiteral("FonLightChMinRight"), QStringLiteral("255"), QPoint(372, y));

    QLabel* sample = addPictureBox(block, camera == 0 ? QStringLiteral("Paint4") : QStringLiteral("Paint5"),
                                   QRect(680, 62, 100, 100));
    (camera == 0 ? Paint4 : Paint5) = sample;
  }

  OC_R_Button =
      addSwitch(this, QStringLiteral("OC_R_Button"), QStringLiteral("R"), QRect(640, 0, 50, 30), 14);
  OC_G_Button =
      addSwitch(this, QStringLiteral("OC_G_Button"), QStringLiteral("G"), QRect(694, 0, 50, 30), 14);
  OC_B_Button =
      addSwitch(this, QStringLiteral("OC_B_Button"), QStringLiteral("B"), QRect(748, 0, 50, 30), 14);
}

}  // namespace tolvane
