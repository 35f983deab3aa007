#include "ejection/stop_side_files.h"

#include "settings/side_files.h"

namespace tolvane {

namespace {

bool writeOne(const std::filesystem::path& programFile, SideFile file,
              std::span<const std::byte> table) noexcept {
  if (table.size() != sideFileSize(file)) return false;
  try {
    return writeSideFile(sideFilePath(programFile, file), table);
  } catch (...) {
    return false;  // building the path may fail on allocation; write errors stay silent as always
  }
}

}  // namespace

StopSideFilesStatus writeStopSideFiles(const std::filesystem::path& programFile,
                                       std::span<const std::byte> shots,
                                       std::span<const std::byte> stat) noexcept {
  StopSideFilesStatus status;
  status.shots = writeOne(programFile, SideFile::kShots, shots);
  status.stat = writeOne(programFile, SideFile::kStat, stat);
  return status;
}

}  // namespace tolvane
