#include "ui/tas_switch_accessible.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QPointer>

#include "ui/tas_switch.h"

namespace tolvane {
namespace {

QAccessibleInterface* tasSwitchFactory(const QString&, QObject* object) {
  // Asked first with the most derived class name, so switches of subclasses get it too.
  if (auto* sw = qobject_cast<TasSwitch*>(object)) {
    return new TasSwitchAccessible(sw);
  }
  return nullptr;
}

// Press and release in the middle of the switch, delivered as the window system would deliver a
// finger's, so filters, focus, repeat timer and AutoOff all take part.
void touch(TasSwitch* sw) {
  if (!sw->isEnabled() || !sw->isVisible() || blockedByModalWindow(sw)) {
    return;
  }
  QPointer<TasSwitch> guard(sw);
  const QPointF local = QRectF(sw->rect()).center();
  const QPointF global = sw->mapToGlobal(local);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(sw, &press);
  if (!guard) {
    return;
  }
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(sw, &release);
}

}  // namespace

void installTasSwitchAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(tasSwitchFactory);
    return true;
  }();
  (void)installed;
}

QString accessibleCaption(const QString& caption) {
  QString out;
  out.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    const QChar c = caption[i];
    if (c == QLatin1Char('&')) {
      // "&&" is a literal "&"; a lone "&" only marks the next character.
      if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
        out += c;
        ++i;
      }
      continue;
    }
    out += c == QLatin1Char('|') ? QLatin1Char(' ') : c;
  }
  return out;
}

bool blockedByModalWindow(const QWidget* widget) {
  const QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr) {
    return false;
  }
  const QWidget* window = widget->window();
  // The modal window itself and the windows it owns take touches.
  for (const QWidget* w = window; w != nullptr; w = w->parentWidget()) {
    if (w == modal) {
      return false;
    }
  }
  if (modal->windowModality() == Qt::ApplicationModal) {
    return true;
  }
  // Window-modal: blocks the windows it belongs to.
  for (const QWidget* w = modal->parentWidget(); w != nullptr; w = w->parentWidget()) {
    if (w->window() == window) {
      return true;
    }
  }
  return false;
}

TasSwitchAccessible::TasSwitchAccessible(TasSwitch* sw) : QAccessibleWidget(sw, QAccessible::Button) {}

TasSwitch* TasSwitchAccessible::tasSwitch() const { return static_cast<TasSwitch*>(widget()); }

QString TasSwitchAccessible::text(QAccessible::Text t) const {
  const TasSwitch* sw = tasSwitch();
  switch (t) {
    case QAccessible::Name:
      return sw->accessibleName().isEmpty() ? accessibleCaption(sw->caption()) : sw->accessibleName();
    case QAccessible::Description:
      return sw->accessibleDescription().isEmpty() ? sw->objectName() : sw->accessibleDescription();
    default:
      return QAccessibleWidget::text(t);
  }
}

QAccessible::State TasSwitchAccessible::state() const {
  QAccessible::State s = QAccessibleWidget::state();
  const TasSwitch* sw = tasSwitch();
  if (sw->autoOff()) {
    // Momentary: on only while held.
    s.pressed = sw->stateOn();
  } else {
    s.checkable = true;
    s.checked = sw->stateOn();
  }
  return s;
}

QStringList TasSwitchAccessible::actionNames() const {
  QStringList names{pressAction()};
  if (!tasSwitch()->autoOff()) {
    names << toggleAction();
  }
  for (const QString& name : QAccessibleWidget::actionNames()) {
    if (!names.contains(name)) {
      names << name;
    }
  }
  return names;
}

void TasSwitchAccessible::doAction(const QString& actionName) {
  if (actionName == pressAction() || (actionName == toggleAction() && !tasSwitch()->autoOff())) {
    touch(tasSwitch());
    return;
  }
  QAccessibleWidget::doAction(actionName);
}

}  // namespace tolvane
