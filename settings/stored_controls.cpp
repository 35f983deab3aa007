#include "settings/stored_controls.h"

#include <array>
#include <cctype>
#include <cmath>
#include <locale>
#include <sstream>

#include "settings/settings_file.h"

namespace tolvane {
namespace {

using M = MachineSettings;

constexpr StoredCaption caption(const char* key, int32_t M::*field, int32_t initial) {
  return StoredCaption{key, field, -1, initial};
}

const std::array kCaptions = {
    caption("TimeLabel_Caption", &M::Time, 12),
    caption("DelayLabel_Caption", &M::Delay, 0),
    caption("MinVesLabel_Caption", &M::MinVes, 10),
    caption("MaxTimeLabel_Caption", &M::MaxTime, 300),
    caption("MaxObjectLabel_Caption", &M::MaxObject, 30),
    caption("FRminLabel_Caption", &M::FRmin, 0),
    caption("FRmaxLabel_Caption", &M::FRmax, 0),
    caption("FGminLabel_Caption", &M::FGmin, 0),
    caption("FGmaxLabel_Caption", &M::FGmax, 0),
    caption("FBminLabel_Caption", &M::FBmin, 0),
    caption("FBmaxLabel_Caption", &M::FBmax, 0),
    StoredCaption{"BlackFonLabelA_Caption", nullptr, 0, 0},
    StoredCaption{"BlackFonLabelB_Caption", nullptr, 1, 0},
};

const std::array kSwitches = {
    StoredSwitch{"MaskSwitch_StateOn", &M::MaskSwitch_StateOn},
    StoredSwitch{"ColorTuneButton_StateOn", &M::ColorTuneButton_StateOn},
    StoredSwitch{"RGBshiftButton_StateOn", &M::RGBshiftButton_StateOn},
    StoredSwitch{"BrightModeButton_StateOn", &M::BrightModeButton_StateOn},
    StoredSwitch{"FineTimerButton_StateOn", &M::FineTimerButton_StateOn},
};

int32_t& captionField(MachineSettings& m, const StoredCaption& c) {
  return c.field != nullptr ? m.*c.field : m.BlackFon[static_cast<size_t>(c.blackFon)];
}

int32_t captionField(const MachineSettings& m, const StoredCaption& c) {
  return c.field != nullptr ? m.*c.field : m.BlackFon[static_cast<size_t>(c.blackFon)];
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string numberLabelText(int32_t value) {
  const bool negative = value < 0;
  std::string digits = std::to_string(negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value));
  const size_t width = negative ? 2 : 3;
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return negative ? "-" + digits : digits;
}

std::optional<int32_t> captionNumber(std::string_view caption) {
  while (!caption.empty() && (caption.front() == ' ' || caption.front() == '\t')) caption.remove_prefix(1);
  while (!caption.empty() && (caption.back() == ' ' || caption.back() == '\t')) caption.remove_suffix(1);
  if (caption.empty()) return std::nullopt;
  // Only plain decimal notation: sign, digits, one separator, digits, optional exponent.
  std::string text(caption);
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') ++i;
  size_t digits = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponentDigits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++exponentDigits;
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  // Parse in the classic locale, whatever the process locale says about separators.
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double value = 0;
  in >> value;
  if (in.fail() || !std::isfinite(value)) return std::nullopt;
  value = std::trunc(value);
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::span<const StoredCaption> storedCaptions() { return kCaptions; }
std::span<const StoredSwitch> storedSwitches() { return kSwitches; }

bool readStoredControls(const IniDocument& doc, MachineSettings& m) {
  if (doc.readInt(kOptionsSection, "FormVersion", 0) < 0) return false;
  for (const StoredSwitch& s : kSwitches) {
    const auto word = doc.find(kOptionsSection, s.key);
    if (!word) continue;
    if (equalsIgnoringAsciiCase(*word, "True")) {
      m.*s.field = true;
    } else if (equalsIgnoringAsciiCase(*word, "False")) {
      m.*s.field = false;
    }
  }
  for (const StoredCaption& c : kCaptions) {
    const auto text = doc.find(kOptionsSection, c.key);
    if (!text) continue;
    if (const auto number = captionNumber(*text)) captionField(m, c) = *number;
  }
  return true;
}

void writeStoredControls(IniDocument& doc, const MachineSettings& m,
                         std::span<const std::pair<std::string, std::string>> windowKeys) {
  doc.writeInt(kOptionsSection, "FormVersion", 0);
  for (const auto& [key, value] : windowKeys) doc.writeString(kOptionsSection, key, value);
  for (const StoredSwitch& s : kSwitches) doc.writeString(kOptionsSection, s.key, m.*s.field ? "True" : "False");
  for (const StoredCaption& c : kCaptions) {
    doc.writeString(kOptionsSection, c.key, numberLabelText(captionField(m, c)));
  }
}

}  // namespace tolvane
