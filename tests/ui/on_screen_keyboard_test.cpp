// The keyboard's layout and editing rules, without a window.
#include "ui/on_screen_keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvane {
namespace {

using Result = OnScreenKeyboard::Result;

struct Box {
  int x, y, w, h;
};

Box boxOf(std::string_view caption) {
  OnScreenKeyboard keyboard;
  const auto index = keyboard.findKey(caption);
  if (!index) {
    ADD_FAILURE() << "no key " << caption;
    return {};
  }
  const KeyboardKey& k = OnScreenKeyboard::keys()[*index];
  return {k.x, k.y, k.width, k.height};
}

TEST(OnScreenKeyboardLayout, KeysSitWhereTheOperatorsPanelHasThem) {
  struct Case {
    std::string_view caption;
    Box box;
  };
  const Case cases[] = {
      {"й", {8, 42, 40, 40}},         {"ъ", {536, 42, 40, 40}},     {"BkSp", {584, 42, 58, 40}},
      {"7", {657, 42, 40, 40}},       {"-", {801, 42, 40, 40}},     {"ф", {24, 90, 40, 40}},
      {"э", {504, 90, 40, 40}},       {"Enter", {552, 90, 90, 40}}, {"+", {801, 90, 40, 40}},
      {"я", {40, 138, 40, 40}},       {"ю", {424, 138, 40, 40}},    {".", {472, 138, 40, 40}},
      {"Shift", {520, 138, 122, 40}}, {"3", {753, 138, 40, 40}},    {"Ok", {801, 138, 40, 89}},
      {" ", {8, 186, 634, 40}},       {"0", {657, 186, 89, 40}},    {",", {753, 186, 40, 40}},
  };
  for (const Case& c : cases) {
    const Box b = boxOf(c.caption);
    EXPECT_TRUE(b.x == c.box.x && b.y == c.box.y && b.w == c.box.w && b.h == c.box.h)
        << c.caption << " at " << b.x << "," << b.y << " " << b.w << "x" << b.h;
  }
}

TEST(OnScreenKeyboardLayout, KeysLieInsideTheWindowAndNeverOverlap) {
  const auto keys = OnScreenKeyboard::keys();
  ASSERT_EQ(keys.size(), 33u + 18u);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const KeyboardKey& a = keys[i];
    EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.width <= OnScreenKeyboard::kWindowWidth &&
                a.y + a.height <= OnScreenKeyboard::kWindowHeight)
        << a.normal;
    for (std::size_t j = i + 1; j < keys.size(); ++j) {
      const KeyboardKey& b = keys[j];
      const bool apart =
          a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y || b.y + b.height <= a.y;
      EXPECT_TRUE(apart) << a.normal << " overlaps " << b.normal;
    }
  }
}

TEST(OnScreenKeyboardLayout, ShiftRelabelsExactlyTheThirtyThreeLetterKeys) {
  std::string normal;
  std::string shifted;
  for (const KeyboardKey& key : OnScreenKeyboard::keys()) {
    if (key.relabelledByShift()) {
      normal += key.normal;
      shifted += key.shifted;
    }
  }
  EXPECT_EQ(normal, "йцукенгшщзхъфывапролджэячсмитьбю.");
  EXPECT_EQ(shifted, "ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮ,");

  OnScreenKeyboard keyboard;
  const std::size_t ya = *keyboard.findKey("я");
  EXPECT_EQ(keyboard.caption(ya), "я");
  keyboard.press("Shift");
  EXPECT_EQ(keyboard.caption(ya), "Я");
  EXPECT_EQ(keyboard.caption(*keyboard.findKey("Shift")), "Shift");
  EXPECT_EQ(keyboard.caption(9999), "");
}

