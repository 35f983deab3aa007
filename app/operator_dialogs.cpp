#include "app/operator_dialogs.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "app/page_common.h"

namespace tolvane {

namespace {

// Centred on the primary screen once its size is known: the main window covers that screen, and a
// box placed over some other widget could land under the operator's hand or off the panel.
class OperatorMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    // Lays the box out (fixed size) and places it over its parent first.
    QMessageBox::showEvent(event);
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
      // move() places the frame, so the frame is what is centred.
      const QRect area = primary->geometry();
      const QSize outer = frameGeometry().size();
      move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    }
  }
};

std::unique_ptr<QMessageBox> makeBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                     const QString& text) {
  auto box = std::make_unique<OperatorMessageBox>(parent);
  box->setIcon(icon);
  box->setWindowTitle(title);
  box->setText(text);
  box->setTextFormat(Qt::PlainText);
  box->setFont(screenFont(kDialogFontPixels));
  return box;
}

void setButton(QMessageBox& box, QMessageBox::StandardButton which, const QString& caption) {
  QAbstractButton* button = box.button(which);
  button->setText(caption);
  button->setFont(screenFont(kDialogFontPixels, true));
  button->setMinimumSize(kDialogButtonWidth, kDialogButtonHeight);
}

std::unique_ptr<QMessageBox> makeOkBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                       const QString& text) {
  auto box = makeBox(parent, icon, title, text);
  box->setStandardButtons(QMessageBox::Ok);
  setButton(*box, QMessageBox::Ok, QStringLiteral("ОК"));
  box->setDefaultButton(QMessageBox::Ok);
  box->setEscapeButton(QMessageBox::Ok);
  return box;
}

}  // namespace

std::unique_ptr<QMessageBox> makeQuestionBox(QWidget* parent, const QString& title, const QString& text) {
  auto box = makeBox(parent, QMessageBox::Question, title, text);
  box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  setButton(*box, QMessageBox::Yes, QStringLiteral("Да"));
  setButton(*box, QMessageBox::No, QStringLiteral("Нет"));
  box->setDefaultButton(QMessageBox::No);
  box->setEscapeButton(QMessageBox::No);
  return box;
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& title, const QString& text) {
  return makeOkBox(parent, QMessageBox::Information, title, text);
}

std::unique_ptr<QMessageBox> makeErrorBox(QWidget* parent, const QString& title, const QString& text) {
  return makeOkBox(parent, QMessageBox::Critical, title, text);
}

bool askQuestion(QWidget* parent, const QString& title, const QString& text) {
  const auto box = makeQuestionBox(parent, title, text);
  return box->exec() == QMessageBox::Yes;
}

void showMessage(QWidget* parent, const QString& title, const QString& text) {
  makeMessageBox(parent, title, text)->exec();
}

void showError(QWidget* parent, const QString& title, const QString& text) {
  makeErrorBox(parent, title, text)->exec();
}

}  // namespace tolvane
