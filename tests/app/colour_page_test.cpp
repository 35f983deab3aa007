// The colour page's sector lists driven by touch: creating, toggling, deleting, stepping, the edited
// camera, and that every change reaches the engine's tables and the program's file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <cmath>
#include <mutex>
#include <numbers>
#include <string>

#include "app/machine.h"
#include "app/page_one_chanal.h"
#include "app/page_settings.h"
#include "app/page_settings_controller.h"
#include "app/page_simple_work.h"
#include "app/sector_list_box.h"
#include "engine/pixel_classifier.h"
#include "settings/ini_file.h"
#include "tests/app/main_window_rig.h"
#include "ui/view_3d.h"

namespace tolvane {
namespace {

using test::WindowRig;

const std::string kRed =
    "##ID=\"4\" ##TYPE=\"1\" ##HMIN=\"10\" ##HMAX=\"40\" ##SMIN=\"60\" ##SMAX=\"200\" ##VMIN=\"26\" "
    "##VMAX=\"255\" ##ACTIVE=\"TRUE\"";
const std::string kBackground =
    "##ID=\"7\" ##TYPE=\"-1\" ##HMIN=\"180\" ##HMAX=\"240\" ##SMIN=\"20\" ##SMAX=\"90\" ##VMIN=\"0\" "
    "##VMAX=\"255\" ##ACTIVE=\"TRUE\"";

struct ColourPage {
  ColourPage() {
    rig.writeSettings(
        "\xEF\xBB\xBF[options]\r\nActiveProg=0\r\n\r\n[program0]\r\nSectorCounts=2\r\nSector0=" +
        kBackground + "\r\nSector1=" + kRed + "\r\n");
    form = &rig.create();
    test::stopTimers(*form);
    form->applyScreenSize(QSize(1024, 768));
    form->show();
    form->showPage(form->tabSettings());
    page = form->tabSettings();
  }
  PageSettingsController& controller() { return form->settingsController(); }
  SorterSettings& sorter() { return rig.machine().sorter(); }
  SectorTables tables(int camera) {
    std::lock_guard lock(rig.machine().engine().engineLock);
    return rig.machine().engine().sectorTables[static_cast<std::size_t>(camera)];
  }
  // A touch x pixels from the list's left edge on entry row.
  void touchEntry(SectorListBox* list, int row, int x) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(x, row * SectorListBox::kEntryHeight + 10));
  }

  // The colour page belongs to colour machines.
  WindowRig rig{{.singleToneCamera = false}};
  TmForm* form = nullptr;
  PageSettings* page = nullptr;
};

TEST(ColourPageSectors, TouchZonesToggleSelectAndDelete) {
  ColourPage screen;
  SectorListBox* list = screen.page->BoxSectorA;
  ASSERT_EQ(list->count(), 2);
  ASSERT_EQ(screen.tables(0).red.size(), 1u);

  // Left zone: the red sector goes off and leaves the table; a second touch brings it back.
  screen.touchEntry(list, 1, 10);
  EXPECT_NE(screen.sorter().Sectors[0][1].find("##ACTIVE=\"FALSE\""), std::string::npos);
  EXPECT_TRUE(screen.tables(0).red.empty());
  EXPECT_EQ(list->selectedEntry(), std::optional<std::size_t>(1));
  EXPECT_EQ(screen.page->vMinLabel->text(), "26");
  screen.touchEntry(list, 1, 10);
  EXPECT_EQ(screen.tables(0).red.size(), 1u);

  // Middle: selects only. Below the last entry: no selection.
  screen.touchEntry(list, 0, 100);
  EXPECT_EQ(list->selectedEntry(), std::optional<std::size_t>(0));
  screen.touchEntry(list, 4, 100);
  EXPECT_FALSE(list->selectedEntry().has_value());

  // Right zone asks; No keeps the sector, Yes removes it.
  screen.rig.answers = {false, true};
  screen.touchEntry(list, 0, 240);
  EXPECT_EQ(screen.sorter().Sectors[0].size(), 2u);
  screen.touchEntry(list, 0, 240);
  ASSERT_EQ(screen.rig.questions.size(), 2u);
  EXPECT_EQ(screen.rig.questions[1], "Вопрос... / Удалить сектор?");
  ASSERT_EQ(screen.sorter().Sectors[0].size(), 1u);
  EXPECT_EQ(screen.sorter().Sectors[0][0], kRed);
  EXPECT_TRUE(screen.tables(0).background.empty());
}

