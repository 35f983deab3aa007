#include "ejection/stop_side_files.h"

#include "settings/side_files.h"

namespace tolvane {

StopSideFilesStatus writeStopSideFiles(const std::filesystem::path& programFile, std::span<const std::byte> shots,
                                       std::span<const std::byte> stat) noexcept {
  StopSideFilesStatus status;
  try {
    status.shots = shots.size() == kShotsFileSize &&
                   writeSideFile(sideFilePath(programFile, SideFile::kShots), shots);
    status.stat = stat.size() == kStatFileSize && writeSideFile(sideFilePath(programFile, SideFile::kStat), stat);
  } catch (...) {
    // Path building may throw on allocation; the write errors stay silent as always.
  }
  return status;
}

}  // namespace tolvane
