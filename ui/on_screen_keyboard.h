#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The on-screen keyboard without its window: where every key sits, what it reads and what a touch on
// it does to the name being edited. The window only draws what this says.
namespace tolvane {

enum class KeyAction {
  kType,       // appends the key's current caption
  kBackspace,  // removes the last character
  kEnter,      // confirms the name
  kShift,      // switches the letter keys between small letters and capitals
  kOk,         // confirms the name
};

struct KeyboardKey {
  std::string_view normal;   // caption with shift off (UTF-8)
  std::string_view shifted;  // caption with shift on; equal to normal for keys that shift leaves alone
  KeyAction action;
  int x;  // left edge in the window, px
  int y;  // top edge, px
  int width;
  int height;

  bool relabelledByShift() const { return normal != shifted; }
};

class OnScreenKeyboard {
 public:
  static constexpr int kWindowWidth = 866;
  static constexpr int kWindowHeight = 250;

  // Every key, row by row from the top left: letters, then the keys right of them.
  static std::span<const KeyboardKey> keys();

  enum class Result {
    kTyped,       // a character was appended
    kErased,      // backspace (also on an empty name, which stays empty)
    kShifted,     // the captions of the letter keys changed
    kConfirmed,   // Ok or Enter: the name is to be copied into its field
    kUnknownKey,  // no such key; nothing changed
  };

  // Replaces the name; characters a program name may not hold are left out.
  void setText(std::string_view utf8);
  const std::string& text() const { return text_; }

  // Kept for the life of the keyboard, from one opening to the next.
  bool shift() const { return shift_; }

  // What key `index` reads now; empty for an unknown index.
  std::string_view caption(std::size_t index) const;
  // The key that reads `caption` now, or else the key that reads it with the other shift state (so
  // "й" names the same key whether it shows "й" or "Й").
  std::optional<std::size_t> findKey(std::string_view caption) const;

  Result press(std::size_t index);
  Result press(std::string_view caption);

 private:
  std::string text_;
  bool shift_ = false;
};

}  // namespace tolvane
