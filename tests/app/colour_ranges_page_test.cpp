// The colour ranges on the screen: every "<<"/">>" pair of the single-tone page and of the working
// page's line mode driven through the accessibility tree, the open ranges of the test program, the
// range bars, the blue-background label choice and the black level of the edited camera.
#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <mutex>
#include <string>

#include "app/machine.h"
#include "app/page_one_chanal.h"
#include "app/page_one_chanal_controller.h"
#include "app/page_settings.h"
#include "app/page_settings_controller.h"
#include "app/page_simple_work.h"
#include "settings/colour_ranges.h"
#include "settings/ini_file.h"
#include "settings/stored_controls.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::AccessibleDriver;
using test::WindowRig;
using Pair = SorterSettings::CameraPair;

void stopTimers(TmForm& form) {
  form.timer1()->stop();
  form.timer2()->stop();
  form.timer5sek()->stop();
}

std::string text(const QLabel* label) { return label->text().toStdString(); }

// A window shown over a settings file whose active program is index active, with the working page's
// level arrows bound (as the window binds them).
struct Screen {
  explicit Screen(std::string_view settings) {
    rig.writeSettings(settings);
    form = &rig.create();
    stopTimers(*form);
    form->show();
    form->oneChanalController().bindWorkingPageLevels(*form->tabSimpleWork());
  }
  Machine& machine() { return rig.machine(); }
  QLabel* labelNamed(const char* name) const {
    QAccessibleInterface* iface = AccessibleDriver(form).findByDescription(QString::fromLatin1(name));
    return iface != nullptr ? qobject_cast<QLabel*>(iface->object()) : nullptr;
  }
  bool press(const char* name) const {
    return AccessibleDriver(form).pressByDescription(QString::fromLatin1(name));
  }
  void setField(Pair SorterSettings::*field, int camera, int32_t value) {
    std::lock_guard lock(machine().engine().engineLock);
    (machine().sorter().*field)[static_cast<std::size_t>(camera)] = value;
  }

  WindowRig rig;
  TmForm* form = nullptr;
};

constexpr std::string_view kProgramOne =
    "[options]\r\nActiveProg=0\r\n\r\n[program0]\r\nFonMin=200\r\nFonMax=250\r\nP1Min=10\r\nP1Max=100\r\n"
    "P2Min=100\r\nP2Max=180\r\nFonBlack=20\r\nFonLight=230\r\nC2FonMin=150\r\nC2FonMax=210\r\nC2P1Min=0\r\n"
    "C2P1Max=60\r\nC2P2Min=70\r\nC2P2Max=140\r\nC2FonBlack=30\r\nC2FonLight=240\r\nenFast=1\r\n";

// Every pair, written out here apart from the program's own table so that a wrong mapping shows.
struct PairRow {
  const char* left;
  const char* right;
  const char* label;
  Pair SorterSettings::*field;
  int camera;
  int32_t lower;
  int32_t upper;
  const char* twin;  // the label of the other page that shows the same level, or null
  bool workingPage;
};

