#include "app/page_simple_work.h"

#include "ui/load_gauge.h"

namespace tolvane {

namespace {

constexpr int kGaugeTop = 54;
constexpr int kGaugeWidth = 270;
constexpr int kGaugeHeight = 186;

// Camera lamps sit on one spot: the window shows one of them, or none.
CameraLamps addCameraLamps(QWidget* parent, int camera, QPoint at) {
  const QString c = QString::number(camera + 1);
  CameraLamps lamps;
  lamps.red = new Lamp(LampColor::Red, parent, 26);
  lamps.green = new Lamp(LampColor::Green, parent, 26);
  lamps.blue = new Lamp(LampColor::Blue, parent, 26);
  lamps.red->setObjectName(QStringLiteral("c%1LEDred").arg(c));
  lamps.green->setObjectName(QStringLiteral("c%1LEDgreen").arg(c));
  lamps.blue->setObjectName(QStringLiteral("c%1LEDblue").arg(c));
  for (Lamp* lamp : {lamps.red, lamps.green, lamps.blue}) lamp->move(at);
  lamps.green->hide();
  lamps.blue->hide();
  lamps.label = addLabel(parent, QStringLiteral("Proc%1Label").arg(camera),
                         QStringLiteral("Камера %1\nостановлена").arg(c),
                         QRect(at.x() + 34, at.y() - 8, 110, 42), 14, true);
  return lamps;
}

}  // namespace

PageSimpleWork::PageSimpleWork(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSimpleWork"));

  NormaLabel = addLabel(this, QStringLiteral("NormaLabel"), QStringLiteral("% НОРМА / БРАК = 100 / 0"),
                        QRect(8, 6, 630, 42), 28, true, Qt::AlignCenter);

  for (int g = 0; g < 2; ++g) {
    auto* gauge = new LoadGauge(this);
    gauge->setObjectName(QStringLiteral("AnalogGauge%1").arg(g + 1));
    gauge->setGeometry(g == 0 ? 164 : 330, kGaugeTop, kGaugeWidth, kGaugeHeight);
    gauges[static_cast<std::size_t>(g)] = gauge;
  }
  gauges[1]->hide();

  QFrame* cameraPanel = addPanel(this, QStringLiteral("CameraPanel"), QRect(8, 246, 310, 96));
  cameras[0] = addCameraLamps(cameraPanel, 0, QPoint(14, 14));
  cameras[1] = addCameraLamps(cameraPanel, 1, QPoint(164, 14));
  addLabel(cameraPanel, QStringLiteral("CameraStateCaption"), QStringLiteral("СОСТОЯНИЕ КАМЕР"),
           QRect(8, 70, 294, 20), 12, true, Qt::AlignCenter);

  QFrame* counterPanel = addPanel(this, QStringLiteral("CounterPanel"), QRect(326, 246, 312, 96),
                                  QStringLiteral("СЧЕТЧИК ОБЪЕКТОВ"));
  cntLabel = addLabel(counterPanel, QStringLiteral("cntLabel"), QStringLiteral("Камера 1 = 0\nКамера 2 = 0"),
                      QRect(12, 28, 288, 60), 20, true);

  RegulatorPanel = addPanel(this, QStringLiteral("RegulatorPanel"), QRect(8, 350, 630, 146));
  addLabel(RegulatorPanel, QStringLiteral("RegulatorHeading"), QStringLiteral("Чувствительность:"),
           QRect(10, 8, 610, 30), 22, true, Qt::AlignCenter);
  RegulatorLeftButton = addArrow(RegulatorPanel, QStringLiteral("RegulatorLeftButton"), QStringLiteral("<<"),
                                 QRect(150, 52, 90, 70));
  RegulatorLabel = addValueLabel(RegulatorPanel, QStringLiteral("RegulatorLabel"), QStringLiteral("050"),
                                 QRect(252, 58, 100, 58), 34);
  RegulatorPercentLabel = addLabel(RegulatorPanel, QStringLiteral("RegulatorPercentLabel"),
                                   QStringLiteral("%"), QRect(356, 58, 30, 58), 30, true);
  RegulatorRightButton = addArrow(RegulatorPanel, QStringLiteral("RegulatorRightButton"),
                                  QStringLiteral(">>"), QRect(392, 52, 90, 70));

  LineModePanel = addPanel(this, QStringLiteral("LineModePanel"), QRect(8, 350, 630, 146));
  addLabel(LineModePanel, QStringLiteral("LineModeHeading"), QStringLiteral("\"ЛИНИЯ\" (Чувствительность)"),
           QRect(8, 6, 250, 24), 15, true, Qt::AlignCenter);
  FastSort_LeftDouble = addArrow(LineModePanel, QStringLiteral("FastSort_LeftDouble"), QStringLiteral("<<"),
                                 QRect(14, 40, 70, 60));
  FastSort_valD = addValueLabel(LineModePanel, QStringLiteral("FastSort_valD"), QStringLiteral("010"),
                                QRect(92, 46, 76, 48), 28);
  FastSort_RightDouble = addArrow(LineModePanel, QStringLiteral("FastSort_RightDouble"), QStringLiteral(">>"),
                                  QRect(176, 40, 70, 60));
  addLabel(LineModePanel, QStringLiteral("HarderLabel"), QStringLiteral("жестче"), QRect(14, 104, 80, 22), 14,
           false, Qt::AlignCenter);
  addLabel(LineModePanel, QStringLiteral("SofterLabel"), QStringLiteral("мягче"), QRect(166, 104, 80, 22), 14,
           false, Qt::AlignCenter);
  addLabel(LineModePanel, QStringLiteral("DarkCaption"), QStringLiteral("темный фон"), QRect(338, 6, 140, 22),
           14, true, Qt::AlignCenter);
  addLabel(LineModePanel, QStringLiteral("LightCaption"), QStringLiteral("светлый фон"),
           QRect(482, 6, 140, 22), 14, true, Qt::AlignCenter);
  for (int c = 1; c <= 2; ++c) {
    const int y = c == 1 ? 36 : 88;
    const QString cam = QStringLiteral("cam%1").arg(c);
    addLabel(LineModePanel, cam + QStringLiteral("Caption"), QStringLiteral("Камера %1").arg(c),
             QRect(262, y, 76, 40), 14, true);
    const auto i = static_cast<std::size_t>(c - 1);
    blackLevels[i] =
        addStepper(LineModePanel, cam + QStringLiteral("darkLeft"), cam + QStringLiteral("blackLabel"),
                   cam + QStringLiteral("darkRight"), QStringLiteral("000"), QPoint(338, y), 40, 52, 40);
    lightLevels[i] =
        addStepper(LineModePanel, cam + QStringLiteral("lightLeft"), cam + QStringLiteral("lightLabel"),
                   cam + QStringLiteral("lightRight"), QStringLiteral("255"), QPoint(482, y), 40, 52, 40);
  }
  LineModePanel->hide();

  PowerOffButtom = addSwitch(this, QStringLiteral("PowerOffButtom"), QStringLiteral("ВЫКЛЮЧЕНИЕ"),
                             QRect(652, 6, 150, 62), 14);
  PowerOffButtom->setAutoOff(true);
  RebootButton = addSwitch(this, QStringLiteral("RebootButton"), QStringLiteral("Сброс|программы"),
                           QRect(652, 74, 150, 62), 14);
  RebootButton->setAutoOff(true);
  asSwitch17 = addSwitch(this, QStringLiteral("asSwitch17"), QStringLiteral("Настройка"),
                         QRect(652, 142, 150, 62), 15);
  asSwitch17->setAutoOff(true);
  WaitModeButton = addSwitch(this, QStringLiteral("WaitModeButton"), QStringLiteral("Режим|ожидания"),
                             QRect(652, 210, 150, 62), 14);

  PuskSwitch = addSwitch(this, QStringLiteral("PuskSwitch"), QString(), QRect(652, 300, 150, 252), 34);
  showPuskCaption();
  connect(PuskSwitch, &TasSwitch::switchedOn, this, [this](QObject*) { showPuskCaption(); });
  connect(PuskSwitch, &TasSwitch::switchedOff, this, [this](QObject*) { showPuskCaption(); });

  SupportButton = addSwitch(this, QStringLiteral("SupportButton"), QStringLiteral("Отправить|настройки"),
                            QRect(8, 502, 160, 54), 14);
  SupportButton->setAutoOff(true);
  iLEDred = new Lamp(LampColor::Red, this, 24);
  iLEDred->setObjectName(QStringLiteral("iLEDred"));
  iLEDred->move(182, 506);
  iLEDgreen = new Lamp(LampColor::Green, this, 24);
  iLEDgreen->setObjectName(QStringLiteral("iLEDgreen"));
  iLEDgreen->move(182, 506);
  iLEDgreen->hide();
  addLabel(this, QStringLiteral("NetCaption"), QStringLiteral("СЕТЬ"), QRect(172, 532, 44, 20), 12, true,
           Qt::AlignCenter);

  DownloadPanel = addPanel(this, QStringLiteral("DownloadPanel"), QRect(226, 500, 412, 58),
                           QStringLiteral("Загрузка обновления"));
  ParLabel = addLabel(DownloadPanel, QStringLiteral("ParLabel"), QStringLiteral("Подключение к серверу"),
                      QRect(188, 4, 218, 20), 12);
  PBar = new QProgressBar(DownloadPanel);
  PBar->setObjectName(QStringLiteral("PBar"));
  PBar->setGeometry(8, 30, 396, 20);
  PBar->setValue(0);
  DownloadPanel->hide();
}

void PageSimpleWork::showPuskCaption() {
  PuskSwitch->setCaption(PuskSwitch->stateOn() ? kStopCaption : kStartCaption);
}

namespace {

LoadGauge* gaugeWidget(const std::array<QWidget*, 2>& gauges, int gauge) {
  return static_cast<LoadGauge*>(gauges[static_cast<std::size_t>(gauge == 1 ? 1 : 0)]);
}

}  // namespace

void PageSimpleWork::setGauge(int gauge, int scale, int bandFrom, int bandTo, int position, int x,
                              bool visible) {
  LoadGauge* g = gaugeWidget(gauges, gauge);
  g->setScale(scale);
  g->setIndicatorBand(bandFrom, bandTo);
  g->setPosition(position);
  g->move(x, g->y());
  g->setVisible(visible);
}

int PageSimpleWork::gaugeScale(int gauge) const { return gaugeWidget(gauges, gauge)->scale(); }

int PageSimpleWork::gaugePosition(int gauge) const { return gaugeWidget(gauges, gauge)->position(); }

std::pair<int, int> PageSimpleWork::gaugeBand(int gauge) const {
  const LoadGauge* g = gaugeWidget(gauges, gauge);
  return {g->indicatorMin(), g->indicatorMax()};
}

}  // namespace tolvane
