#include "settings/cp1251.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tolvane {
namespace {

// Code points of bytes 0x80 ... 0xBF; 0xC0 ... 0xFF are U+0410 ... U+044F.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char32_t byteToCodePoint(unsigned char b) {
  if (b < 0x80) return b;
  if (b >= 0xC0) return 0x0410 + (b - 0xC0);
  return kHighHalf[b - 0x80];
}

std::optional<unsigned char> codePointToByte(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<unsigned char>(0xC0 + (cp - 0x0410));
  for (size_t i = 0; i < kHighHalf.size(); ++i) {
    if (kHighHalf[i] == cp) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 character at text[pos]; returns its code point and advances pos, or nullopt for a
// malformed byte (pos then moves past that one byte).
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int length = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else {
    ++pos;
    return std::nullopt;
  }
  if (pos + static_cast<size_t>(length) > text.size()) {
    ++pos;
    return std::nullopt;
  }
  for (int i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[pos + static_cast<size_t>(i)]);
    if ((c & 0xC0) != 0x80) {
      ++pos;
      return std::nullopt;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return std::nullopt;
  }
  pos += static_cast<size_t>(length);
  return cp;
}

char32_t foldCodePoint(char32_t cp) {
  if (cp >= U'A' && cp <= U'Z') return cp + 0x20;
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;  // А-Я
  if (cp >= 0x0400 && cp <= 0x040F) return cp + 0x50;  // Ѐ-Џ, Ё among them
  if (cp == 0x0490) return 0x0491;                     // Ґ
  return cp;
}

}  // namespace

std::string cp1251ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      appendUtf8(out, byteToCodePoint(b));
    }
  }
  return out;
}

std::string utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const auto cp = nextCodePoint(text, pos);
    const auto byte = cp ? codePointToByte(*cp) : std::nullopt;
    out += byte ? static_cast<char>(*byte) : '?';
  }
  return out;
}

bool fitsCp1251(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const auto cp = nextCodePoint(text, pos);
    if (!cp || !codePointToByte(*cp)) return false;
  }
  return true;
}

std::string foldCaseUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    const auto cp = nextCodePoint(text, pos);
    if (cp) {
      appendUtf8(out, foldCodePoint(*cp));
    } else {
      out.append(text.substr(start, pos - start));
    }
  }
  return out;
}

}  // namespace tolvane