constexpr PairRow kPairs[] = {
    {"FonChMinLeft", "FonChMinRight", "FonMin", &SorterSettings::FonMin, 0, 0, 255, nullptr, false},
    {"FonChMaxLeft", "FonChMaxRight", "FonMax", &SorterSettings::FonMax, 0, 0, 255, nullptr, false},
    {"P1ChMinLeft", "P1ChMinRight", "P1min", &SorterSettings::P1Min, 0, 0, 255, nullptr, false},
    {"P1ChMaxLeft", "P1ChMaxRight", "P1max", &SorterSettings::P1Max, 0, 0, 255, nullptr, false},
    {"P2ChMinLeft", "P2ChMinRight", "P2min", &SorterSettings::P2Min, 0, 0, 255, nullptr, false},
    {"P2ChMaxLeft", "P2ChMaxRight", "P2max", &SorterSettings::P2Max, 0, 0, 255, nullptr, false},
    {"FonBlackChMinLeft", "FonBlackChMinRight", "FonBlack", &SorterSettings::FonBlack, 0, 0, 255,
     "cam1blackLabel", false},
    {"FonLightChMinLeft", "FonLightChMinRight", "FonLight", &SorterSettings::FonLight, 0, 0, 255,
     "cam1lightLabel", false},
    {"C2FonChMinLeft", "C2FonChMinRight", "C2FonMin", &SorterSettings::FonMin, 1, 0, 255, nullptr, false},
    {"C2FonChMaxLeft", "C2FonChMaxRight", "C2FonMax", &SorterSettings::FonMax, 1, 0, 255, nullptr, false},
    {"C2P1ChMinLeft", "C2P1ChMinRight", "C2P1min", &SorterSettings::P1Min, 1, 0, 255, nullptr, false},
    {"C2P1ChMaxLeft", "C2P1ChMaxRight", "C2P1max", &SorterSettings::P1Max, 1, 0, 255, nullptr, false},
    {"C2P2ChMinLeft", "C2P2ChMinRight", "C2P2min", &SorterSettings::P2Min, 1, 0, 255, nullptr, false},
    {"C2P2ChMaxLeft", "C2P2ChMaxRight", "C2P2max", &SorterSettings::P2Max, 1, 0, 255, nullptr, false},
    {"C2FonBlackChMinLeft", "C2FonBlackChMinRight", "C2FonBlack", &SorterSettings::FonBlack, 1, 0, 255,
     "cam2blackLabel", false},
    {"C2FonLightChMinLeft", "C2FonLightChMinRight", "C2FonLight", &SorterSettings::FonLight, 1, 0, 255,
     "cam2lightLabel", false},
    {"cam1darkLeft", "cam1darkRight", "cam1blackLabel", &SorterSettings::FonBlack, 0, 0, 255, "FonBlack",
     true},
    {"cam1lightLeft", "cam1lightRight", "cam1lightLabel", &SorterSettings::FonLight, 0, 0, 255, "FonLight",
     true},
    {"cam2darkLeft", "cam2darkRight", "cam2blackLabel", &SorterSettings::FonBlack, 1, 0, 255, "C2FonBlack",
     true},
    {"cam2lightLeft", "cam2lightRight", "cam2lightLabel", &SorterSettings::FonLight, 1, 0, 255, "C2FonLight",
     true},
};

constexpr std::array<Pair SorterSettings::*, 8> kAllPairs = {
    &SorterSettings::FonMin, &SorterSettings::FonMax, &SorterSettings::P1Min,    &SorterSettings::P1Max,
    &SorterSettings::P2Min,  &SorterSettings::P2Max,  &SorterSettings::FonBlack, &SorterSettings::FonLight};

TEST(ColourRangesPage, EveryPairStepsItsOwnValueWithinItsLimits) {
  Screen screen(kProgramOne);
  TmForm& form = *screen.form;
  int refreshed = 0;
  form.oneChanalController().setRefreshSampleView([&refreshed] { ++refreshed; });

  struct Press {
    std::string shown;  // label text before
    int32_t field;      // field before
    bool up;
    int32_t after;
    std::string afterText;
  };
  for (const PairRow& row : kPairs) {
    SCOPED_TRACE(row.label);
    if (row.workingPage) {
      form.showPage(form.tabSimpleWork());
      form.tabSimpleWork()->LineModePanel->show();
    } else {
      form.showPage(form.tabOneChanal());
    }
    QLabel* label = screen.labelNamed(row.label);
    ASSERT_NE(label, nullptr);
    QLabel* twin = row.twin != nullptr ? screen.labelNamed(row.twin) : nullptr;
    const std::string lower = numberLabelText(row.lower);
    const std::string upper = numberLabelText(row.upper);
    const Press presses[] = {
        {lower, row.lower, false, row.lower, lower},
        {lower, row.lower, true, row.lower + 1, numberLabelText(row.lower + 1)},
        {upper, row.upper, true, row.upper, upper},
        {upper, row.upper, false, row.upper - 1, numberLabelText(row.upper - 1)},
        // A value stored beyond the limit moves only back toward it.
        {"300", 300, true, 300, "300"},
        {"300", 300, false, 299, "299"},
        // The label, not the field, is what is stepped.
        {"120", 7, true, 121, "121"},
        // A label that is not a number: nothing changes.
        {"abc", 77, true, 77, "abc"},
    };
    for (const Press& p : presses) {
      // The two labels of a level always show the same.
      label->setText(QString::fromStdString(p.shown));
      if (twin != nullptr) twin->setText(QString::fromStdString(p.shown));
      screen.setField(row.field, row.camera, p.field);
      const SorterSettings before = screen.machine().sorter();
      const int refreshesBefore = refreshed;
      ASSERT_TRUE(screen.press(p.up ? row.right : row.left));
      const SorterSettings& after = screen.machine().sorter();
      EXPECT_EQ((after.*row.field)[static_cast<std::size_t>(row.camera)], p.after) << p.shown << p.up;
      EXPECT_EQ(text(label), p.afterText) << p.shown << p.up;
      if (twin != nullptr) {
        EXPECT_EQ(text(twin), p.afterText) << row.twin;
      }
      EXPECT_EQ(refreshed, refreshesBefore + 1);
      for (Pair SorterSettings::*other : kAllPairs) {
        for (std::size_t c = 0; c < 2; ++c) {
          if (other == row.field && c == static_cast<std::size_t>(row.camera)) continue;
          EXPECT_EQ((after.*other)[c], (before.*other)[c]) << "another value changed";
        }
      }
    }
  }
}

