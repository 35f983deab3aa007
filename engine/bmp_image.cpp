#include "engine/bmp_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

namespace tolvane {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;  // the old OS/2 header with 16-bit sides
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::int32_t kPixelsPerMetre = 2835;  // 72 dpi, what paint programs write

// Largest file we read: the biggest picture we accept plus room for any header.
constexpr std::int64_t kMaxFileBytes = BmpImage::kMaxPixels * 3 + (std::int64_t{1} << 20);

std::uint32_t readU32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t readU16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
void putU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::int64_t strideOf(std::int64_t width) { return (width * 3 + 3) / 4 * 4; }

std::string errnoText() { return std::strerror(errno); }

}  // namespace

BmpImage::BmpImage(int width, int height, BmpPixel fillValue) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
      std::int64_t{width} * height > kMaxPixels) {
    throw BmpError("picture size " + std::to_string(width) + " x " + std::to_string(height) +
                   " is out of range");
  }
  width_ = width;
  height_ = height;
  rgb_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  fill(fillValue);
}

void BmpImage::fill(BmpPixel value) {
  for (std::size_t i = 0; i + 2 < rgb_.size(); i += 3) {
    rgb_[i] = value.r;
    rgb_[i + 1] = value.g;
    rgb_[i + 2] = value.b;
  }
}

BmpLayout parseBmpLayout(std::span<const std::uint8_t> file, std::int64_t fileSize, std::int64_t maxWidth,
                         std::int64_t maxHeight, std::int64_t maxPixels) {
  const std::int64_t size = fileSize;
  const std::size_t have = file.size();
  if (size < static_cast<std::int64_t>(kFileHeaderSize + 4) || have < kFileHeaderSize + 4) {
    throw BmpError("not a bitmap: file is only " + std::to_string(size) + " bytes long");
  }
  if (file[0] != 'B' || file[1] != 'M') {
    throw BmpError("not a bitmap: the file does not start with \"BM\"");
  }
  const std::uint32_t dataOffset = readU32(file, 10);
  const std::uint32_t headerSize = readU32(file, 14);
  if (headerSize != kCoreHeaderSize && headerSize < kInfoHeaderSize) {
    throw BmpError("unsupported bitmap header of " + std::to_string(headerSize) + " bytes");
  }
  // Only the fields up to the compression method are read, whatever the header's size.
  const std::size_t readUpTo = kFileHeaderSize + (headerSize == kCoreHeaderSize ? kCoreHeaderSize : 20);
  if (size < static_cast<std::int64_t>(kFileHeaderSize) + headerSize || have < readUpTo) {
    throw BmpError("truncated bitmap: header needs " + std::to_string(kFileHeaderSize + headerSize) +
                   " bytes, file has " + std::to_string(size));
  }

  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint16_t planes = 0;
  std::uint16_t bitsPerPixel = 0;
  std::uint32_t compression = kBiRgb;
  if (headerSize == kCoreHeaderSize) {
    width = readU16(file, 18);
    height = readU16(file, 20);
    planes = readU16(file, 22);
    bitsPerPixel = readU16(file, 24);
  } else {
    width = static_cast<std::int32_t>(readU32(file, 18));
    height = static_cast<std::int32_t>(readU32(file, 22));
    planes = readU16(file, 26);
    bitsPerPixel = readU16(file, 28);
    compression = readU32(file, 30);
  }

  if (planes != 1) {
    throw BmpError("damaged bitmap header: " + std::to_string(planes) + " colour planes");
  }
  if (bitsPerPixel != 24) {
    throw BmpError("unsupported bitmap: " + std::to_string(bitsPerPixel) +
                   " bits per pixel, only 24-bit pictures are read");
  }
  if (compression != kBiRgb) {
    throw BmpError("unsupported bitmap: compressed (method " + std::to_string(compression) +
                   "), only uncompressed pictures are read");
  }
  const bool topDown = height < 0;
  height = topDown ? -height : height;
  if (width == 0 || height == 0) {
    throw BmpError("empty bitmap of size " + std::to_string(width) + " x " + std::to_string(height));
  }
  if (width < 1 || width > maxWidth || height > maxHeight || width * height > maxPixels) {
    throw BmpError("unsupported bitmap size " + std::to_string(width) + " x " + std::to_string(height));
  }
  if (dataOffset < kFileHeaderSize + headerSize) {
    throw BmpError("damaged bitmap: pixel data offset " + std::to_string(dataOffset) +
                   " lies inside the header");
  }
  const std::int64_t stride = strideOf(width);
  // Some writers leave out the padding of the last row; the pixels themselves must all be there.
  const std::int64_t needed = std::int64_t{dataOffset} + stride * (height - 1) + width * 3;
  if (needed > size) {
    throw BmpError("truncated bitmap: pixel data needs " + std::to_string(needed) + " bytes, file has " +
                   std::to_string(size));
  }
  return {static_cast<int>(width), static_cast<int>(height), topDown, dataOffset, stride};
}

