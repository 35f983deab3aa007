#pragma once

// A stopped sorter for the offline commands (research, emulate, replay), with the settings of a
// settings file loaded as at start-up, or the defaults.

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ejection/ejector_zones.h"
#include "engine/camera_line_state.h"
#include "engine/color_convert.h"
#include "engine/engine_state.h"
#include "settings/ini_file.h"
#include "settings/sector_tables.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"
#include "tools/tool_command.h"

namespace tolvane::tool {

struct OfflineSorter {
  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  std::unique_ptr<CameraLineState> camera1 = std::make_unique<CameraLineState>(0);
  std::unique_ptr<CameraLineState> camera2 = std::make_unique<CameraLineState>(1);
  SorterSettings sorter;
  MachineSettings machine;
};

enum class MissingSettings {
  Refuse,       // a missing file is an error (null result)
  UseDefaults,  // the defaults, with a note on err
};

// Settings from args[first] (file) and args[first + 1] (program). Throws UsageError for a bad
// program number.
inline std::unique_ptr<OfflineSorter> loadOfflineSorter(const std::vector<std::string>& args,
                                                        std::size_t first, const char* command, ToolIo& io,
                                                        MissingSettings missing = MissingSettings::Refuse) {
  auto s = std::make_unique<OfflineSorter>();
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
      if (missing == MissingSettings::Refuse) {
        io.err << "tolvane-tool " << command << ": cannot read settings file " << file.string() << '\n';
        return nullptr;
      }
      io.err << "tolvane-tool " << command << ": cannot read settings file " << file.string()
             << "; using the default settings\n";
    } else {
      const IniDocument doc = IniDocument::load(file);
      readStoredControls(doc, s->machine);
      ReadMachineSettings(doc, s->machine);
      ReadProgramSection(doc, program < 0 ? s->machine.ActiveProg : program, s->sorter, s->machine,
                         s->state->singleToneCamera);
    }
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

}  // namespace tolvane::tool
