#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include "settings/stored_controls.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

// Every program field as "key=value" text, so that two records compare with readable failures.
std::vector<std::string> describe(const SorterSettings& s) {
  std::vector<std::string> out;
  for (const ProgramKey& k : programKeys()) {
    std::string value;
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt:
      case ProgramKey::Kind::kInt:
        value = std::to_string(programInt(s, k));
        break;
      case ProgramKey::Kind::kBool:
        value = s.*k.flag ? "1" : "0";
        break;
      case ProgramKey::Kind::kString:
        value = s.*k.text;
        break;
    }
    out.push_back(std::string(k.key) + "=" + value);
  }
  for (int camera = 0; camera < 2; ++camera) {
    for (const std::string& line : s.Sectors[static_cast<size_t>(camera)]) {
      out.push_back("sector" + std::to_string(camera) + "=" + line);
    }
  }
  out.push_back("SingleChannel=" + std::to_string(s.SingleChannel));
  return out;
}

// A record in which every key differs from its default.
SorterSettings everyKeyChanged() {
  SorterSettings s;
  int32_t next = 300;
  for (const ProgramKey& k : programKeys()) {
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt:
      case ProgramKey::Kind::kInt:
        programInt(s, k) = next++;
        break;
      case ProgramKey::Kind::kBool:
        s.*k.flag = k.defaultValue == 0;
        break;
      case ProgramKey::Kind::kString:
        s.*k.text = std::to_string(next++);
        break;
    }
  }
  // The channel switches are exclusive and BrightMode is forced on, so give them a consistent state.
  s.OCR = false;
  s.OCG = true;
  s.OCB = false;
  s.SingleChannel = 2;
  s.BrightMode = true;
  s.Sectors[0] = {"##ID=\"0\" ##TYPE=\"1\" ##HMIN=\"10\"", "##ID=\"1\" ##TYPE=\"2\""};
  s.Sectors[1] = {"##ID=\"5\" ##TYPE=\"-1\""};
  return s;
}

TEST(ProgramSection, WithoutASettingsFileEverythingHasItsDefault) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  MachineSettings machine;
  machine.ActiveProg = 6;
  machine.EgecA[2] = 1;
  ReadMachineSettings(file, machine);
  EXPECT_EQ(machine.ActiveProg, 0);
  EXPECT_EQ(machine.EgecA[2], 1250);
  EXPECT_EQ(machine.MachineId, "000");

  SorterSettings loaded;
  loaded.FonMin = {1, 2};
  loaded.Sectors[1] = {"stale"};
  ReadProgramSection(file, machine.ActiveProg, loaded, machine);
  SorterSettings expected;
  expected.BrightMode = kSingleToneCamera;
  EXPECT_EQ(describe(loaded), describe(expected));
  EXPECT_EQ(machine.EGA_Max, 48);
  EXPECT_EQ(machine.EGB_Min, 1);
  // The background labels of both cameras.
  for (int camera = 0; camera < 2; ++camera) {
    const auto c = static_cast<size_t>(camera);
    EXPECT_EQ(numberLabelText(loaded.FonMin[c]) + " " + numberLabelText(loaded.FonMax[c]) + " " +
                  numberLabelText(loaded.FonBlack[c]) + " " + numberLabelText(loaded.FonLight[c]),
              "200 255 000 255");
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ProgramSection, MissingSectionLoadsDefaultsButEjectorRangesComeFromOptions) {
  const IniDocument doc =
      IniDocument::parse("[options]\r\nEGA_Min=3\r\nEGA_Max=40\r\nEGB_Min=x\r\n[program1]\r\nFonMin=5\r\n");
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(doc, 2, s, m);
  EXPECT_EQ(s.FonMin[0], 200);
  EXPECT_EQ(m.EGA_Min, 3);
  EXPECT_EQ(m.EGA_Max, 40);
  EXPECT_EQ(m.EGB_Min, 1);
  EXPECT_EQ(m.EGB_Max, 48);
}