TEST(ColourRangesPage, WorkingPageLevelsFollowTheSingleTonePage) {
  Screen screen(kProgramOne);
  TmForm& form = *screen.form;
  PageSimpleWork* work = form.tabSimpleWork();
  PageOneChanal* page = form.tabOneChanal();
  // As loaded.
  EXPECT_EQ(text(work->blackLevels[0].value), "020");
  EXPECT_EQ(text(work->lightLevels[1].value), "240");
  // A second binding replaces the first: one press is still one step.
  form.oneChanalController().bindWorkingPageLevels(*work);

  form.showPage(work);
  work->LineModePanel->show();
  AccessibleDriver driver(&form);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("cam1darkRight")));
  EXPECT_EQ(screen.machine().sorter().FonBlack[0], 21);
  EXPECT_EQ(text(page->ranges[0].fonBlack.value), "021");
  EXPECT_EQ(text(work->blackLevels[0].value), "021");
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("cam2lightLeft")));
  EXPECT_EQ(screen.machine().sorter().FonLight[1], 239);
  EXPECT_EQ(text(page->ranges[1].fonLight.value), "239");

  form.showPage(page);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("C2FonLightChMinLeft")));
  EXPECT_EQ(text(work->lightLevels[1].value), "238");
  EXPECT_EQ(screen.machine().sorter().FonLight[1], 238);
  // The dark zone bar follows the level.
  const RangeBarWidgets& bars = page->bars[0];
  const int left = page->scales[0]->scaleLeft();
  EXPECT_EQ(bars.darkZone->geometry().left(), left - 8);
  EXPECT_EQ(bars.darkZone->width(), 2 * 21 + 10);
  EXPECT_EQ(bars.lightZone->geometry().left(), left + 1 + 2 * 230);

  // The saved program holds what the labels show.
  ASSERT_TRUE(form.saveSettings());
  const IniDocument doc = IniDocument::load(screen.rig.settingsFile());
  EXPECT_EQ(doc.readInt("program0", "FonBlack", -1), 21);
  EXPECT_EQ(doc.readInt("program0", "C2FonLight", -1), 238);
}

