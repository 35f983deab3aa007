#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// Sector types. The program creates red, blue and background sectors; blue and black background
// sectors only come from files: they are listed and drawn but never classify.
inline constexpr int32_t kSectorRed = 1;
inline constexpr int32_t kSectorBlue = 2;
inline constexpr int32_t kSectorBackground = -1;
inline constexpr int32_t kSectorBlueBackground = -2;
inline constexpr int32_t kSectorBlackBackground = -3;

// One HSV colour sector. Hue in degrees (0..360 on the map, may leave that range after shape steps),
// saturation and brightness 0..255.
struct ColorSector {
  bool Active = false;
  int32_t Type = 0;
  int32_t ID = 0;
  int32_t HMIN = 0;
  int32_t HMAX = 0;
  int32_t SMIN = 0;
  int32_t SMAX = 0;
  int32_t VMIN = 0;
  int32_t VMAX = 0;

  friend bool operator==(const ColorSector&, const ColorSector&) = default;
};

// Parses a sector line: ##ID="3" ##TYPE="1" ##HMIN="0" ... ##ACTIVE="TRUE". Keys in any letter case
// and order, first occurrence counts, other text is ignored. Active only for exactly "TRUE"; a missing
// ##ACTIVE means inactive. Any other field missing, unquoted or not a 32-bit decimal number: nothing,
// and *error (when given) says which field.
std::optional<ColorSector> parseSectorLine(std::string_view line, std::string* error = nullptr);

// The line of a sector: every field in the fixed order, decimal, no leading zeros.
std::string formatSectorLine(const ColorSector& sector);

// A decimal integer as a sector field holds it: optional blanks, optional sign, digits, nothing after.
std::optional<int32_t> parseSectorNumber(std::string_view text);

// Text shown after the ID in the sector list (". КРАСНЫЙ" ...), UTF-8; empty for an unknown type.
std::string_view sectorTypeText(int32_t type);

}  // namespace tolvane