TEST(ProgramSection, EveryKeySurvivesAWriteAndReadInWriteOrder) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  const SorterSettings original = everyKeyChanged();
  MachineSettings machine;
  machine.EGA_Min = 2;
  machine.EGA_Max = 47;
  machine.EGB_Min = 3;
  machine.EGB_Max = 46;
  WriteProgramSection(file, 7, original, machine);

  SorterSettings loaded;
  MachineSettings loadedMachine;
  ReadProgramSection(file, 7, loaded, loadedMachine);
  EXPECT_EQ(describe(loaded), describe(original));
  EXPECT_EQ(loadedMachine.EGA_Min, 2);
  EXPECT_EQ(loadedMachine.EGA_Max, 47);
  EXPECT_EQ(loadedMachine.EGB_Min, 3);
  EXPECT_EQ(loadedMachine.EGB_Max, 46);

  const IniDocument doc = IniDocument::load(file);
  std::vector<std::string> order;
  for (const ProgramKey& k : programKeys()) order.push_back(k.key);
  for (const char* k : {"SectorCounts", "Sector0", "Sector1", "Cam2SectorCounts", "Cam2Sector0"})
    order.push_back(k);
  EXPECT_EQ(doc.keyNames("program7"), order);
  EXPECT_EQ(doc.keyNames("options"), (std::vector<std::string>{"EGA_Min", "EGA_Max", "EGB_Min", "EGB_Max"}));
  EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"options", "program7"}));
  // The first keys in the text, exactly.
  const std::string head =
      "[options]\r\nEGA_Min=2\r\nEGA_Max=47\r\nEGB_Min=3\r\nEGB_Max=46\r\n\r\n[program7]\r\nFonMin=300\r\n"
      "FonMax=301\r\n";
  EXPECT_EQ(readBytes(file).substr(0, head.size()), head);
}

TEST(ProgramSection, ValuesOutsideTheirRangeLoadAsTheyStand) {
  const IniDocument doc = IniDocument::parse("[program0]\r\nFonMin=1350\r\nifFast=-4\r\nRegulator=abc\r\n");
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(doc, 0, s, m);
  EXPECT_EQ(s.FonMin[0], 1350);
  EXPECT_EQ(s.ifFast, -4);
  EXPECT_EQ(s.Regulator, "abc");
}

TEST(ProgramSection, SectorCountDecidesHowManyLinesLoadAndOlderLinesStayInTheFile) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  std::string text = "[program3]\r\nSectorCounts=2\r\n";
  for (int i = 0; i < 7; ++i) text += "Sector" + std::to_string(i) + "=line " + std::to_string(i) + "\r\n";
  writeBytes(file, text);

  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(file, 3, s, m);
  EXPECT_EQ(s.Sectors[0], (std::vector<std::string>{"line 0", "line 1"}));
  EXPECT_TRUE(s.Sectors[1].empty());

  s.Sectors[0] = {"new 0"};
  WriteProgramSection(file, 3, s, m);
  const IniDocument doc = IniDocument::load(file);
  EXPECT_EQ(doc.readInt("program3", "SectorCounts", -1), 1);
  EXPECT_EQ(doc.readString("program3", "Sector0", ""), "new 0");
  EXPECT_EQ(doc.readString("program3", "Sector1", ""), "line 1");
  EXPECT_EQ(doc.readString("program3", "Sector6", ""), "line 6");
  ReadProgramSection(file, 3, s, m);
  EXPECT_EQ(s.Sectors[0], (std::vector<std::string>{"new 0"}));
}

