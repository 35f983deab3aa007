#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "settings/factory_settings.h"
#include "tests/settings/settings_test_util.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

using test::TempDir;
using test::writeBytes;

struct SettingsRun {
  int code;
  std::string out;
  std::string err;
};

SettingsRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

bool hasLine(const std::vector<std::string>& all, const std::string& line) {
  return std::find(all.begin(), all.end(), line) != all.end();
}

TEST(SettingsTool, FactoryIniIsTheCarriedFileByteForByte) {
  const SettingsRun r = run({"factory-ini"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, std::string(factorySettingsFile()));
  EXPECT_EQ(run({"factory-ini", "extra"}).code, 2);
}

TEST(SettingsTool, DumpShowsTheActiveProgramAsLoaded) {
  TempDir dir;
  const std::string file = (dir / "TolvaneGrain.ini").string();
  writeBytes(file,
             "[options]\r\nActiveProg=2\r\nTimeLabel_Caption=12.7\r\npath=\"K-9\"\r\n"
             "[program2]\r\nFonMin=17\r\nC2FonMin=18\r\nOCR=1\r\nOCB=1\r\nSectorCounts=1\r\nSector0=##ID=\"0\"\r\n"
             "[program5]\r\nFonMin=55\r\n");
  const SettingsRun r = run({"settings", "dump", file});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto out = lines(r.out);
  EXPECT_EQ(out.front(), "ActiveProg=2");
  EXPECT_TRUE(hasLine(out, "Time=12"));
  EXPECT_TRUE(hasLine(out, "MachineId=K-9"));
  EXPECT_TRUE(hasLine(out, "EgecAx[4]=2500"));
  EXPECT_TRUE(hasLine(out, "FonMin[0]=17"));
  EXPECT_TRUE(hasLine(out, "FonMin[1]=18"));
  EXPECT_TRUE(hasLine(out, "SingleChannel=3"));
  EXPECT_TRUE(hasLine(out, "Sectors[0][0]=##ID=\"0\""));
  EXPECT_TRUE(hasLine(out, "Regulator=50"));
  // Keys in the order of the file: camera 1 ranges, then camera 2, then the thresholds.
  const auto at = [&out](const std::string& line) { return std::find(out.begin(), out.end(), line) - out.begin(); };
  EXPECT_LT(at("FonMin[0]=17"), at("P2Max[0]=200"));
  EXPECT_LT(at("P2Max[0]=200"), at("FonMin[1]=18"));
  EXPECT_LT(at("FonMin[1]=18"), at("ifMassa=20"));

  const SettingsRun other = run({"settings", "dump", file, "5"});
  EXPECT_TRUE(hasLine(lines(other.out), "FonMin[0]=55"));
}

TEST(SettingsTool, MissingFileShowsDefaultsAndBadArgumentsAreRefused) {
  TempDir dir;
  const SettingsRun r = run({"settings", "dump", (dir / "none.ini").string()});
  EXPECT_EQ(r.code, 0);
  EXPECT_FALSE(r.err.empty());
  EXPECT_TRUE(hasLine(lines(r.out), "FonMax[1]=255"));
  EXPECT_TRUE(hasLine(lines(r.out), "MachineId=000"));
  EXPECT_EQ(run({"settings", "dump", (dir / "none.ini").string(), "10"}).code, 2);
  EXPECT_EQ(run({"settings", "dump", (dir / "none.ini").string(), "x"}).code, 2);
  EXPECT_EQ(run({"settings", "show", "f"}).code, 2);
  EXPECT_EQ(run({"settings", "dump", dir.path().string()}).code, 1);
}

}  // namespace
}  // namespace tolvane::tool
