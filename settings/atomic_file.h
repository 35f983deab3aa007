#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvane {

// A file that could not be written; the message is "Unable to write to <path>".
class FileWriteError : public std::runtime_error {
 public:
  explicit FileWriteError(const std::filesystem::path& path);
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Replaces path with bytes so that a crash or power cut leaves either the old or the new content:
// the bytes go to "<path>.tmp" in the same folder, are flushed to disk and renamed over path, then the
// folder is flushed. A symbolic link at path is followed, so the file it names is replaced. The
// permissions of an existing file are kept. Throws FileWriteError; path is then unchanged.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);
void writeFileAtomically(const std::filesystem::path& path, std::span<const std::byte> bytes);

// Outcome of reading a whole file.
enum class ReadStatus { kOk, kMissing, kUnreadable };

struct FileContents {
  ReadStatus status = ReadStatus::kMissing;
  std::string bytes;
};

// Reads a whole regular file. kMissing when nothing is at path; kUnreadable for anything else that
// stops the read (a folder, no permission, an I/O error).
FileContents readWholeFile(const std::filesystem::path& path);

// Reads at most buffer.size() bytes from the start of path into buffer; the rest of buffer is left
// as it was. Returns the number of bytes placed, or nullopt when the file is missing or unreadable
// (buffer then untouched).
std::optional<size_t> readFileInto(const std::filesystem::path& path, std::span<std::byte> buffer);

}  // namespace tolvane
