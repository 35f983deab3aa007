// Single keys of a settings file, read and written with the same rules as the program uses.

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/ini_file.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kIniUsage =
    "ini get FILE SECTION KEY | ini set FILE SECTION KEY VALUE   one key of a settings file";

int iniCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() == 4 && args[0] == "get") {
    const IniDocument doc = IniDocument::load(args[1]);
    if (doc.loadedFromUnreadable()) {
      io.err << "tolvane-tool ini: cannot read " << args[1] << '\n';
      return 1;
    }
    const auto value = doc.find(args[2], args[3]);
    if (!value) return 1;
    io.out << *value << '\n';
    return 0;
  }
  if (args.size() == 5 && args[0] == "set") {
    IniDocument doc = IniDocument::load(args[1]);
    try {
      doc.writeString(args[2], args[3], args[4]);
    } catch (const std::invalid_argument& e) {
      throw UsageError(e.what());
    }
    doc.save(args[1]);  // FileWriteError: "Unable to write to FILE", exit 1
    return 0;
  }
  throw UsageError(std::string("usage: ") + kIniUsage);
}

TOLVANE_TOOL_COMMAND("ini", kIniUsage, iniCommand);

}  // namespace
}  // namespace tolvane::tool
