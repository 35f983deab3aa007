#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "engine/bmp_image.h"

namespace tolvane {

// Reads a 24-bit bitmap file one row at a time, so that pictures of any height (a long line capture)
// cost one row of memory. Only the first columns() columns of a row are read: a caller that uses a
// left part of a very wide picture never holds the rest.
//
// Rows may be read in any order; the file stays open until the reader is destroyed.
class BmpRowReader {
 public:
  // Tallest picture accepted: the height field's range.
  static constexpr std::int64_t kMaxHeight = INT32_MAX;

  // Opens and checks the file (parseBmpLayout, widths up to BmpImage::kMaxSide). maxColumns limits the
  // columns handed out (at least 1). Throws BmpError naming the file.
  explicit BmpRowReader(const std::filesystem::path& path, int maxColumns = BmpImage::kMaxSide);
  ~BmpRowReader();
  BmpRowReader(const BmpRowReader&) = delete;
  BmpRowReader& operator=(const BmpRowReader&) = delete;

  int width() const { return layout_.width; }
  int height() const { return layout_.height; }
  // Columns each row() holds: min(width, maxColumns).
  int columns() const { return columns_; }

  // R, G, B bytes of columns 0..columns() - 1 of row y (0 = top), valid until the next call. Throws
  // BmpError when y is outside the picture or the file can no longer be read (shortened meanwhile).
  std::span<const std::uint8_t> row(int y);

  // Bytes the reader holds for pixel data: one row of columns().
  std::size_t bufferBytes() const { return buffer_.capacity(); }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  BmpLayout layout_;
  int columns_ = 0;
  std::vector<std::uint8_t> buffer_;
};

// Writes a 24-bit bitmap file one row at a time, in any row order, without holding the picture. The
// file appears under its name only at finish() (written beside it first, then renamed), so a run that
// fails half way leaves no torn picture.
class BmpRowWriter {
 public:
  // Throws BmpError when a side is not in 1..BmpImage::kMaxSide (width) or 1..INT32_MAX (height), the
  // file would pass 4 GiB, or the file cannot be created.
  BmpRowWriter(const std::filesystem::path& path, int width, int height);
  ~BmpRowWriter();
  BmpRowWriter(const BmpRowWriter&) = delete;
  BmpRowWriter& operator=(const BmpRowWriter&) = delete;

  int width() const { return layout_.width; }
  int height() const { return layout_.height; }

  // Row y (0 = top) from R, G, B bytes of width() pixels. Throws BmpError on a write failure or a row
  // of another length or position.
  void writeRow(int y, std::span<const std::uint8_t> rgb);
  // Flushes and renames into place. Rows never written read black.
  void finish();

 private:
  void fail(const std::string& what);

  std::filesystem::path path_;
  std::filesystem::path temp_;
  int fd_ = -1;
  BmpLayout layout_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace tolvane
