#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// Conversions between the Windows-1251 code page of the settings file and UTF-8 in memory.
// Byte 0x98, unassigned in 1251, maps to U+0098 and back, so every byte string survives a round trip.

std::string cp1251ToUtf8(std::string_view bytes);

// Characters that 1251 cannot hold, and malformed UTF-8 bytes, become '?'.
std::string utf8ToCp1251(std::string_view text);

// True when every character of text has a 1251 byte (and text is well-formed UTF-8).
bool fitsCp1251(std::string_view text);

// Lower case for case-blind comparison of names: ASCII letters and the Cyrillic letters that 1251
// carries (А-Я, Ё and the other Slavic letters). Other characters and malformed bytes are kept.
std::string foldCaseUtf8(std::string_view text);

}  // namespace tolvane