// Each case starts from `start` with shift off and presses the keys in turn.
TEST(OnScreenKeyboardEditing, KeySequencesGiveTheName) {
  struct Case {
    const char* what;
    std::string start;
    std::vector<std::string_view> presses;
    std::string text;
    bool shift;
  };
  const Case cases[] = {
      {"seven letters, two backspaces", "Пшеница", {"BkSp", "BkSp"}, "Пшени", false},
      {"shift gives a capital", "", {"Shift", "й"}, "Й", true},
      {"shift again gives small letters", "", {"Shift", "й", "Shift", "й"}, "Йй", false},
      {"a key answers to its other caption too", "", {"Й"}, "й", false},
      {"key right of ю types a full stop", "", {"ю", "."}, "ю.", false},
      {"and a comma while shifted", "", {"Shift", "."}, ",", true},
      {"numeric block, space, signs", "", {"1", "2", " ", "-", "+", ",", "0"}, "12 -+,0", false},
      {"backspace on an empty name", "", {"BkSp", "BkSp"}, "", false},
      {"backspace removes a whole character", "a№", {"BkSp"}, "a", false},
      {"unknown captions change nothing", "ab", {"ё", "", "Esc", "shift"}, "ab", false},
      {"Ok and Enter leave the name as it is", "Овёс", {"Ok", "Enter"}, "Овёс", false},
  };
  for (const Case& c : cases) {
    OnScreenKeyboard keyboard;
    keyboard.setText(c.start);
    for (std::string_view key : c.presses) {
      keyboard.press(key);
    }
    EXPECT_EQ(keyboard.text(), c.text) << c.what;
    EXPECT_EQ(keyboard.shift(), c.shift) << c.what;
  }
}

TEST(OnScreenKeyboardEditing, EachKeyReportsWhatItDid) {
  OnScreenKeyboard keyboard;
  EXPECT_EQ(keyboard.press("к"), Result::kTyped);
  EXPECT_EQ(keyboard.press("BkSp"), Result::kErased);
  EXPECT_EQ(keyboard.press("BkSp"), Result::kErased);
  EXPECT_EQ(keyboard.press("Shift"), Result::kShifted);
  EXPECT_EQ(keyboard.press("Ok"), Result::kConfirmed);
  EXPECT_EQ(keyboard.press("Enter"), Result::kConfirmed);
  EXPECT_EQ(keyboard.press("Alt"), Result::kUnknownKey);
  EXPECT_EQ(keyboard.press(std::size_t{51}), Result::kUnknownKey);
  EXPECT_EQ(keyboard.text(), "");
}

TEST(OnScreenKeyboardEditing, ShiftIsKeptWhenANewNameIsSet) {
  OnScreenKeyboard keyboard;
  keyboard.press("Shift");
  keyboard.setText("Рожь");
  EXPECT_TRUE(keyboard.shift());
  keyboard.press("а");
  EXPECT_EQ(keyboard.text(), "РожьА");
}

TEST(OnScreenKeyboardEditing, KeysAreFoundByTheirCurrentCaptionFirst) {
  OnScreenKeyboard keyboard;
  // Not shifted: "," is only the numeric key; "Й" is not shown anywhere, so it names the "й" key.
  EXPECT_EQ(OnScreenKeyboard::keys()[*keyboard.findKey(",")].x, 753);
  EXPECT_EQ(*keyboard.findKey("Й"), *keyboard.findKey("й"));
  keyboard.press("Shift");
  // Shifted: "Й" is shown, and "." is shown nowhere, so it names the key that now reads ",".
  EXPECT_EQ(keyboard.caption(*keyboard.findKey("Й")), "Й");
  EXPECT_EQ(keyboard.caption(*keyboard.findKey(".")), ",");
  EXPECT_FALSE(keyboard.findKey("Ё").has_value());
}

TEST(OnScreenKeyboardEditing, NamesAreStrippedOfWhatTheSettingsFileCannotHold) {
  OnScreenKeyboard keyboard;
  keyboard.setText("Рис\xF0\x9F\x98\x80 №1\r\n\xE4\xB8\xAD\xFF");
  EXPECT_EQ(keyboard.text(), "Рис №1");
}

}  // namespace
}  // namespace tolvane
