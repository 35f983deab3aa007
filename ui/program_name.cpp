#include "ui/program_name.h"

#include "settings/cp1251.h"

namespace tolvane {
namespace {

// Length of the UTF-8 sequence starting at text[pos]: its lead byte and the continuation bytes that
// follow, at most as many as the lead announces. A stray continuation byte is a sequence of one.
std::size_t sequenceLength(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t expected = 1;
  if ((lead & 0xE0) == 0xC0) {
    expected = 2;
  } else if ((lead & 0xF0) == 0xE0) {
    expected = 3;
  } else if ((lead & 0xF8) == 0xF0) {
    expected = 4;
  }
  std::size_t length = 1;
  while (length < expected && pos + length < text.size() &&
         (static_cast<unsigned char>(text[pos + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

bool isStorableCharacter(std::string_view character) {
  if (!fitsCp1251(character)) {
    return false;
  }
  const auto first = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) {
    return first >= 0x20 && first != 0x7F;
  }
  // U+0080 ... U+009F (C2 80 ... C2 9F): of these 1251 only keeps U+0098, a control character.
  return !(first == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0);
}

}  // namespace

bool isStorableProgramName(std::string_view utf8) {
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t length = sequenceLength(utf8, pos);
    if (!isStorableCharacter(utf8.substr(pos, length))) {
      return false;
    }
    pos += length;
  }
  return true;
}

std::string storableProgramName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t length = sequenceLength(utf8, pos);
    const std::string_view character = utf8.substr(pos, length);
    if (isStorableCharacter(character)) {
      out += character;
    }
    pos += length;
  }
  return out;
}

}  // namespace tolvane
