// Offline analysis for engineers: the research run over a test picture and the emulation run, with
// the settings of a settings file or the defaults.

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ejection/ejector_zones.h"
#include "engine/camera_line_state.h"
#include "engine/color_convert.h"
#include "engine/emulation_run.h"
#include "engine/engine_state.h"
#include "engine/research.h"
#include "settings/ini_file.h"
#include "settings/sector_tables.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kResearchUsage =
    "research PICTURE.bmp OUT.bmp [SETTINGS.ini [PROGRAM]]   label the objects: XMin FirstLine XMax LastLine "
    "WidthMean LengthMean";
constexpr const char* kEmulateUsage =
    "emulate PICTURE.bmp [SETTINGS.ini [PROGRAM]]   emulation run; prints the current objects dump";

// A stopped sorter with the settings loaded as at start-up.
struct Sorter {
  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  std::unique_ptr<CameraLineState> camera1 = std::make_unique<CameraLineState>(0);
  std::unique_ptr<CameraLineState> camera2 = std::make_unique<CameraLineState>(1);
  SorterSettings sorter;
  MachineSettings machine;
};

// Settings from args[first] (file) and args[first + 1] (program); nothing when the file cannot be read.
std::unique_ptr<Sorter> loadSorter(const std::vector<std::string>& args, std::size_t first,
                                   const char* command, ToolIo& io) {
  auto s = std::make_unique<Sorter>();
  int program = -1;
  if (args.size() > first + 1) {
    const long long n = parseIntArgument(args[first + 1], "PROGRAM");
    if (n < 0 || n >= kProgramCount) throw UsageError("PROGRAM must be 0 ... 9, got " + args[first + 1]);
    program = static_cast<int>(n);
  }
  if (args.size() > first) {
    const std::filesystem::path file = args[first];
    std::error_code ec;
    // A missing file would silently give the defaults; say so instead.
    if (!std::filesystem::is_regular_file(file, ec) || !std::ifstream(file, std::ios::binary)) {
      io.err << "tolvane-tool " << command << ": cannot read settings file " << file.string() << '\n';
      return nullptr;
    }
    const IniDocument doc = IniDocument::load(file);
    readStoredControls(doc, s->machine);
    ReadMachineSettings(doc, s->machine);
    ReadProgramSection(doc, program < 0 ? s->machine.ActiveProg : program, s->sorter, s->machine,
                       s->state->singleToneCamera);
  }

  EngineState& state = *s->state;
  state.BrightMode = s->sorter.BrightMode;
  state.SingleChannel = s->sorter.SingleChannel;
  state.ColorTune = s->machine.ColorTuneButton_StateOn;
  const auto bad = rebuildSectorTables(s->sorter, state.singleToneCamera, hsvFillColour, state.sectorTables,
                                       state.BackgroundFill);
  if (!bad.empty()) io.err << describeBadSectorLines(bad);
  computeEjectorZones(s->machine, state.ejection.EjectorZones);
  prepareCameraForRun(*s->camera1, state, s->machine);
  prepareCameraForRun(*s->camera2, state, s->machine);
  return s;
}

int researchCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() < 2 || args.size() > 4) throw UsageError(std::string("usage: ") + kResearchUsage);
  const std::unique_ptr<Sorter> s = loadSorter(args, 2, "research", io);
  if (!s) return 1;
  const BmpImage picture = BmpImage::load(args[0]);
  const ResearchResult result = runResearch(*s->state, *s->camera1, s->sorter, s->machine, picture);
  result.output.save(args[1]);
  for (const ResearchLabel& l : result.labels) {
    io.out << l.xMin << ' ' << l.firstLine << ' ' << l.xMax << ' ' << l.lastLine << ' ' << l.widthMean << ' '
           << l.lengthMean << '\n';
  }
  return 0;
}

int emulateCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.empty() || args.size() > 3) throw UsageError(std::string("usage: ") + kEmulateUsage);
  const std::unique_ptr<Sorter> s = loadSorter(args, 1, "emulate", io);
  if (!s) return 1;
  const BmpImage picture = BmpImage::load(args[0]);
  runEmulation(*s->state, *s->camera1, *s->camera2, s->sorter, s->machine, picture);
  for (const std::string& line : currentObjectsDump(*s->state)) io.out << line << '\n';
  return 0;
}

TOLVANE_TOOL_COMMAND("research", kResearchUsage, researchCommand);
TOLVANE_TOOL_COMMAND("emulate", kEmulateUsage, emulateCommand);

}  // namespace
}  // namespace tolvane::tool
