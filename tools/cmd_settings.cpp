// The settings records as the program loads them, and the factory settings file it carries.

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "settings/factory_settings.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kSettingsUsage =
    "settings dump FILE [PROGRAM]   fields of MachineSettings and of program PROGRAM (0-9, default "
    "ActiveProg) as loaded";
constexpr const char* kFactoryUsage = "factory-ini   the factory settings file, byte for byte";

void dumpMachine(const MachineSettings& m, std::ostream& out) {
  out << "ActiveProg=" << m.ActiveProg << '\n'
      << "EGA_Min=" << m.EGA_Min << '\n'
      << "EGA_Max=" << m.EGA_Max << '\n'
      << "EGB_Min=" << m.EGB_Min << '\n'
      << "EGB_Max=" << m.EGB_Max << '\n';
  for (const auto& [name, first, second] :
       {std::tuple{"A", &m.EgecA, &m.EgecAx}, std::tuple{"B", &m.EgecB, &m.EgecBx}}) {
    for (size_t n = 0; n < first->size(); ++n) {
      out << "Egec" << name << '[' << n << "]=" << (*first)[n] << '\n';
      out << "Egec" << name << "x[" << n << "]=" << (*second)[n] << '\n';
    }
  }
  for (size_t n = 0; n < m.ProgramName.size(); ++n)
    out << "ProgramName[" << n << "]=" << m.ProgramName[n] << '\n';
  const auto flag = [&out](const char* name, bool value) { out << name << '=' << (value ? 1 : 0) << '\n'; };
  flag("MaskSwitch_StateOn", m.MaskSwitch_StateOn);
  out << "Time=" << m.Time << '\n' << "Delay=" << m.Delay << '\n' << "MinVes=" << m.MinVes << '\n';
  flag("ColorTuneButton_StateOn", m.ColorTuneButton_StateOn);
  flag("RGBshiftButton_StateOn", m.RGBshiftButton_StateOn);
  flag("BrightModeButton_StateOn", m.BrightModeButton_StateOn);
  flag("FineTimerButton_StateOn", m.FineTimerButton_StateOn);
  out << "MaxTime=" << m.MaxTime << '\n'
      << "MaxObject=" << m.MaxObject << '\n'
      << "FRmin=" << m.FRmin << '\n'
      << "FRmax=" << m.FRmax << '\n'
      << "FGmin=" << m.FGmin << '\n'
      << "FGmax=" << m.FGmax << '\n'
      << "FBmin=" << m.FBmin << '\n'
      << "FBmax=" << m.FBmax << '\n'
      << "BlackFon[0]=" << m.BlackFon[0] << '\n'
      << "BlackFon[1]=" << m.BlackFon[1] << '\n'
      << "MachineId=" << m.MachineId << '\n';
}

void dumpProgram(const SorterSettings& s, std::ostream& out) {
  for (const ProgramKey& k : programKeys()) {
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt: {
        const std::string_view key = k.key;
        out << (k.camera == 1 ? key.substr(2) : key) << '[' << k.camera << "]=" << programInt(s, k) << '\n';
        break;
      }
      case ProgramKey::Kind::kInt:
        out << k.key << '=' << programInt(s, k) << '\n';
        break;
      case ProgramKey::Kind::kBool:
        out << k.key << '=' << (s.*k.flag ? 1 : 0) << '\n';
        break;
      case ProgramKey::Kind::kString:
        out << k.key << '=' << s.*k.text << '\n';
        break;
    }
  }
  for (size_t camera = 0; camera < s.Sectors.size(); ++camera) {
    for (size_t i = 0; i < s.Sectors[camera].size(); ++i) {
      out << "Sectors[" << camera << "][" << i << "]=" << s.Sectors[camera][i] << '\n';
    }
  }
  out << "SingleChannel=" << s.SingleChannel << '\n';
}

int settingsCommand(const std::vector<std::string>& args, ToolIo& io) {
  if ((args.size() != 2 && args.size() != 3) || args[0] != "dump") {
    throw UsageError(std::string("usage: ") + kSettingsUsage);
  }
  int program = -1;
  if (args.size() == 3) {
    const long long n = parseIntArgument(args[2], "PROGRAM");
    if (n < 0 || n >= kProgramCount) throw UsageError("PROGRAM must be 0 ... 9, got " + args[2]);
    program = static_cast<int>(n);
  }
  const FileContents contents = readWholeFile(args[1]);
  if (contents.status == ReadStatus::kUnreadable) {
    io.err << "tolvane-tool settings: cannot read " << args[1] << '\n';
    return 1;
  }
  if (contents.status == ReadStatus::kMissing) {
    io.err << "tolvane-tool settings: " << args[1] << " does not exist; showing the defaults\n";
  }
  // The start-up order: stored control values, then the machine values and the program.
  const IniDocument doc = IniDocument::parse(contents.bytes);
  MachineSettings machine;
  readStoredControls(doc, machine);
  ReadMachineSettings(doc, machine);
  machine.MachineId = readMachineId(contents.bytes, machine.MachineId);
  SorterSettings sorter;
  // As a machine of the delivered kind loads it (BrightMode forced on).
  ReadProgramSection(doc, program < 0 ? machine.ActiveProg : program, sorter, machine, kSingleToneCamera);
  dumpMachine(machine, io.out);
  dumpProgram(sorter, io.out);
  return 0;
}

int factoryCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (!args.empty()) throw UsageError(std::string("usage: ") + kFactoryUsage);
  const std::string_view bytes = factorySettingsFile();
  io.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return 0;
}

TOLVANE_TOOL_COMMAND("settings", kSettingsUsage, settingsCommand);
TOLVANE_TOOL_COMMAND("factory-ini", kFactoryUsage, factoryCommand);

}  // namespace
}  // namespace tolvane::tool
