#include "settings/cp1251.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(Cp1251, RussianTextBothWays) {
  const std::string utf8 = "Фоновый диапазон: Ёё №5 «€»";
  const std::string bytes = utf8ToCp1251(utf8);
  EXPECT_EQ(bytes, "\xD4\xEE\xED\xEE\xE2\xFB\xE9 \xE4\xE8\xE0\xEF\xE0\xE7\xEE\xED: \xA8\xB8 \xB9"
                   "5 \xAB\x88\xBB");
  EXPECT_EQ(cp1251ToUtf8(bytes), utf8);
}

TEST(Cp1251, EveryByteSurvivesRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = cp1251ToUtf8(all);
  EXPECT_TRUE(fitsCp1251(utf8));
  EXPECT_EQ(utf8ToCp1251(utf8), all);
  // The one unassigned byte keeps its identity as a C1 control character.
  EXPECT_EQ(cp1251ToUtf8("\x98"), "\xC2\x98");
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(utf8ToCp1251("a中b"), "a?b");
  EXPECT_EQ(utf8ToCp1251("ü"), "?");
  EXPECT_EQ(utf8ToCp1251("😀"), "?");
  EXPECT_FALSE(fitsCp1251("中"));
  EXPECT_TRUE(fitsCp1251("Фон abc"));
}

TEST(Cp1251, MalformedUtf8NeverEscapesAsRawBytes) {
  // Lone continuation byte, truncated sequence, overlong encoding, encoded surrogate.
  EXPECT_EQ(utf8ToCp1251("a\x80z"), "a?z");
  EXPECT_EQ(utf8ToCp1251("a\xD0"), "a?");
  EXPECT_EQ(utf8ToCp1251("\xC0\xAF"), "??");
  EXPECT_EQ(utf8ToCp1251("\xED\xA0\x80"), "???");
  EXPECT_FALSE(fitsCp1251("\xD0"));
}

TEST(Cp1251, CaseFoldingCoversAsciiAndCyrillic) {
  EXPECT_EQ(foldCaseUtf8("FonMin"), "fonmin");
  EXPECT_EQ(foldCaseUtf8("ПРОГРАММА Ёж"), "программа ёж");
  EXPECT_EQ(foldCaseUtf8("ЎІЇЄҐЂЉ"), "ўіїєґђљ");
  EXPECT_EQ(foldCaseUtf8("already lower 123 [x]"), "already lower 123 [x]");
  // Malformed bytes pass through unchanged so that names from damaged files still compare.
  EXPECT_EQ(foldCaseUtf8("A\xFFZ"), "a\xFFz");
}

}  // namespace
}  // namespace tolvane
