#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <vector>

namespace tolvane {

// A damaged, truncated or unsupported picture file, or a file that cannot be read or written.
class BmpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct BmpPixel {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const BmpPixel&, const BmpPixel&) = default;
};

enum class BmpRowOrder { BottomUp, TopDown };

// Where the pixels of a 24-bit bitmap file lie, from its headers.
struct BmpLayout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  std::int64_t dataOffset = 0;
  std::int64_t stride = 0;  // stored row length with its padding

  // File offset of picture row y (0 = top row as the picture is seen).
  std::int64_t rowOffset(int y) const { return dataOffset + (topDown ? y : height - 1 - y) * stride; }
};

// Bytes of a file that parseBmpLayout needs: both headers as far as they are read.
inline constexpr std::size_t kBmpHeadBytes = 54;

// Reads and checks the headers of a bitmap file of fileSize bytes whose first bytes are head (up to
// kBmpHeadBytes, fewer for a shorter file): an uncompressed 24-bit picture whose pixel rows all lie
// in the file (the last row may lack its padding). Sides must be 1..maxWidth and 1..maxHeight, and
// hold at most maxPixels pixels. Throws BmpError with a message naming what is wrong.
BmpLayout parseBmpLayout(std::span<const std::uint8_t> head, std::int64_t fileSize, std::int64_t maxWidth,
                         std::int64_t maxHeight, std::int64_t maxPixels = INT64_MAX);

// A 24-bit picture in memory, (0, 0) at the top left as the picture is seen. Files are uncompressed
// 24-bit Windows bitmaps; stored rows are padded to four bytes and may run bottom-up (positive height,
// the usual form) or top-down (negative height).
class BmpImage {
 public:
  // Guards against absurd headers making us allocate gigabytes.
  static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
  static constexpr std::int32_t kMaxSide = 1 << 16;

  BmpImage() = default;
  // Throws BmpError when a side is not in 1..kMaxSide.
  BmpImage(int width, int height, BmpPixel fill = {});

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // Unchecked access; (x, y) must be inside.
  BmpPixel at(int x, int y) const {
    const std::uint8_t* p = &rgb_[offset(x, y)];
    return {p[0], p[1], p[2]};
  }
  void set(int x, int y, BmpPixel value) {
    std::uint8_t* p = &rgb_[offset(x, y)];
    p[0] = value.r;
    p[1] = value.g;
    p[2] = value.b;
  }
  // Writes only inside the picture, like drawing on a canvas that clips.
  void setClipped(int x, int y, BmpPixel value) {
    if (contains(x, y)) set(x, y, value);
  }
  void fill(BmpPixel value);

  // R, G, B bytes of one row, left to right.
  std::span<const std::uint8_t> row(int y) const {
    return {rgb_.data() + offset(0, y), static_cast<std::size_t>(width_) * 3};
  }

  // Throws BmpError with a message naming what is wrong.
  static BmpImage decode(std::span<const std::uint8_t> file);
  static BmpImage load(const std::filesystem::path& path);

  std::vector<std::uint8_t> encode(BmpRowOrder order = BmpRowOrder::BottomUp) const;
  // Replaces the file crash-safely (temporary file in the same folder, then rename).
  void save(const std::filesystem::path& path, BmpRowOrder order = BmpRowOrder::BottomUp) const;

  friend bool operator==(const BmpImage&, const BmpImage&) = default;

 private:
  std::size_t offset(int x, int y) const {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
  }

  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> rgb_;  // rows top to bottom, R G B per pixel
};

}  // namespace tolvane
