#include "ui/tas_switch.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QShortcutEvent>
#include <QTimer>

#include "ui/artwork.h"
#include "ui/tas_switch_accessible.h"

namespace tolvane {

namespace {

constexpr const char* kRepeatTimerName = "RepeatTimer";

bool isShapePixel(const QImage& image, int x, int y) {
  if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) {
    return false;
  }
  const QRgb p = image.pixel(x, y);
  return qAlpha(p) >= 128 && (p & 0x00FFFFFF) != 0;
}

}  // namespace

QImage MakeDisabledGlyph(const QImage& glyph) {
  if (glyph.isNull()) {
    return {};
  }
  const QImage source = glyph.convertToFormat(QImage::Format_ARGB32);
  QImage out(source.size(), QImage::Format_RGB32);
  out.fill(kButtonFace);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      if (isShapePixel(source, x - 1, y - 1)) {
        out.setPixel(x, y, kButtonHighlight);
      }
    }
  }
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      if (isShapePixel(source, x, y)) {
        out.setPixel(x, y, kButtonShadow);
      }
    }
  }
  return out;
}

QImage ComposeGlyph(const QImage& glyph, const QColor& background) {
  if (glyph.isNull()) {
    return {};
  }
  QImage out(glyph.size(), QImage::Format_RGB32);
  out.fill(background);
  if (glyph.hasAlphaChannel()) {
    QPainter painter(&out);
    painter.drawImage(0, 0, glyph);
    return out;
  }
  const QImage source = glyph.convertToFormat(QImage::Format_RGB32);
  const QRgb transparent = source.pixel(0, source.height() - 1);
  for (int y = 0; y < source.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < source.width(); ++x) {
      if (in[x] != transparent) {
        dst[x] = in[x];
      }
    }
  }
  return out;
}

TasSwitch::TasSwitch(QWidget* parent) : QWidget(parent) { init(); }

TasSwitch::TasSwitch(const QString& caption, QWidget* parent) : QWidget(parent) {
  init();
  setCaption(caption);
}

TasSwitch::~TasSwitch() = default;

void TasSwitch::init() {
  installTasSwitchAccessibility();
  color_ = QColor::fromRgb(kButtonFace);
  resize(kDefaultWidth, kDefaultHeight);
  setFocusPolicy(Qt::StrongFocus);
  repeatTimer_ = new QTimer(this);
  repeatTimer_->setObjectName(kRepeatTimerName);
  // Ticks never early, so a hold of t ms gives at most t / AutoRepeatTime repeats.
  repeatTimer_->setTimerType(Qt::PreciseTimer);
  repeatTimer_->setInterval(autoRepeatTime_);
  connect(repeatTimer_, &QTimer::timeout, this, &TasSwitch::onRepeatTick);
  setGlyphOff(QImage());
  setGlyphOn(QImage());
}

TasSwitch* TasSwitch::fromSender(QObject* sender) {
  if (auto* sw = qobject_cast<TasSwitch*>(sender)) {
    return sw;
  }
  if (auto* timer = qobject_cast<QTimer*>(sender)) {
    auto* sw = qobject_cast<TasSwitch*>(timer->parent());
    if (sw != nullptr && sw->repeatTimer() == timer) {
      return sw;
    }
  }
  return nullptr;
}

void TasSwitch::setStateOn(bool on) {
  if (on == stateOn_) {
    return;
  }
  stateOn_ = on;
  update();
  if (QAccessible::isActive()) {
    QAccessible::State changed;
    changed.checked = true;
    changed.pressed = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
  }
  if (on) {
    doOn();
  } else {
    doOff();
  }
}

void TasSwitch::toggle() { setStateOn(!stateOn_); }

void TasSwitch::doOn() { emit switchedOn(this); }

void TasSwitch::doOff() { emit switchedOff(this); }

void TasSwitch::setGlyphOff(const QImage& glyph) {
  if (glyph.isNull()) {
    glyphOff_ = BuiltinSwitchGlyph(false);
    glyphData_ &= ~1;
  } else {
    glyphOff_ = glyph.copy();
    glyphData_ |= 1;
  }
  disabledOff_ = MakeDisabledGlyph(glyphOff_);
  update();
}

void TasSwitch::setGlyphOn(const QImage& glyph) {
  if (glyph.isNull()) {
    glyphOn_ = BuiltinSwitchGlyph(true);
    glyphData_ &= ~2;
  } else {
    glyphOn_ = glyph.copy();
    glyphData_ |= 2;
  }
  disabledOn_ = MakeDisabledGlyph(glyphOn_);
  update();
}

void TasSwitch::setAutoOff(bool on) {
  autoOff_ = on;
  update();
}

void TasSwitch::setAutoRepeat(bool on) {
  autoRepeat_ = on;
  update();
}

