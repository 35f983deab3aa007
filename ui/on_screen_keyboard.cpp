#include "ui/on_screen_keyboard.h"

#include <array>
#include <vector>

#include "ui/program_name.h"

namespace tolvane {
namespace {

constexpr int kKey = 40;    // square keys
constexpr int kPitch = 48;  // from one key's left edge to the next

struct LetterRow {
  int x;
  int y;
  std::array<std::string_view, 12> normal;
  std::array<std::string_view, 12> shifted;
  std::size_t count;
};

// The "." at the end of the bottom row is relabelled with the letters and reads "," with shift.
constexpr std::array<LetterRow, 3> kLetterRows = {{
    {8,
     42,
     {"й", "ц", "у", "к", "е", "н", "г", "ш", "щ", "з", "х", "ъ"},
     {"Й", "Ц", "У", "К", "Е", "Н", "Г", "Ш", "Щ", "З", "Х", "Ъ"},
     12},
    {24,
     90,
     {"ф", "ы", "в", "а", "п", "р", "о", "л", "д", "ж", "э"},
     {"Ф", "Ы", "В", "А", "П", "Р", "О", "Л", "Д", "Ж", "Э"},
     11},
    {40,
     138,
     {"я", "ч", "с", "м", "и", "т", "ь", "б", "ю", "."},
     {"Я", "Ч", "С", "М", "И", "Т", "Ь", "Б", "Ю", ","},
     10},
}};

std::vector<KeyboardKey> buildKeys() {
  std::vector<KeyboardKey> keys;
  for (const LetterRow& row : kLetterRows) {
    for (std::size_t i = 0; i < row.count; ++i) {
      keys.push_back({row.normal[i], row.shifted[i], KeyAction::kType, row.x + static_cast<int>(i) * kPitch,
                      row.y, kKey, kKey});
    }
  }
  const auto plain = [&keys](std::string_view caption, KeyAction action, int x, int y, int w, int h) {
    keys.push_back({caption, caption, action, x, y, w, h});
  };
  plain("BkSp", KeyAction::kBackspace, 584, 42, 58, kKey);
  plain("7", KeyAction::kType, 657, 42, kKey, kKey);
  plain("8", KeyAction::kType, 705, 42, kKey, kKey);
  plain("9", KeyAction::kType, 753, 42, kKey, kKey);
  plain("-", KeyAction::kType, 801, 42, kKey, kKey);
  plain("Enter", KeyAction::kEnter, 552, 90, 90, kKey);
  plain("4", KeyAction::kType, 657, 90, kKey, kKey);
  plain("5", KeyAction::kType, 705, 90, kKey, kKey);
  plain("6", KeyAction::kType, 753, 90, kKey, kKey);
  plain("+", KeyAction::kType, 801, 90, kKey, kKey);
  plain("Shift", KeyAction::kShift, 520, 138, 122, kKey);
  plain("1", KeyAction::kType, 657, 138, kKey, kKey);
  plain("2", KeyAction::kType, 705, 138, kKey, kKey);
  plain("3", KeyAction::kType, 753, 138, kKey, kKey);
  plain("Ok", KeyAction::kOk, 801, 138, kKey, 89);
  plain(" ", KeyAction::kType, 8, 186, 634, kKey);
  plain("0", KeyAction::kType, 657, 186, 89, kKey);
  plain(",", KeyAction::kType, 753, 186, kKey, kKey);
  return keys;
}

// Drops the last UTF-8 character: its continuation bytes and its lead byte.
void eraseLastCharacter(std::string& text) {
  while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) {
    text.pop_back();
  }
  if (!text.empty()) {
    text.pop_back();
  }
}

}  // namespace

std::span<const KeyboardKey> OnScreenKeyboard::keys() {
  static const std::vector<KeyboardKey> kKeys = buildKeys();
  return kKeys;
}

void OnScreenKeyboard::setText(std::string_view utf8) { text_ = storableProgramName(utf8); }

std::string_view OnScreenKeyboard::caption(std::size_t index) const {
  const auto all = keys();
  if (index >= all.size()) {
    return {};
  }
  return shift_ ? all[index].shifted : all[index].normal;
}

std::optional<std::size_t> OnScreenKeyboard::findKey(std::string_view caption) const {
  const auto all = keys();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if ((shift_ ? all[i].shifted : all[i].normal) == caption) {
      return i;
    }
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    if ((shift_ ? all[i].normal : all[i].shifted) == caption) {
      return i;
    }
  }
  return std::nullopt;
}

OnScreenKeyboard::Result OnScreenKeyboard::press(std::size_t index) {
  const auto all = keys();
  if (index >= all.size()) {
    return Result::kUnknownKey;
  }
  switch (all[index].action) {
    case KeyAction::kType:
      text_ += caption(index);
      return Result::kTyped;
    case KeyAction::kBackspace:
      eraseLastCharacter(text_);
      return Result::kErased;
    case KeyAction::kShift:
      shift_ = !shift_;
      return Result::kShifted;
    case KeyAction::kEnter:
    case KeyAction::kOk:
      return Result::kConfirmed;
  }
  return Result::kUnknownKey;
}

OnScreenKeyboard::Result OnScreenKeyboard::press(std::string_view caption) {
  const std::optional<std::size_t> index = findKey(caption);
  return index ? press(*index) : Result::kUnknownKey;
}

}  // namespace tolvane
