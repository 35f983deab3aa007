#pragma once

#include <string>
#include <string_view>

// What a program name may hold. Names go to the settings file in Windows-1251, one INI line each, so a
// name is limited to characters that code page carries and must not hold control characters (a line
// break would split the line; U+0098 only exists to keep foreign bytes intact).
namespace tolvane {

// True when every character of the UTF-8 text may stand in a program name (the empty name may).
bool isStorableProgramName(std::string_view utf8);

// The text without the characters (and malformed UTF-8 bytes) that a program name may not hold.
std::string storableProgramName(std::string_view utf8);

}  // namespace tolvane
