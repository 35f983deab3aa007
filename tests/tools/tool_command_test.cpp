#include "tools/tool_command.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tolvane::tool {
namespace {

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

ToolRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(ToolCommand, HelpListsEveryRegisteredCommand) {
  ToolRun r = run({"--help"});
  EXPECT_EQ(r.code, 0);
  for (const ToolCommand& command : toolCommands()) {
    EXPECT_NE(r.out.find(command.usage), std::string::npos) << command.name;
  }
}

TEST(ToolCommand, UnknownOrMissingCommandIsBadArguments) {
  ToolRun none = run({});
  EXPECT_EQ(none.code, 2);
  EXPECT_FALSE(none.err.empty());
  ToolRun unknown = run({"no-such-command"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_NE(unknown.err.find("no-such-command"), std::string::npos);
  EXPECT_EQ(unknown.err.find('\n'), unknown.err.size() - 1) << "one line only";
}

TEST(ToolCommand, IntegerArgumentsAreStrict) {
  EXPECT_EQ(parseIntArgument("-42", "N"), -42);
  EXPECT_THROW(parseIntArgument("", "N"), UsageError);
  EXPECT_THROW(parseIntArgument("12x", "N"), UsageError);
  EXPECT_THROW(parseIntArgument("x", "N"), UsageError);
}

}  // namespace
}  // namespace tolvane::tool
