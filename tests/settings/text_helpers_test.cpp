#include "settings/text_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

unsigned char up(int b, bool dos) {
  return static_cast<unsigned char>(UpCaseChar(static_cast<char>(b), dos));
}

TEST(UpCaseChar, Windows1251Rules) {
  EXPECT_EQ(up('a', false), 'A');
  EXPECT_EQ(up('z', false), 'Z');
  EXPECT_EQ(up('A', false), 'A');
  EXPECT_EQ(up('{', false), '{');
  EXPECT_EQ(up(224, false), 192);  // а -> А
  EXPECT_EQ(up(255, false), 223);  // я -> Я
  EXPECT_EQ(up(184, false), 184);  // ё stays
  EXPECT_EQ(up(223, false), 223);
  EXPECT_EQ(up(160, false), 160);
}

TEST(UpCaseChar, Dos866Rules) {
  EXPECT_EQ(up('q', true), 'Q');
  EXPECT_EQ(up(160, true), 128);  // а -> А
  EXPECT_EQ(up(175, true), 143);  // п -> П
  EXPECT_EQ(up(224, true), 144);  // р -> Р
  EXPECT_EQ(up(239, true), 159);  // я -> Я
  EXPECT_EQ(up(241, true), 240);  // ё -> Ё
  EXPECT_EQ(up(176, true), 176);  // box drawing stays
  EXPECT_EQ(up(240, true), 240);
  EXPECT_EQ(up(255, true), 255);
}

TEST(UpperText, ProgramFileNameAndEveryByte) {
  EXPECT_EQ(UpperText("tolvanegrain_.exe", false), "TOLVANEGRAIN_.EXE");
  // Every byte value maps exactly as UpCaseChar says, in both code pages.
  std::string all;
  for (int b = 0; b < 256; ++b) {
    all += static_cast<char>(b);
  }
  for (bool dos : {false, true}) {
    const std::string upper = UpperText(all, dos);
    ASSERT_EQ(upper.size(), 256u);
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(upper[static_cast<std::size_t>(b)], UpCaseChar(static_cast<char>(b), dos)) << b;
    }
  }
}

TEST(UpperText, ConvertsBeyondTwoHundredFiftySixCharacters) {
  // The old 8-bit counter converted only length mod 256 characters (4 of these 260).
  const std::string lower(260, 'k');
  EXPECT_EQ(UpperText(lower, false), std::string(260, 'K'));
  EXPECT_EQ(UpperText(std::string(256, 'k'), true), std::string(256, 'K'));
}

