#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/settings/settings_test_util.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

struct IniRun {
  int code;
  std::string out;
  std::string err;
};

IniRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(IniTool, GetPrintsTheTrimmedValueOrAnswersOneWhenMissing) {
  TempDir dir;
  const std::string file = (dir / "TolvaneGrain.ini").string();
  writeBytes(file, "[options]\r\nActiveProg = 4 \r\nProgramName0=\xCF\xF8\xE5\xED\xE8\xF6\xE0\r\npath=\"M1\"\r\n");
  EXPECT_EQ(run({"ini", "get", file, "OPTIONS", "activeprog"}).out, "4\n");
  EXPECT_EQ(run({"ini", "get", file, "options", "ProgramName0"}).out, "Пшеница\n");
  const IniRun missing = run({"ini", "get", file, "options", "Nothing"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(run({"ini", "get", file, "options", "path"}).code, 1);
  EXPECT_EQ(run({"ini", "get", (dir / "none.ini").string(), "options", "ActiveProg"}).code, 1);
}

TEST(IniTool, SetWritesInPlaceAndCreatesTheFile) {
  TempDir dir;
  const std::string file = (dir / "TolvaneGrain.ini").string();
  EXPECT_EQ(run({"ini", "set", file, "program3", "FonMin", "180"}).code, 0);
  EXPECT_EQ(readBytes(file), "[program3]\r\nFonMin=180\r\n");
  EXPECT_EQ(run({"ini", "set", file, "PROGRAM3", "fonmin", "Рожь"}).code, 0);
  EXPECT_EQ(readBytes(file), "[program3]\r\nFonMin=\xD0\xEE\xE6\xFC\r\n");
  EXPECT_EQ(run({"ini", "get", file, "program3", "FonMin"}).out, "Рожь\n");
}

TEST(IniTool, BadArgumentsAndRefusedWrites) {
  TempDir dir;
  const std::string file = (dir / "TolvaneGrain.ini").string();
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"ini"}, {"ini", "get", file, "options"}, {"ini", "put", file, "a", "b", "c"},
                                             {"ini", "set", file, "options", "a=b", "1"}}) {
    const IniRun r = run(args);
    EXPECT_EQ(r.code, 2) << args.size();
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(file));

  const std::string unwritable = (dir / "no-folder" / "x.ini").string();
  const IniRun refused = run({"ini", "set", unwritable, "options", "ActiveProg", "1"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("Unable to write to " + unwritable), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace tolvane::tool
