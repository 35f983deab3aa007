// Ejector zones for engineers: the pixel range in front of every ejector, as the sorter computes it
// from the calibration points of a settings file.

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "ejection/ejector_zones.h"
#include "settings/settings_file.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kZonesUsage =
    "zones SETTINGS.ini       per ejector 1..48: j Astart Aend Bstart Bend (pixels, end excluded)";

int zonesCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() != 1) throw UsageError(std::string("usage: ") + kZonesUsage);
  const std::filesystem::path file = args[0];
  std::error_code ec;
  // A missing file would silently give the default points; say so instead.
  if (!std::filesystem::is_regular_file(file, ec) || !std::ifstream(file, std::ios::binary)) {
    io.err << "cannot read settings file " << file.string() << '\n';
    return 1;
  }
  MachineSettings machine;
  ReadMachineSettings(file, machine);
  NumberedTable<EjectorZone, kEjectorSlots> zones;
  computeEjectorZones(machine, zones);
  for (int j = 1; j <= kEjectorsPerSide; ++j) {
    const EjectorZone& z = zones[j];
    io.out << j << ' ' << z.aStart << ' ' << z.aEnd << ' ' << z.bStart << ' ' << z.bEnd << '\n';
  }
  return 0;
}

TOLVANE_TOOL_COMMAND("zones", kZonesUsage, zonesCommand);

}  // namespace
}  // namespace tolvane::tool
