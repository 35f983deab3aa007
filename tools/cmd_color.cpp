// Colour conversions exactly as the sorter's classifier and colour tools compute them.

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "engine/color_convert.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kRgbToHsvUsage = "rgb2hsv R G B            H S V of a colour (R, G, B 0..255)";
constexpr const char* kHsvToRgbUsage =
    "hsv2rgb H S V            R G B of a colour (S, V 0..255; H < 0 gives grey)";

int byteArgument(const std::string& text, const std::string& what) {
  const long long v = parseIntArgument(text, what);
  if (v < 0 || v > 255) {
    throw UsageError(what + " must be 0..255, got " + text);
  }
  return static_cast<int>(v);
}

int rgbToHsvCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() != 3) {
    throw UsageError(std::string("usage: ") + kRgbToHsvUsage);
  }
  const Hsv hsv =
      RgbToHsv(byteArgument(args[0], "R"), byteArgument(args[1], "G"), byteArgument(args[2], "B"));
  io.out << hsv.h << ' ' << hsv.s << ' ' << hsv.v << '\n';
  return 0;
}

int hsvToRgbCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() != 3) {
    throw UsageError(std::string("usage: ") + kHsvToRgbUsage);
  }
  const long long h = parseIntArgument(args[0], "H");
  if (h < std::numeric_limits<std::int32_t>::min() || h > std::numeric_limits<std::int32_t>::max()) {
    throw UsageError("H must be a 32-bit integer, got " + args[0]);
  }
  const RgbValues rgb = HsvToRgb(static_cast<int>(h), byteArgument(args[1], "S"), byteArgument(args[2], "V"));
  io.out << rgb.r << ' ' << rgb.g << ' ' << rgb.b << '\n';
  return 0;
}

TOLVANE_TOOL_COMMAND("rgb2hsv", kRgbToHsvUsage, rgbToHsvCommand);
TOLVANE_TOOL_COMMAND("hsv2rgb", kHsvToRgbUsage, hsvToRgbCommand);

}  // namespace
}  // namespace tolvane::tool
