// The three update paths without the exchange: the server update into a machine folder, the media
// update and the rollback prepared as "TolvaneGrain_" (which the program starts; this tool never does).

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "service/self_update_completion.h"
#include "service/service_links.h"
#include "service/update_download.h"
#include "service/update_install.h"
#include "service/update_media.h"
#include "settings/atomic_file.h"
#include "settings/settings_file.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUpdateUsage =
    "update download FOLDER | update media FOLDER [--yes] [--mounts FILE] [--block-root DIR] | "
    "update rollback FOLDER   server update into FOLDER (exit 0 when a program file came), media "
    "update (without --yes only lists), rollback point to TolvaneGrain_; nothing is started";

fs::path machineFolder(const std::string& argument) {
  std::error_code error;
  if (!fs::is_directory(argument, error)) throw UsageError("not a folder: " + argument);
  return argument;
}

// The outcome line of a prepared exchange.
int reportExchange(const CopyResult& copy, ToolIo& io) {
  if (!copy.ok) {
    io.out << fileErrorText(kUpdateFileName) << '\n';
    io.err << "tolvane-tool update: " << copy.error << '\n';
    return 1;
  }
  io.out << fileOkText(kUpdateFileName) << '\n';
  return 0;
}

int download(const fs::path& folder, ToolIo& io) {
  std::string error;
  const ServiceLinks links = readServiceLinks(folder / "TolvaneGrain.platform", error);
  if (!error.empty()) {
    io.err << "tolvane-tool update: " << error << '\n';
    return 1;
  }
  const FileContents settings = readWholeFile(folder / kSettingsDownloadName);
  UpdateRequest request;
  request.server = links.updateServer;
  request.machineId =
      readMachineId(settings.status == ReadStatus::kOk ? settings.bytes : std::string{}, "000");
  request.folder = folder;
  request.caFile = links.caFile;
  // The server sees the program's agent, as when the machine asks.
  request.userAgent = std::string(kProgramFileName);
  UpdateEvents events;
  events.status = [&io](const std::string& text) { io.out << text << std::endl; };
  const UpdateDownloadResult result = downloadUpdate(request, events);
  for (const FetchResult* r : {&result.program, &result.settings}) {
    if (!r->error.empty()) io.err << "tolvane-tool update: " << r->error << '\n';
  }
  return result.programReceived ? 0 : 1;
}

int media(const fs::path& folder, const std::vector<std::string>& args, ToolIo& io) {
  bool yes = false;
  fs::path mounts(kMountTable);
  fs::path blockRoot(kBlockDevices);
  for (std::size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--yes") {
      yes = true;
    } else if (args[i] == "--mounts" && i + 1 < args.size()) {
      mounts = args[++i];
    } else if (args[i] == "--block-root" && i + 1 < args.size()) {
      blockRoot = args[++i];
    } else {
      throw UsageError(std::string("usage: ") + kUpdateUsage);
    }
  }
  const std::vector<MediaUpdate> found = findMediaUpdates(mounts, blockRoot);
  if (found.empty()) {
    io.out << kNoMediaUpdateText << '\n';
    return 1;
  }
  if (!yes) {
    for (const MediaUpdate& medium : found) io.out << medium.file.string() << '\n';
    return 0;
  }
  // As the operator answering Yes to the first question.
  io.out << found.front().file.string() << '\n';
  return reportExchange(prepareExchange(folder, found.front().file, {}), io);
}

int rollback(const fs::path& folder, ToolIo& io) {
  if (!rollbackPointPresent(folder)) {
    io.out << kNoRollbackText << '\n';
    return 1;
  }
  return reportExchange(prepareExchange(folder, rollbackFile(folder), {}), io);
}

int updateCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() == 2 && args[0] == "download") return download(machineFolder(args[1]), io);
  if (args.size() >= 2 && args[0] == "media") return media(machineFolder(args[1]), args, io);
  if (args.size() == 2 && args[0] == "rollback") return rollback(machineFolder(args[1]), io);
  throw UsageError(std::string("usage: ") + kUpdateUsage);
}

TOLVANE_TOOL_COMMAND("update", kUpdateUsage, updateCommand);

}  // namespace
}  // namespace tolvane::tool