BmpImage BmpImage::decode(std::span<const std::uint8_t> file) {
  const BmpLayout layout =
      parseBmpLayout(file, static_cast<std::int64_t>(file.size()), kMaxSide, kMaxSide, kMaxPixels);
  const std::int64_t width = layout.width;
  const std::int64_t height = layout.height;
  BmpImage image(static_cast<int>(width), static_cast<int>(height));
  for (std::int64_t y = 0; y < height; ++y) {
    const std::uint8_t* src = file.data() + layout.rowOffset(static_cast<int>(y));
    std::uint8_t* dst = image.rgb_.data() + image.offset(0, static_cast<int>(y));
    for (std::int64_t x = 0; x < width; ++x) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      src += 3;
      dst += 3;
    }
  }
  return image;
}

BmpImage BmpImage::load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw BmpError("cannot open picture " + path.string() + ": " + errnoText());
  }
  std::vector<std::uint8_t> bytes;
  char chunk[1 << 16];
  while (in) {
    in.read(chunk, sizeof chunk);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (static_cast<std::int64_t>(bytes.size()) + got > kMaxFileBytes) {
      throw BmpError("picture " + path.string() + " is too large to be a supported bitmap");
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  if (in.bad()) {
    throw BmpError("cannot read picture " + path.string() + ": " + errnoText());
  }
  try {
    return decode(bytes);
  } catch (const BmpError& e) {
    throw BmpError(path.string() + ": " + e.what());
  }
}

std::vector<std::uint8_t> BmpImage::encode(BmpRowOrder order) const {
  if (empty()) {
    throw BmpError("cannot encode an empty picture");
  }
  const std::int64_t stride = strideOf(width_);
  const std::size_t dataOffset = kFileHeaderSize + kInfoHeaderSize;
  const std::size_t dataSize = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height_);
  std::vector<std::uint8_t> out(dataOffset + dataSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  putU32(out, 2, static_cast<std::uint32_t>(out.size()));
  putU32(out, 10, static_cast<std::uint32_t>(dataOffset));
  putU32(out, 14, kInfoHeaderSize);
  putU32(out, 18, static_cast<std::uint32_t>(width_));
  const std::int32_t storedHeight = order == BmpRowOrder::TopDown ? -height_ : height_;
  putU32(out, 22, static_cast<std::uint32_t>(storedHeight));
  putU16(out, 26, 1);
  putU16(out, 28, 24);
  putU32(out, 30, kBiRgb);
  putU32(out, 34, static_cast<std::uint32_t>(dataSize));
  putU32(out, 38, kPixelsPerMetre);
  putU32(out, 42, kPixelsPerMetre);
  for (int y = 0; y < height_; ++y) {
    const int stored = order == BmpRowOrder::TopDown ? y : height_ - 1 - y;
    std::uint8_t* dst = out.data() + dataOffset + static_cast<std::size_t>(stored) * stride;
    const std::uint8_t* src = rgb_.data() + offset(0, y);
    for (int x = 0; x < width_; ++x) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      src += 3;
      dst += 3;
    }
  }
  return out;
}

void BmpImage::save(const std::filesystem::path& path, BmpRowOrder order) const {
  const std::vector<std::uint8_t> bytes = encode(order);
  std::filesystem::path temp = path;
  temp += ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    throw BmpError("cannot write picture " + path.string() + ": " + errnoText());
  }
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = errnoText();
      ::close(fd);
      ::unlink(temp.c_str());
      throw BmpError("cannot write picture " + path.string() + ": " + why);
    }
    written += static_cast<std::size_t>(n);
  }
  const bool synced = ::fsync(fd) == 0;
  const std::string syncWhy = synced ? std::string() : errnoText();
  if (::close(fd) != 0 || !synced) {
    const std::string why = synced ? errnoText() : syncWhy;
    ::unlink(temp.c_str());
    throw BmpError("cannot write picture " + path.string() + ": " + why);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = errnoText();
    ::unlink(temp.c_str());
    throw BmpError("cannot write picture " + path.string() + ": " + why);
  }
}

}  // namespace tolvane
