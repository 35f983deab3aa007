// The colour page's sector lists driven by touch: creating, toggling, deleting, stepping, the edited
// camera, and that every change reaches the engine's tables and the program's file.
#include <gtest/gtest.h>

#include <QTest>
#include <mutex>
#include <string>

#include "app/machine.h"
#include "app/page_settings.h"
#include "app/page_settings_controller.h"
#include "app/sector_list_box.h"
#include "settings/ini_file.h"
#include "tests/app/main_window_rig.h"

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
    rig.writeSettings("\xEF\xBB\xBF[options]\r\nActiveProg=0\r\n\r\n[program0]\r\nSectorCounts=2\r\nSector0=" +
                      kBackground + "\r\nSector1=" + kRed + "\r\n");
    form = &rig.create();
    test::stopTimers(*form);
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
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(x, row * SectorListBox::kEntryHeight + 10));
  }

  WindowRig rig;
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

}  // namespace
}  // namespace tolvane
