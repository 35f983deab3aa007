#include "settings/side_files.h"

#include "settings/atomic_file.h"

namespace tolvane {
namespace {

// The machine's files keep these names whatever the running program file is called: the update
// hand-over runs as "TolvaneGrain_" and must find the same settings, samples and counts.
std::filesystem::path inProgramFolder(const std::filesystem::path& programFile, const char* name) {
  return programFile.parent_path() / name;
}

bool writeTable(const std::filesystem::path& programFile, SideFile file,
                std::span<const std::byte> table) noexcept {
  if (table.empty()) return true;
  if (table.size() != sideFileSize(file)) return false;
  try {
    return writeSideFile(sideFilePath(programFile, file), table);
  } catch (...) {
    return false;
  }
}

}  // namespace

size_t sideFileSize(SideFile file) {
  switch (file) {
    case SideFile::kSamples:
      return kSamplesFileSize;
    case SideFile::kStat:
      return kStatFileSize;
    case SideFile::kShots:
      return kShotsFileSize;
  }
  return 0;
}

std::filesystem::path settingsFilePath(const std::filesystem::path& programFile) {
  return inProgramFolder(programFile, "TolvaneGrain.ini");
}

std::filesystem::path sideFilePath(const std::filesystem::path& programFile, SideFile file) {
  switch (file) {
    case SideFile::kSamples:
      return inProgramFolder(programFile, "TolvaneGrain.samples");
    case SideFile::kStat:
      return inProgramFolder(programFile, "TolvaneGrain.stat");
    case SideFile::kShots:
      return inProgramFolder(programFile, "TolvaneGrain.shots");
  }
  return {};
}

std::filesystem::path settingsBackupPath(const std::filesystem::path& programFile) {
  return inProgramFolder(programFile, "TolvaneGrainINI.bak");
}

std::optional<size_t> readSideFile(const std::filesystem::path& path, std::span<std::byte> table) {
  return readFileInto(path, table);
}

bool writeSideFile(const std::filesystem::path& path, std::span<const std::byte> table) noexcept {
  try {
    writeFileAtomically(path, table);
    return true;
  } catch (...) {
    return false;
  }
}

SideFileWriteStatus writeSideFiles(const std::filesystem::path& programFile,
                                   const SideFileTables& tables) noexcept {
  SideFileWriteStatus status;
  status.samples = writeTable(programFile, SideFile::kSamples, tables.samples);
  status.stat = writeTable(programFile, SideFile::kStat, tables.stat);
  status.shots = writeTable(programFile, SideFile::kShots, tables.shots);
  return status;
}

}  // namespace tolvane