TEST(ProgramSection, DamagedSectorCountsStayBounded) {
  const IniDocument doc = IniDocument::parse(
      "[program0]\r\nSectorCounts=2000000000\r\nSector0=a\r\nSector2=c\r\n"
      "Cam2SectorCounts=-5\r\nCam2Sector0=x\r\n");
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(doc, 0, s, m);
  // Sector1 is missing and skipped; the count cannot run past the lines the section holds.
  EXPECT_EQ(s.Sectors[0], (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(s.Sectors[1].empty());
}

TEST(ProgramSection, LastChannelSetWinsAndNoneKeepsThePreviousChannel) {
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(IniDocument::parse("[program0]\r\nOCR=1\r\nOCB=1\r\n"), 0, s, m);
  EXPECT_EQ(s.SingleChannel, 3);
  EXPECT_FALSE(s.OCR);
  EXPECT_TRUE(s.OCB);

  ReadProgramSection(IniDocument::parse("[program0]\r\nOCR=0\r\nOCG=0\r\n"), 0, s, m);
  EXPECT_EQ(s.SingleChannel, 3);
  EXPECT_FALSE(s.OCR || s.OCG || s.OCB);

  ReadProgramSection(IniDocument::parse("[program0]\r\nOCG=1\r\n"), 0, s, m);
  EXPECT_EQ(s.SingleChannel, 2);
}

TEST(ProgramSection, SingleToneBuildForcesBrightMode) {
  SorterSettings s;
  MachineSettings m;
  ReadProgramSection(IniDocument::parse("[program0]\r\nBrightMode=0\r\n"), 0, s, m);
  EXPECT_EQ(s.BrightMode, kSingleToneCamera);
}

TEST(ProgramSection, OnlyASingleToneMachineForcesBrightMode) {
  struct Case {
    const char* file;
    bool singleTone;
    bool brightMode;
  };
  const Case cases[] = {
      {"[program0]\r\nBrightMode=0\r\n", true, true},
      {"[program0]\r\nBrightMode=1\r\n", true, true},
      {"[program0]\r\nBrightMode=0\r\n", false, false},
      {"[program0]\r\nBrightMode=1\r\n", false, true},
      {"[program0]\r\nBrightMode=x\r\n", false, false},  // not a number: the key's default
      {"", false, false},
      {"", true, true},
  };
  for (const Case& c : cases) {
    SorterSettings s;
    s.BrightMode = !c.brightMode;
    MachineSettings m;
    ReadProgramSection(IniDocument::parse(c.file), 0, s, m, c.singleTone);
    EXPECT_EQ(s.BrightMode, c.brightMode) << c.file << (c.singleTone ? " single-tone" : " colour");
  }
}

TEST(ProgramSection, ProgramIndexOutsideTheTenIsRefused) {
  IniDocument doc;
  SorterSettings s;
  MachineSettings m;
  EXPECT_THROW(ReadProgramSection(doc, -1, s, m), std::out_of_range);
  EXPECT_THROW(WriteProgramSection(doc, 10, s, m), std::out_of_range);
  EXPECT_EQ(doc.serialize(), "");
  EXPECT_EQ(programSectionName(0), "program0");
  EXPECT_EQ(programSectionName(9), "program9");
}

TEST(ProgramSection, RefusedSaveLeavesTheFileAsItWas) {
  TempDir dir;
  std::filesystem::create_directory(dir / "TolvaneGrain.ini");
  EXPECT_THROW(WriteProgramSection(dir / "TolvaneGrain.ini", 0, SorterSettings{}, MachineSettings{}),
               FileWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "TolvaneGrain.ini"));
}

TEST(MachineSettingsFile, ActiveProgramCalibrationPointsAndNames) {
  MachineSettings m;
  ReadMachineSettings(
      IniDocument::parse("[options]\r\nActiveProg=7\r\nEgecA1=100\r\nEgecBx4=x\r\n"
                         "ProgramName0=\xCF\xF8\xE5\xED\xE8\xF6\xE0\r\nProgramName8= Rye \r\n"),
      m);
  EXPECT_EQ(m.ActiveProg, 7);
  EXPECT_EQ(m.EgecA, (MachineSettings::CalibrationPoints{0, 100, 1250, 1875, 2500}));
  EXPECT_EQ(m.EgecBx, (MachineSettings::CalibrationPoints{0, 625, 1250, 1875, 2500}));
  EXPECT_EQ(m.ProgramName[0], "Пшеница");
  EXPECT_EQ(m.ProgramName[8], "Rye");
  EXPECT_EQ(m.ProgramName[4], "");

  for (const char* bad : {"10", "-1", "abc", "99999999999"}) {
    MachineSettings other;
    ReadMachineSettings(IniDocument::parse(std::string("[options]\r\nActiveProg=") + bad + "\r\n"), other);
    EXPECT_EQ(other.ActiveProg, 0) << bad;
  }
}

TEST(MachineSettingsFile, MachineStateAndNamesWriteBack) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  MachineSettings m;
  m.ActiveProg = 4;
  m.EgecA = {1, 2, 3, 4, 5};
  m.EgecAx = {6, 7, 8, 9, 10};
  m.EgecB = {11, 12, 13, 14, 15};
  m.EgecBx = {16, 17, 18, 19, 20};
  m.ProgramName[3] = "Горох";
  writeMachineState(file, m);
  writeProgramNames(file, m);
  MachineSettings back;
  ReadMachineSettings(file, back);
  EXPECT_EQ(back.ActiveProg, 4);
  EXPECT_EQ(back.EgecA, m.EgecA);
  EXPECT_EQ(back.EgecAx, m.EgecAx);
  EXPECT_EQ(back.EgecB, m.EgecB);
  EXPECT_EQ(back.EgecBx, m.EgecBx);
  EXPECT_EQ(back.ProgramName, m.ProgramName);
  const std::vector<std::string> keys = IniDocument::load(file).keyNames("options");
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(keys[0], "ActiveProg");
  EXPECT_EQ(keys[1], "EgecA0");
  EXPECT_EQ(keys[2], "EgecAx0");
}

TEST(MachineSettingsFile, ANameTheFileCannotHoldCostsNoOtherName) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  MachineSettings m;
  m.ProgramName = {"Пшеница", "Овёс", "Рис", "Горох", "Соя", "Лён", "Ячмень", "Просо", "Гречка"};
  writeProgramNames(file, m);
  m.ProgramName[1] = "Oats \xE2\x9C\x93";  // a check mark: no Windows-1251 byte
  m.ProgramName[2] = "Рис 2";
  EXPECT_EQ(writeProgramNames(file, m), std::vector<int>{1});
  MachineSettings back;
  ReadMachineSettings(file, back);
  EXPECT_EQ(back.ProgramName[1], "Овёс");  // the last name the file could hold
  EXPECT_EQ(back.ProgramName[2], "Рис 2");
  EXPECT_EQ(back.ProgramName[8], "Гречка");
}

