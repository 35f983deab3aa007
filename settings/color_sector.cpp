#include "settings/color_sector.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "settings/text_helpers.h"

namespace tolvane {

std::optional<int32_t> parseSectorNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') {
    ++i;
  }
  if (i < text.size() && text[i] == '+') {
    ++i;  // from_chars takes "-" but not "+"
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
      return std::nullopt;
    }
  }
  int32_t value = 0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  if (first == last || ec != std::errc() || end != last) {
    return std::nullopt;
  }
  return value;
}

std::optional<ColorSector> parseSectorLine(std::string_view line, std::string* error) {
  ColorSector sector;
  sector.Active = ReadQuotedValue("##ACTIVE", line) == "TRUE";
  struct Field {
    const char* key;
    int32_t ColorSector::*member;
  };
  static constexpr std::array<Field, 8> kFields = {{
      {"##TYPE", &ColorSector::Type},
      {"##ID", &ColorSector::ID},
      {"##HMIN", &ColorSector::HMIN},
      {"##HMAX", &ColorSector::HMAX},
      {"##SMIN", &ColorSector::SMIN},
      {"##SMAX", &ColorSector::SMAX},
      {"##VMIN", &ColorSector::VMIN},
      {"##VMAX", &ColorSector::VMAX},
  }};
  for (const Field& field : kFields) {
    const std::optional<QuotedValueSpan> span = FindQuotedValue(field.key, line);
    if (!span) {
      if (error) {
        *error = std::string(field.key) + " is missing";
      }
      return std::nullopt;
    }
    const std::string_view text = line.substr(span->begin, span->end - span->begin);
    const std::optional<int32_t> value = parseSectorNumber(text);
    if (!value) {
      if (error) {
        *error = std::string(field.key) + " is not a number: \"" + std::string(text) + "\"";
      }
      return std::nullopt;
    }
    sector.*field.member = *value;
  }
  return sector;
}

std::string formatSectorLine(const ColorSector& s) {
  char text[256];
  std::snprintf(
      text, sizeof text,
      "##ID=\"%d\" ##TYPE=\"%d\" ##HMIN=\"%d\" ##HMAX=\"%d\" ##SMIN=\"%d\" ##SMAX=\"%d\" ##VMIN=\"%d\" "
      "##VMAX=\"%d\" ##ACTIVE=\"%s\"",
      static_cast<int>(s.ID), static_cast<int>(s.Type), static_cast<int>(s.HMIN), static_cast<int>(s.HMAX),
      static_cast<int>(s.SMIN), static_cast<int>(s.SMAX), static_cast<int>(s.VMIN), static_cast<int>(s.VMAX),
      s.Active ? "TRUE" : "FALSE");
  return text;
}

std::string_view sectorTypeText(int32_t type) {
  switch (type) {
    case kSectorRed:
      return ". КРАСНЫЙ";
    case kSectorBlue:
      return ". СИНИЙ";
    case kSectorBackground:
      return ". ФОН";
    case kSectorBlueBackground:
      return ". ГОЛУБОЙ ФОН";
    case kSectorBlackBackground:
      return ". ЧЕРНЫЙ ФОН";
    default:
      return {};
  }
}

}  // namespace tolvane
