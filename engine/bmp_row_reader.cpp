#include "engine/bmp_row_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

namespace tolvane {

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::int32_t kPixelsPerMetre = 2835;

std::string errnoText() { return std::strerror(errno); }

// Reads exactly bytes.size() bytes at offset; false at the end of the file or on an error.
bool readAt(int fd, std::span<std::uint8_t> bytes, std::int64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool writeAt(int fd, std::span<const std::uint8_t> bytes, std::int64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void putU32(std::uint8_t* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Swaps B, G, R file order and R, G, B memory order in place.
void swapRedBlue(std::span<std::uint8_t> bytes) {
  for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) std::swap(bytes[i], bytes[i + 2]);
}

}  // namespace

BmpRowReader::BmpRowReader(const std::filesystem::path& path, int maxColumns) : path_(path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw BmpError("cannot open picture " + path.string() + ": " + errnoText());
  try {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) throw BmpError("cannot read picture: " + errnoText());
    if (!S_ISREG(info.st_mode)) throw BmpError("not a bitmap: not a regular file");
    std::array<std::uint8_t, kBmpHeadBytes> head{};
    const std::size_t headBytes = static_cast<std::size_t>(
        std::min<std::int64_t>(info.st_size, static_cast<std::int64_t>(head.size())));
    if (!readAt(fd_, std::span(head).first(headBytes), 0))
      throw BmpError("cannot read picture: " + errnoText());
    layout_ = parseBmpLayout(std::span(head).first(headBytes), info.st_size, BmpImage::kMaxSide, kMaxHeight);
  } catch (const BmpError& e) {
    ::close(fd_);
    throw BmpError(path.string() + ": " + e.what());
  }
  columns_ = std::clamp(maxColumns, 1, layout_.width);
  buffer_.resize(static_cast<std::size_t>(columns_) * 3);
}

BmpRowReader::~BmpRowReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::span<const std::uint8_t> BmpRowReader::row(int y) {
  if (y < 0 || y >= layout_.height) {
    throw BmpError(path_.string() + ": row " + std::to_string(y) + " is outside the picture");
  }
  if (!readAt(fd_, buffer_, layout_.rowOffset(y))) {
    throw BmpError(path_.string() + ": cannot read row " + std::to_string(y) + " (file shortened?)");
  }
  swapRedBlue(buffer_);
  return buffer_;
}

BmpRowWriter::BmpRowWriter(const std::filesystem::path& path, int width, int height) : path_(path) {
  if (width < 1 || width > BmpImage::kMaxSide || height < 1) {
    throw BmpError("picture size " + std::to_string(width) + " x " + std::to_string(height) +
                   " is out of range");
  }
  const std::int64_t stride = (std::int64_t{width} * 3 + 3) / 4 * 4;
  const std::int64_t dataOffset = kFileHeaderBytes + kInfoHeaderBytes;
  const std::int64_t fileSize = dataOffset + stride * height;
  if (fileSize > std::int64_t{UINT32_MAX}) {
    throw BmpError("picture " + path.string() + " of " + std::to_string(width) + " x " +
                   std::to_string(height) + " would pass the 4 GiB a bitmap can hold");
  }
  layout_ = {width, height, false, dataOffset, stride};
  temp_ = path;
  temp_ += ".tmp" + std::to_string(::getpid());
  fd_ = ::open(temp_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) throw BmpError("cannot write picture " + path.string() + ": " + errnoText());

  std::array<std::uint8_t, kFileHeaderBytes + kInfoHeaderBytes> head{};
  head[0] = 'B';
  head[1] = 'M';
  putU32(&head[2], static_cast<std::uint32_t>(fileSize));
  putU32(&head[10], static_cast<std::uint32_t>(dataOffset));
  putU32(&head[14], kInfoHeaderBytes);
  putU32(&head[18], static_cast<std::uint32_t>(width));
  putU32(&head[22], static_cast<std::uint32_t>(height));
  head[26] = 1;   // planes
  head[28] = 24;  // bits per pixel
  putU32(&head[34], static_cast<std::uint32_t>(stride * height));
  putU32(&head[38], kPixelsPerMetre);
  putU32(&head[42], kPixelsPerMetre);
  if (!writeAt(fd_, head, 0) || ::ftruncate(fd_, static_cast<off_t>(fileSize)) != 0) {
    fail("cannot write picture " + path.string() + ": " + errnoText());
  }
  buffer_.assign(static_cast<std::size_t>(stride), 0);
}

BmpRowWriter::~BmpRowWriter() {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
  }
}

void BmpRowWriter::fail(const std::string& what) {
  if (fd_ >= 0) {
    ::close(fd_);
    ::unlink(temp_.c_str());
    fd_ = -1;
  }
  throw BmpError(what);
}

void BmpRowWriter::writeRow(int y, std::span<const std::uint8_t> rgb) {
  if (fd_ < 0) throw BmpError("picture " + path_.string() + " is closed");
  if (y < 0 || y >= layout_.height || rgb.size() != static_cast<std::size_t>(layout_.width) * 3) {
    throw BmpError("row " + std::to_string(y) + " of " + std::to_string(rgb.size() / 3) +
                   " pixels does not fit the picture " + path_.string());
  }
  std::copy(rgb.begin(), rgb.end(), buffer_.begin());
  swapRedBlue(std::span(buffer_).first(rgb.size()));
  if (!writeAt(fd_, buffer_, layout_.rowOffset(y))) {
    fail("cannot write picture " + path_.string() + ": " + errnoText());
  }
}

void BmpRowWriter::finish() {
  if (fd_ < 0) throw BmpError("picture " + path_.string() + " is closed");
  const bool synced = ::fsync(fd_) == 0;
  const std::string why = synced ? std::string() : errnoText();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || !synced) {
    ::unlink(temp_.c_str());
    throw BmpError("cannot write picture " + path_.string() + ": " + (synced ? errnoText() : why));
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    const std::string renameWhy = errnoText();
    ::unlink(temp_.c_str());
    throw BmpError("cannot write picture " + path_.string() + ": " + renameWhy);
  }
}

}  // namespace tolvane
