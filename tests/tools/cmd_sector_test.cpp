#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

struct SectorRun {
  int code;
  std::string out;
  std::string err;
};

SectorRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(CmdSector, ParsePrintsEveryField) {
  const SectorRun r =
      run({"sector", "parse",
           "##ID=\"7\" ##TYPE=\"-1\" ##HMIN=\"300\" ##HMAX=\"20\" ##SMIN=\"5\" ##SMAX=\"250\" "
           "##VMIN=\"026\" ##VMAX=\"255\" ##ACTIVE=\"TRUE\""});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "ID=7\nType=-1\nHMIN=300\nHMAX=20\nSMIN=5\nSMAX=250\nVMIN=26\nVMAX=255\nActive=true\n");
  const SectorRun lower = run({"sector", "parse",
                               "##id=\"1\" ##type=\"2\" ##hmin=\"0\" ##hmax=\"1\" ##smin=\"2\" ##smax=\"3\" "
                               "##vmin=\"4\" ##vmax=\"5\" ##active=\"true\""});
  EXPECT_EQ(lower.code, 0);
  EXPECT_NE(lower.out.find("Active=false\n"), std::string::npos);
  EXPECT_NE(lower.out.find("VMAX=5\n"), std::string::npos);
}

TEST(CmdSector, LinesThatDoNotParseAndBadArgumentsExitTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"sector", "parse", ""},
                                             {"sector", "parse", "##ID=\"7\" ##TYPE=\"x\""},
                                             {"sector", "parse"},
                                             {"sector", "format", "x"},
                                             {"sector"}}) {
    const SectorRun r = run(args);
    EXPECT_EQ(r.code, 2) << args.size();
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
  }
  EXPECT_NE(run({"sector", "parse", "##ID=\"7\" ##TYPE=\"x\""}).err.find("##TYPE is not a number"),
            std::string::npos);
}

}  // namespace
}  // namespace tolvane::tool
