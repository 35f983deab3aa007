#pragma once

#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvane::tool {

// Thrown by a command for bad arguments; the tool prints the message on one line and exits with 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ToolIo {
  std::ostream& out;
  std::ostream& err;
};

// A command gets the words after its name and returns the exit code (0 success, 1 "no answer").
using ToolHandler = std::function<int(const std::vector<std::string>& args, ToolIo& io)>;

struct ToolCommand {
  std::string name;   // first word on the command line, e.g. "ini" or "day-number"
  std::string usage;  // one line for --help, e.g. "ini get FILE SECTION KEY"
  ToolHandler handler;
};

std::vector<ToolCommand>& toolCommands();

// Runs the tool as main() would; kept apart from main() so that tests can call it.
int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Number parsing for arguments; throws UsageError naming the argument.
long long parseIntArgument(const std::string& text, const std::string& what);
// A finite number, the whole text.
double parseNumberArgument(const std::string& text, const std::string& what);

struct ToolRegistrar {
  ToolRegistrar(std::string name, std::string usage, ToolHandler handler);
};

}  // namespace tolvane::tool

#define TOLVANE_TOOL_CONCAT_INNER(a, b) a##b
#define TOLVANE_TOOL_CONCAT(a, b) TOLVANE_TOOL_CONCAT_INNER(a, b)
// Registers a subcommand from a tools/cmd_*.cpp file.
#define TOLVANE_TOOL_COMMAND(name, usage, handler)                                                       \
  static const ::tolvane::tool::ToolRegistrar TOLVANE_TOOL_CONCAT(toolRegistrar_, __LINE__)(name, usage, \
                                                                                            handler)