TEST(UpperTextUtf8, FoldsRussianLettersAndKeepsLength) {
  EXPECT_EQ(UpperTextUtf8("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"), "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
  EXPECT_EQ(UpperTextUtf8("Сектор id=7"), "СЕКТОР ID=7");
  const std::string mixed = "ключ é ü € \xD0";  // other scripts and a cut-off sequence stay as they are
  const std::string upper = UpperTextUtf8(mixed);
  EXPECT_EQ(upper.size(), mixed.size());
  EXPECT_EQ(upper, "КЛЮЧ é ü € \xD0");
  // A lead byte followed by ASCII is not a letter pair: the ASCII letter is still folded.
  EXPECT_EQ(UpperTextUtf8("\xD1q"), "\xD1Q");
}

const std::string kSectorLine =
    "##ID=\"7\" ##TYPE=\"1\" ##HMIN=\"300\" ##HMAX=\"360\" ##SMIN=\"10\" ##SMAX=\"200\" ##VMIN=\"10\" "
    "##VMAX=\"250\" ##ACTIVE=\"TRUE\"";

TEST(ReadQuotedValue, SectorLineKeysInAnyCase) {
  EXPECT_EQ(ReadQuotedValue("ID", kSectorLine), "7");
  EXPECT_EQ(ReadQuotedValue("id", kSectorLine), "7");
  EXPECT_EQ(ReadQuotedValue("##vmax", kSectorLine), "250");
  EXPECT_EQ(ReadQuotedValue("##ACTIVE", kSectorLine), "TRUE");
  EXPECT_EQ(ReadQuotedValue("##NOPE", kSectorLine), "");
  EXPECT_EQ(ReadQuotedValue("", kSectorLine), "");
}

TEST(ReadQuotedValue, UnquotedOrUnterminatedValues) {
  // Without quotes after the key the value is empty, even though a number follows it.
  EXPECT_EQ(ReadQuotedValue("ID", "##ID=7"), "");
  // The first quote after the key counts, even one belonging to a later key.
  EXPECT_EQ(ReadQuotedValue("ID", "##ID=7 ##TYPE=\"1\""), "1");
  // No closing quote: the value runs to the end of the line.
  EXPECT_EQ(ReadQuotedValue("##VMIN", "##VMIN=\"12"), "12");
  EXPECT_EQ(ReadQuotedValue("##VMIN", "##VMIN=\""), "");
  // The first occurrence of the key counts.
  EXPECT_EQ(ReadQuotedValue("##HMIN", "##HMIN=\"1\" ##hmin=\"2\""), "1");
}

TEST(ReadQuotedValue, CyrillicKeysFoldInUtf8) {
  EXPECT_EQ(ReadQuotedValue("имя", "ИМЯ=\"Пшеница\""), "Пшеница");
  EXPECT_EQ(ReadQuotedValue("ЁЛКА", "ёлка=\"1\""), "1");
}

TEST(WriteQuotedValue, ChangesOnlyTheQuotedCharacters) {
  const std::string written = WriteQuotedValue("##VMIN", kSectorLine, "25");
  std::string expected = kSectorLine;
  expected.replace(expected.find("##VMIN=\"10\""), 11, "##VMIN=\"25\"");
  EXPECT_EQ(written, expected);
  EXPECT_EQ(ReadQuotedValue("##VMIN", written), "25");
  EXPECT_EQ(WriteQuotedValue("##vmin", kSectorLine, "025"), WriteQuotedValue("##VMIN", kSectorLine, "025"));
}

TEST(WriteQuotedValue, MissingKeyQuoteOrClosingQuote) {
  EXPECT_EQ(WriteQuotedValue("##XX", kSectorLine, "1"), kSectorLine);
  EXPECT_EQ(WriteQuotedValue("##ID", "##ID=7", "1"), "##ID=7");
  EXPECT_EQ(WriteQuotedValue("##VMIN", "a ##VMIN=\"12", "5"), "a ##VMIN=\"5");
  EXPECT_EQ(WriteQuotedValue("##VMIN", "##VMIN=\"\" x", "5"), "##VMIN=\"5\" x");
  EXPECT_EQ(WriteQuotedValue("##VMIN", "##VMIN=\"12\"", ""), "##VMIN=\"\"");
}

TEST(WriteQuotedValue, AnyLengthAndNoQuoteInjection) {
  // Lines past 255 characters are written correctly (the old code counted positions in 8 bits).
  const std::string padding(400, '.');
  const std::string line = padding + " ##VMAX=\"200\" tail";
  EXPECT_EQ(WriteQuotedValue("##VMAX", line, "201"), padding + " ##VMAX=\"201\" tail");
  const std::string longValue(300, '9');
  EXPECT_EQ(ReadQuotedValue("##VMAX", WriteQuotedValue("##VMAX", line, longValue)), longValue);
  // A quote or line break inside the value would end it early or split the settings line.
  const std::string injected = WriteQuotedValue("##ID", "##ID=\"1\" ##TYPE=\"2\"", "3\" ##TYPE=\"-1\r\n");
  EXPECT_EQ(injected, "##ID=\"3 ##TYPE=-1\" ##TYPE=\"2\"");
  EXPECT_EQ(ReadQuotedValue("##ID", injected), "3 ##TYPE=-1");
}

TEST(ValLoose, DecimalHexSignsAndStops) {
  EXPECT_EQ(ValLoose("12ab"), 12);
  EXPECT_EQ(ValLoose(""), 0);
  EXPECT_EQ(ValLoose("abc"), 0);
  EXPECT_EQ(ValLoose("  -45 x"), -45);
  EXPECT_EQ(ValLoose("\t+7"), 7);
  EXPECT_EQ(ValLoose("09:05:11"), 9);
  EXPECT_EQ(ValLoose("14:05"), 14);
  EXPECT_EQ(ValLoose("$ff"), 255);
  EXPECT_EQ(ValLoose("x1A"), 26);
  EXPECT_EQ(ValLoose("X1a"), 26);
  EXPECT_EQ(ValLoose("0x10g"), 16);
  EXPECT_EQ(ValLoose("0XfF"), 255);
  EXPECT_EQ(ValLoose("-$10"), -16);
  EXPECT_EQ(ValLoose("0xz"), 0);
  EXPECT_EQ(ValLoose("$"), 0);
  EXPECT_EQ(ValLoose("-"), 0);
  EXPECT_EQ(ValLoose("- 5"), 0);
  EXPECT_EQ(ValLoose("026"), 26);
}

TEST(ValLoose, HeldAtThirtyTwoBitLimits) {
  EXPECT_EQ(ValLoose("2147483647"), 2147483647);
  EXPECT_EQ(ValLoose("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ValLoose("2147483648"), 2147483647);
  EXPECT_EQ(ValLoose("-99999999999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(ValLoose("$FFFFFFFFFFFFFFFFFFFF"), 2147483647);
}

}  // namespace
}  // namespace tolvane
