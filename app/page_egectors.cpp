#include "app/page_egectors.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "ejection/ejector_cell_look.h"

namespace tolvane {

namespace {

QColor color(CellColor c) { return QColor(c.r, c.g, c.b); }

// The selected block (as the selected ejector cell).
const QColor kSelectedBack = color(kCellSelectedBack);
const QColor kSelectedFrame = color(kCellSelectedFrame);
const QColor kCellDivider(200, 200, 200);

}  // namespace

EjectorCells::EjectorCells(QWidget* parent) : QWidget(parent) {}

void EjectorCells::createItems() {
  items_.clear();
  for (int n = 1; n <= kCells; ++n) items_.append(QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')));
  update();
}

void EjectorCells::selectCell(std::optional<int> cell) {
  if (cell && (*cell < 0 || *cell >= items_.size())) cell.reset();
  selected_ = cell;
  update();
}

void EjectorCells::setValveOpen(const std::array<bool, kCells>& open) {
  if (open == open_) return;
  open_ = open;
  update();
}

QRect EjectorCells::cellRect(int cell) const {
  const int left = width() * cell / kCells;
  const int right = width() * (cell + 1) / kCells;
  return QRect(left, 0, right - left, height());
}

void EjectorCells::setShotCounts(const std::array<std::int32_t, kCells>& counts) {
  if (counts == counts_) return;
  counts_ = counts;
  update();
}

void EjectorCells::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const QFont numberFont = screenFont(10, true);
  const QFont countFont = screenFont(9);
  const QFontMetrics countMetrics(countFont);
  for (int cell = 0; cell < items_.size() && cell < kCells; ++cell) {
    const auto i = static_cast<std::size_t>(cell);
    const QRect r = cellRect(cell);
    const EjectorCellLook look =
        ejectorCellLook(cell + 1, counts_[i], selected_ == cell, open_[i], r.height());
    painter.fillRect(r, color(look.background));
    if (look.barHeight > 0) {
      painter.fillRect(QRect(r.left(), r.bottom() + 1 - look.barHeight, r.width(), look.barHeight),
                       color(look.bar));
    }
    painter.setPen(look.frame ? color(*look.frame) : kCellDivider);
    painter.drawRect(r.adjusted(0, 0, -1, -1));

    painter.setPen(Qt::black);
    painter.setFont(numberFont);
    painter.drawText(QRect(r.left(), r.bottom() - 15, r.width(), 14), Qt::AlignCenter, items_[cell]);
    const QRect lamp(r.left() + (r.width() - 8) / 2, r.bottom() - 26, 8, 8);
    painter.fillRect(lamp, color(look.lamp));
    painter.drawRect(lamp);

    // The count reads upward from just above the lamp, centred in the column.
    painter.save();
    painter.setClipRect(r.adjusted(1, 1, -1, -30));
    painter.setFont(countFont);
    const int baseline = r.left() + (r.width() + countMetrics.ascent() - countMetrics.descent()) / 2;
    painter.translate(baseline, r.bottom() - 30);
    painter.rotate(-90);
    painter.drawText(QPoint(0, 0), QString::fromStdString(look.count));
    painter.restore();
  }
}

void EjectorCells::mousePressEvent(QMouseEvent* event) {
  for (int cell = 0; cell < items_.size(); ++cell) {
    if (cellRect(cell).contains(event->position().toPoint())) {
      selectCell(cell);
      emit cellTouched(cell);
      return;
    }
  }
}

BlockList::BlockList(QWidget* parent) : PictureList(4, Qt::Horizontal, parent) {
  setItemPainter([this](QPainter& painter, int index, bool selected, const QRect& cell) {
    painter.fillRect(cell, selected ? kSelectedBack : QColor(Qt::white));
    painter.setPen(selected ? kSelectedFrame : QColor(190, 190, 190));
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
    if (index >= items_.size()) return;
    const QStringList parts = items_[index].split(QLatin1Char('|'));
    painter.setPen(Qt::black);
    painter.setFont(screenFont(13, true));
    painter.drawText(QRect(cell.left(), cell.bottom() - 29 - 2, cell.width(), 16), Qt::AlignCenter,
                     parts.value(0));
    painter.setFont(screenFont(12));
    painter.drawText(QRect(cell.left(), cell.bottom() - 15 - 2, cell.width(), 16), Qt::AlignCenter,
                     parts.value(1));
  });
}

void BlockList::setItems(const QStringList& items) {
  items_ = items;
  update();
}

PageEgectors::PageEgectors(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabEgectors"));

  EgectorBoxA = new EjectorCells(this);
  EgectorBoxA->setObjectName(QStringLiteral("EgectorBoxA"));
  EgectorBoxA->setGeometry(3, 4, 800, 96);

  const char* sides[2] = {"A", "B"};
  for (int side = 0; side < 2; ++side) {
    const int y = 108 + side * 54;
    auto* list = new BlockList(this);
    list->setObjectName(QStringLiteral("BlockListCam%1").arg(side + 1));
    list->setGeometry(3, y, 600, 48);
    (side == 0 ? BlockListCam1 : BlockListCam2) = list;
    const QString s = QString::fromLatin1(sides[side]);
    const char* buttons[4] = {"ButtonLeftMinus", "ButtonLeftPlus", "ButtonRightMinus", "ButtonRightPlus"};
    const char* captions[4] = {"<<", ">>", "<<", ">>"};
    TasSwitch** arrows[2][4] = {{&AButtonLeftMinus, &AButtonLeftPlus, &AButtonRightMinus, &AButtonRightPlus},
                                {&BButtonLeftMinus, &BButtonLeftPlus, &BButtonRightMinus, &BButtonRightPlus}};
    for (int b = 0; b < 4; ++b) {
      TasSwitch* arrow = addArrow(this, s + QString::fromLatin1(buttons[b]), QString::fromLatin1(captions[b]),
                                  QRect(610 + b * 48 + (b >= 2 ? 6 : 0), y, 44, 48));
      arrow->setAutoRepeatTime(20);
      // Enabled only by "Калибровка|эжекторов".
      arrow->setEnabled(false);
      *arrows[side][b] = arrow;
    }
  }
  KalibrovkaEnableButton = addSwitch(this, QStringLiteral("KalibrovkaEnableButton"),
                                     QStringLiteral("Калибровка|эжекторов"), QRect(3, 220, 170, 52), 14);

  QFrame* stable = addPanel(this, QStringLiteral("StablePanel"), QRect(3, 280, 400, 276));
  struct Stable {
    const char* caption;
    const char* name;
    const char* text;
  };
  const Stable rows[3] = {{"Длительность импульса:", "Time", "012"},
                          {"Задержка (мсек):", "Delay", "000"},
                          {"Минимальный объект:", "MinVes", "010"}};
  for (int r = 0; r < 3; ++r) {
    const int y = 8 + r * 46;
    const QString n = QString::fromLatin1(rows[r].name);
    addLabel(stable, n + QStringLiteral("Caption"), QString::fromUtf8(rows[r].caption), QRect(8, y, 218, 40),
             14, true);
    StepperRow* target[3] = {&Time, &Delay, &MinVes};
    *target[r] = addStepper(stable, n + QStringLiteral("_Left"), n + QStringLiteral("Label"),
                            n + QStringLiteral("_Right"), QString::fromLatin1(rows[r].text), QPoint(226, y));
  }
  addLabel(stable, QStringLiteral("WorkRangeCaption"), QStringLiteral("Рабочий диапазон эжекторов:"),
           QRect(8, 148, 380, 24), 15, true);
  for (int side = 0; side < 2; ++side) {
    const int y = 176 + side * 48;
    const QString e = side == 0 ? QStringLiteral("EGA") : QStringLiteral("EGB");
    addLabel(stable, e + QStringLiteral("Caption"), QStringLiteral("Камера %1:").arg(side + 1),
             QRect(8, y, 86, 40), 14, true);
    (side == 0 ? EGA_Min : EGB_Min) =
        addStepper(stable, e + QStringLiteral("_Min_Left"), e + QStringLiteral("_MinLabel"),
                   e + QStringLiteral("_Min_Right"), QStringLiteral("001"), QPoint(96, y), 40, 56, 40);
    (side == 0 ? EGA_Max : EGB_Max) =
        addStepper(stable, e + QStringLiteral("_Max_Left"), e + QStringLiteral("_MaxLabel"),
                   e + QStringLiteral("_Max_Right"), QStringLiteral("048"), QPoint(248, y), 40, 56, 40);
  }

  QFrame* info = addPanel(this, QStringLiteral("InfoPanel"), QRect(410, 220, 393, 258));
  Cam1 = addLabel(info, QStringLiteral("Cam1"), QStringLiteral("Камера 1"), QRect(10, 8, 180, 22), 15, true);
  Cam2 = addLabel(info, QStringLiteral("Cam2"), QStringLiteral("Камера 2"), QRect(200, 8, 180, 22), 15, true);
  DASP1 = addLabel(info, QStringLiteral("DASP1"), QStringLiteral("Плата ввода-вывода №1"),
                   QRect(10, 34, 374, 44), 14, false);
  DASP1->setWordWrap(true);
  addLabel(info, QStringLiteral("FpsCaption"), QStringLiteral("Строк в секунду:"), QRect(10, 84, 160, 22),
           14);
  FPS1 = addLabel(info, QStringLiteral("FPS1"), QString(), QRect(170, 84, 100, 22), 14, true);
  FPS2 = addLabel(info, QStringLiteral("FPS2"), QString(), QRect(272, 84, 112, 22), 14, true);
  addLabel(info, QStringLiteral("CountCaption"), QStringLiteral("Объектов в буфере:"),
           QRect(10, 110, 160, 22), 14);
  CountLabel = new TouchLabel(QStringLiteral("0"), info);
  CountLabel->setObjectName(QStringLiteral("CountLabel"));
  CountLabel->setAccessibleDescription(CountLabel->objectName());
  CountLabel->setGeometry(170, 110, 100, 22);
  CountLabel->setFont(screenFont(14, true));
  CountLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setLabelTextColor(CountLabel, QColor::fromRgb(kTextColor));
  addLabel(info, QStringLiteral("BrakCaption"), QStringLiteral("Норма/брак за 10 минут:"),
           QRect(10, 136, 374, 22), 14);
  BrakLabel = addLabel(info, QStringLiteral("BrakLabel"), QStringLiteral("1%: 0/0     2%: 0/0"),
                       QRect(10, 160, 374, 24), 16, true);

  TestButton = addSwitch(this, QStringLiteral("TestButton"), QStringLiteral("Тест|эжектора"),
                         QRect(410, 488, 190, 66), 15);
  TestButton->setAutoOff(true);
  FullTestButton = addSwitch(this, QStringLiteral("FullTestButton"), QStringLiteral("Полный|тест"),
                             QRect(612, 488, 190, 66), 15);
  FullTestButton->setAutoOff(true);
}

std::array<TasSwitch*, 4> PageEgectors::calibrationArrows(int side) const {
  if (side == 1) return {BButtonLeftMinus, BButtonLeftPlus, BButtonRightMinus, BButtonRightPlus};
  return {AButtonLeftMinus, AButtonLeftPlus, AButtonRightMinus, AButtonRightPlus};
}

}  // namespace tolvane
