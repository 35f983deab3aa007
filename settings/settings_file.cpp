#include "settings/settings_file.h"

#include <algorithm>
#include <stdexcept>

#include "settings/cp1251.h"

namespace tolvane {
namespace {

constexpr std::array<std::string_view, 2> kSectorCountKey = {"SectorCounts", "Cam2SectorCounts"};
constexpr std::array<std::string_view, 2> kSectorKeyPrefix = {"Sector", "Cam2Sector"};

void checkProgram(int program) {
  if (program < 0 || program >= kProgramCount) {
    throw std::out_of_range("program index " + std::to_string(program) + " outside 0 ... 9");
  }
}

std::string calibrationKey(std::string_view prefix, int n) { return std::string(prefix) + std::to_string(n); }

struct CalibrationTable {
  std::string_view prefix;
  MachineSettings::CalibrationPoints MachineSettings::*points;
};

// File order: EgecA0, EgecAx0, EgecA1, ... then side B.
constexpr std::array<std::array<CalibrationTable, 2>, 2> kCalibrationTables = {{
    {{{"EgecA", &MachineSettings::EgecA}, {"EgecAx", &MachineSettings::EgecAx}}},
    {{{"EgecB", &MachineSettings::EgecB}, {"EgecBx", &MachineSettings::EgecBx}}},
}};

void writeEjectorRanges(IniDocument& doc, const MachineSettings& m) {
  doc.writeInt(kOptionsSection, "EGA_Min", m.EGA_Min);
  doc.writeInt(kOptionsSection, "EGA_Max", m.EGA_Max);
  doc.writeInt(kOptionsSection, "EGB_Min", m.EGB_Min);
  doc.writeInt(kOptionsSection, "EGB_Max", m.EGB_Max);
}

void readEjectorRanges(const IniDocument& doc, MachineSettings& m) {
  m.EGA_Min = doc.readInt(kOptionsSection, "EGA_Min", 1);
  m.EGA_Max = doc.readInt(kOptionsSection, "EGA_Max", kEjectorsPerSide);
  m.EGB_Min = doc.readInt(kOptionsSection, "EGB_Min", 1);
  m.EGB_Max = doc.readInt(kOptionsSection, "EGB_Max", kEjectorsPerSide);
}

}  // namespace

std::string programSectionName(int program) { return "program" + std::to_string(program); }

void WriteProgramSection(IniDocument& doc, int program, const SorterSettings& s,
                         const MachineSettings& machine) {
  checkProgram(program);
  writeEjectorRanges(doc, machine);
  const std::string section = programSectionName(program);
  for (const ProgramKey& k : programKeys()) {
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt:
      case ProgramKey::Kind::kInt:
        doc.writeInt(section, k.key, programInt(s, k));
        break;
      case ProgramKey::Kind::kBool:
        doc.writeBool(section, k.key, s.*k.flag);
        break;
      case ProgramKey::Kind::kString:
        doc.writeString(section, k.key, s.*k.text);
        break;
    }
  }
  for (size_t camera = 0; camera < 2; ++camera) {
    const auto& lines = s.Sectors[camera];
    doc.writeInt(section, kSectorCountKey[camera], static_cast<int32_t>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
      doc.writeString(section, std::string(kSectorKeyPrefix[camera]) + std::to_string(i), lines[i]);
    }
  }
}

void ReadProgramSection(const IniDocument& doc, int program, SorterSettings& s, MachineSettings& machine,
                        bool singleToneCamera) {
  checkProgram(program);
  const std::string section = programSectionName(program);
  readEjectorRanges(doc, machine);
  for (const ProgramKey& k : programKeys()) {
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt:
      case ProgramKey::Kind::kInt:
        programInt(s, k) = doc.readInt(section, k.key, k.defaultValue);
        break;
      case ProgramKey::Kind::kBool:
        s.*k.flag = doc.readBool(section, k.key, k.defaultValue != 0);
        break;
      case ProgramKey::Kind::kString:
        s.*k.text = doc.readString(section, k.key, k.defaultText);
        break;
    }
  }

  // The three channel switches are exclusive: the last one set in the file wins.
  const bool channels[3] = {s.OCR, s.OCG, s.OCB};
  for (int c = 0; c < 3; ++c) {
    if (channels[c]) s.SingleChannel = c + 1;
  }
  if (s.OCR || s.OCG || s.OCB) {
    s.OCR = s.SingleChannel == 1;
    s.OCG = s.SingleChannel == 2;
    s.OCB = s.SingleChannel == 3;
  }
  if (singleToneCamera) s.BrightMode = true;

  // A damaged count cannot name more lines than the section holds.
  const size_t keysInSection = doc.keyNames(section).size();
  for (size_t camera = 0; camera < 2; ++camera) {
    auto& lines = s.Sectors[camera];
    lines.clear();
    const int32_t count = doc.readInt(section, kSectorCountKey[camera], 0);
    const size_t wanted = count > 0 ? std::min(static_cast<size_t>(count), keysInSection) : 0;
    for (size_t i = 0; i < wanted; ++i) {
      std::string line =
          doc.readString(section, std::string(kSectorKeyPrefix[camera]) + std::to_string(i), "");
      if (!line.empty()) lines.push_back(std::move(line));
    }
  }
}

