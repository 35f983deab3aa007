// Switches and labels as accessibility (AT-SPI) sees them, and the press action as a touch.
#include "ui/tas_switch_accessible.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "ui/tas_switch.h"

namespace tolvane {
namespace {

using Names = std::vector<std::string>;

// Every event of a switch in order, as a finger would produce them.
class EventLog {
 public:
  explicit EventLog(TasSwitch& sw) {
    QObject::connect(&sw, &TasSwitch::switchedOn, [this](QObject*) { names.push_back("On"); });
    QObject::connect(&sw, &TasSwitch::switchedOff, [this](QObject*) { names.push_back("Off"); });
    QObject::connect(&sw, &TasSwitch::clicked, [this](QObject*) { names.push_back("Click"); });
    QObject::connect(&sw, &TasSwitch::mouseDown,
                     [this](QObject*, Qt::MouseButton, QPoint) { names.push_back("Down"); });
    QObject::connect(&sw, &TasSwitch::mouseUp,
                     [this](QObject*, Qt::MouseButton, QPoint) { names.push_back("Up"); });
  }
  Names names;
};

QAccessibleInterface* accessible(QObject* object) {
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
  EXPECT_NE(iface, nullptr);
  return iface;
}

void doAction(QObject* object, const QString& action) {
  QAccessibleInterface* iface = accessible(object);
  ASSERT_NE(iface, nullptr);
  ASSERT_NE(iface->actionInterface(), nullptr);
  iface->actionInterface()->doAction(action);
}

// A window holding one switch, shown, as on a screen.
struct Screen {
  Screen() {
    window.resize(200, 200);
    sw = new TasSwitch(&window);
    sw->setGeometry(10, 10, 80, 60);
    window.show();
  }
  QWidget window;
  TasSwitch* sw = nullptr;
};

TEST(TasSwitchAccessible, EverySwitchGetsItWithoutBeingAskedFor) {
  TasSwitch sw;
  EXPECT_NE(dynamic_cast<TasSwitchAccessible*>(accessible(&sw)), nullptr);
}

TEST(TasSwitchAccessible, NameIsTheCaptionAsReadAndDescriptionTheControlName) {
  struct Case {
    QString caption;
    QString objectName;
    QString name;
  };
  const Case cases[] = {
      {QStringLiteral("Настройка"), QStringLiteral("asSwitch17"), QStringLiteral("Настройка")},
      {QStringLiteral("Проверка|обновления"), QStringLiteral("UpdateButton"),
       QStringLiteral("Проверка обновления")},
      {QStringLiteral("<<"), QStringLiteral("Delay_Left"), QStringLiteral("<<")},
      {QStringLiteral("&Пуск"), QStringLiteral("PuskSwitch"), QStringLiteral("Пуск")},
      {QStringLiteral("A && B|&C"), QStringLiteral("X"), QStringLiteral("A & B C")},
      {QString(), QStringLiteral("Blank"), QString()},
  };
  for (const Case& c : cases) {
    TasSwitch sw(c.caption, nullptr);
    sw.setObjectName(c.objectName);
    QAccessibleInterface* iface = accessible(&sw);
    EXPECT_EQ(iface->role(), QAccessible::Button) << c.caption.toStdString();
    EXPECT_EQ(iface->text(QAccessible::Name), c.name) << c.caption.toStdString();
    EXPECT_EQ(iface->text(QAccessible::Description), c.objectName) << c.caption.toStdString();
  }
}

TEST(TasSwitchAccessible, NameFollowsCaptionChangesAndExplicitTextsWin) {
  TasSwitch sw(QStringLiteral("Старт"), nullptr);
  QAccessibleInterface* iface = accessible(&sw);
  sw.setCaption(QStringLiteral("Стоп"));
  EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Стоп"));
  sw.setAccessibleName(QStringLiteral("Пуск сортировки"));
  sw.setAccessibleDescription(QStringLiteral("Start"));
  EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("Пуск сортировки"));
  EXPECT_EQ(iface->text(QAccessible::Description), QStringLiteral("Start"));
}

TEST(TasSwitchAccessible, StateShowsLatchingCheckedMomentaryPressedDisabledAndHidden) {
  Screen screen;
  TasSwitch* sw = screen.sw;
  QAccessibleInterface* iface = accessible(sw);

  QAccessible::State s = iface->state();
  EXPECT_TRUE(s.checkable);
  EXPECT_FALSE(s.checked);
  EXPECT_FALSE(s.disabled || s.invisible);
  sw->setStateOn(true);
  EXPECT_TRUE(iface->state().checked);

  sw->setAutoOff(true);
  s = iface->state();
  EXPECT_FALSE(s.checkable || s.checked);
  EXPECT_TRUE(s.pressed) << "a momentary switch that is on is being held";

  sw->setEnabled(false);
  EXPECT_TRUE(iface->state().disabled);
  sw->setEnabled(true);
  sw->hide();
  EXPECT_TRUE(iface->state().invisible);
}

TEST(TasSwitchAccessible, ActionsAreTouchesAndLatchingSwitchesAlsoToggle) {
  TasSwitch latching;
  TasSwitch momentary;
  momentary.setAutoOff(true);
  const QStringList latchingActions = accessible(&latching)->actionInterface()->actionNames();
  const QStringList momentaryActions = accessible(&momentary)->actionInterface()->actionNames();
  EXPECT_EQ(latchingActions.value(0), QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(latchingActions.contains(QAccessibleActionInterface::toggleAction()));
  EXPECT_EQ(momentaryActions.value(0), QAccessibleActionInterface::pressAction());
  EXPECT_FALSE(momentaryActions.contains(QAccessibleActionInterface::toggleAction()));
}

TEST(TasSwitchAccessible, PressOnAMomentaryArrowClicksOnceAndLeavesItOff) {
  Screen screen;
  TasSwitch* arrow = screen.sw;
  arrow->setCaption(QStringLiteral(">>"));
  arrow->setAutoOff(true);
  arrow->setAutoRepeat(true);
  arrow->setTabStop(false);
  EventLog log(*arrow);

  doAction(arrow, QAccessibleActionInterface::pressAction());
  EXPECT_EQ(log.names, (Names{"On", "Down", "Click", "Off", "Up"}));
  EXPECT_FALSE(arrow->stateOn());
  EXPECT_FALSE(arrow->repeatTimer()->isActive()) << "released, so no repeats follow";
}

TEST(TasSwitchAccessible, PressAndToggleOnALatchingSwitchActLikeTwoTouches) {
  Screen screen;
  EventLog log(*screen.sw);
  doAction(screen.sw, QAccessibleActionInterface::pressAction());
  EXPECT_TRUE(screen.sw->stateOn());
  doAction(screen.sw, QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(screen.sw->stateOn());
  EXPECT_EQ(log.names, (Names{"On", "Down", "Click", "Off", "Down", "Click"}));
}

TEST(TasSwitchAccessible, NoTouchReachesADisabledHiddenOrBlockedSwitch) {
  struct Case {
    const char* what;
    void (*prepare)(Screen&, QWidget& other);
  };
  const Case cases[] = {
      {"disabled", [](Screen& s, QWidget&) { s.sw->setEnabled(false); }},
      {"disabled parent", [](Screen& s, QWidget&) { s.window.setEnabled(false); }},
      {"hidden", [](Screen& s, QWidget&) { s.sw->hide(); }},
      {"window not shown", [](Screen& s, QWidget&) { s.window.hide(); }},
      {"behind an application-modal window",
       [](Screen&, QWidget& other) {
         other.setWindowModality(Qt::ApplicationModal);
         other.show();
       }},
  };
  for (const Case& c : cases) {
    Screen screen;
    QWidget other;
    c.prepare(screen, other);
    EventLog log(*screen.sw);
    doAction(screen.sw, QAccessibleActionInterface::pressAction());
    doAction(screen.sw, QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(log.names.empty()) << c.what;
    EXPECT_FALSE(screen.sw->stateOn()) << c.what;
  }
}

TEST(TasSwitchAccessible, ASwitchInsideTheModalWindowStillTakesTouches) {
  Screen screen;
  screen.window.setWindowModality(Qt::ApplicationModal);
  screen.window.hide();
  screen.window.show();
  EventLog log(*screen.sw);
  doAction(screen.sw, QAccessibleActionInterface::pressAction());
  EXPECT_EQ(log.names, (Names{"On", "Down", "Click"}));
}

TEST(TasSwitchAccessible, ASwitchDeletedByItsPressHandlerEndsTheTouchSafely) {
  Screen screen;
  QObject::connect(screen.sw, &TasSwitch::switchedOn, screen.sw, [&screen] {
    delete screen.sw;
    screen.sw = nullptr;
  });
  doAction(screen.sw, QAccessibleActionInterface::pressAction());
  EXPECT_EQ(screen.sw, nullptr);
}

// Labels are Qt's own: their text is their accessible name, plain even when they show rich text.
TEST(LabelAccessible, LabelsExposeTheirTextAsName) {
  struct Case {
    QString text;
    QString name;
  };
  const Case cases[] = {
      {QStringLiteral("012"), QStringLiteral("012")},
      {QStringLiteral("Камера 1 не найдена"), QStringLiteral("Камера 1 не найдена")},
      {QStringLiteral("<b>Работа</b>"), QStringLiteral("Работа")},
  };
  for (const Case& c : cases) {
    QLabel label(c.text);
    QAccessibleInterface* iface = accessible(&label);
    EXPECT_EQ(iface->role(), QAccessible::StaticText);
    EXPECT_EQ(iface->text(QAccessible::Name), c.name);
  }
  QLabel label(QStringLiteral("000"));
  QAccessibleInterface* iface = accessible(&label);
  label.setText(QStringLiteral("137"));
  EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("137")) << "read live, not cached";
}

}  // namespace
}  // namespace tolvane