void TasSwitch::setAutoRepeatTime(int ms) {
  autoRepeatTime_ = ms;
  update();
}

void TasSwitch::setTextPosition(TTextPos position) {
  textPosition_ = position;
  update();
}

void TasSwitch::setBorderStyle(BorderStyle style) {
  borderStyle_ = style;
  update();
}

void TasSwitch::setToggleKey(QKeyCombination key) {
  toggleKey_ = key;
  update();
}

void TasSwitch::setShowFocus(bool on) {
  showFocus_ = on;
  update();
}

void TasSwitch::setTabStop(bool on) {
  tabStop_ = on;
  setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
  update();
}

void TasSwitch::setCaption(const QString& caption) {
  caption_ = caption;
  updateMnemonic();
  update();
  if (QAccessible::isActive()) {
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
}

void TasSwitch::setColor(const QColor& color) {
  color_ = color;
  update();
}

void TasSwitch::setFontColor(const QColor& color) {
  fontColor_ = color;
  update();
}

void TasSwitch::updateMnemonic() {
  if (mnemonicId_ != 0) {
    releaseShortcut(mnemonicId_);
    mnemonicId_ = 0;
  }
  const QKeySequence key = QKeySequence::mnemonic(caption_);
  if (!key.isEmpty()) {
    mnemonicId_ = grabShortcut(key);
  }
}

QSize TasSwitch::clientSize() const {
  const int inset = borderStyle_ == BorderStyle::Single ? 2 : 0;
  return {std::max(0, width() - inset), std::max(0, height() - inset)};
}

QRect TasSwitch::glyphRect() const {
  const QImage& glyph = stateOn_ ? glyphOn_ : glyphOff_;
  const QSize client = clientSize();
  const int cw = client.width();
  const int ch = client.height();
  const int w = glyph.width();
  const int h = glyph.height();
  switch (textPosition_) {
    case TTextPos::tpLeft:
      return {cw - w, (ch - h) / 2, w, h};
    case TTextPos::tpRight:
      return {0, (ch - h) / 2, w, h};
    case TTextPos::tpAbove:
      return {(cw - w) / 2, ch - h, w, h};
    case TTextPos::tpBelow:
      return {(cw - w) / 2, 0, w, h};
    case TTextPos::tpNone:
      break;
  }
  return {(cw - w) / 2, (ch - h) / 2, w, h};
}

QRect TasSwitch::textArea() const {
  const QSize client = clientSize();
  const QRect picture = glyphRect();
  switch (textPosition_) {
    case TTextPos::tpLeft:
      return {0, 0, client.width() - picture.width(), client.height()};
    case TTextPos::tpRight:
      return {picture.width(), 0, client.width() - picture.width(), client.height()};
    case TTextPos::tpAbove:
      return {0, 0, client.width(), client.height() - picture.height()};
    case TTextPos::tpBelow:
      return {0, picture.height(), client.width(), client.height() - picture.height()};
    case TTextPos::tpNone:
      break;
  }
  return {QPoint(0, 0), client};
}

QList<QPoint> TasSwitch::captionAnchors() const {
  const QFontMetrics metrics(font());
  const QSize client = clientSize();
  const int cw = client.width();
  const int ch = client.height();
  const qsizetype bar = caption_.indexOf(QLatin1Char('|'));
  if (bar < 0) {
    const int tw = metrics.horizontalAdvance(caption_);
    const int th = metrics.height();
    return {QPoint((cw - tw) / 2, (ch - th) / 2)};
  }
  const QString first = caption_.left(bar);
  const QString second = caption_.mid(bar + 1);
  const int tw1 = metrics.horizontalAdvance(first);
  const int tw2 = metrics.horizontalAdvance(second);
  const int th1 = metrics.height();
  return {QPoint((cw - tw1) / 2, ch / 2 - th1), QPoint((cw - tw2) / 2, ch / 2)};
}

QSize TasSwitch::sizeHint() const { return {kDefaultWidth, kDefaultHeight}; }

void TasSwitch::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (borderStyle_ == BorderStyle::Single) {
    painter.setPen(QColor(0, 0, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.translate(1, 1);
  }
  const QSize client = clientSize();
  painter.setClipRect(QRect(QPoint(0, 0), client));
  painter.fillRect(QRect(QPoint(0, 0), client), color_);

  const QImage& glyph = stateOn_ ? glyphOn_ : glyphOff_;
  const QImage& disabled = stateOn_ ? disabledOn_ : disabledOff_;
  const QImage& shown = (!isEnabled() && !disabled.isNull()) ? disabled : glyph;
  const QRect picture = glyphRect();
  if (!shown.isNull()) {
    painter.drawImage(picture.topLeft(), ComposeGlyph(shown, color_));
  }

  // Caption with a light halo so it reads on any picture.
  painter.setFont(font());
  const QFontMetrics metrics(font());
  const QList<QPoint> anchors = captionAnchors();
  const qsizetype bar = caption_.indexOf(QLatin1Char('|'));
  const QStringList lines =
      bar < 0 ? QStringList{caption_} : QStringList{caption_.left(bar), caption_.mid(bar + 1)};
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QPoint at = anchors[i] + QPoint(0, metrics.ascent());
    painter.setPen(QColor::fromRgb(kHaloColor));
    painter.drawText(at + QPoint(-1, 0), lines[i]);
    painter.drawText(at + QPoint(1, 0), lines[i]);
    painter.drawText(at + QPoint(0, -1), lines[i]);
    painter.drawText(at + QPoint(0, 1), lines[i]);
    painter.setPen(fontColor_);
    painter.drawText(at, lines[i]);
  }

  if (focused_ && showFocus_ && tabStop_) {
    QPen pen(fontColor_);
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(picture.adjusted(0, 0, -1, -1));
  }

  if (textPosition_ != TTextPos::tpNone) {
    const QRect area = textArea();
    const int band = metrics.height();
    const QRect line(area.left(), area.top() + (area.height() - band) / 2, area.width(), band);
    painter.setPen(fontColor_);
    painter.drawText(line, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextExpandTabs | Qt::TextShowMnemonic,
                     caption_);
  }
}

void TasSwitch::takeFocus() {
  if (tabStop_ && isEnabled() && isVisible() && focusPolicy() != Qt::NoFocus) {
    setFocus(Qt::MouseFocusReason);
  }
}

namespace {

QPoint clientPos(const TasSwitch& sw, const QMouseEvent& event) {
  const QPoint pos = event.position().toPoint();
  return sw.borderStyle() == TasSwitch::BorderStyle::Single ? pos - QPoint(1, 1) : pos;
}

}  // namespace

void TasSwitch::mousePressEvent(QMouseEvent* event) {
  QPointer<TasSwitch> self(this);
  const bool left = event->button() == Qt::LeftButton;
  const QPoint pos = clientPos(*this, *event);
  if (left) {
    leftPressed_ = true;
    takeFocus();
    toggle();
    if (!self) {
      return;
    }
  }
  emit mouseDown(this, event->button(), pos);
  if (!self) {
    return;
  }
  // A zero or negative interval means no repeat, as a stopped timer would.
  if (left && autoRepeat_ && autoRepeatTime_ > 0) {
    repeatTimer_->setInterval(autoRepeatTime_);
    repeatTimer_->start();
  }
  event->accept();
}

void TasSwitch::mouseDoubleClickEvent(QMouseEvent* event) {
  QPointer<TasSwitch> self(this);
  emit doubleClicked(this);
  if (self) {
    mousePressEvent(event);
  }
}

void TasSwitch::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(this, clientPos(*this, *event)); }