void ReadMachineSettings(const IniDocument& doc, MachineSettings& m) {
  const int32_t active = doc.readInt(kOptionsSection, "ActiveProg", 0);
  m.ActiveProg = active >= 0 && active < kProgramCount ? active : 0;
  for (const auto& side : kCalibrationTables) {
    for (int n = 0; n < kCalibrationPointCount; ++n) {
      for (const CalibrationTable& table : side) {
        (m.*table.points)[static_cast<size_t>(n)] =
            doc.readInt(kOptionsSection, calibrationKey(table.prefix, n), calibrationPointDefault(n));
      }
    }
  }
  for (int n = 0; n < kProgramNameCount; ++n) {
    m.ProgramName[static_cast<size_t>(n)] =
        doc.readString(kOptionsSection, "ProgramName" + std::to_string(n), "");
  }
}

void writeMachineState(IniDocument& doc, const MachineSettings& m) {
  doc.writeInt(kOptionsSection, "ActiveProg", m.ActiveProg);
  for (const auto& side : kCalibrationTables) {
    for (int n = 0; n < kCalibrationPointCount; ++n) {
      for (const CalibrationTable& table : side) {
        doc.writeInt(kOptionsSection, calibrationKey(table.prefix, n),
                     (m.*table.points)[static_cast<size_t>(n)]);
      }
    }
  }
}

std::vector<int> writeProgramNames(IniDocument& doc, const MachineSettings& m) {
  std::vector<int> refused;
  for (int n = 0; n < kProgramNameCount; ++n) {
    const std::string& name = m.ProgramName[static_cast<size_t>(n)];
    // Written as '?' the name would be lost quietly; the file keeps the last name it could hold.
    if (doc.encoding() == IniDocument::Encoding::kCp1251 && !fitsCp1251(name)) {
      refused.push_back(n);
      continue;
    }
    doc.writeString(kOptionsSection, "ProgramName" + std::to_string(n), name);
  }
  return refused;
}

std::string readMachineId(std::string_view bytes, std::string current) {
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  const bool utf8 = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (utf8) bytes.remove_prefix(kUtf8Bom.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, 4) != "path") continue;
    const size_t open = line.find('"', 4);
    if (open == std::string_view::npos) {
      current.clear();
      continue;
    }
    const size_t close = line.find('"', open + 1);
    const std::string_view id =
        line.substr(open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    current = utf8 ? std::string(id) : cp1251ToUtf8(id);
  }
  return current;
}

void WriteProgramSection(const std::filesystem::path& file, int program, const SorterSettings& sorter,
                         const MachineSettings& machine) {
  checkProgram(program);
  IniDocument doc = IniDocument::load(file);
  WriteProgramSection(doc, program, sorter, machine);
  doc.save(file);
}

void ReadProgramSection(const std::filesystem::path& file, int program, SorterSettings& sorter,
                        MachineSettings& machine, bool singleToneCamera) {
  ReadProgramSection(IniDocument::load(file), program, sorter, machine, singleToneCamera);
}

void ReadMachineSettings(const std::filesystem::path& file, MachineSettings& machine) {
  const FileContents contents = readWholeFile(file);
  if (contents.status == ReadStatus::kUnreadable) return;
  ReadMachineSettings(IniDocument::parse(contents.bytes), machine);
  machine.MachineId = readMachineId(contents.bytes, std::move(machine.MachineId));
}

void writeMachineState(const std::filesystem::path& file, const MachineSettings& machine) {
  IniDocument doc = IniDocument::load(file);
  writeMachineState(doc, machine);
  doc.save(file);
}

std::vector<int> writeProgramNames(const std::filesystem::path& file, const MachineSettings& machine) {
  IniDocument doc = IniDocument::load(file);
  std::vector<int> refused = writeProgramNames(doc, machine);
  doc.save(file);
  return refused;
}

}  // namespace tolvane