TEST(ColourRangesPage, BarsArePlacedFromTheValues) {
  Screen screen(kProgramOne);
  TmForm& form = *screen.form;
  PageOneChanal* page = form.tabOneChanal();
  form.showPage(page);
  struct Expected {
    int fonMin, fonMax, p1Min, p1Max, p2Min, p2Max, black, light;
  };
  const Expected cameras[2] = {{200, 250, 10, 100, 100, 180, 20, 230}, {150, 210, 0, 60, 70, 140, 30, 240}};
  for (std::size_t camera = 0; camera < 2; ++camera) {
    SCOPED_TRACE(camera);
    const Expected& e = cameras[camera];
    const RangeBarWidgets& w = page->bars[camera];
    const int left = page->scales[camera]->scaleLeft();
    // The strip lies over its scale, so a level has the same x in both.
    EXPECT_EQ(w.strip->x(), page->scales[camera]->x());
    EXPECT_EQ(w.fonLeftMarker->x(), left + 2 * e.fonMin);
    EXPECT_EQ(w.fonRightMarker->x(), left + 2 * e.fonMax);
    EXPECT_EQ(w.fonRange->geometry(), QRect(left + 2 * e.fonMin + 3, w.fonRange->y(),
                                            2 * (e.fonMax - e.fonMin), w.fonRange->height()));
    EXPECT_EQ(w.p1->x(), left + 2 * e.p1Min + 2);
    EXPECT_EQ(w.p1->width(), 2 * (e.p1Max - e.p1Min));
    EXPECT_EQ(w.p2->x(), left + 2 * e.p2Min + 2);
    EXPECT_EQ(w.p2->width(), 2 * (e.p2Max - e.p2Min));
    EXPECT_EQ(w.darkZone->geometry().right() + 1, left + 2 + 2 * e.black);
    EXPECT_EQ(w.darkEdge->x(), left + 2 * e.black);
    EXPECT_EQ(w.lightZone->x(), left + 1 + 2 * e.light);
    EXPECT_EQ(w.lightEdge->x(), left + 2 * e.light);
    EXPECT_TRUE(w.p1->isVisible());
  }
  // Colour 1 stepped above its upper bound: no band is drawn.
  page->ranges[0].p1Min.value->setText(QStringLiteral("100"));
  ASSERT_TRUE(AccessibleDriver(&form).pressByDescription(QStringLiteral("P1ChMinRight")));
  EXPECT_EQ(screen.machine().sorter().P1Min[0], 101);
  EXPECT_FALSE(page->bars[0].p1->isVisible());
  EXPECT_TRUE(page->bars[1].p1->isVisible());
}

constexpr std::string_view kTestProgram =
    "[options]\r\nActiveProg=9\r\n\r\n[program9]\r\nFonMin=120\r\nFonMax=200\r\nFonBlack=40\r\n"
    "FonLight=210\r\nP1Min=5\r\nP1Max=100\r\nP2Min=10\r\nP2Max=90\r\nC2FonMin=130\r\n";

TEST(ColourRangesPage, TestProgramShowsItsLabelsButKeepsItsRangesOpen) {
  Screen screen(kTestProgram);
  TmForm& form = *screen.form;
  PageOneChanal* page = form.tabOneChanal();
  const SorterSettings& s = screen.machine().sorter();
  ASSERT_EQ(screen.machine().machine().ActiveProg, kTestProgramIndex);
  EXPECT_EQ(text(page->ranges[0].fonMin.value), "120");
  EXPECT_EQ(text(page->ranges[1].fonMin.value), "130");
  EXPECT_EQ(text(page->ranges[0].fonBlack.value), "040");
  for (std::size_t c = 0; c < 2; ++c) {
    EXPECT_EQ(s.FonMin[c], 0);
    EXPECT_EQ(s.FonBlack[c], 0);
    EXPECT_EQ(s.P1Min[c], 0);
    EXPECT_EQ(s.P2Min[c], 0);
    EXPECT_EQ(s.FonMax[c], 255);
    EXPECT_EQ(s.FonLight[c], 255);
    EXPECT_EQ(s.P1Max[c], 255);
    EXPECT_EQ(s.P2Max[c], 255);
  }
  // The bars show the open ranges.
  EXPECT_EQ(page->bars[0].fonLeftMarker->x(), page->scales[0]->scaleLeft());

  form.showPage(page);
  AccessibleDriver driver(&form);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("FonChMinRight")));
  EXPECT_EQ(s.FonMin[0], 121);
  EXPECT_EQ(text(page->ranges[0].fonMin.value), "121");
  EXPECT_EQ(page->bars[0].fonLeftMarker->x(), page->scales[0]->scaleLeft() + 242);

  // Any other range button opens it again; the label keeps what it showed.
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("C2P2ChMaxLeft")));
  EXPECT_EQ(s.FonMin[0], 0);
  EXPECT_EQ(s.P2Max[1], 199);  // stepped from its label, which shows the loaded default
  EXPECT_EQ(text(page->ranges[0].fonMin.value), "121");
  EXPECT_EQ(text(page->ranges[1].p2Max.value), "199");

  // A background level keeps its step until the next evaluation.
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("FonBlackChMinRight")));
  EXPECT_EQ(s.FonBlack[0], 41);
  EXPECT_EQ(s.P2Max[1], 199);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("P1ChMaxRight")));
  EXPECT_EQ(s.FonBlack[0], 0);
  EXPECT_EQ(text(page->ranges[0].fonBlack.value), "041");

  // A channel switch does not put the open values into the labels.
  QTest::mouseClick(page->OC_G_Button, Qt::LeftButton);
  EXPECT_EQ(s.SingleChannel, 2);
  EXPECT_EQ(screen.machine().engine().SingleChannel.load(), 2);
  EXPECT_EQ(text(page->ranges[0].fonMin.value), "121");

  // The save writes the open values into program9, with the value stepped last as it was stepped;
  // the load shows them.
  ASSERT_TRUE(form.saveSettings());
  const IniDocument doc = IniDocument::load(screen.rig.settingsFile());
  EXPECT_EQ(doc.readInt("program9", "FonMin", -1), 0);
  EXPECT_EQ(doc.readInt("program9", "FonBlack", -1), 0);
  EXPECT_EQ(doc.readInt("program9", "C2P2Max", -1), 255);
  EXPECT_EQ(doc.readInt("program9", "P1Max", -1), 101);
  EXPECT_EQ(text(page->ranges[0].fonMin.value), "000");
  EXPECT_EQ(text(page->ranges[0].p1Max.value), "101");
}

