#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>

namespace tolvane {

// Binary side files beside the program file: exact images of fixed-size tables, no header.
enum class SideFile { kSamples, kStat, kShots };

inline constexpr size_t kSamplesFileSize = 655200;  // SampleTable: 21 records of 31200 bytes
inline constexpr size_t kStatFileSize = 297840;     // DailyStats: 365 days of 816 bytes
inline constexpr size_t kShotsFileSize = 256;       // ShotsPerOutput

size_t sideFileSize(SideFile file);

// Fixed names in the folder of the program file, whatever the program file is called: the program file
// "/opt/m/TolvaneGrain" (or "/opt/m/TolvaneGrain_" during an update hand-over) gives
// "/opt/m/TolvaneGrain.ini", "/opt/m/TolvaneGrain.samples" and so on.
std::filesystem::path settingsFilePath(const std::filesystem::path& programFile);
std::filesystem::path sideFilePath(const std::filesystem::path& programFile, SideFile file);
// The settings file as it was before the last factory reset: "<folder>/TolvaneGrainINI.bak".
std::filesystem::path settingsBackupPath(const std::filesystem::path& programFile);

// Reads the file whole into table: a missing or unreadable file leaves table untouched and gives
// nullopt; a shorter file fills the beginning; bytes beyond table.size() are ignored. Returns the
// number of bytes placed.
std::optional<size_t> readSideFile(const std::filesystem::path& path, std::span<std::byte> table);

// Replaces the file with the whole table, atomically. Never throws; false when it could not be written.
bool writeSideFile(const std::filesystem::path& path, std::span<const std::byte> table) noexcept;

// The tables of the three side files; an empty span skips that file.
struct SideFileTables {
  std::span<const std::byte> samples;
  std::span<const std::byte> stat;
  std::span<const std::byte> shots;
};

// Which writes succeeded; a skipped file counts as written.
struct SideFileWriteStatus {
  bool samples = true;
  bool stat = true;
  bool shots = true;
  bool allWritten() const { return samples && stat && shots; }
};

// Writes each given table to its file beside programFile; one failure does not stop the others.
// A table whose size differs from its file's size is not written and reported as failed.
SideFileWriteStatus writeSideFiles(const std::filesystem::path& programFile,
                                   const SideFileTables& tables) noexcept;

}  // namespace tolvane
