#pragma once

#include <cstddef>
#include <filesystem>
#include <span>

namespace tolvane {

// Which of the two files the stop action wrote.
struct StopSideFilesStatus {
  bool shots = false;
  bool stat = false;
};

// The stop action's files beside programFile: ".shots" from shots (256 bytes), then ".stat" from stat
// (297840 bytes), each replaced crash-safely and each tried even when the other failed. Never throws.
StopSideFilesStatus writeStopSideFiles(const std::filesystem::path& programFile,
                                       std::span<const std::byte> shots,
                                       std::span<const std::byte> stat) noexcept;

}  // namespace tolvane
