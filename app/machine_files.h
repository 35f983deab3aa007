#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>

// The settings file and the side files of the machine, apart from the engine headers (whose
// sample-file constant shares its name with the settings one).
namespace tolvane {

enum class MachineSideFile { kSamples, kStat, kShots };

std::filesystem::path machineSettingsFile(const std::filesystem::path& programFile);
std::filesystem::path machineSideFile(const std::filesystem::path& programFile, MachineSideFile file);

// Reads the file into table: nullopt when missing or unreadable (table untouched), else the bytes placed.
std::optional<std::size_t> readMachineSideFile(const std::filesystem::path& programFile, MachineSideFile file,
                                               std::span<std::byte> table);

struct MachineSideFilesWritten {
  bool samples = false;
  bool stat = false;
  bool shots = false;
};

// Writes the three files, each on its own, crash-safely. Never throws.
MachineSideFilesWritten writeMachineSideFiles(const std::filesystem::path& programFile,
                                              std::span<const std::byte> samples,
                                              std::span<const std::byte> stat,
                                              std::span<const std::byte> shots) noexcept;

}  // namespace tolvane
