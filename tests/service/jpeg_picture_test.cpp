#include "service/jpeg_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tolvane {
namespace {

std::span<const std::byte> bytesOf(const std::string& s) {
  return std::as_bytes(std::span(s.data(), s.size()));
}

// Four flat quarters: JPEG keeps flat areas within a few levels.
Rgb24Canvas quarters(int width, int height) {
  Rgb24Canvas c(width, height);
  c.FillRect(0, 0, width / 2, height / 2, {200, 30, 30});
  c.FillRect(width / 2, 0, width, height / 2, {30, 200, 30});
  c.FillRect(0, height / 2, width / 2, height, {30, 30, 200});
  c.FillRect(width / 2, height / 2, width, height, {128, 128, 128});
  return c;
}

bool near(Rgb24 a, Rgb24 b) {
  return std::abs(a.r - b.r) <= 8 && std::abs(a.g - b.g) <= 8 && std::abs(a.b - b.b) <= 8;
}

TEST(JpegPicture, RoundTripKeepsSizeAndColours) {
  // Odd widths exercise the canvas's padded rows.
  for (const auto& [w, h] : {std::pair{64, 48}, std::pair{101, 37}, std::pair{1, 1}}) {
    SCOPED_TRACE(w);
    const Rgb24Canvas source = quarters(w, h);
    const std::string jpeg = encodeJpeg(source, 95);
    ASSERT_FALSE(jpeg.empty());
    const auto decoded = decodeJpeg(bytesOf(jpeg));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->width(), w);
    ASSERT_EQ(decoded->height(), h);
    for (const auto& [x, y] : {std::pair{w / 4, h / 4}, std::pair{3 * w / 4, h / 4},
                               std::pair{w / 4, 3 * h / 4}, std::pair{3 * w / 4, 3 * h / 4}}) {
      EXPECT_TRUE(near(decoded->pixel(x, y), source.pixel(x, y))) << x << "," << y;
    }
  }
}

TEST(JpegPicture, DamagedOrForeignBytesAreNoPicture) {
  const std::string jpeg = encodeJpeg(quarters(64, 64), 90);
  const std::string cases[] = {
      "",
      "not a picture at all",
      jpeg.substr(0, 20),               // header only
      jpeg.substr(0, jpeg.size() / 2),  // cut in the middle
      std::string("\x89PNG\r\n\x1a\n", 8) + jpeg,
  };
  for (const std::string& bytes : cases) {
    EXPECT_FALSE(decodeJpeg(bytesOf(bytes)).has_value()) << bytes.size();
  }
  EXPECT_TRUE(encodeJpeg(Rgb24Canvas(), 90).empty());
  EXPECT_TRUE(encodeJpeg(quarters(8, 8), 0).empty());
}

}  // namespace
}  // namespace tolvane
