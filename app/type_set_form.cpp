#include "app/type_set_form.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>

#include "app/page_common.h"
#include "ui/tas_switch.h"

namespace tolvane {

TTypeSetForm::TTypeSetForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("TypeSetForm"));
  setWindowTitle(QStringLiteral("Markavel - типовые настройки"));
  setFixedSize(kWidth, kHeight);
  setWindowModality(Qt::ApplicationModal);

  QFrame* head = addPanel(this, QStringLiteral("HeadPanel"), QRect(2, 2, 1020, 26));
  Caption = addLabel(head, QStringLiteral("Caption"), windowTitle(), QRect(8, 1, 1000, 23), 14, true);

  BoxSettings = new QListWidget(this);
  BoxSettings->setObjectName(QStringLiteral("BoxSettings"));
  BoxSettings->setGeometry(8, 36, 470, 424);
  BoxSettings->setFont(screenFont(14, true));
  BoxSettings->setWordWrap(true);
  BoxSettings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  BoxSettings->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  BoxSettings->setSelectionMode(QAbstractItemView::SingleSelection);
  BoxSettings->setStyleSheet(
      QStringLiteral("QListWidget { background: #F4F4EC; color: black; border: 1px solid #7A7A7A; }"
                     "QListWidget::item { border-bottom: 1px solid #C8C8C0; padding: 1px 4px; }"
                     "QListWidget::item:selected { background: #3C64B4; color: white; }"));

  QFrame* text = addPanel(this, QStringLiteral("DescriptionPanel"), QRect(486, 36, 530, 424));
  Description = new QLabel(text);
  Description->setObjectName(QStringLiteral("Description"));
  Description->setGeometry(10, 6, 512, 412);
  Description->setFont(screenFont(15));
  Description->setWordWrap(true);
  Description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Description->setStyleSheet(QStringLiteral("color: #F0F0F0;"));

  Picture = new QLabel(this);
  Picture->setObjectName(QStringLiteral("Picture"));
  Picture->setGeometry(QRect(QPoint(8, 468), kPictureBox));
  Picture->setAlignment(Qt::AlignCenter);
  Picture->setFont(screenFont(14, true));
  Picture->setStyleSheet(QStringLiteral("background: #3A3A3A; color: #F0F0F0;"));

  SettingsPictureButton = addSwitch(this, QStringLiteral("SettingsPictureButton"),
                                    QStringLiteral("НАСТРОЙКИ"), QRect(500, 470, 170, 80), 15);
  WorkPictureButton = addSwitch(this, QStringLiteral("WorkPictureButton"), QStringLiteral("РАБОТА"),
                                QRect(676, 470, 170, 80), 15);
  ApplyButton = addSwitch(this, QStringLiteral("ApplyButton"), QStringLiteral("Применить|настройки"),
                          QRect(500, 572, 170, 90), 15);
  FactoryButton = addSwitch(this, QStringLiteral("FactoryButton"), QStringLiteral("Заводские|настройки"),
                            QRect(676, 572, 170, 90), 15);
  RollbackButton = addSwitch(this, QStringLiteral("RollbackButton"), QStringLiteral("Откат|отсутствует"),
                             QRect(852, 572, 164, 90), 15);
  ExitButton =
      addSwitch(this, QStringLiteral("ExitButton"), QStringLiteral("Выход"), QRect(852, 676, 164, 84), 16);
  for (TasSwitch* s : {ApplyButton, FactoryButton, RollbackButton, ExitButton}) s->setAutoOff(true);
}

TTypeSetForm::~TTypeSetForm() = default;

void TTypeSetForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgb(kWindowColor));
}

}  // namespace tolvane
