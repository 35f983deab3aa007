#include "settings/factory_settings.h"

#include <gtest/gtest.h>


#include "settings/settings_file.h"
#include "settings/stored_controls.h"

namespace tolvane {
namespace {

constexpr int kSectionOrder[] = {0, 1, 2, 9, 3, 4, 5, 6, 7, 8};

std::string sectorField(const std::string& line, const std::string& key) {
  const std::string start = "##" + key + "=\"";
  const size_t at = line.find(start);
  if (at == std::string::npos) return "";
  const size_t begin = at + start.size();
  return line.substr(begin, line.find('"', begin) - begin);
}

// A sector line as the sorter formats it: all fields in order, one blank apart, integers without
// leading zeros, ACTIVE TRUE or FALSE.
bool isFormattedSectorLine(const std::string& line) {
  static const char* const kFields[] = {"ID", "TYPE", "HMIN", "HMAX", "SMIN", "SMAX", "VMIN", "VMAX"};
  std::string rebuilt;
  for (const char* field : kFields) {
    const std::string value = sectorField(line, field);
    const size_t digits = value.rfind('-', 0) == 0 ? 1 : 0;
    if (value.size() <= digits || value.find_first_not_of("0123456789", digits) != std::string::npos) return false;
    if (value[digits] == '0' && value.size() > digits + 1) return false;
    rebuilt += "##" + std::string(field) + "=\"" + value + "\" ";
  }
  const std::string active = sectorField(line, "ACTIVE");
  if (active != "TRUE" && active != "FALSE") return false;
  rebuilt += "##ACTIVE=\"" + active + "\"";
  return rebuilt == line;
}

TEST(FactorySettings, TextFormat) {
  const std::string_view text = factorySettingsFile();
  ASSERT_GT(text.size(), 4u);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    ASSERT_TRUE(c >= 0x20 ? c < 0x7F : (c == '\r' || c == '\n')) << "byte " << i;
    if (c == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
    }
  }
  EXPECT_EQ(text.substr(text.size() - 4), "\r\n\r\n");
  EXPECT_EQ(text.find("\r\npath"), std::string_view::npos);
  EXPECT_EQ(text.find("Cam2Sector"), std::string_view::npos);
  EXPECT_EQ(text.find("enTripleShot"), std::string_view::npos);

