#include "settings/text_helpers.h"

#include <limits>

namespace tolvane {

char UpCaseChar(char c, bool dos) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') {
    return static_cast<char>(b - 32);
  }
  if (!dos) {
    if (b >= 224) {
      return static_cast<char>(b - 32);
    }
    return c;
  }
  if (b >= 160 && b <= 175) {
    return static_cast<char>(b - 32);
  }
  if (b >= 224 && b <= 239) {
    return static_cast<char>(b - 80);
  }
  if (b == 241) {
    return static_cast<char>(240);
  }
  return c;
}

std::string UpperText(std::string_view s, bool dos) {
  std::string result(s);
  for (char& c : result) {
    c = UpCaseChar(c, dos);
  }
  return result;
}

std::string UpperTextUtf8(std::string_view s) {
  std::string result(s);
  for (std::size_t i = 0; i < result.size(); ++i) {
    const auto b = static_cast<unsigned char>(result[i]);
    if (b >= 'a' && b <= 'z') {
      result[i] = static_cast<char>(b - 32);
      continue;
    }
    if (i + 1 >= result.size() || (b != 0xD0 && b != 0xD1)) {
      continue;
    }
    const auto next = static_cast<unsigned char>(result[i + 1]);
    if (b == 0xD0 && next >= 0xB0 && next <= 0xBF) {  // а..п -> А..П
      result[i + 1] = static_cast<char>(next - 0x20);
    } else if (b == 0xD1 && next >= 0x80 && next <= 0x8F) {  // р..я -> Р..Я
      result[i] = static_cast<char>(0xD0);
      result[i + 1] = static_cast<char>(next + 0x20);
    } else if (b == 0xD1 && next == 0x91) {  // ё -> Ё
      result[i] = static_cast<char>(0xD0);
      result[i + 1] = static_cast<char>(0x81);
    }
    if (next >= 0x80 && next <= 0xBF) {
      ++i;  // a continuation byte is never a letter of its own
    }
  }
  return result;
}

std::optional<QuotedValueSpan> FindQuotedValue(std::string_view key, std::string_view line) {
  if (key.empty()) {
    return std::nullopt;
  }
  const std::string upperLine = UpperTextUtf8(line);
  const std::size_t keyPos = upperLine.find(UpperTextUtf8(key));
  if (keyPos == std::string::npos) {
    return std::nullopt;
  }
  const std::size_t open = line.find('"', keyPos);
  if (open == std::string_view::npos) {
    return std::nullopt;
  }
  const std::size_t close = line.find('"', open + 1);
  if (close == std::string_view::npos) {
    return QuotedValueSpan{open + 1, line.size(), false};
  }
  return QuotedValueSpan{open + 1, close, true};
}

std::string ReadQuotedValue(std::string_view key, std::string_view line) {
  const std::optional<QuotedValueSpan> span = FindQuotedValue(key, line);
  if (!span) {
    return {};
  }
  return std::string(line.substr(span->begin, span->end - span->begin));
}

std::string WriteQuotedValue(std::string_view key, std::string_view line, std::string_view value) {
  const std::optional<QuotedValueSpan> span = FindQuotedValue(key, line);
  if (!span) {
    return std::string(line);
  }
  std::string result(line.substr(0, span->begin));
  for (char c : value) {
    if (c != '"' && c != '\r' && c != '\n') {
      result += c;
    }
  }
  result += line.substr(span->end);
  return result;
}

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

}  // namespace

int32_t ValLoose(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) {
    ++i;
  }
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && i + 2 < s.size() &&
             hexDigit(s[i + 2]) >= 0) {
    base = 16;
    i += 2;
  }
  // Held in 64 bits and clamped once above the 32-bit range, so long digit runs cannot overflow.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    const int digit = hexDigit(s[i]);
    if (digit < 0 || digit >= base) {
      break;
    }
    magnitude = magnitude * base + digit;
    if (magnitude > kLimit) {
      magnitude = kLimit;
    }
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}

}  // namespace tolvane
