#include "settings/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tolvane {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the close succeeded (a late write error shows up here).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Follows a symbolic link so that the file it names is the one replaced.
std::filesystem::path targetOf(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
    auto resolved = std::filesystem::weakly_canonical(path, ec);
    if (!ec) return resolved;
  }
  return path;
}

void syncFolder(const std::filesystem::path& folder) {
  // Not every file system can flush a folder; the rename is done by then, so a failure is ignored.
  FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

}  // namespace

FileWriteError::FileWriteError(const std::filesystem::path& path)
    : std::runtime_error("Unable to write to " + path.string()), path_(path) {}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path target = targetOf(path);
  std::filesystem::path temp = target;
  temp += ".tmp";

  mode_t mode = 0666;
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed) {
    if (!S_ISREG(st.st_mode)) throw FileWriteError(path);
    mode = st.st_mode & 07777;
  }

  // A temporary file left by an interrupted save is stale; O_EXCL then refuses to follow a link there.
  ::unlink(temp.c_str());
  FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.valid()) throw FileWriteError(path);
  bool ok = writeAll(fd.get(), bytes.data(), bytes.size());
  if (ok && existed) ok = ::fchmod(fd.get(), mode) == 0;
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.close() && ok;
  if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw FileWriteError(path);
  }
  syncFolder(target.parent_path());
}

void writeFileAtomically(const std::filesystem::path& path, std::span<const std::byte> bytes) {
  writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

FileContents readWholeFile(const std::filesystem::path& path) {
  FileContents result;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    result.status = errno == ENOENT || errno == ENOTDIR ? ReadStatus::kMissing : ReadStatus::kUnreadable;
    return result;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result.status = ReadStatus::kUnreadable;
    return result;
  }
  result.bytes.reserve(static_cast<size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.bytes.clear();
      result.status = ReadStatus::kUnreadable;
      return result;
    }
    if (n == 0) break;
    result.bytes.append(chunk, static_cast<size_t>(n));
  }
  result.status = ReadStatus::kOk;
  return result;
}

std::optional<size_t> readFileInto(const std::filesystem::path& path, std::span<std::byte> buffer) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd.get(), buffer.data() + done, buffer.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;  // what was read stays, as with a short file
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace tolvane
