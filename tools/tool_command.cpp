#include "tools/tool_command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ostream>

namespace tolvane::tool {

std::vector<ToolCommand>& toolCommands() {
  static std::vector<ToolCommand> commands;
  return commands;
}

ToolRegistrar::ToolRegistrar(std::string name, std::string usage, ToolHandler handler) {
  toolCommands().push_back({std::move(name), std::move(usage), std::move(handler)});
}

long long parseIntArgument(const std::string& text, const std::string& what) {
  long long value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (text.empty() || ec != std::errc() || ptr != last) {
    throw UsageError(what + " must be an integer, got \"" + text + "\"");
  }
  return value;
}

double parseNumberArgument(const std::string& text, const std::string& what) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (text.empty() || used != text.size() || !std::isfinite(value))
    throw UsageError(what + " must be a number, got \"" + text + "\"");
  return value;
}

namespace {

void printHelp(std::ostream& out) {
  std::vector<ToolCommand> sorted = toolCommands();
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const ToolCommand& a, const ToolCommand& b) { return a.name < b.name; });
  out << "tolvane-tool: engineer's tool for the TolvaneGrain sorter core\n";
  out << "usage: tolvane-tool COMMAND [ARGS...]\n";
  out << "exit status: 0 answered, 1 no answer (e.g. key missing), 2 bad arguments\n";
  out << "commands:\n";
  for (const ToolCommand& command : sorted) {
    out << "  " << command.usage << '\n';
  }
}

}  // namespace

int runTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "tolvane-tool: no command given; try --help\n";
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printHelp(out);
    return 0;
  }
  bool nameKnown = false;
  for (const ToolCommand& command : toolCommands()) {
    if (command.name != args[0]) {
      continue;
    }
    nameKnown = true;
    ToolIo io{out, err};
    try {
      return command.handler(std::vector<std::string>(args.begin() + 1, args.end()), io);
    } catch (const UsageError& e) {
      err << "tolvane-tool " << args[0] << ": " << e.what() << '\n';
      return 2;
    } catch (const std::exception& e) {
      err << "tolvane-tool " << args[0] << ": " << e.what() << '\n';
      return 1;
    }
  }
  if (!nameKnown) {
    err << "tolvane-tool: unknown command \"" << args[0] << "\"; try --help\n";
  }
  return 2;
}

}  // namespace tolvane::tool
