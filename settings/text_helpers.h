#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Small text routines shared by the settings file, the sector lines, the update and the statistics.
// Text in memory is UTF-8; only UpCaseChar/UpperText work on raw Windows-1251 or DOS-866 bytes.
namespace tolvane {

// Upper case of one byte: Windows-1251 rules when dos is false, DOS code page 866 when true.
// Windows-1251 keeps ё (184) as it is, as the settings files of existing machines expect.
char UpCaseChar(char c, bool dos);

// UpCaseChar on every byte, whatever the length (the old 8-bit counter only reached length mod 256).
std::string UpperText(std::string_view s, bool dos);

// Upper case of UTF-8 text: a-z and the Russian letters а-я and ё; every other byte is kept. The result
// has the same length in bytes as s, so positions found in it are positions in s.
std::string UpperTextUtf8(std::string_view s);

// Where the value of key starts and ends in line: the first occurrence of key (compared with
// UpperTextUtf8, so "id" finds "##ID"), then the first double quote at or after it; the value runs to
// the next double quote or the end of the line. Empty key, missing key or missing quote: nothing.
struct QuotedValueSpan {
  std::size_t begin;  // first character of the value, just after the opening quote
  std::size_t end;    // one past the value: the closing quote or the end of the line
  bool closed;        // a closing quote follows the value
};
std::optional<QuotedValueSpan> FindQuotedValue(std::string_view key, std::string_view line);

// The quoted value of key in line, or empty when there is none.
std::string ReadQuotedValue(std::string_view key, std::string_view line);

// line with the quoted value of key replaced by value; the rest of the line is kept byte for byte.
// Missing key or quote: line unchanged. Any length. Double quotes and line breaks in value are dropped,
// because they would end the value or the line when it is read back.
std::string WriteQuotedValue(std::string_view key, std::string_view line, std::string_view value);

// The integer at the start of s: leading blanks, an optional sign, then decimal digits, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X"; reading stops at the first character that does not fit.
// 0 when nothing fits; values beyond the 32-bit range are held at its limits.
int32_t ValLoose(std::string_view s);

}  // namespace tolvane