TEST(ColourRangesPage, OtherProgramsAreNotOpened) {
  Screen screen(kTestProgram);
  TmForm& form = *screen.form;
  // Program 1 has no section: its defaults stay as loaded.
  form.programListTouch(0);
  ASSERT_EQ(screen.machine().machine().ActiveProg, 0);
  EXPECT_EQ(screen.machine().sorter().FonMin[0], 200);
  EXPECT_EQ(screen.machine().sorter().P1Max[0], 150);
  EXPECT_EQ(text(form.tabOneChanal()->ranges[0].fonMin.value), "200");
  // Back to the test program: its section now holds the open values it was saved with.
  form.programListTouch(9);
  EXPECT_EQ(text(form.tabOneChanal()->ranges[0].fonMin.value), "000");
  EXPECT_EQ(text(form.tabOneChanal()->ranges[0].p1Max.value), "255");
}

constexpr std::string_view kBlueValues =
    "[options]\r\nActiveProg=0\r\nFormVersion=0\r\nFRminLabel_Caption=030\r\nFRmaxLabel_Caption=060\r\n"
    "FGminLabel_Caption=100\r\nFGmaxLabel_Caption=120\r\nFBminLabel_Caption=160\r\nFBmaxLabel_Caption=300\r\n"
    "BlackFonLabelA_Caption=010\r\nBlackFonLabelB_Caption=020\r\n";

