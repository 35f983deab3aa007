// Colour sector lines for engineers: shows what the sorter reads from a line of the settings file.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "settings/color_sector.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kSectorUsage =
    "sector parse LINE        fields of a colour sector line, one name=value per line";

int sectorCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() != 2 || args[0] != "parse") {
    throw UsageError(std::string("usage: ") + kSectorUsage);
  }
  std::string error;
  const std::optional<ColorSector> sector = parseSectorLine(args[1], &error);
  if (!sector) {
    throw UsageError("not a sector line: " + error);
  }
  io.out << "ID=" << sector->ID << '\n'
         << "Type=" << sector->Type << '\n'
         << "HMIN=" << sector->HMIN << '\n'
         << "HMAX=" << sector->HMAX << '\n'
         << "SMIN=" << sector->SMIN << '\n'
         << "SMAX=" << sector->SMAX << '\n'
         << "VMIN=" << sector->VMIN << '\n'
         << "VMAX=" << sector->VMAX << '\n'
         << "Active=" << (sector->Active ? "true" : "false") << '\n';
  return 0;
}

TOLVANE_TOOL_COMMAND("sector", kSectorUsage, sectorCommand);

}  // namespace
}  // namespace tolvane::tool
