#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

struct ColorRun {
  int code;
  std::string out;
  std::string err;
};

ColorRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(CmdColor, Rgb2HsvPrintsOneLine) {
  EXPECT_EQ(run({"rgb2hsv", "255", "255", "0"}).out, "60 255 255\n");
  EXPECT_EQ(run({"rgb2hsv", "0", "255", "0"}).out, "120 255 255\n");
  EXPECT_EQ(run({"rgb2hsv", "10", "10", "10"}).out, "0 0 10\n");
  EXPECT_EQ(run({"rgb2hsv", "255", "0", "5"}).out, "359 255 255\n");
  EXPECT_EQ(run({"rgb2hsv", "0", "0", "0"}).code, 0);
}

TEST(CmdColor, Hsv2RgbPrintsOneLine) {
  EXPECT_EQ(run({"hsv2rgb", "0", "255", "255"}).out, "255 0 0\n");
  EXPECT_EQ(run({"hsv2rgb", "-1", "100", "77"}).out, "77 77 77\n");
  EXPECT_EQ(run({"hsv2rgb", "360", "255", "255"}).out, "255 0 254\n");
  EXPECT_EQ(run({"hsv2rgb", "60", "255", "255"}).out, "254 255 0\n");
}

TEST(CmdColor, BadArgumentsExitTwoWithOneLine) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"rgb2hsv"},
           {"rgb2hsv", "1", "2"},
           {"rgb2hsv", "1", "2", "3", "4"},
           {"rgb2hsv", "256", "0", "0"},
           {"rgb2hsv", "-1", "0", "0"},
           {"rgb2hsv", "red", "0", "0"},
           {"rgb2hsv", "1.5", "0", "0"},
           {"hsv2rgb", "0", "300", "0"},
           {"hsv2rgb", "0", "0", "-3"},
           {"hsv2rgb", "99999999999", "0", "0"},
           {"hsv2rgb", "x", "0", "0"},
       }) {
    const ColorRun r = run(args);
    EXPECT_EQ(r.code, 2) << args[0] << " " << args.size();
    EXPECT_TRUE(r.out.empty());
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
}

TEST(CmdColor, TheInstalledToolAnswersToo) {
  const std::string command = std::string(TOLVANE_BIN_DIR) + "/tolvane-tool rgb2hsv 0 0 255";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[64] = {};
  const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
  const int status = ::pclose(pipe);
  EXPECT_EQ(std::string(buffer, n), "240 255 255\n");
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace tolvane::tool