TEST(ColourPageSectors, CreatedSectorsAreOrderedByTypeAndReachTheFile) {
  ColourPage screen;
  ColorSector pending;
  pending.HMIN = 300;
  pending.HMAX = 20;
  pending.SMIN = 50;
  pending.SMAX = 150;
  pending.VMIN = 10;
  pending.VMAX = 240;
  screen.controller().setPendingSector(pending);
  test::touch(screen.page->BlueSectorButton);

  const SectorLines& lines = screen.sorter().Sectors[0];
  ASSERT_EQ(lines.size(), 4u);
  // Background, red, then the two halves of the blue sector across 0 degrees.
  EXPECT_EQ(lines[0], kBackground);
  EXPECT_EQ(lines[1], kRed);
  const auto first = parseSectorLine(lines[2]);
  const auto second = parseSectorLine(lines[3]);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(std::pair(first->HMIN, first->HMAX), std::pair(300, 360));
  EXPECT_EQ(std::pair(second->HMIN, second->HMAX), std::pair(0, 20));
  EXPECT_EQ(first->ID, 8);
  EXPECT_EQ(second->ID, 9);
  EXPECT_EQ(screen.tables(0).blue.size(), 2u);
  EXPECT_EQ(screen.page->BoxSectorA->count(), 4);

  screen.form->saveSettings();
  const IniDocument doc = IniDocument::load(screen.rig.settingsFile());
  EXPECT_EQ(doc.readInt("program0", "SectorCounts", 0), 4);
  EXPECT_EQ(doc.readString("program0", "Sector3", ""), lines[3]);
}

