// The main window through the accessibility tree, as AT-SPI and service scripts reach it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <set>

#include "app/page_data.h"
#include "app/page_egectors.h"
#include "app/page_simple_work.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"
#include "ui/tas_switch.h"

namespace tolvane {
namespace {

using test::AccessibleDriver;
using test::WindowRig;

void stopTimers(TmForm& form) {
  form.timer1()->stop();
  form.timer2()->stop();
  form.timer5sek()->stop();
}

// Hidden pages and panels included: the tree is the window's structure, not what is on the screen.
TEST(MainWindowAccessibility, EverySwitchIsReachableThroughTheTree) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();

  std::set<QObject*> reached;
  AccessibleDriver driver(&form);
  for (QAccessibleInterface* iface : driver.all()) {
    reached.insert(iface->object());
  }
  const QList<TasSwitch*> switches = form.findChildren<TasSwitch*>();
  ASSERT_GT(switches.size(), 100);
  int hidden = 0;
  for (TasSwitch* sw : switches) {
    EXPECT_TRUE(reached.count(sw) == 1) << sw->objectName().toStdString() << " is not in the tree";
    hidden += sw->isVisible() ? 0 : 1;
  }
  EXPECT_GT(hidden, 0) << "the walk must also cover switches that are not on the screen";

  // Found again by control name, answering with its caption.
  QAccessibleInterface* setup = driver.findByDescription(QStringLiteral("asSwitch17"));
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(setup->text(QAccessible::Name), QStringLiteral("Настройка"));
  EXPECT_EQ(setup->object(), form.tabSimpleWork()->asSwitch17);
}

TEST(MainWindowAccessibility, PressingSetupThroughTheTreeEntersSetupMode) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  ASSERT_FALSE(form.modeListPanel()->isVisible());

  AccessibleDriver driver(&form);
  ASSERT_TRUE(driver.pressByName(QStringLiteral("Настройка")));
  EXPECT_TRUE(form.modeListPanel()->isVisible());
  EXPECT_EQ(form.pageControl()->currentWidget(), form.tabData());
  EXPECT_FALSE(form.tabSimpleWork()->asSwitch17->stateOn()) << "momentary: off again after the touch";
}

TEST(MainWindowAccessibility, StatusLabelsReadTheirText) {
  WindowRig rig({.camerasPresent = false, .boardPresent = false, .network = false});
  TmForm& form = rig.create();
  stopTimers(form);

  AccessibleDriver driver(&form);
  QAccessibleInterface* cam1 = driver.findByDescription(form.tabEgectors()->Cam1->objectName());
  ASSERT_NE(cam1, nullptr);
  EXPECT_EQ(cam1->text(QAccessible::Name), QStringLiteral("Камера 1 не найдена"));
  EXPECT_NE(driver.findByName(QStringLiteral("Камера 2 не найдена")), nullptr);
}

TEST(MainWindowAccessibility, DriverFindsNothingForUnknownNamesAndPressesNothing) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  AccessibleDriver driver(&form);
  EXPECT_EQ(driver.findByDescription(QStringLiteral("NoSuchControl")), nullptr);
  EXPECT_FALSE(driver.pressByName(QStringLiteral("Нет такой кнопки")));
  EXPECT_FALSE(AccessibleDriver::press(nullptr));
}

}  // namespace
}  // namespace tolvane
