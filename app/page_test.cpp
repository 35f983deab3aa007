#include "app/page_test.h"

#include "app/page_common.h"
#include "ui/artwork.h"

namespace tolvane {

namespace {

QLineEdit* addEdit(QWidget* parent, const QString& name, const QRect& geometry) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAccessibleDescription(name);
  edit->setGeometry(geometry);
  edit->setFont(screenFont(15, true));
  edit->setAlignment(Qt::AlignCenter);
  return edit;
}

QPushButton* addButton(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAccessibleDescription(name);
  button->setGeometry(geometry);
  button->setFont(screenFont(14, true));
  return button;
}

}  // namespace

PageTest::PageTest(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabTest"));

  QFrame* hidden = addPanel(this, QStringLiteral("HiddenParamsPanel"), QRect(2, 2, 396, 150),
                            QStringLiteral("Скрытые системные параметры"));
  addLabel(hidden, QStringLiteral("MaxTimeCaption"), QStringLiteral("Время хранения объектов:"),
           QRect(8, 32, 210, 40), 13, false);
  MaxTime = addStepper(hidden, QStringLiteral("MaxTime_Left"), QStringLiteral("MaxTimeLabel"),
                       QStringLiteral("MaxTime_Right"), QStringLiteral("300"), QPoint(220, 32), 48, 64, 40);
  addLabel(hidden, QStringLiteral("MaxObjectCaption"), QStringLiteral("Размер буфера обработки:"),
           QRect(8, 98, 210, 40), 13, false);
  MaxObject =
      addStepper(hidden, QStringLiteral("MaxObject_Left"), QStringLiteral("MaxObjectLabel"),
                 QStringLiteral("MaxObject_Right"), QStringLiteral("030"), QPoint(220, 98), 48, 64, 40);

  QFrame* calculator = addPanel(this, QStringLiteral("ColorCalculatorPanel"), QRect(404, 2, 400, 150),
                                QStringLiteral(" Цветовой калькулятор "));
  const char* rgb[3] = {"R", "G", "B"};
  const char* hsv[3] = {"H", "S", "V"};
  QLineEdit** rgbEdits[3] = {&R_ed, &G_ed, &B_ed};
  QLineEdit** hsvEdits[3] = {&H_ed, &S_ed, &V_ed};
  for (int i = 0; i < 3; ++i) {
    const int y = 32 + i * 38;
    addLabel(calculator, QString::fromLatin1(rgb[i]) + QStringLiteral("_caption"),
             QString::fromLatin1(rgb[i]), QRect(10, y, 20, 32), 15, true);
    *rgbEdits[i] =
        addEdit(calculator, QString::fromLatin1(rgb[i]) + QStringLiteral("_ed"), QRect(32, y, 80, 32));
    addLabel(calculator, QString::fromLatin1(hsv[i]) + QStringLiteral("_caption"),
             QString::fromLatin1(hsv[i]), QRect(270, y, 20, 32), 15, true);
    *hsvEdits[i] =
        addEdit(calculator, QString::fromLatin1(hsv[i]) + QStringLiteral("_ed"), QRect(292, y, 96, 32));
  }
  RgbToHsvButton =
      addButton(calculator, QStringLiteral("RgbToHsvButton"), QStringLiteral(">>>"), QRect(140, 40, 100, 40));
  HsvToRgbButton =
      addButton(calculator, QStringLiteral("HsvToRgbButton"), QStringLiteral("<<<"), QRect(140, 92, 100, 40));

  ResearchButton = addButton(this, QStringLiteral("ResearchButton"), QStringLiteral("Исследование"),
                             QRect(2, 160, 196, 44));
  MasButton =
      addButton(this, QStringLiteral("MasButton"), QStringLiteral("Буфер в файл"), QRect(204, 160, 196, 44));
  Button8 = addButton(this, QStringLiteral("Button8"), QStringLiteral("Изображение в файл"),
                      QRect(406, 160, 196, 44));
  EmulButton =
      addButton(this, QStringLiteral("EmulButton"), QStringLiteral("Эмуляция"), QRect(608, 160, 196, 44));
  Button4 =
      addButton(this, QStringLiteral("Button4"), QStringLiteral("TimeTester"), QRect(608, 210, 196, 44));

  TestObjectButton = addSwitch(this, QStringLiteral("TestObjectButton"), QStringLiteral("Тестовый|объект"),
                               QRect(2, 212, 150, 60), 14);
  TestObjectButton->setAutoOff(true);
  CheckBox5 = new QCheckBox(QStringLiteral("Регистрировать неулевые строки"), this);
  CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
  CheckBox5->setGeometry(162, 226, 330, 30);
  CheckBox5->setFont(screenFont(14, true));
  QPalette palette = CheckBox5->palette();
  palette.setColor(QPalette::WindowText, QColor::fromRgb(kTextColor));
  CheckBox5->setPalette(palette);

  QFrame* ejector = addPanel(this, QStringLiteral("ServiceEjectorPanel"), QRect(2, 280, 396, 90));
  asSwitch3 = addSwitch(ejector, QStringLiteral("asSwitch3"), QStringLiteral("Тест|эжектора"),
                        QRect(8, 10, 150, 70), 15);
  asSwitch3->setAutoOff(true);
  addLabel(ejector, QStringLiteral("SpinEdit1Caption"), QStringLiteral("мс"), QRect(300, 16, 40, 30), 14);
  SpinEdit1 = new QSpinBox(ejector);
  SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
  SpinEdit1->setGeometry(170, 14, 120, 32);
  SpinEdit1->setRange(0, 10000);
  SpinEdit1->setValue(25);
  SpinEdit1->setFont(screenFont(15, true));
  SpinEdit2 = new QSpinBox(ejector);
  SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
  SpinEdit2->setGeometry(170, 50, 120, 32);
  SpinEdit2->setRange(0, 10000);
  SpinEdit2->setFont(screenFont(15, true));

  Image = new QLabel(this);
  Image->setObjectName(QStringLiteral("Image"));
  Image->setGeometry(2, 380, 585, 113);
  Image->setAutoFillBackground(true);
  Image->setFrameShape(QFrame::Box);
  Image->setScaledContents(true);
  QPalette imagePalette = Image->palette();
  imagePalette.setColor(QPalette::Window, Qt::black);
  Image->setPalette(imagePalette);

  for (std::size_t i = 0; i < cameraStreamLabels.size(); ++i) {
    QLabel* label = new QLabel(this);
    label->setObjectName(QStringLiteral("cameraStreamLabel%1").arg(i + 1));
    // Two lines each at the widest counts; the texture picture begins at x 700.
    label->setGeometry(2, 496 + 34 * static_cast<int>(i), 690, 34);
    label->setFont(screenFont(11, false));
    label->setWordWrap(true);
    setLabelTextColor(label, Qt::white);
    label->hide();
    cameraStreamLabels[i] = label;
  }

  ssImage = new QLabel(this);
  ssImage->setObjectName(QStringLiteral("ssImage"));
  ssImage->setGeometry(700, 456, 100, 99);
  ssImage->setPixmap(QPixmap::fromImage(BackgroundTexture()));
}

}  // namespace tolvane