  const IniDocument doc = IniDocument::parse(text);
  EXPECT_EQ(doc.serialize(), text);
  std::vector<std::string> expected = {"options"};
  for (int n : kSectionOrder) expected.push_back(programSectionName(n));
  EXPECT_EQ(doc.sectionNames(), expected);
}

TEST(FactorySettings, OptionsHoldTheFactoryValues) {
  const IniDocument doc = IniDocument::parse(factorySettingsFile());
  MachineSettings m;
  m.ProgramName[2] = "stale";
  ReadMachineSettings(doc, m);
  ASSERT_TRUE(readStoredControls(doc, m));
  SorterSettings s;
  ReadProgramSection(doc, m.ActiveProg, s, m);
  EXPECT_EQ(m.ActiveProg, 0);
  EXPECT_EQ(m.EGA_Min, 1);
  EXPECT_EQ(m.EGA_Max, 48);
  EXPECT_EQ(m.EGB_Min, 1);
  EXPECT_EQ(m.EGB_Max, 48);
  EXPECT_EQ(m.EgecA, (MachineSettings::CalibrationPoints{120, 554, 1026, 1489, 1581}));
  EXPECT_EQ(m.EgecAx, (MachineSettings::CalibrationPoints{554, 1025, 1489, 1926, 1867}));
  EXPECT_EQ(m.EgecB, (MachineSettings::CalibrationPoints{120, 553, 1026, 1488, 1579}));
  EXPECT_EQ(m.EgecBx, (MachineSettings::CalibrationPoints{554, 1025, 1488, 1925, 1867}));
  EXPECT_EQ(m.Time, 34);
  EXPECT_EQ(m.Delay, 20);
  EXPECT_EQ(m.MinVes, 2);
  EXPECT_EQ(m.MaxTime, 300);
  EXPECT_EQ(m.MaxObject, 40);
  EXPECT_EQ(doc.readString("options", "TimeLabel_Caption", ""), "034");
  EXPECT_EQ(doc.readString("options", "DelayLabel_Caption", ""), "020");
  EXPECT_EQ(doc.readString("options", "MinVesLabel_Caption", ""), "002");
  EXPECT_EQ(doc.readString("options", "MaxObjectLabel_Caption", ""), "040");
  EXPECT_TRUE(m.BrightModeButton_StateOn);
  EXPECT_FALSE(m.MaskSwitch_StateOn);
  EXPECT_FALSE(m.ColorTuneButton_StateOn);
  EXPECT_FALSE(m.RGBshiftButton_StateOn);
  EXPECT_FALSE(m.FineTimerButton_StateOn);
  for (const std::string& name : m.ProgramName) EXPECT_EQ(name, "");
  EXPECT_TRUE(doc.hasKey("options", "ProgramName8"));
  EXPECT_EQ(m.MachineId, "000");
  // Keys that stay unread.
  for (const char* key : {"BlackFonLabel_Caption", "EgecA5", "EgecAx5", "EgecB5", "EgecBx5"}) {
    EXPECT_TRUE(doc.hasKey("options", key)) << key;
  }
}

TEST(FactorySettings, ProgramsLoadWithTheirTellingValues) {
  const IniDocument doc = IniDocument::parse(factorySettingsFile());
  bool someUnreadSector = false;
  for (int n = 0; n < 10; ++n) {
    SCOPED_TRACE(n);
    const std::string section = programSectionName(n);
    EXPECT_TRUE(doc.hasKey(section, "EGMin"));
    EXPECT_TRUE(doc.hasKey(section, "EGMax"));
    SorterSettings s;
    MachineSettings m;
    ReadProgramSection(doc, n, s, m);
    EXPECT_TRUE(s.Sectors[1].empty());
    EXPECT_FALSE(s.enTripleShot);
    // Every key the program reads is present, so nothing here rests on a default by accident.
    for (const ProgramKey& k : programKeys()) {
      if (std::string_view(k.key) != "enTripleShot") {
        EXPECT_TRUE(doc.hasKey(section, k.key)) << k.key;
      }
    }
    for (int i = 0; doc.hasKey(section, "Sector" + std::to_string(i)); ++i) {
      const std::string line = doc.readString(section, "Sector" + std::to_string(i), "");
      EXPECT_TRUE(isFormattedSectorLine(line)) << line;
      if (i >= static_cast<int>(s.Sectors[0].size())) someUnreadSector = true;
    }
  }
  EXPECT_TRUE(someUnreadSector);

  SorterSettings p1;
  MachineSettings m;
  ReadProgramSection(doc, 0, p1, m);
  EXPECT_TRUE(p1.enFonBlue);
  EXPECT_EQ(p1.FonLight[0], 200);
  ASSERT_EQ(p1.Sectors[0].size(), 3u);
  std::vector<std::string> types;
  for (const std::string& line : p1.Sectors[0]) {
    types.push_back(sectorField(line, "TYPE"));
    EXPECT_EQ(sectorField(line, "ACTIVE"), "TRUE");
  }
  EXPECT_EQ(types, (std::vector<std::string>{"-1", "1", "2"}));

  SorterSettings p10;
  ReadProgramSection(doc, 9, p10, m);
  for (int c = 0; c < 2; ++c) {
    const auto i = static_cast<size_t>(c);
    EXPECT_EQ(p10.FonMin[i], 0);
    EXPECT_EQ(p10.FonMax[i], 255);
    EXPECT_EQ(p10.P1Min[i], 0);
    EXPECT_EQ(p10.P1Max[i], 255);
    EXPECT_EQ(p10.P2Min[i], 0);
    EXPECT_EQ(p10.P2Max[i], 255);
  }
  EXPECT_TRUE(p10.enFast);
  EXPECT_TRUE(p10.enFonBlack);
  ASSERT_EQ(p10.Sectors[0].size(), 2u);
  for (const std::string& line : p10.Sectors[0]) EXPECT_EQ(sectorField(line, "TYPE"), "1");
}

// Saving a program loaded from the factory file changes nothing but the keys the file lacks.
TEST(FactorySettings, SaveAfterLoadOnlyAddsTheMissingKeys) {
  const std::string factory(factorySettingsFile());
  IniDocument doc = IniDocument::parse(factory);
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(doc, 0, s, m);
  WriteProgramSection(doc, 0, s, m);

  std::string expected = factory;
  const size_t lastLineOfProgram0 = expected.find("\r\n\r\n[program1]");
  ASSERT_NE(lastLineOfProgram0, std::string::npos);
  expected.insert(lastLineOfProgram0 + 2, "enTripleShot=0\r\nCam2SectorCounts=0\r\n");
  EXPECT_EQ(doc.serialize(), expected);
}

}  // namespace
}  // namespace tolvane
