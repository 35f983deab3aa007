#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

struct ZonesRun {
  int code;
  std::string out;
  std::string err;
};

ZonesRun run(const std::vector<std::string>& args) {
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

class CmdZones : public ::testing::Test {
 protected:
  CmdZones()
      : dir_(std::filesystem::temp_directory_path() / ("cmd_zones_test_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
  }
  ~CmdZones() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string writeIni(const std::string& text) {
    const std::filesystem::path p = dir_ / "TolvaneGrain.ini";
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  std::filesystem::path dir_;
};

TEST_F(CmdZones, FactoryCalibrationPoints) {
  const std::string ini = writeIni(
      "[options]\r\nActiveProg=0\r\n"
      "EgecA0=120\r\nEgecAx0=554\r\nEgecB0=120\r\nEgecBx0=554\r\n"
      "EgecA1=554\r\nEgecAx1=1025\r\nEgecB1=553\r\nEgecBx1=1025\r\n"
      "EgecA2=1026\r\nEgecAx2=1489\r\nEgecB2=1026\r\nEgecBx2=1488\r\n"
      "EgecA3=1489\r\nEgecAx3=1926\r\nEgecB3=1488\r\nEgecBx3=1925\r\n"
      "EgecA4=1581\r\nEgecAx4=1867\r\nEgecB4=1579\r\nEgecBx4=1867\r\n");
  const ZonesRun r = run({"zones", ini});
  EXPECT_EQ(r.code, 0) << r.err;
  const std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 48u);
  EXPECT_EQ(out[0], "1 120 156 120 156");
  EXPECT_EQ(out[12], "13 554 593 553 592");
  EXPECT_EQ(out[47], "48 1890 1926 1889 1925");
}

TEST_F(CmdZones, MissingKeysGiveTheDefaultPointsAndEmptyZones) {
  const std::string ini = writeIni("[options]\r\nEgecA0=0\r\nEgecAx0=600\r\n");
  const std::vector<std::string> out = lines(run({"zones", ini}).out);
  ASSERT_EQ(out.size(), 48u);
  EXPECT_EQ(out[0], "1 0 50 0 0");
  EXPECT_EQ(out[11], "12 550 600 0 0");
  EXPECT_EQ(out[12], "13 625 625 625 625");
  EXPECT_EQ(out[47], "48 1875 1875 1875 1875");
}

TEST_F(CmdZones, MissingFileIsNoAnswerAndBadArgumentsExitTwo) {
  const ZonesRun missing = run({"zones", (dir_ / "none.ini").string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("none.ini"), std::string::npos);
  EXPECT_EQ(run({"zones", dir_.string()}).code, 1);  // a folder, not a file

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"zones"}, {"zones", "a.ini", "b"}}) {
    const ZonesRun r = run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
  }
}

}  // namespace
}  // namespace tolvane::tool
