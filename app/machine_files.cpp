#include "app/machine_files.h"

#include "settings/side_files.h"

namespace tolvane {

namespace {

SideFile sideFileOf(MachineSideFile file) {
  switch (file) {
    case MachineSideFile::kSamples:
      return SideFile::kSamples;
    case MachineSideFile::kStat:
      return SideFile::kStat;
    case MachineSideFile::kShots:
      break;
  }
  return SideFile::kShots;
}

}  // namespace

std::filesystem::path machineSettingsFile(const std::filesystem::path& programFile) {
  return settingsFilePath(programFile);
}

std::filesystem::path machineSideFile(const std::filesystem::path& programFile, MachineSideFile file) {
  return sideFilePath(programFile, sideFileOf(file));
}

std::optional<std::size_t> readMachineSideFile(const std::filesystem::path& programFile, MachineSideFile file,
                                               std::span<std::byte> table) {
  return readSideFile(machineSideFile(programFile, file), table);
}

MachineSideFilesWritten writeMachineSideFiles(const std::filesystem::path& programFile,
                                              std::span<const std::byte> samples,
                                              std::span<const std::byte> stat,
                                              std::span<const std::byte> shots) noexcept {
  const SideFileWriteStatus status =
      writeSideFiles(programFile, SideFileTables{.samples = samples, .stat = stat, .shots = shots});
  return MachineSideFilesWritten{.samples = status.samples, .stat = status.stat, .shots = status.shots};
}

}  // namespace tolvane
