#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

struct TextRun {
  int code;
  std::string out;
  std::string err;
};

TextRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

void expectUsageError(const std::vector<std::string>& args) {
  const TextRun r = run(args);
  EXPECT_EQ(r.code, 2) << args[0];
  EXPECT_EQ(r.out, "");
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
}

TEST(CmdText, DayNumberAndDateText) {
  EXPECT_EQ(run({"day-number", "2023-12-31"}).out, "366\n");
  EXPECT_EQ(run({"day-number", "2023-03-01"}).out, "61\n");
  EXPECT_EQ(run({"day-number", "2024-02-29"}).out, "60\n");
  const TextRun text = run({"date-text", "2012-01-05"});
  EXPECT_EQ(text.code, 0);
  EXPECT_EQ(text.out, "05.01.2012\n");
}

TEST(CmdText, BadDatesAreUsageErrors) {
  expectUsageError({"day-number", "2023-02-29"});
  expectUsageError({"day-number", "2023-13-01"});
  expectUsageError({"day-number", "2023-1-01"});
  expectUsageError({"day-number", "2023/01/01"});
  expectUsageError({"day-number", "2023-0a-01"});
  expectUsageError({"date-text", "2023-04-31"});
  expectUsageError({"date-text"});
  expectUsageError({"date-text", "2023-04-01", "extra"});
}

TEST(CmdText, UpperBytesAsHex) {
  // "tolvanegrain_.exe"
  const TextRun name = run({"upper", "746f6c76616e65677261696e5f2e657865"});
  EXPECT_EQ(name.code, 0);
  EXPECT_EQ(name.out, "544f4c56414e45475241494e5f2e455845\n");
  EXPECT_EQ(run({"upper", "E0FFb8"}).out, "c0dfb8\n");           // а я ё in Windows-1251
  EXPECT_EQ(run({"upper", "--dos", "a0e0f1"}).out, "8090f0\n");  // а р ё in DOS 866
  EXPECT_EQ(run({"upper", ""}).out, "\n");
  expectUsageError({"upper", "abc"});
  expectUsageError({"upper", "zz"});
  expectUsageError({"upper", "--dos"});
  expectUsageError({"upper"});
}

TEST(CmdText, QuotedGetAndSet) {
  const std::string line = "##ID=\"7\" ##TYPE=\"1\" ##VMIN=\"10\" ##VMAX=\"250\"";
  EXPECT_EQ(run({"quoted", "get", "id", line}).out, "7\n");
  const TextRun set = run({"quoted", "set", "##VMIN", line, "25"});
  EXPECT_EQ(set.code, 0);
  EXPECT_EQ(set.out, "##ID=\"7\" ##TYPE=\"1\" ##VMIN=\"25\" ##VMAX=\"250\"\n");
  const TextRun missing = run({"quoted", "get", "##HMIN", line});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(run({"quoted", "set", "##ID", "##ID=7", "3"}).code, 1);
  expectUsageError({"quoted", "get", "##ID"});
  expectUsageError({"quoted", "put", "##ID", line});
  expectUsageError({"quoted"});
}

TEST(CmdText, Val) {
  EXPECT_EQ(run({"val", "12ab"}).out, "12\n");
  EXPECT_EQ(run({"val", ""}).out, "0\n");
  EXPECT_EQ(run({"val", " $1F"}).out, "31\n");
  expectUsageError({"val"});
}

}  // namespace
}  // namespace tolvane::tool
