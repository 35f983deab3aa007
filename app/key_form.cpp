#include "app/key_form.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "app/page_common.h"
#include "ui/program_name_validator.h"

namespace tolvane {

namespace {

constexpr QRgb kBackColor = 0xFF808080;  // (128, 128, 128)
constexpr QRgb kBorderColor = 0xFF303030;
constexpr int kKeyFontPixels = 16;

QString fromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Flat keys with a light face; they never take the focus, so NameEdit keeps the caret.
constexpr const char* kKeyStyle =
    "QPushButton { background: rgb(232, 232, 232); color: black; border: 1px solid rgb(48, 48, 48);"
    " border-radius: 3px; }"
    "QPushButton:pressed { background: rgb(255, 236, 150); }";

}  // namespace

TKeyForm::TKeyForm(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("KeyForm"));
  setWindowTitle(QStringLiteral("Название настроек"));
  setWindowModality(Qt::ApplicationModal);
  setFixedSize(OnScreenKeyboard::kWindowWidth, OnScreenKeyboard::kWindowHeight);

  nameLabel_ = new QLabel(QStringLiteral("Название настроек"), this);
  nameLabel_->setObjectName(QStringLiteral("Label1"));
  nameLabel_->setFont(screenFont(13, true));
  nameLabel_->setGeometry(8, 8, 146, 30);

  nameEdit_ = new QLineEdit(this);
  nameEdit_->setObjectName(QStringLiteral("NameEdit"));
  nameEdit_->setFont(screenFont(16, true));
  nameEdit_->setGeometry(156, 7, 380, 30);
  nameEdit_->setValidator(new ProgramNameValidator(nameEdit_));
  nameEdit_->installEventFilter(this);
  // Typing on a hardware keyboard, if one is plugged in, edits the same name.
  connect(nameEdit_, &QLineEdit::textEdited, this,
          [this](const QString& edited) { keyboard_.setText(edited.toStdString()); });
  connect(nameEdit_, &QLineEdit::returnPressed, this, [this] { pressKey(QStringLiteral("Enter")); });

  hintLabel_ =
      new QLabel(QStringLiteral("Введите или исправьте название настройки.\nЗавершение ввода - Ok."), this);
  hintLabel_->setObjectName(QStringLiteral("Label2"));
  hintLabel_->setFont(screenFont(12));
  hintLabel_->setGeometry(544, 3, 318, 38);

  const auto keys = OnScreenKeyboard::keys();
  keyButtons_.reserve(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const KeyboardKey& key = keys[i];
    auto* button = new QPushButton(this);
    button->setObjectName(QStringLiteral("Key%1").arg(i));
    button->setGeometry(key.x, key.y, key.width, key.height);
    button->setFont(screenFont(kKeyFontPixels, true));
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QString::fromLatin1(kKeyStyle));
    connect(button, &QPushButton::clicked, this, [this, i] { keyTouched(i); });
    keyButtons_.push_back(button);
  }
  showCaptions();
}

TKeyForm::~TKeyForm() = default;

void TKeyForm::openFor(int index, const QString& text) {
  if (index < 0 || index >= kNameFieldCount) {
    return;
  }
  editedIndex_ = index;
  valueDone_ = nullptr;
  nameLabel_->setText(QStringLiteral("Название настроек"));
  open(text);
}

void TKeyForm::openForValue(const QString& heading, const QString& text,
                            std::function<void(const QString&)> done) {
  valueDone_ = std::move(done);
  nameLabel_->setText(heading);
  open(text);
}

void TKeyForm::open(const QString& text) {
  keyboard_.setText(text.toStdString());
  showText();
  showCaptions();
  centreOnScreen();
  show();
  raise();
  activateWindow();
  nameEdit_->setFocus(Qt::OtherFocusReason);
  nameEdit_->deselect();
  nameEdit_->end(false);
}

bool TKeyForm::isOpen() const { return isVisible(); }

QString TKeyForm::text() const { return nameEdit_->text(); }

bool TKeyForm::pressKey(const QString& caption) {
  if (!isOpen()) {
    return false;
  }
  const std::optional<std::size_t> index = keyboard_.findKey(caption.toStdString());
  if (!index) {
    return false;
  }
  // Through the button, so a key press here and a touch on the key are one path.
  keyButtons_[*index]->click();
  return true;
}

QPushButton* TKeyForm::keyButton(const QString& caption) const {
  for (QPushButton* button : keyButtons_) {
    if (button->text() == caption) {
      return button;
    }
  }
  return nullptr;
}

void TKeyForm::keyTouched(std::size_t index) {
  switch (keyboard_.press(index)) {
    case OnScreenKeyboard::Result::kTyped:
    case OnScreenKeyboard::Result::kErased:
      showText();
      break;
    case OnScreenKeyboard::Result::kShifted:
      showCaptions();
      break;
    case OnScreenKeyboard::Result::kConfirmed: {
      const int field = editedIndex_;
      const QString name = text();
      hide();
      if (valueDone_) {
        const auto done = std::move(valueDone_);
        valueDone_ = nullptr;
        done(name);
        break;
      }
      emit confirmed(field, name);
      break;
    }
    case OnScreenKeyboard::Result::kUnknownKey:
      break;
  }
}

void TKeyForm::showCaptions() {
  for (std::size_t i = 0; i < keyButtons_.size(); ++i) {
    keyButtons_[i]->setText(fromUtf8(keyboard_.caption(i)));
  }
}

void TKeyForm::showText() {
  // setText leaves the caret at the end without a selection.
  nameEdit_->setText(QString::fromStdString(keyboard_.text()));
}

void TKeyForm::centreOnScreen() {
  const QScreen* where = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  if (where == nullptr) {
    return;
  }
  const QRect area = where->geometry();
  const QSize outer = frameGeometry().size();
  move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

void TKeyForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgb(kBackColor));
  painter.setPen(QColor::fromRgb(kBorderColor));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// Without a caption bar the background is the handle: a finger on it drags the window.
void TKeyForm::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    dragging_ = true;
    dragOffset_ = pos() - event->globalPosition().toPoint();
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void TKeyForm::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() + dragOffset_);
    event->accept();
    return;
  }
  QWidget::mouseMoveEvent(event);
}

void TKeyForm::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    dragging_ = false;
  }
  QWidget::mouseReleaseEvent(event);
}

// A touch on NameEdit only puts the caret at the end: no selecting, no caret in the middle, which a
// finger cannot aim and the keys would not honour.
bool TKeyForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == nameEdit_) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseMove:
        if (event->type() == QEvent::MouseButtonPress) {
          nameEdit_->setFocus(Qt::MouseFocusReason);
        }
        nameEdit_->deselect();
        nameEdit_->end(false);
        return true;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tolvane
