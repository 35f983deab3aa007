#include "app/page_work.h"

#include "app/page_common.h"

namespace tolvane {

namespace {

struct Condition {
  const char* caption;
  const char* enable;     // enable switch
  const char* direction;  // direction switch
  const char* left;       // "<<" (empty: none)
  const char* value;      // threshold label
  const char* right;
  const char* text;  // threshold at design time
};

constexpr Condition kConditions[] = {
    {"МАССА", "Massa_Button", "Massa_b_Button", "Massa_Left", "Massa_val", "Massa_Right", "020"},
    {"МАССА", "Massa2_Button", "Massa2_b_Button", "Massa2_Left", "Massa2_val", "Massa2_Right", "020"},
    {"ЦВЕТ 1", "P1_Button", "P1_b_Button", "P1_Left", "P1_val", "P1_Right", "012"},
    {"ЦВЕТ 2", "P2_Button", "P2_b_Button", "P2_Left", "P2_val", "P2_Right", "012"},
    {"ДЛИНА", "Length_Button", "Length_b_Button", "Length_Left", "Length_val", "Length_Right", "005"},
    {"ШИРИНА", "Weight_Button", "Weight_b_Button", "Weight_Left", "Weight_val", "Weight_Right", "005"},
    {" ЭКСЦЕН-|ТРИСИТЕТ", "Eks_Button", "Eks_b_Button", "Eks_Left", "Eks_val", "Eks_Right", "001"},
    {"ФОРМА 1", "Frm_Button", "Frm_b_Button", "", "Forma_val", "", "081"},
    {"РЕЖИМ|ЛИНИИ", "FastSort_Button", "FastSort_b_Button", "FastSort_Left", "FastSort_Val", "FastSort_Right",
     "010"},
};

constexpr int kRowHeight = 46;
constexpr int kRowStep = 51;

}  // namespace

PageWork::PageWork(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabWork"));

  QFrame* panel = addPanel(this, QStringLiteral("ConditionsPanel"), QRect(2, 2, 520, 556));
  std::size_t row = 0;
  for (const Condition& c : kConditions) {
    const int y = 8 + static_cast<int>(row) * kRowStep;
    ConditionRow& shown = conditions[row];
    shown.enable = addSwitch(panel, QString::fromLatin1(c.enable), QString::fromUtf8(c.caption),
                             QRect(8, y, 150, kRowHeight), 14);
    shown.direction = addSwitch(panel, QString::fromLatin1(c.direction), QStringLiteral(">"),
                                QRect(162, y, 46, kRowHeight), 18);
    if (*c.left != '\0') {
      shown.threshold = addStepper(panel, QString::fromLatin1(c.left), QString::fromLatin1(c.value),
                                   QString::fromLatin1(c.right), QString::fromLatin1(c.text), QPoint(214, y),
                                   48, 66, kRowHeight);
    } else {
      shown.threshold.value = addValueLabel(panel, QString::fromLatin1(c.value), QString::fromLatin1(c.text),
                                            QRect(214 + 52, y + 2, 66, kRowHeight - 4));
    }
    ++row;
  }
  // Extras beside their rows.
  P1_type = addSwitch(panel, QStringLiteral("P1_type"), QStringLiteral("ТОЧЕК"),
                      QRect(404, 8 + 2 * kRowStep, 104, kRowHeight), 14);
  P2_type = addSwitch(panel, QStringLiteral("P2_type"), QStringLiteral("ТОЧЕК"),
                      QRect(404, 8 + 3 * kRowStep, 104, kRowHeight), 14);
  for (int r : {4, 5}) {
    QLabel* unit =
        addLabel(panel, r == 4 ? QStringLiteral("LengthUnitLabel") : QStringLiteral("WidthUnitLabel"),
                 QStringLiteral("1 мм = 4 единицы"), QRect(404, 8 + r * kRowStep, 110, kRowHeight), 13, true);
    unit->setWordWrap(true);
  }
  Forma_Edit = addSwitch(panel, QStringLiteral("Forma_Edit"), QStringLiteral("[...]"),
                         QRect(404, 8 + 7 * kRowStep, 104, kRowHeight), 16);
  Forma_Edit->setAutoOff(true);

  const int y = 8 + 9 * kRowStep;
  AND_Button = addSwitch(panel, QStringLiteral("AND_Button"), QStringLiteral("И / ИЛИ"),
                         QRect(8, y, 150, kRowHeight), 14);
  TripleShotSwitch = addSwitch(panel, QStringLiteral("TripleShotSwitch"), QStringLiteral("Усиление|отстрела"),
                               QRect(162, y, 170, kRowHeight), 14);

  constexpr int kX = 528;
  constexpr int kW = 136;
  constexpr int kH = 54;
  auto option = [this](const char* name, const char* caption, int column, int line) {
    return addSwitch(this, QString::fromLatin1(name), QString::fromUtf8(caption),
                     QRect(kX + column * (kW + 6), 2 + line * (kH + 6), kW, kH), 13);
  };
  FineTimerButton = option("FineTimerButton", "Системный|таймер", 0, 0);
  ColorTuneButton = option("ColorTuneButton", "Компенсация|освещения", 1, 0);
  BrightModeButton = option("BrightModeButton", "Однотонный|режим", 0, 1);
  Cam1enableSwitch = option("Cam1enableSwitch", "Камера|передняя", 0, 2);
  Cam2enableSwitch = option("Cam2enableSwitch", "Камера|задняя", 1, 2);
  CheckUpdateButton = option("CheckUpdateButton", "Проверка|обновления", 0, 3);
  UpdateUnableButton = option("UpdateUnableButton", "Откат|обновления", 1, 3);
  RegulatorSetupButton = option("RegulatorSetupButton", "Настройка|регулятора", 0, 4);
  FactoryResetButton = option("FactoryResetButton", "Заводские|настройки", 1, 4);
  for (TasSwitch* s : {RegulatorSetupButton, FactoryResetButton, UpdateUnableButton}) s->setAutoOff(true);

  RGBshiftButton = option("RGBshiftButton", "RGB|сдвиг", 1, 1);
  RGBshiftButton->setEnabled(false);
  RGBshiftButton->hide();

  // The shape template editor over the lower option switches, clear of "ФОРМА 1" and its threshold and of
  // the cancel and save buttons.
  FrmEditPanel = addPanel(this, QStringLiteral("FrmEditPanel"), QRect(kX, 178, 278, 206));
  FormImage = new TouchLabel(FrmEditPanel);
  FormImage->setObjectName(QStringLiteral("FormImage"));
  FormImage->setAccessibleDescription(QStringLiteral("FormImage"));
  FormImage->setGeometry(39, 8, 200, 140);
  FormaLeftUp =
      addArrow(FrmEditPanel, QStringLiteral("FormaLeftUp"), QStringLiteral("<<"), QRect(8, 154, 80, 44));
  FormaOk = addArrow(FrmEditPanel, QStringLiteral("FormaOk"), QStringLiteral("Ok"), QRect(99, 154, 80, 44));
  FormaRightDown =
      addArrow(FrmEditPanel, QStringLiteral("FormaRightDown"), QStringLiteral(">>"), QRect(190, 154, 80, 44));
  FrmEditPanel->hide();

  CancelButton = addSwitch(this, QStringLiteral("CancelButton"), QStringLiteral("ОТМЕНИТЬ|НАСТРОЙКИ"),
                           QRect(kX, 420, 278, 62), 15);
  CancelButton->setAutoOff(true);
  SaveButton = addSwitch(this, QStringLiteral("SaveButton"), QStringLiteral("СОХРАНИТЬ|НАСТРОЙКИ"),
                         QRect(kX, 490, 278, 66), 15);
  SaveButton->setAutoOff(true);
}

}  // namespace tolvane
