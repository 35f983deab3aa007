#include "settings/color_sector.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

const char* const kLine =
    "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"300\" ##HMAX=\"360\" ##SMIN=\"10\" ##SMAX=\"200\" ##VMIN=\"026\" "
    "##VMAX=\"250\" ##ACTIVE=\"TRUE\"";

TEST(ColorSector, ParsesEveryField) {
  std::string error;
  const std::optional<ColorSector> s = parseSectorLine(kLine, &error);
  ASSERT_TRUE(s) << error;
  EXPECT_TRUE(s->Active);
  EXPECT_EQ(s->ID, 3);
  EXPECT_EQ(s->Type, 1);
  EXPECT_EQ(s->HMIN, 300);
  EXPECT_EQ(s->HMAX, 360);
  EXPECT_EQ(s->SMIN, 10);
  EXPECT_EQ(s->SMAX, 200);
  EXPECT_EQ(s->VMIN, 26);
  EXPECT_EQ(s->VMAX, 250);
}

TEST(ColorSector, FormatsInFixedOrderAndRoundTrips) {
  ColorSector s{false, -3, 12, -30, 30, 0, 255, 7, 8};
  const std::string line = formatSectorLine(s);
  EXPECT_EQ(line,
            "##ID=\"12\" ##TYPE=\"-3\" ##HMIN=\"-30\" ##HMAX=\"30\" ##SMIN=\"0\" ##SMAX=\"255\" ##VMIN=\"7\" "
            "##VMAX=\"8\" ##ACTIVE=\"FALSE\"");
  EXPECT_EQ(parseSectorLine(line), s);
  s.Active = true;
  s.ID = -2147483647 - 1;
  s.VMAX = 2147483647;
  EXPECT_EQ(parseSectorLine(formatSectorLine(s)), s);
}

TEST(ColorSector, KeysInAnyCaseAndOrderFirstOccurrenceCounts) {
  const std::optional<ColorSector> s = parseSectorLine(
      "junk ##vmax=\"9\" ##Type=\"2\" ##hmin=\"1\" ##HMAX=\"2\" ##smin=\"3\" ##SMAX=\"4\" ##VMIN=\"5\" "
      "##Id=\"6\" "
      "##ACTIVE=\"TRUE\" ##VMAX=\"99\" ##TYPE=\"-1\"");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->VMAX, 9);
  EXPECT_EQ(s->Type, 2);
  EXPECT_EQ(s->ID, 6);
  EXPECT_TRUE(s->Active);
}

TEST(ColorSector, ActiveOnlyForExactlyTrue) {
  const std::string base =
      "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" ##VMIN=\"5\" ##VMAX=\"6\"";
  EXPECT_FALSE(parseSectorLine(base + " ##ACTIVE=\"true\"")->Active);
  EXPECT_FALSE(parseSectorLine(base + " ##ACTIVE=\"TRUE \"")->Active);
  EXPECT_FALSE(parseSectorLine(base + " ##ACTIVE=\"1\"")->Active);
  EXPECT_FALSE(parseSectorLine(base + " ##ACTIVE=TRUE")->Active);
  EXPECT_FALSE(parseSectorLine(base)->Active);
  EXPECT_TRUE(parseSectorLine(base + " ##active=\"TRUE\"")->Active);
  // The quoted value may run to the end of the line.
  EXPECT_TRUE(parseSectorLine(base + " ##ACTIVE=\"TRUE")->Active);
}

TEST(ColorSector, BadLinesDoNotParseAndSayWhy) {
  std::string error;
  EXPECT_FALSE(parseSectorLine("", &error));
  EXPECT_EQ(error, "##TYPE is missing");
  EXPECT_FALSE(
      parseSectorLine("##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1o\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" "
                      "##VMIN=\"5\" ##VMAX=\"6\"",
                      &error));
  EXPECT_EQ(error, "##HMIN is not a number: \"1o\"");
  EXPECT_FALSE(
      parseSectorLine("##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" "
                      "##VMIN=\"5\"",
                      &error));
  EXPECT_EQ(error, "##VMAX is missing");
  EXPECT_FALSE(
      parseSectorLine("##ID=\"99999999999\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" "
                      "##SMAX=\"4\" ##VMIN=\"5\" ##VMAX=\"6\"",
                      &error));
  EXPECT_EQ(error, "##ID is not a number: \"99999999999\"");
  // Without a quote after the last key there is nothing to read.
  EXPECT_FALSE(
      parseSectorLine("##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"1\" ##HMAX=\"2\" ##SMIN=\"3\" ##SMAX=\"4\" "
                      "##VMIN=\"5\" ##VMAX=6",
                      &error));
  EXPECT_EQ(error, "##VMAX is missing");
}

TEST(ColorSector, SectorNumbersAreDecimalOnly) {
  EXPECT_EQ(parseSectorNumber("026"), 26);
  EXPECT_EQ(parseSectorNumber("-30"), -30);
  EXPECT_EQ(parseSectorNumber("+30"), 30);
  EXPECT_EQ(parseSectorNumber("  7"), 7);
  EXPECT_EQ(parseSectorNumber("2147483647"), 2147483647);
  EXPECT_FALSE(parseSectorNumber(""));
  EXPECT_FALSE(parseSectorNumber("-"));
  EXPECT_FALSE(parseSectorNumber("+-3"));
  EXPECT_FALSE(parseSectorNumber("7 "));
  EXPECT_FALSE(parseSectorNumber("$1F"));
  EXPECT_FALSE(parseSectorNumber("0x1F"));
  EXPECT_FALSE(parseSectorNumber("2147483648"));
  EXPECT_FALSE(parseSectorNumber("1.5"));
}

TEST(ColorSector, ListTexts) {
  EXPECT_EQ(sectorTypeText(kSectorRed), ". КРАСНЫЙ");
  EXPECT_EQ(sectorTypeText(kSectorBlue), ". СИНИЙ");
  EXPECT_EQ(sectorTypeText(kSectorBackground), ". ФОН");
  EXPECT_EQ(sectorTypeText(kSectorBlueBackground), ". ГОЛУБОЙ ФОН");
  EXPECT_EQ(sectorTypeText(kSectorBlackBackground), ". ЧЕРНЫЙ ФОН");
  EXPECT_EQ(sectorTypeText(0), "");
}

}  // namespace
}  // namespace tolvane