TEST(MachineId, TakenFromTheLastPathLine) {
  EXPECT_EQ(readMachineId("[options]\r\npath=\"A17\"\r\nx=1\r\npath=\"B42\"\r\n", "000"), "B42");
  EXPECT_EQ(readMachineId("path=nothing quoted\r\n", "000"), "");
  EXPECT_EQ(readMachineId("Path=\"A17\"\r\n PATH=\"x\"\r\n", "000"), "000");
  EXPECT_EQ(readMachineId("path=\"open to the end \r\n", "000"), "open to the end ");
  EXPECT_EQ(readMachineId("pathway \"q1\" and \"q2\"\n", "000"), "q1");
  EXPECT_EQ(readMachineId("path=\"\xCC-1\"", "000"), "М-1");
  EXPECT_EQ(readMachineId("", "000"), "000");
}

TEST(MachineId, ReadWithTheMachineSettingsAndNotAKey) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\npath=\"77-3\"\r\nActiveProg=2\r\n");
  MachineSettings m;
  ReadMachineSettings(file, m);
  EXPECT_EQ(m.MachineId, "77-3");
  EXPECT_EQ(m.ActiveProg, 2);
  // Writes never touch the identifier line.
  writeMachineState(file, m);
  EXPECT_EQ(readBytes(file).substr(0, 30), "[options]\r\npath=\"77-3\"\r\nActive");
}

TEST(KeyRanges, AreAvailableAsData) {
  ASSERT_NE(programKeyRange("FonMin"), nullptr);
  EXPECT_EQ(programKeyRange("C2P2Max")->max, 255);
  EXPECT_EQ(programKeyRange("ifMassa")->min, 1);
  EXPECT_EQ(programKeyRange("ifMassa")->max, 999);
  EXPECT_EQ(programKeyRange("ifP1")->min, 0);
  EXPECT_EQ(programKeyRange("ifLength")->max, 200);
  EXPECT_EQ(programKeyRange("ifWeight")->max, 100);
  EXPECT_EQ(programKeyRange("ifFast")->max, 50);
  EXPECT_EQ(programKeyRange("reg_ParamBox2right")->max, 360);
  EXPECT_EQ(programKeyRange("Regulator")->max, 100);
  EXPECT_EQ(programKeyRange("reg_ParamBox1"), nullptr);
  EXPECT_EQ(programKeyRange("enFast"), nullptr);
  EXPECT_EQ(programKeyRange("nonsense"), nullptr);
  ASSERT_NE(machineKeyRange("Time"), nullptr);
  EXPECT_EQ(machineKeyRange("Time")->min, 1);
  EXPECT_EQ(machineKeyRange("Time")->max, 300);
  EXPECT_EQ(machineKeyRange("MaxTime")->min, 80);
  EXPECT_EQ(machineKeyRange("MaxObject")->min, 10);
  EXPECT_EQ(machineKeyRange("Delay")->max, 999);
  EXPECT_EQ(machineKeyRange("MinVes")->max, 600);
  EXPECT_EQ(machineKeyRange("EGB_Max")->max, 48);
  EXPECT_EQ(machineKeyRange("BlackFon")->max, 255);
  EXPECT_EQ(machineKeyRange("ProgramName0"), nullptr);
}

TEST(KeyTable, EveryFieldHasOneKeyAndDefaultsMatchTheRecord) {
  const SorterSettings defaults;
  std::vector<std::string> seen;
  for (const ProgramKey& k : programKeys()) {
    for (const std::string& other : seen) EXPECT_NE(other, k.key);
    seen.push_back(k.key);
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt:
      case ProgramKey::Kind::kInt:
        EXPECT_EQ(programInt(defaults, k), k.defaultValue) << k.key;
        break;
      case ProgramKey::Kind::kBool:
        EXPECT_EQ(defaults.*k.flag, k.defaultValue != 0) << k.key;
        break;
      case ProgramKey::Kind::kString:
        EXPECT_EQ(defaults.*k.text, k.defaultText) << k.key;
        break;
    }
  }
  // 16 range keys, 9 thresholds, ifAND, 12 enables, 8 directions, 2 types, 2 template values,
  // 3 channels, BrightMode, 2 cameras, 3 regulator rows, 6 list choices, 6 bounds, Regulator.
  EXPECT_EQ(programKeys().size(), 72u);
}

}  // namespace
}  // namespace tolvane