TEST(ColourPageSectors, StepsChangeTheSelectedSectorOnly) {
  struct Case {
    const char* what;
    TasSwitch* PageSettings::*button;
    int presses;
    const char* expectedPart;  // in the red sector's line afterwards
  };
  const Case cases[] = {
      {"VMIN down writes three digits", &PageSettings::vMinMinus, 1, "##VMIN=\"025\""},
      {"VMAX stays at 255", &PageSettings::vMaxPlus, 2, "##VMAX=\"255\""},
      {"outer arc grows", &PageSettings::SE_TopP_Button, 3, "##SMAX=\"203\""},
      {"sector turns", &PageSettings::SE_LeftM_Button, 2, "##HMIN=\"8\" ##HMAX=\"38\""},
      {"inner arc moves in", &PageSettings::SE_BottomM_Button, 1, "##SMIN=\"59\" ##SMAX=\"199\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ColourPage screen;
    // Without a selection nothing changes.
    test::touch(screen.page->*c.button);
    EXPECT_EQ(screen.sorter().Sectors[0][1], kRed);
    screen.touchEntry(screen.page->BoxSectorA, 1, 100);
    for (int i = 0; i < c.presses; ++i) test::touch(screen.page->*c.button);
    EXPECT_NE(screen.sorter().Sectors[0][1].find(c.expectedPart), std::string::npos)
        << screen.sorter().Sectors[0][1];
    EXPECT_EQ(screen.sorter().Sectors[0][0], kBackground);
    const auto red = parseSectorLine(screen.sorter().Sectors[0][1]);
    ASSERT_TRUE(red.has_value());
    EXPECT_EQ(screen.tables(0).red.at(0), *red);
  }
}

TEST(ColourPageSectors, TheEditedCameraChoosesListAndQuestionsGuardWholeListChanges) {
  ColourPage screen;
  PageSettings* page = screen.page;
  test::touch(page->ColorCamEditSwitch2);
  EXPECT_FALSE(page->ColorCamEditSwitch1->stateOn());
  EXPECT_TRUE(page->BoxSectorA->isHidden());
  EXPECT_FALSE(page->BoxSectorB->isHidden());
  EXPECT_FALSE(page->BlackFonLabelB->isHidden());
  // A touch on the lit switch keeps it lit.
  test::touch(page->ColorCamEditSwitch2);
  EXPECT_TRUE(page->ColorCamEditSwitch2->stateOn());

  ColorSector pending;
  pending.HMIN = 100;
  pending.HMAX = 140;
  pending.SMAX = 255;
  screen.controller().setPendingSector(pending);
  test::touch(page->RedSectorButton);
  ASSERT_EQ(screen.sorter().Sectors[1].size(), 1u);
  EXPECT_EQ(screen.sorter().Sectors[0].size(), 2u);
  EXPECT_EQ(screen.tables(1).red.size(), 1u);

  // "круг" on the selected camera-2 sector; "X" empties camera 2's list only on Yes.
  screen.rig.answers = {true, false, true};
  test::touch(page->FullCircleButton);
  EXPECT_NE(screen.sorter().Sectors[1][0].find("##HMIN=\"0\" ##HMAX=\"360\" ##SMIN=\"0\" ##SMAX=\"255\""),
            std::string::npos);
  test::touch(page->DeleteAllSectorsButton);
  EXPECT_EQ(screen.sorter().Sectors[1].size(), 1u);
  test::touch(page->DeleteAllSectorsButton);
  EXPECT_TRUE(screen.sorter().Sectors[1].empty());
  EXPECT_TRUE(screen.tables(1).red.empty());
  EXPECT_EQ(screen.sorter().Sectors[0].size(), 2u);
}

// The map point of hue h (degrees) and saturation s.
QPoint mapPoint(double h, double s) {
  const double a = h * std::numbers::pi / 180.0;
  return {static_cast<int>(256.5 + s * std::cos(a)), static_cast<int>(256.5 + s * std::sin(a))};
}

TEST(ColourPageMap, ADragProposesASectorThatClassifiesTheNextLine) {
  ColourPage screen;
  Machine& m = screen.rig.machine();
  ASSERT_FALSE(m.engine().singleToneCamera);
  ASSERT_FALSE(m.engine().BrightMode.load());
  const auto classOf = [&m](int r, int g, int b) {
    std::lock_guard lock(m.engine().engineLock);
    return ClassifyPixel(r, g, b, 0, m.engine(), m.sorter());
  };
  const PixelClass before = classOf(255, 228, 95);  // hue 50, S 160, V 255
  ASSERT_NE(before, kClassColour2);

  // From hue 20 at S 220 to hue 55 at S 120: saturation is put in order, hue keeps the gesture's.
  screen.page->SectorEditorSwitch->setStateOn(true);
  HsvMapWidget* map = screen.page->HSVpaint;
  QTest::mousePress(map, Qt::LeftButton, {}, mapPoint(20, 220));
  EXPECT_FALSE(screen.page->SectorEditorSwitch->stateOn());
  QTest::mouseMove(map, mapPoint(40, 170));
  QTest::mouseRelease(map, Qt::LeftButton, {}, mapPoint(55, 120));
  const ColorSector pending = screen.controller().pendingSector();
  EXPECT_NEAR(pending.HMIN, 20, 1);
  EXPECT_NEAR(pending.HMAX, 55, 1);
  EXPECT_NEAR(pending.SMIN, 120, 1);
  EXPECT_NEAR(pending.SMAX, 220, 1);

  test::touch(screen.page->BlueSectorButton);
  ASSERT_EQ(screen.sorter().Sectors[0].size(), 3u);
  EXPECT_EQ(classOf(255, 228, 95), kClassColour2);

  // For a person to look at: the page with its sectors, then with the 3D view open.
  const auto shoot = [&screen](const char* name) {
    QCoreApplication::processEvents();
    QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
    const QString file = QStringLiteral(TOLVANE_SCREENSHOT_DIR "/%1.png").arg(QString::fromLatin1(name));
    EXPECT_TRUE(screen.form->grab().toImage().save(file)) << file.toStdString();
  };
  screen.touchEntry(screen.page->BoxSectorA, 1, 100);
  screen.page->SectorEditorSwitch->setStateOn(true);
  shoot("TabSettings_sectors");
  screen.page->SectorEditorSwitch->setStateOn(false);
  test::touch(screen.page->Panel3DSwitch);
  EXPECT_FALSE(screen.page->Panel3D->isHidden());
  EXPECT_FALSE(screen.page->Paint3D->pixmap().isNull());
  test::touch(screen.page->turn3DRightButton);
  EXPECT_EQ(screen.controller().view3D().turn(), 1);
  test::touch(screen.page->turnBeginButton);
  EXPECT_EQ(screen.controller().view3D().turn(), 0);
  shoot("TabSettings_3D");
  test::touch(screen.page->Panel3DSwitch);
  EXPECT_TRUE(screen.page->Panel3D->isHidden());
}

TEST(ColourPageMap, SamplePicturesProposeSectors) {
  ColourPage screen;
  // A sample of one colour: hue 200, S 180, V 200. One hue gives HMAX = HMIN: the closing "HMAX - 1"
  // never takes it below HMIN.
  QImage sample(100, 100, QImage::Format_RGB888);
  sample.fill(QColor(59, 153, 200));
  const Hsv colour = RgbToHsv(59, 153, 200);
  struct Case {
    const char* what;
    QLabel* picture;
    bool withImage;
    Qt::MouseButton button;
    ColorSector expected;  // bounds only
  };
  const Case cases[] = {
      {"empty picture: the default", screen.page->Paint3, false, Qt::LeftButton,
       ColorSector{.HMIN = 0, .HMAX = 20, .SMIN = 50, .SMAX = 200, .VMIN = 0, .VMAX = 255}},
      {"one colour", screen.page->Paint2, true, Qt::LeftButton,
       ColorSector{.HMIN = colour.h,
                   .HMAX = colour.h,
                   .SMIN = colour.s,
                   .SMAX = colour.s,
                   .VMIN = colour.v,
                   .VMAX = colour.v}},
      {"single-tone page's copy", screen.form->tabOneChanal()->Paint4, true, Qt::LeftButton,
       ColorSector{.HMIN = colour.h,
                   .HMAX = colour.h,
                   .SMIN = colour.s,
                   .SMAX = colour.s,
                   .VMIN = colour.v,
                   .VMAX = colour.v}},
      {"right button clears", screen.page->Paint2, true, Qt::RightButton, ColorSector{}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.picture->setPixmap(c.withImage ? QPixmap::fromImage(sample) : QPixmap());
    screen.controller().setPendingSector(ColorSector{.HMIN = 7, .HMAX = 9});
    c.picture->window()->show();
    QTest::mouseClick(c.picture, c.button, {}, QPoint(50, 50));
    const ColorSector pending = screen.controller().pendingSector();
    EXPECT_EQ(std::tuple(pending.HMIN, pending.HMAX, pending.SMIN, pending.SMAX, pending.VMIN, pending.VMAX),
              std::tuple(c.expected.HMIN, c.expected.HMAX, c.expected.SMIN, c.expected.SMAX, c.expected.VMIN,
                         c.expected.VMAX));
  }
  EXPECT_EQ(screen.page->V_Label->text(), QStringLiteral("Среднее значение яркости V=200.000"));
}

TEST(ColourPageMap, BackgroundReadoutShowsTheBlocksOfCameraOne) {
  WindowRig rig({.singleToneCamera = false});
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  test::stopTimers(form);
  PageSettings* page = form.tabSettings();
  const auto& labels = form.backgroundReadoutLabels();
  // Before the first tick every value is 0.
  test::touch(page->FonSwitch);
  EXPECT_EQ(labels[0]->text(), "0 - 0");
  test::touch(page->FonSwitch);

  test::touch(form.tabSimpleWork()->PuskSwitch);
  std::vector<std::uint8_t> line;
  QTRY_VERIFY_WITH_TIMEOUT(rig.machine().copyReadoutLine(line), 20000);
  form.Timer1Timer();
  test::touch(page->FonSwitch);
  EXPECT_FALSE(form.fonPanel()->findChild<QWidget*>(QStringLiteral("FonInfo_Panel"))->isHidden());
  // The simulated plate is blue (about H 225): every block reads hues there and a full saturation band
  // starts above 0.
  for (int block = 0; block < 4; ++block) {
    const QStringList hue = labels[static_cast<std::size_t>(block * 3)]->text().split(QStringLiteral(" - "));
    ASSERT_EQ(hue.size(), 2) << block;
    EXPECT_LE(hue[0].toInt(), 230) << block;
    EXPECT_GE(hue[1].toInt(), 220) << block;
    EXPECT_NE(labels[static_cast<std::size_t>(block * 3 + 1)]->text(), "0 - 0") << block;
  }
  test::touch(form.tabSimpleWork()->PuskSwitch);
}

}  // namespace
}  // namespace tolvane
