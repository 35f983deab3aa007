#pragma once

#include <QAccessibleWidget>
#include <QString>
#include <QStringList>

namespace tolvane {

class TasSwitch;

// Installs, once, the accessibility factory that gives every TasSwitch the interface below. The
// switch's constructor calls it, so neither the program nor a test has to.
void installTasSwitchAccessibility();

// A switch as assistive technology (AT-SPI) and test scripts see it: a button, checkable when it
// latches; named by its caption and described by its object name ("Delay_Left"), the name the
// settings file and the handlers know it by. Its press action is a touch: press and release in the
// middle of the switch, with the same events in the same order as a finger. Like a finger it does
// nothing on a disabled or hidden switch or on one behind a modal window.
class TasSwitchAccessible : public QAccessibleWidget {
 public:
  explicit TasSwitchAccessible(TasSwitch* sw);

  QString text(QAccessible::Text t) const override;
  QAccessible::State state() const override;
  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;

 private:
  TasSwitch* tasSwitch() const;
};

// The caption as it reads: "|" (the line split) becomes a space, "&x" mnemonics lose the "&" and
// "&&" stands for "&".
QString accessibleCaption(const QString& caption);

// Whether a touch on the widget is swallowed by a modal window that does not own the widget's window.
bool blockedByModalWindow(const QWidget* widget);

}  // namespace tolvane
