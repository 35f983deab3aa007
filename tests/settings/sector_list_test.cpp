#include "settings/sector_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/sector_tables.h"

namespace tolvane {
namespace {

ColorSector pendingSector(int32_t hMin, int32_t hMax, int32_t sMin, int32_t sMax, int32_t vMin,
                          int32_t vMax) {
  ColorSector s;
  s.HMIN = hMin;
  s.HMAX = hMax;
  s.SMIN = sMin;
  s.SMAX = sMax;
  s.VMIN = vMin;
  s.VMAX = vMax;
  return s;
}

ColorSector parsed(const std::string& line) {
  std::string error;
  const std::optional<ColorSector> s = parseSectorLine(line, &error);
  EXPECT_TRUE(s) << error << " in " << line;
  return s.value_or(ColorSector{});
}

std::string lineOf(int32_t id, int32_t type, int32_t hMin = 10, int32_t hMax = 50) {
  return formatSectorLine(ColorSector{true, type, id, hMin, hMax, 20, 200, 30, 220});
}

std::vector<int32_t> typesOf(const SectorLines& lines) {
  std::vector<int32_t> types;
  for (const std::string& line : lines) {
    types.push_back(parsed(line).Type);
  }
  return types;
}

TEST(SectorList, NextIdIsOneMoreThanTheLargest) {
  EXPECT_EQ(nextSectorId({}), 0);
  EXPECT_EQ(nextSectorId({lineOf(0, 1), lineOf(5, 1), lineOf(2, 1)}), 6);
  EXPECT_EQ(nextSectorId({lineOf(-7, 1)}), -6);
  // Lines without a readable ID do not count; a list of only such lines starts again at 0.
  EXPECT_EQ(nextSectorId({"##ID=\"x\"", lineOf(3, 2), "garbage"}), 4);
  EXPECT_EQ(nextSectorId({"garbage"}), 0);
  EXPECT_EQ(nextSectorId({lineOf(2147483647, 1)}), 2147483647);
}

TEST(SectorList, CreateAcrossZeroGivesTwoSectorsWithConsecutiveIds) {
  SectorLines lines{lineOf(4, 1)};
  EXPECT_EQ(createSector(lines, pendingSector(300, 20, 40, 180, 60, 250), kSectorRed), 2);
  ASSERT_EQ(lines.size(), 3u);
  const ColorSector upper = parsed(lines[1]);
  const ColorSector lower = parsed(lines[2]);
  EXPECT_EQ(upper, (ColorSector{true, kSectorRed, 5, 300, 360, 40, 180, 60, 250}));
  EXPECT_EQ(lower, (ColorSector{true, kSectorRed, 6, 0, 20, 40, 180, 60, 250}));
  EXPECT_EQ(lines[1], formatSectorLine(upper));
  EXPECT_EQ(lines[0], lineOf(4, 1)) << "existing lines stay as they were";
}

TEST(SectorList, CreateFromPendingSector) {
  SectorLines lines;
  ColorSector pending = pendingSector(100, 140, 20, 90, 5, 6);
  pending.Active = false;
  pending.ID = 77;
  pending.Type = 2;
  EXPECT_EQ(createSector(lines, pending, kSectorBackground), 1);
  EXPECT_EQ(parsed(lines[0]), (ColorSector{true, kSectorBackground, 0, 100, 140, 20, 90, 5, 6}));
  // A pending sector whose HMIN is 0 counts as absent: every bound of the new sector is 0.
  EXPECT_EQ(createSector(lines, pendingSector(0, 140, 20, 90, 5, 6), kSectorRed), 1);
  EXPECT_EQ(parsed(lines[1]), (ColorSector{true, kSectorRed, 1, 0, 0, 0, 0, 0, 0}));
  // Never marked: the all-zero pending sector.
  EXPECT_EQ(createSector(lines, ColorSector{}, kSectorBlue), 1);
  EXPECT_EQ(parsed(lines[2]), (ColorSector{true, kSectorBlue, 2, 0, 0, 0, 0, 0, 0}));
}

TEST(SectorList, CreatedSectorsAreOrderedByType) {
  SectorLines lines{lineOf(0, kSectorRed), lineOf(1, kSectorBackground), lineOf(2, kSectorRed)};
  createSector(lines, pendingSector(200, 220, 0, 50, 0, 255), kSectorBlue);
  EXPECT_EQ(typesOf(lines), (std::vector<int32_t>{-1, 1, 1, 2}));
  createSector(lines, pendingSector(10, 20, 0, 50, 0, 255), kSectorBackground);
  EXPECT_EQ(typesOf(lines), (std::vector<int32_t>{-1, -1, 1, 1, 2}));
  SectorLines withFileTypes{lineOf(0, 2), lineOf(1, -3), lineOf(2, 1), lineOf(3, -2)};
  orderSectorLines(withFileTypes);
  EXPECT_EQ(typesOf(withFileTypes), (std::vector<int32_t>{-3, -2, 1, 2}));
}

TEST(SectorList, OrderingIsTheExchangeProcedureNotAStableSort) {
  // Lines of one type can change places; classification order depends on it, so it is kept exactly.
  SectorLines lines{lineOf(10, 1), lineOf(11, -1), lineOf(12, -1)};
  orderSectorLines(lines);
  EXPECT_EQ(lines, (SectorLines{lineOf(12, -1), lineOf(11, -1), lineOf(10, 1)}));
  SectorLines five{lineOf(1, 2), lineOf(2, 1), lineOf(3, 2), lineOf(4, -1), lineOf(5, 1)};
  orderSectorLines(five);
  std::vector<int32_t> ids;
  for (const std::string& line : five) {
    ids.push_back(parsed(line).ID);
  }
  // i=0: j=4 swaps 1 and 5, j=3 swaps 5 and 4; i=1: nothing; i=2: j=3 swaps 3 and 5; i=3: nothing.
  EXPECT_EQ(ids, (std::vector<int32_t>{4, 2, 5, 3, 1}));
  EXPECT_EQ(typesOf(five), (std::vector<int32_t>{-1, 1, 1, 2, 2}));
}

TEST(SectorList, BadLinesOrderAsTypeZeroAndStayUnchanged) {
  SectorLines lines{lineOf(0, 2), "not a sector", lineOf(1, -1)};
  orderSectorLines(lines);
  EXPECT_EQ(lines, (SectorLines{lineOf(1, -1), "not a sector", lineOf(0, 2)}));
}

TEST(SectorList, ToggleRewritesOnlyTheActiveValue) {
  const std::string line =
      "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" "
      "##VMIN=\"005\" ##VMAX=\"6\" ##ACTIVE=\"TRUE\"";
  SectorLines lines{line};
  ASSERT_TRUE(toggleSectorActive(lines, 0));
  EXPECT_EQ(lines[0],
            "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" "
            "##VMIN=\"005\" ##VMAX=\"6\" ##ACTIVE=\"FALSE\"");
  ASSERT_TRUE(toggleSectorActive(lines, 0));
  EXPECT_EQ(lines[0], line);
  // Lower case "true" is not active, so a touch makes it TRUE.
  SectorLines lower{"##ID=\"3\" ##TYPE=\"1\" ##ACTIVE=\"true\" ##HMIN=\"1\""};
  toggleSectorActive(lower, 0);
  EXPECT_EQ(lower[0], "##ID=\"3\" ##TYPE=\"1\" ##ACTIVE=\"TRUE\" ##HMIN=\"1\"");
  // Without an ##ACTIVE value the line gets one, so the touch is not lost.
  SectorLines missing{lineOf(1, 1).substr(0, lineOf(1, 1).find(" ##ACTIVE"))};
  EXPECT_FALSE(parsed(missing[0]).Active);
  toggleSectorActive(missing, 0);
  EXPECT_TRUE(parsed(missing[0]).Active);
  toggleSectorActive(missing, 0);
  EXPECT_FALSE(parsed(missing[0]).Active);
  EXPECT_FALSE(toggleSectorActive(lines, 1));
}

TEST(SectorList, DeleteOneAllAndCopyToOtherCamera) {
  SectorLines lines{lineOf(0, 1), lineOf(1, 2), lineOf(2, 2)};
  EXPECT_FALSE(deleteSector(lines, 3));
  EXPECT_TRUE(deleteSector(lines, 1));
  EXPECT_EQ(lines, (SectorLines{lineOf(0, 1), lineOf(2, 2)}));
  std::array<SectorLines, 2> lists{lines, SectorLines{lineOf(9, -1), lineOf(8, 1), lineOf(7, 2)}};
  copySectorsToOtherCamera(lists, 1);
  EXPECT_EQ(lists[0], lists[1]);
  EXPECT_EQ(parsed(lists[0][0]).ID, 9);
  lists[0] = {"##ID=\"1\" odd line kept as it is"};
  copySectorsToOtherCamera(lists, 0);
  EXPECT_EQ(lists[1], (SectorLines{"##ID=\"1\" odd line kept as it is"}));
  deleteAllSectors(lists[1]);
  EXPECT_TRUE(lists[1].empty());
}

TEST(SectorList, FullCircleKeepsIdTypeAndActive) {
  SectorLines lines{formatSectorLine(ColorSector{false, kSectorBlue, 4, 30, 40, 50, 60, 70, 80}), "bad"};
  EXPECT_EQ(makeFullCircle(lines, 0), SectorEdit::kDone);
  EXPECT_EQ(parsed(lines[0]), (ColorSector{false, kSectorBlue, 4, 0, 360, 0, 255, 0, 255}));
  EXPECT_EQ(makeFullCircle(lines, 1), SectorEdit::kBadLine);
  EXPECT_EQ(lines[1], "bad");
  EXPECT_EQ(makeFullCircle(lines, 2), SectorEdit::kNoSelection);
}

TEST(SectorList, BrightnessStepsRewriteInPlaceWithThreeDigits) {
  const std::string line =
      "##ID=\"3\"  ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" "
      "##VMIN=\"26\" ##VMAX=\"255\" ##ACTIVE=\"TRUE\" tail";
  SectorLines lines{line};
  std::optional<BrightnessTexts> texts = stepSectorBrightness(lines, 0, BrightnessStep::kVMaxPlus);
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->vMin, "026");
  EXPECT_EQ(texts->vMax, "255");
  texts = stepSectorBrightness(lines, 0, BrightnessStep::kVMinMinus);
  EXPECT_EQ(texts->vMin, "025");
  std::string expected = line;
  expected.replace(expected.find("\"26\""), 4, "\"025\"");
  EXPECT_EQ(lines[0], expected) << "only the two brightness values change";
  EXPECT_EQ(sectorBrightnessTexts(lines[0]).vMin, "025");
  EXPECT_EQ(sectorBrightnessTexts(lines[0]).vMax, "255");
  // VMIN may pass VMAX.
  SectorLines crossing{formatSectorLine(ColorSector{true, 1, 0, 1, 2, 3, 4, 100, 100})};
  stepSectorBrightness(crossing, 0, BrightnessStep::kVMinPlus);
  EXPECT_EQ(sectorBrightnessTexts(crossing[0]).vMin, "101");
  EXPECT_EQ(sectorBrightnessTexts(crossing[0]).vMax, "100");
}

TEST(SectorList, BrightnessStepLimitsAndUnreadableValues) {
  SectorLines lines{formatSectorLine(ColorSector{true, 1, 0, 1, 2, 3, 4, 0, 0})};
  stepSectorBrightness(lines, 0, BrightnessStep::kVMinMinus);
  stepSectorBrightness(lines, 0, BrightnessStep::kVMaxMinus);
  EXPECT_EQ(sectorBrightnessTexts(lines[0]).vMin, "000");
  EXPECT_EQ(sectorBrightnessTexts(lines[0]).vMax, "000");
  SectorLines top{formatSectorLine(ColorSector{true, 1, 0, 1, 2, 3, 4, 255, 254})};
  stepSectorBrightness(top, 0, BrightnessStep::kVMinPlus);
  stepSectorBrightness(top, 0, BrightnessStep::kVMaxPlus);
  EXPECT_EQ(sectorBrightnessTexts(top[0]).vMin, "255");
  EXPECT_EQ(sectorBrightnessTexts(top[0]).vMax, "255");
  // A value that is not a number counts as 0.
  SectorLines odd{"##VMIN=\"abc\" ##VMAX=\"\""};
  const std::optional<BrightnessTexts> texts = stepSectorBrightness(odd, 0, BrightnessStep::kVMaxPlus);
  EXPECT_EQ(odd[0], "##VMIN=\"000\" ##VMAX=\"001\"");
  EXPECT_EQ(texts->vMax, "001");
  EXPECT_FALSE(stepSectorBrightness(odd, 1, BrightnessStep::kVMaxPlus));
}

struct ShapeCase {
  ShapeStep step;
  ColorSector before;  // only H and S matter
  int32_t hMin, hMax, sMin, sMax;
};

TEST(SectorList, ShapeSteps) {
  auto s = [](int32_t hMin, int32_t hMax, int32_t sMin, int32_t sMax) {
    return ColorSector{true, 1, 5, hMin, hMax, sMin, sMax, 30, 40};
  };
  const ShapeCase cases[] = {
      {ShapeStep::kLeftMinus, s(10, 50, 0, 9), 9, 49, 0, 9},
      {ShapeStep::kLeftMinus, s(0, 50, 0, 9), 0, 50, 0, 9},
      {ShapeStep::kLeftPlus, s(359, 360, 0, 9), 360, 361, 0, 9},
      {ShapeStep::kRightMinus, s(10, 0, 0, 9), 10, -1, 0, 9},
      {ShapeStep::kRightPlus, s(10, 359, 0, 9), 10, 360, 0, 9},
      {ShapeStep::kRightPlus, s(10, 360, 0, 9), 10, 360, 0, 9},
      {ShapeStep::kBottomMinus, s(1, 2, 2, 120), 1, 2, 1, 119},
      {ShapeStep::kBottomMinus, s(1, 2, 1, 120), 1, 2, 0, 119},
      {ShapeStep::kBottomMinus, s(1, 2, 0, 255), 1, 2, 0, 255},
      {ShapeStep::kBottomPlus, s(1, 2, 10, 254), 1, 2, 11, 255},
      {ShapeStep::kBottomPlus, s(1, 2, 10, 255), 1, 2, 10, 255},
      {ShapeStep::kTopMinus, s(1, 2, 10, 11), 1, 2, 10, 11},
      {ShapeStep::kTopMinus, s(1, 2, 10, 12), 1, 2, 10, 11},
      {ShapeStep::kTopPlus, s(1, 2, 10, 255), 1, 2, 10, 255},
      {ShapeStep::kTopPlus, s(1, 2, 10, 254), 1, 2, 10, 255},
      {ShapeStep::kTopPlus, s(1, 2, 10, 300), 1, 2, 10, 255},
  };
  int n = 0;
  for (const ShapeCase& c : cases) {
    SectorLines lines{formatSectorLine(c.before)};
    EXPECT_EQ(stepSectorShape(lines, 0, c.step), SectorEdit::kDone);
    const ColorSector after = parsed(lines[0]);
    EXPECT_EQ(after, (ColorSector{true, 1, 5, c.hMin, c.hMax, c.sMin, c.sMax, 30, 40})) << "case " << n;
    ++n;
  }
}

TEST(SectorList, ShapeStepFormatsAnewAndRefusesBadLines) {
  SectorLines lines{
      "##ID=\"5\" ##TYPE=\"1\" ##HMIN=\"010\" ##HMAX=\"50\" ##SMIN=\"0\" ##SMAX=\"9\" "
      "##VMIN=\"026\" ##VMAX=\"040\" ##ACTIVE=\"TRUE\" note",
      "##ID=\"6\" ##TYPE=\"1\" ##HMIN=\"?\""};
  EXPECT_EQ(stepSectorShape(lines, 0, ShapeStep::kRightPlus), SectorEdit::kDone);
  EXPECT_EQ(lines[0], formatSectorLine(ColorSector{true, 1, 5, 10, 51, 0, 9, 26, 40}));
  EXPECT_EQ(stepSectorShape(lines, 1, ShapeStep::kRightPlus), SectorEdit::kBadLine);
  EXPECT_EQ(lines[1], "##ID=\"6\" ##TYPE=\"1\" ##HMIN=\"?\"");
  EXPECT_EQ(stepSectorShape(lines, 2, ShapeStep::kRightPlus), SectorEdit::kNoSelection);
}

TEST(SectorList, TouchZonesAndEntries) {
  EXPECT_EQ(sectorTouchZone(0), SectorTouchZone::kToggle);
  EXPECT_EQ(sectorTouchZone(15), SectorTouchZone::kToggle);
  EXPECT_EQ(sectorTouchZone(16), SectorTouchZone::kSelect);
  EXPECT_EQ(sectorTouchZone(100), SectorTouchZone::kSelect);
  EXPECT_EQ(sectorTouchZone(228), SectorTouchZone::kSelect);
  EXPECT_EQ(sectorTouchZone(229), SectorTouchZone::kDelete);
  EXPECT_EQ(sectorEntryAt(1, 0, 3), 0u);
  EXPECT_EQ(sectorEntryAt(20, 0, 3), 0u);
  EXPECT_EQ(sectorEntryAt(21, 0, 3), 1u);
  EXPECT_EQ(sectorEntryAt(1, 2, 3), 2u);
  EXPECT_EQ(sectorEntryAt(63, 0, 3), std::nullopt);
  EXPECT_EQ(sectorEntryAt(1, 0, 0), std::nullopt);
  EXPECT_EQ(sectorEntryAt(-1, 0, 3), std::nullopt);
}

}  // namespace
}  // namespace tolvane
