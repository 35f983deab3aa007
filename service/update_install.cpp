#include "service/update_install.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "service/self_update_completion.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCopyChunk = 64 * 1024;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the close's own failure (a delayed write error shows up here).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string errnoText(const char* what, const fs::path& path) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

CopyResult copyOpen(const fs::path& source, const fs::path& destination, const CopyProgress& progress,
                    mode_t mode) {
  CopyResult result;
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    result.error = errnoText("cannot open", source);
    return result;
  }
  struct stat info {};
  if (::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    result.error = "not a regular file: " + source.string();
    return result;
  }
  const auto size = static_cast<std::uintmax_t>(info.st_size);
  Fd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (out.get() < 0) {
    result.error = errnoText("cannot create", destination);
    return result;
  }
  // An existing file keeps its old mode through O_CREAT; the program copy must be executable.
  if (::fchmod(out.get(), mode) != 0) {
    result.error = errnoText("cannot set the mode of", destination);
    return result;
  }
  std::array<char, kCopyChunk> buffer;
  int shown = -1;
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.error = errnoText("cannot read", source);
      return result;
    }
    if (n == 0) break;
    if (!writeAll(out.get(), buffer.data(), static_cast<std::size_t>(n))) {
      result.error = errnoText("cannot write", destination);
      return result;
    }
    result.bytes += static_cast<std::uintmax_t>(n);
    const int percent = copyPercent(result.bytes, size);
    if (percent != shown && progress) progress(percent);
    shown = percent;
  }
  if (::fsync(out.get()) != 0 || !out.close()) {
    result.error = errnoText("cannot flush", destination);
    return result;
  }
  if (shown < 0 && progress) progress(100);
  result.ok = true;
  return result;
}

}  // namespace

int copyPercent(std::uintmax_t copied, std::uintmax_t size) {
  if (size == 0 || copied >= size) return 100;
  return static_cast<int>(copied * 100 / size);
}

CopyResult copyFileWithProgress(const fs::path& source, const fs::path& destination,
                                const CopyProgress& progress, mode_t mode) {
  CopyResult result = copyOpen(source, destination, progress, mode);
  if (!result.ok) {
    std::error_code error;
    fs::remove(destination, error);
  }
  return result;
}

fs::path exchangeFile(const fs::path& folder) { return folder / kUpdateFileName; }

fs::path rollbackFile(const fs::path& folder) { return folder / kBackupFileName; }

bool rollbackPointPresent(const fs::path& folder) {
  std::error_code error;
  return fs::is_regular_file(rollbackFile(folder), error);
}

CopyResult prepareExchange(const fs::path& folder, const fs::path& source, const CopyProgress& progress) {
  const fs::path target = exchangeFile(folder);
  std::error_code error;
  fs::remove(target, error);
  if (error) {
    CopyResult result;
    result.error = "cannot delete " + target.string() + ": " + error.message();
    return result;
  }
  return copyFileWithProgress(source, target, progress, 0755);
}

InstallOutcome installUpdate(const fs::path& folder, const fs::path& source, ProgramLauncher& launcher,
                             const CopyProgress& progress, const std::function<void()>& endProgram) {
  if (!prepareExchange(folder, source, progress).ok) return InstallOutcome::kCopyFailed;
  if (!launcher.start(exchangeFile(folder), folder).ok()) return InstallOutcome::kStartFailed;
  if (endProgram) endProgram();
  return InstallOutcome::kStarted;
}

std::string mediaUpdateQuestion(const MediaUpdate& medium) {
  std::string root = medium.root.string();
  if (!root.ends_with('/')) root += '/';
  return "Найдено обновление по адресу " + root + ". Установить?";
}

MediaCheckOutcome checkMediaUpdates(const std::vector<MediaUpdate>& media,
                                    const std::function<bool(const std::string& question)>& ask,
                                    const std::function<InstallOutcome(const fs::path&)>& install) {
  if (media.empty()) return MediaCheckOutcome::kNotFound;
  for (const MediaUpdate& medium : media) {
    if (!ask(mediaUpdateQuestion(medium))) continue;
    switch (install(medium.file)) {
      case InstallOutcome::kStarted:
        return MediaCheckOutcome::kStarted;
      case InstallOutcome::kCopyFailed:
        return MediaCheckOutcome::kCopyFailed;
      case InstallOutcome::kStartFailed:
        return MediaCheckOutcome::kStartFailed;
    }
  }
  return MediaCheckOutcome::kDeclined;
}

}  // namespace tolvane
