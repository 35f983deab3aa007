// Renders a panel of switches in their states, lamps, gauges and a drawing surface into
// TOLVANE_SCREENSHOT_DIR/widgets.png so that a person can look at the artwork.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QWidget>

#include "ui/artwork.h"
#include "ui/bitmap_util.h"
#include "ui/load_gauge.h"
#include "ui/tas_switch.h"

namespace tolvane {
namespace {

class TexturedPanel : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(BackgroundTexture()));
  }
};

TasSwitch* addSwitch(QWidget* panel, const QString& caption, QRect geometry, bool on, bool enabled) {
  auto* sw = new TasSwitch(caption, panel);
  sw->setGeometry(geometry);
  sw->setColor(QColor(0x4B, 0x4B, 0x4B));
  sw->setGlyphOff(SwitchGlyph(geometry.size() - QSize(4, 4), false));
  sw->setGlyphOn(SwitchGlyph(geometry.size() - QSize(4, 4), true));
  sw->setStateOn(on);
  sw->setEnabled(enabled);
  return sw;
}

TEST(WidgetsScreenshotTest, PanelOfSwitchesLampsAndGauges) {
  TexturedPanel panel;
  panel.resize(640, 400);
  QFont font = panel.font();
  font.setBold(true);
  font.setPixelSize(13);
  panel.setFont(font);

  addSwitch(&panel, QStringLiteral("ВЫКЛ"), QRect(10, 10, 110, 60), false, true);
  addSwitch(&panel, QStringLiteral("ВКЛ"), QRect(130, 10, 110, 60), true, true);
  addSwitch(&panel, QStringLiteral("Сброс|программы"), QRect(250, 10, 120, 60), false, true);
  addSwitch(&panel, QStringLiteral("Режим|ожидания"), QRect(380, 10, 120, 60), true, true);
  addSwitch(&panel, QStringLiteral("<<"), QRect(510, 10, 55, 60), false, true);
  addSwitch(&panel, QStringLiteral(">>"), QRect(570, 10, 55, 60), true, true);

  addSwitch(&panel, QStringLiteral("Выкл.|недоступно"), QRect(10, 80, 110, 60), false, false);
  addSwitch(&panel, QStringLiteral("Вкл.|недоступно"), QRect(130, 80, 110, 60), true, false);
  auto* builtinOff = new TasSwitch(QStringLiteral("Тест"), &panel);
  builtinOff->move(250, 80);
  auto* builtinOn = new TasSwitch(QStringLiteral("Тест"), &panel);
  builtinOn->move(310, 80);
  builtinOn->setStateOn(true);
  auto* focused = addSwitch(&panel, QStringLiteral("Нажата"), QRect(380, 80, 110, 60), true, true);
  // Lamps: red, green, blue, lit and off.
  const LampColor colors[3] = {LampColor::Red, LampColor::Green, LampColor::Blue};
  for (int i = 0; i < 3; ++i) {
    auto* lit = new Lamp(colors[i], &panel, 22);
    lit->move(20 + i * 34, 160);
    auto* off = new Lamp(colors[i], &panel, 22);
    off->setLit(false);
    off->move(20 + i * 34, 192);
  }
  auto* network = new QLabel(QStringLiteral("СЕТЬ"), &panel);
  network->setStyleSheet(QStringLiteral("color: white"));
  network->move(126, 164);

  auto* line = new LoadGauge(&panel);
  line->setGeometry(180, 155, 200, 150);
  line->setScale(100);
  line->setIndicatorBand(70, 90);
  line->setPosition(64);
  auto* objects = new LoadGauge(&panel);
  objects->setGeometry(390, 155, 200, 150);
  objects->copyScaleAndBand(*line);
  objects->setPosition(85);

  // A drawing surface with both anti-aliased routines and a pen line.
  TBitMapUtil surface(150, 80);
  surface.ClearCol(3, 3, 3);
  surface.SetColorRGB(255, 200, 0);
  surface.WuFillEllipse(10, 10, 80, 60);
  surface.SetColorRGB(120, 220, 255);
  surface.WuLine(5, 75, 145, 8);
  surface.SetColor(Rgb24{255, 255, 255});
  surface.Line(90, 70, 145, 40);
  auto* canvas = new QLabel(&panel);
  canvas->setPixmap(QPixmap::fromImage(surface.toImage()));
  canvas->setGeometry(20, 230, 150, 80);

  panel.show();
  QApplication::setActiveWindow(&panel);
  focused->setFocus();
  ASSERT_TRUE(focused->hasFocus());
  const QImage shot = panel.grab().toImage();
  ASSERT_EQ(shot.size(), QSize(640, 400));

  // The enabled and disabled states must look different on screen.
  EXPECT_NE(shot.copy(QRect(10, 10, 110, 60)), shot.copy(QRect(10, 80, 110, 60)));
  EXPECT_NE(shot.copy(QRect(10, 10, 110, 60)), shot.copy(QRect(130, 10, 110, 60)));

  const QString dir = QStringLiteral(TOLVANE_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(dir));
  EXPECT_TRUE(shot.save(dir + QStringLiteral("/widgets.png")));
}

}  // namespace
}  // namespace tolvane