TEST(ColourRangesPage, BlueBackgroundStepsTheTouchedLabel) {
  Screen screen(kBlueValues);
  TmForm& form = *screen.form;
  PageSettings* page = form.tabSettings();
  PageSettingsController& controller = form.settingsController();
  const MachineSettings& m = screen.machine().machine();
  form.showPage(page);
  AccessibleDriver driver(&form);
  const auto opaque = [&](std::size_t i) { return page->blueFonLabels[i]->autoFillBackground(); };

  // Nothing chosen at start: the arrows change nothing.
  EXPECT_EQ(controller.chosenBlueFon(), std::nullopt);
  for (std::size_t i = 0; i < kBlueFonCount; ++i) EXPECT_FALSE(opaque(i));
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("BlueFonRightButton")));
  EXPECT_EQ(m.FRmin, 30);
  EXPECT_EQ(text(page->blueFonLabels[0]), "030");

  struct Touch {
    std::size_t label;
    bool up;
    int32_t MachineSettings::*field;
    int32_t after;
    const char* afterText;
  };
  const Touch touches[] = {
      {3, true, &MachineSettings::FGmax, 121, "121"}, {0, false, &MachineSettings::FRmin, 29, "029"},
      {5, true, &MachineSettings::FBmax, 300, "300"}, {5, false, &MachineSettings::FBmax, 299, "299"},
      {1, true, &MachineSettings::FRmax, 61, "061"},  {2, false, &MachineSettings::FGmin, 99, "099"},
      {4, true, &MachineSettings::FBmin, 161, "161"},
  };
  for (const Touch& t : touches) {
    QTest::mouseClick(page->blueFonLabels[t.label], Qt::LeftButton);
    ASSERT_EQ(controller.chosenBlueFon(), t.label);
    for (std::size_t i = 0; i < kBlueFonCount; ++i) EXPECT_EQ(opaque(i), i == t.label) << i;
    EXPECT_EQ(page->blueFonLabels[t.label]->palette().color(QPalette::Window), QColor(167, 167, 167));
    const MachineSettings before = m;
    ASSERT_TRUE(driver.pressByDescription(t.up ? QStringLiteral("BlueFonRightButton")
                                               : QStringLiteral("BlueFonLeftButton")));
    EXPECT_EQ(m.*t.field, t.after) << t.label;
    EXPECT_EQ(text(page->blueFonLabels[t.label]), t.afterText);
    MachineSettings expected = before;
    expected.*t.field = t.after;
    for (int32_t MachineSettings::*f :
         {&MachineSettings::FRmin, &MachineSettings::FRmax, &MachineSettings::FGmin, &MachineSettings::FGmax,
          &MachineSettings::FBmin, &MachineSettings::FBmax})
      EXPECT_EQ(m.*f, expected.*f);
  }

  // The stored control values keep what the labels show.
  ASSERT_TRUE(form.saveSettings());
  const IniDocument doc = IniDocument::load(screen.rig.settingsFile());
  EXPECT_EQ(doc.readString("options", "FGmaxLabel_Caption", ""), "121");
  EXPECT_EQ(doc.readString("options", "FBmaxLabel_Caption", ""), "299");
  EXPECT_EQ(m.FBmax, 299);
}

TEST(ColourRangesPage, BlackLevelOfTheEditedCamera) {
  Screen screen(kBlueValues);
  TmForm& form = *screen.form;
  PageSettings* page = form.tabSettings();
  const MachineSettings& m = screen.machine().machine();
  form.showPage(page);
  AccessibleDriver driver(&form);
  ASSERT_EQ(m.BlackFon, (std::array<int32_t, 2>{10, 20}));

  // Camera 2 edited.
  page->ColorCamEditSwitch2->setStateOn(true);
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("BlackFonRightButton")));
  EXPECT_EQ(text(page->BlackFonLabelB), "021");
  EXPECT_EQ(text(page->BlackFonLabelA), "010");
  EXPECT_EQ(m.BlackFon, (std::array<int32_t, 2>{10, 21}));

  // Camera 1 edited, down to the limit and no further.
  page->ColorCamEditSwitch1->setStateOn(true);
  page->BlackFonLabelA->setText(QStringLiteral("001"));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(driver.pressByDescription(QStringLiteral("BlackFonLeftButton")));
  EXPECT_EQ(text(page->BlackFonLabelA), "000");
  EXPECT_EQ(m.BlackFon, (std::array<int32_t, 2>{0, 21}));

  // A label that is not a number leaves its value.
  page->BlackFonLabelA->setText(QStringLiteral("x"));
  ASSERT_TRUE(driver.pressByDescription(QStringLiteral("BlackFonRightButton")));
  EXPECT_EQ(m.BlackFon[0], 0);
  EXPECT_EQ(text(page->BlackFonLabelA), "x");
}

// For a person to look at: the colour page with a chosen blue-background label, and the single-tone
// page with its bars after steps.
TEST(ColourRangesPage, Screenshots) {
  Screen screen(kBlueValues);
  TmForm& form = *screen.form;
  form.applyScreenSize(QSize(1024, 768));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  const auto shoot = [&form](QWidget* page, const char* name) {
    form.showPage(page);
    QCoreApplication::processEvents();
    const QString file = QStringLiteral(TOLVANE_SCREENSHOT_DIR "/%1.png").arg(QString::fromLatin1(name));
    EXPECT_TRUE(form.grab().toImage().save(file)) << file.toStdString();
  };
  QTest::mouseClick(form.tabSettings()->blueFonLabels[3], Qt::LeftButton);
  shoot(form.tabSettings(), "TabSettings_blueChosen");
  shoot(form.tabOneChanal(), "TabOneChanal_defaults");
}

}  // namespace
}  // namespace tolvane
