#include "platform/sysfs_power_reader.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tolvane {
namespace {

// Attribute files are a few bytes; anything longer is not one of them.
constexpr std::size_t kMaxAttributeBytes = 256;

std::optional<std::string> readAttribute(const std::filesystem::path& folder, const char* name) {
  std::ifstream in(folder / name, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxAttributeBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return std::nullopt;
  const auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; };
  while (!text.empty() && isSpace(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && isSpace(text[start])) ++start;
  return text.substr(start);
}

std::optional<int> parsePercent(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < 0 || value > 100) return std::nullopt;
  return value;
}

// Mean of the charges, halves to even.
int meanPercent(const std::vector<int>& charges) {
  int sum = 0;
  for (int c : charges) sum += c;
  const int n = static_cast<int>(charges.size());
  int mean = sum / n;
  const int rest = sum % n;
  if (2 * rest > n || (2 * rest == n && mean % 2 == 1)) ++mean;
  return mean;
}

}  // namespace

SysfsPowerReader::SysfsPowerReader(std::filesystem::path root) : root_(std::move(root)) {}

PowerStatus SysfsPowerReader::read() {
  try {
    std::error_code ec;
    std::vector<std::filesystem::path> supplies;
    for (std::filesystem::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
      supplies.push_back(it->path());
    }
    std::sort(supplies.begin(), supplies.end());

    bool externalOnline = false;
    bool externalOffline = false;
    bool batteryDischarging = false;
    bool batteryCharging = false;
    bool critical = false;
    std::vector<int> charges;

    for (const auto& supply : supplies) {
      const auto type = readAttribute(supply, "type");
      if (!type) continue;
      if (readAttribute(supply, "scope") == "Device") continue;
      if (*type == "Mains" || *type == "USB") {
        const auto online = readAttribute(supply, "online");
        if (online == "1") externalOnline = true;
        if (online == "0") externalOffline = true;
      } else if (*type == "Battery" || *type == "UPS") {
        if (readAttribute(supply, "present") == "0") continue;
        if (const auto capacity = readAttribute(supply, "capacity")) {
          if (const auto percent = parsePercent(*capacity)) charges.push_back(*percent);
        }
        const auto status = readAttribute(supply, "status");
        if (status == "Discharging") batteryDischarging = true;
        if (status == "Charging" || status == "Full" || status == "Not charging") batteryCharging = true;
        if (readAttribute(supply, "capacity_level") == "Critical") critical = true;
      }
    }

    PowerStatus result;
    if (externalOnline) {
      result.known = true;
      result.onMains = true;
    } else if (externalOffline) {
      result.known = true;
      result.onMains = false;
    } else if (batteryDischarging != batteryCharging) {
      // No mains supply listed: the batteries tell which way the current flows.
      result.known = true;
      result.onMains = batteryCharging;
    }
    if (!charges.empty()) result.batteryPercent = meanPercent(charges);
    result.lowBattery = critical;
    return result;
  } catch (...) {
    return PowerStatus{};
  }
}

}  // namespace tolvane