void TasSwitch::mouseReleaseEvent(QMouseEvent* event) {
  QPointer<TasSwitch> self(this);
  const bool left = event->button() == Qt::LeftButton;
  const QPoint pos = clientPos(*this, *event);
  if (left && leftPressed_) {
    leftPressed_ = false;
    if (QRect(QPoint(0, 0), clientSize()).contains(pos)) {
      emit clicked(this);
      if (!self) {
        return;
      }
    }
  }
  if (autoOff_) {
    if (left) {
      takeFocus();
      toggle();
      if (!self) {
        return;
      }
    }
    emit mouseUp(this, event->button(), pos);
    if (!self) {
      return;
    }
  }
  // Stopped on every release: a repeat left running would click for ever.
  repeatTimer_->stop();
  event->accept();
}

void TasSwitch::onRepeatTick() { emit clicked(repeatTimer_); }

void TasSwitch::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (QKeyCombination(mods, Qt::Key(event->key())) == toggleKey_) {
    toggle();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TasSwitch::focusInEvent(QFocusEvent* event) {
  focused_ = true;
  update();
  QWidget::focusInEvent(event);
  emit entered(this);
}

void TasSwitch::focusOutEvent(QFocusEvent* event) {
  focused_ = false;
  update();
  QWidget::focusOutEvent(event);
  emit exited(this);
}

bool TasSwitch::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Shortcut:
      if (static_cast<QShortcutEvent*>(event)->shortcutId() == mnemonicId_ && mnemonicId_ != 0) {
        if (isEnabled() && isVisible()) {
          setFocus(Qt::ShortcutFocusReason);
        }
        return true;
      }
      break;
    case QEvent::EnabledChange:
    case QEvent::Hide:
      // A switch that can no longer be released by the finger must not go on repeating.
      if (!isEnabled() || event->type() == QEvent::Hide) {
        repeatTimer_->stop();
        leftPressed_ = false;
      }
      update();
      break;
    default:
      break;
  }
  return QWidget::event(event);
}

}  // namespace tolvane
