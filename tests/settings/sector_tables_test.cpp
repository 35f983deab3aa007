#include "settings/sector_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/sector_list.h"

namespace tolvane {
namespace {

std::string lineOf(bool active, int32_t type, int32_t id, int32_t hMin = 10, int32_t hMax = 50,
                   int32_t sMin = 20, int32_t sMax = 200, int32_t vMin = 30, int32_t vMax = 220) {
  return formatSectorLine(ColorSector{active, type, id, hMin, hMax, sMin, sMax, vMin, vMax});
}

std::vector<int32_t> idsOf(const std::vector<ColorSector>& table) {
  std::vector<int32_t> ids;
  for (const ColorSector& s : table) {
    ids.push_back(s.ID);
  }
  return ids;
}

// Hands back the H, S, V it was given as R, G, B, so the test sees which middles were converted.
FillColour echoHsv(int32_t h, int32_t s, int32_t v) {
  return FillColour{static_cast<uint8_t>(h), static_cast<uint8_t>(s), static_cast<uint8_t>(v)};
}

TEST(SectorTables, ActiveSectorsByTypeInListOrder) {
  SorterSettings settings;
  settings.Sectors[0] = {lineOf(true, -3, 0), lineOf(true, -2, 1), lineOf(true, -1, 2), lineOf(false, -1, 3),
                         lineOf(true, -1, 4), lineOf(true, 1, 5),  lineOf(true, 2, 6),  lineOf(true, 1, 7),
                         lineOf(false, 2, 8), lineOf(true, 7, 9)};
  settings.Sectors[1] = {lineOf(true, 2, 20)};
  const SectorTablesBuild build = buildSectorTables(settings, false, echoHsv);
  EXPECT_EQ(idsOf(build.tables[0].background), (std::vector<int32_t>{2, 4}));
  EXPECT_EQ(idsOf(build.tables[0].red), (std::vector<int32_t>{5, 7}));
  EXPECT_EQ(idsOf(build.tables[0].blue), (std::vector<int32_t>{6}));
  EXPECT_TRUE(build.tables[1].background.empty());
  EXPECT_TRUE(build.tables[1].red.empty());
  EXPECT_EQ(idsOf(build.tables[1].blue), (std::vector<int32_t>{20}));
  EXPECT_TRUE(build.badLines.empty());
  EXPECT_EQ(build.tables[0].red[0], (ColorSector{true, 1, 5, 10, 50, 20, 200, 30, 220}));
}

TEST(SectorTables, ToggledSectorLeavesAndReturnsToItsTable) {
  SorterSettings settings;
  settings.Sectors[0] = {lineOf(true, 1, 0), lineOf(true, 1, 1)};
  ASSERT_TRUE(toggleSectorActive(settings.Sectors[0], 0));
  EXPECT_EQ(idsOf(buildSectorTables(settings, false, echoHsv).tables[0].red), (std::vector<int32_t>{1}));
  ASSERT_TRUE(toggleSectorActive(settings.Sectors[0], 0));
  EXPECT_EQ(idsOf(buildSectorTables(settings, false, echoHsv).tables[0].red), (std::vector<int32_t>{0, 1}));
}

TEST(SectorTables, FillFollowsTheLastActiveBackgroundSector) {
  SorterSettings settings;
  settings.Sectors[0] = {lineOf(true, -1, 0, 10, 20, 0, 100, 0, 50), lineOf(true, -1, 1, 10, 15, 3, 8, -5, 0),
                         lineOf(false, -1, 2, 100, 200, 0, 100, 0, 50)};
  SectorTablesBuild build = buildSectorTables(settings, false, echoHsv);
  // Middles: 10 + 5/2 = 12, 3 + 5/2 = 5, -5 + 5/2 = -3 (halves toward zero).
  ASSERT_TRUE(build.BackgroundFill);
  EXPECT_EQ(*build.BackgroundFill, (FillColour{12, 5, static_cast<uint8_t>(-3)}));
  // Camera 2's background sector wins over camera 1's.
  settings.Sectors[1] = {lineOf(true, -1, 5, 40, 60, 100, 200, 10, 20), lineOf(true, 1, 6)};
  build = buildSectorTables(settings, false, echoHsv);
  EXPECT_EQ(*build.BackgroundFill, (FillColour{50, 150, 15}));
}

TEST(SectorTables, FillKeepsItsValueWithoutActiveBackground) {
  SorterSettings settings;
  settings.Sectors[0] = {lineOf(false, -1, 0), lineOf(true, -2, 1), lineOf(true, 1, 2)};
  std::array<SectorTables, kSectorCameraCount> tables;
  tables[1].red.push_back(ColorSector{});  // stale content is replaced
  FillColour fill{1, 2, 3};
  EXPECT_TRUE(rebuildSectorTables(settings, false, echoHsv, tables, fill).empty());
  EXPECT_EQ(fill, (FillColour{1, 2, 3}));
  EXPECT_TRUE(tables[1].red.empty());
  EXPECT_EQ(tables[0].red.size(), 1u);
  settings.Sectors[0][0] = lineOf(true, -1, 0, 0, 360, 0, 0, 7, 7);
  rebuildSectorTables(settings, false, echoHsv, tables, fill);
  EXPECT_EQ(fill, (FillColour{180, 0, 7}));
}

TEST(SectorTables, SingleToneFillIsBlackOrWhiteFromTheCameraOneLevels) {
  SorterSettings settings;
  settings.Sectors[1] = {lineOf(true, -1, 0)};
  settings.FonLight = {200, 0};
  settings.FonBlack = {55, 0};
  // 255 - 200 = 55, not less than 55: white. The camera-2 levels play no part.
  EXPECT_EQ(*buildSectorTables(settings, true, {}).BackgroundFill, (FillColour{255, 255, 255}));
  settings.FonBlack[0] = 56;
  EXPECT_EQ(*buildSectorTables(settings, true, {}).BackgroundFill, (FillColour{0, 0, 0}));
  // Without any background sector the rule holds all the same: the picture of an object on a light
  // plate must not be black.
  settings.Sectors[1].clear();
  settings.FonBlack[0] = 0;
  EXPECT_EQ(*buildSectorTables(settings, true, {}).BackgroundFill, (FillColour{255, 255, 255}));
  settings.FonBlack[0] = 60;
  settings.FonLight[0] = 255;
  EXPECT_EQ(*buildSectorTables(settings, true, {}).BackgroundFill, (FillColour{0, 0, 0}));
}

TEST(SectorTables, RangeMiddlesOfAnyBoundsStayBetweenThem) {
  struct Case {
    int32_t lower, upper, middle;
  };
  const Case cases[] = {
      {10, 20, 15},
      {-5, 0, -3},  // the half rounds toward zero
      {20, 10, 15},
      {INT32_MIN, INT32_MAX, -1},
      {INT32_MAX, INT32_MIN, 0},
      {-1000, 1999999999, 999999499},
      {2000000000, INT32_MAX, 2073741823},
      {INT32_MAX, INT32_MAX, INT32_MAX},
      {INT32_MIN, INT32_MIN, INT32_MIN},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sectorRangeMiddle(c.lower, c.upper), c.middle) << c.lower << " " << c.upper;

  // The fill conversion sees the middles as they are (clamping is the conversion's business).
  SorterSettings settings;
  settings.Sectors[0] = {
      "##ID=\"0\" ##TYPE=\"-1\" ##HMIN=\"-2147483648\" ##HMAX=\"2147483647\" ##SMIN=\"-1000\" "
      "##SMAX=\"1999999999\" ##VMIN=\"2000000000\" ##VMAX=\"2147483647\" ##ACTIVE=\"TRUE\""};
  std::vector<int32_t> seen;
  const SectorTablesBuild build = buildSectorTables(settings, false, [&](int32_t h, int32_t s, int32_t v) {
    seen = {h, s, v};
    return FillColour{};
  });
  EXPECT_EQ(seen, (std::vector<int32_t>{-1, 999999499, 2073741823}));
  ASSERT_EQ(build.tables[0].background.size(), 1u);
  EXPECT_EQ(build.tables[0].background[0].SMIN, -1000) << "bounds are kept as read";
}

TEST(SectorTables, BadLinesAreSkippedAndReported) {
  SorterSettings settings;
  settings.Sectors[0] = {lineOf(true, 1, 0), "", lineOf(true, 1, 1)};
  settings.Sectors[1] = {"##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1o\"", lineOf(true, 2, 4)};
  std::array<SectorTables, kSectorCameraCount> tables;
  FillColour fill;
  const std::vector<BadSectorLine> bad = rebuildSectorTables(settings, false, echoHsv, tables, fill);
  ASSERT_EQ(bad.size(), 2u);
  EXPECT_EQ(bad[0].camera, 0);
  EXPECT_EQ(bad[0].index, 1u);
  EXPECT_EQ(bad[1].camera, 1);
  EXPECT_EQ(bad[1].line, settings.Sectors[1][0]);
  EXPECT_EQ(describeBadSectorLines(bad),
            "Sector1: ##TYPE is missing\nCam2Sector0: ##HMIN is not a number: \"1o\"\n");
  EXPECT_EQ(idsOf(tables[0].red), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(idsOf(tables[1].blue), (std::vector<int32_t>{4}));
  EXPECT_EQ(settings.Sectors[0].size(), 3u) << "bad lines stay in the list";
  EXPECT_EQ(describeBadSectorLines({}), "");
}

}  // namespace
}  // namespace tolvane
