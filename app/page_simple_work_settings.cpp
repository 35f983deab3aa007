#include "app/page_simple_work_settings.h"

#include <QPainter>

#include "app/page_common.h"

namespace tolvane {

namespace {

// Pictures of the four sector bounds: a map sector with one edge marked.
QIcon boundPicture(int bound) {
  QPixmap pixmap(40, 40);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box(8, 8, 24, 24);
  painter.setPen(QPen(QColor(150, 150, 150), 2));
  painter.drawRect(box);
  painter.setPen(QPen(QColor(200, 30, 30), 4));
  switch (bound) {
    case 0:  // SMIN, bottom
      painter.drawLine(box.bottomLeft(), box.bottomRight());
      break;
    case 1:  // HMIN, left
      painter.drawLine(box.topLeft(), box.bottomLeft());
      break;
    case 2:  // SMAX, top
      painter.drawLine(box.topLeft(), box.topRight());
      break;
    default:  // HMAX, right
      painter.drawLine(box.topRight(), box.bottomRight());
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

PageSimpleWorkSettings::PageSimpleWorkSettings(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSimpleWorkSettings"));
  addLabel(this, QStringLiteral("RegulatorSettingsTitle"), QStringLiteral("Настройки регулятора выбраковки"),
           QRect(8, 4, 790, 32), 22, true, Qt::AlignCenter);
  addLabel(this, QStringLiteral("LeftBoundCaption"), QStringLiteral("0 %"), QRect(404, 40, 168, 22), 16, true,
           Qt::AlignCenter);
  addLabel(this, QStringLiteral("RightBoundCaption"), QStringLiteral("100 %"), QRect(616, 40, 168, 22), 16,
           true, Qt::AlignCenter);

  for (int k = 1; k <= 3; ++k) {
    const auto i = static_cast<std::size_t>(k - 1);
    const int y = 66 + (k - 1) * 162;
    const QString p = QStringLiteral("Param_%1").arg(k);
    QFrame* row = addPanel(this, QStringLiteral("RegulatorRow%1").arg(k), QRect(2, y, 802, 154));
    okButtons[i] =
        addSwitch(row, p + QStringLiteral("_ok_button"), QString::number(k), QRect(8, 44, 62, 62), 22);

    auto* params = new QListWidget(row);
    params->setObjectName(QStringLiteral("ParamBox%1").arg(k));
    params->setGeometry(78, 8, 200, 138);
    params->setFont(screenFont(17, true));
    // Rows a finger can hit; sector items scroll below the four thresholds.
    params->setStyleSheet(
        QStringLiteral("QListWidget::item { min-height: 30px; padding-left: 4px; } "
                       "QScrollBar:vertical { width: 26px; }"));
    for (const char* item : {"Масса", "Цвет 1", "Цвет 2", "Линия"}) params->addItem(QString::fromUtf8(item));
    paramBoxes[i] = params;

    auto* bounds = new QListWidget(row);
    bounds->setObjectName(QStringLiteral("ParamBox%1s").arg(k));
    bounds->setGeometry(286, 8, 110, 138);
    bounds->setIconSize(QSize(40, 40));
    bounds->setViewMode(QListView::IconMode);
    bounds->setFlow(QListView::LeftToRight);
    bounds->setWrapping(true);
    bounds->setGridSize(QSize(52, 64));
    bounds->setMovement(QListView::Static);
    bounds->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bounds->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int b = 0; b < 4; ++b) {
      const char* names[4] = {"SMIN", "HMIN", "SMAX", "HMAX"};
      bounds->addItem(new QListWidgetItem(boundPicture(b), QString::fromLatin1(names[b])));
    }
    bounds->setEnabled(false);
    boundBoxes[i] = bounds;

    leftBounds[i] = addStepper(row, p + QStringLiteral("_left_min_button"), p + QStringLiteral("_left"),
                               p + QStringLiteral("_left_max_button"), QStringLiteral("000"), QPoint(402, 54),
                               48, 64, 46);
    rightBounds[i] = addStepper(row, p + QStringLiteral("_right_min_button"), p + QStringLiteral("_right"),
                                p + QStringLiteral("_right_max_button"), QStringLiteral("000"),
                                QPoint(614, 54), 48, 64, 46);
  }
}

}  // namespace tolvane
