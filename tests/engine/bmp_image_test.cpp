#include "engine/bmp_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "bmp_image_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Every pixel different, so that swapped rows, columns or channels show.
BmpImage patterned(int width, int height) {
  BmpImage image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.set(x, y,
                {static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(y * 11 + 3),
                 static_cast<std::uint8_t>(x ^ (y * 5))});
    }
  }
  return image;
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::string decodeError(const std::vector<std::uint8_t>& bytes) {
  try {
    BmpImage::decode(bytes);
  } catch (const BmpError& e) {
    return e.what();
  }
  return "";
}

TEST(BmpImage, EncodesHeaderAndPaddedBottomUpRows) {
  BmpImage image(2, 2);
  image.set(0, 0, {1, 2, 3});  // top left
  image.set(1, 0, {4, 5, 6});
  image.set(0, 1, {7, 8, 9});  // bottom left
  image.set(1, 1, {10, 11, 12});
  const std::vector<std::uint8_t> file = image.encode();
  // 2 pixels = 6 bytes, padded to 8 per row.
  ASSERT_EQ(file.size(), 54u + 16u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(file[2], 70);   // file size
  EXPECT_EQ(file[10], 54);  // pixel data offset
  EXPECT_EQ(file[14], 40);  // info header size
  EXPECT_EQ(file[28], 24);  // bits per pixel
  const std::vector<std::uint8_t> bottomRow{9, 8, 7, 12, 11, 10, 0, 0};
  const std::vector<std::uint8_t> topRow{3, 2, 1, 6, 5, 4, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 54, file.begin() + 62), bottomRow);
  EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 62, file.begin() + 70), topRow);

  const std::vector<std::uint8_t> topDown = image.encode(BmpRowOrder::TopDown);
  EXPECT_EQ(std::vector<std::uint8_t>(topDown.begin() + 54, topDown.begin() + 62), topRow);
  EXPECT_EQ(static_cast<std::int32_t>(topDown[22] | topDown[23] << 8 | topDown[24] << 16 | topDown[25] << 24),
            -2);
}

TEST(BmpImage, RoundTripsEveryPaddingInBothRowOrders) {
  for (int width = 1; width <= 9; ++width) {
    for (BmpRowOrder order : {BmpRowOrder::BottomUp, BmpRowOrder::TopDown}) {
      const BmpImage image = patterned(width, 3);
      const std::vector<std::uint8_t> file = image.encode(order);
      EXPECT_EQ(file.size(), 54u + 3u * ((width * 3 + 3) / 4 * 4)) << width;
      EXPECT_EQ(BmpImage::decode(file), image) << "width " << width;
    }
  }
}

TEST(BmpImage, ReadsOldCoreHeaderAndFilesWithoutLastRowPadding) {
  // 12-byte header, 1 x 2 picture, bottom row first.
  std::vector<std::uint8_t> core{
      'B', 'M', 0, 0, 0, 0, 0, 0,  0, 0,  26, 0,  0, 0,  12, 0, 0,
      0,   1,   0, 2, 0, 1, 0, 24, 0, 30, 20, 10, 0, 60, 50, 40};  // last row unpadded
  const BmpImage image = BmpImage::decode(core);
  ASSERT_EQ(image.width(), 1);
  ASSERT_EQ(image.height(), 2);
  EXPECT_EQ(image.at(0, 1), (BmpPixel{10, 20, 30}));
  EXPECT_EQ(image.at(0, 0), (BmpPixel{40, 50, 60}));
}

TEST(BmpImage, ReadsPixelDataAfterALargerHeaderAndAGap) {
  const BmpImage original = patterned(3, 2);
  std::vector<std::uint8_t> file = original.encode();
  // Make it a 124-byte header plus 10 spare bytes before the pixels.
  std::vector<std::uint8_t> grown(file.begin(), file.begin() + 54);
  grown.resize(14 + 124 + 10, 0);
  put32(grown, 14, 124);
  put32(grown, 10, 14 + 124 + 10);
  grown.insert(grown.end(), file.begin() + 54, file.end());
  EXPECT_EQ(BmpImage::decode(grown), original);
}

TEST(BmpImage, DamagedOrUnsupportedFilesGiveClearErrors) {
  const std::vector<std::uint8_t> good = patterned(5, 4).encode();

  EXPECT_NE(decodeError({}).find("only 0 bytes"), std::string::npos);

  auto notBm = good;
  notBm[0] = 'P';
  EXPECT_NE(decodeError(notBm).find("\"BM\""), std::string::npos);

  auto eightBit = good;
  eightBit[28] = 8;
  EXPECT_NE(decodeError(eightBit).find("8 bits per pixel"), std::string::npos);

  auto compressed = good;
  put32(compressed, 30, 1);
  EXPECT_NE(decodeError(compressed).find("compressed"), std::string::npos);

  auto zeroWidth = good;
  put32(zeroWidth, 18, 0);
  EXPECT_NE(decodeError(zeroWidth).find("size 0 x 4"), std::string::npos);

  auto huge = good;
  put32(huge, 18, 60000);
  put32(huge, 22, 60000);
  EXPECT_NE(decodeError(huge).find("size"), std::string::npos);

  auto minHeight = good;
  put32(minHeight, 22, 0x80000000u);
  EXPECT_NE(decodeError(minHeight).find("size"), std::string::npos);

  auto badHeader = good;
  put32(badHeader, 14, 20);
  EXPECT_NE(decodeError(badHeader).find("header of 20 bytes"), std::string::npos);

  auto overlap = good;
  put32(overlap, 10, 30);
  EXPECT_NE(decodeError(overlap).find("inside the header"), std::string::npos);

  auto farOffset = good;
  put32(farOffset, 10, 0xFFFFFFF0u);
  EXPECT_NE(decodeError(farOffset).find("truncated"), std::string::npos);

  auto planes = good;
  planes[26] = 2;
  EXPECT_NE(decodeError(planes).find("planes"), std::string::npos);
}

TEST(BmpImage, EveryTruncationIsAnErrorUnlessOnlyTheLastPaddingIsMissing) {
  const std::vector<std::uint8_t> good = patterned(5, 4).encode();  // rows of 15 + 1 padding byte
  for (std::size_t length = 0; length < good.size(); ++length) {
    std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
    if (length == good.size() - 1) {
      EXPECT_EQ(BmpImage::decode(cut), patterned(5, 4));
    } else {
      EXPECT_THROW(BmpImage::decode(cut), BmpError) << "length " << length;
    }
  }
}

TEST(BmpImage, RandomDamageNeverCrashes) {
  const std::vector<std::uint8_t> good = patterned(6, 5).encode();
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  int decoded = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> damaged = good;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header, where damage matters.
      const std::size_t at = next() % 3 == 0 ? next() % damaged.size() : next() % 54;
      damaged[at] = static_cast<std::uint8_t>(next());
    }
    try {
      const BmpImage image = BmpImage::decode(damaged);
      EXPECT_GT(image.width(), 0);
      ++decoded;
    } catch (const BmpError&) {
    }
  }
  EXPECT_GT(decoded, 0) << "harmless damage (pixels, resolution fields) still decodes";
}

TEST(BmpImage, LoadAndSaveReportFileProblemsWithThePath) {
  TempDir dir;
  try {
    BmpImage::load(dir.path() / "missing.bmp");
    FAIL() << "no error for a missing file";
  } catch (const BmpError& e) {
    EXPECT_NE(std::string(e.what()).find("missing.bmp"), std::string::npos);
  }
  writeFile(dir.path() / "short.bmp", {'B', 'M', 1, 2});
  try {
    BmpImage::load(dir.path() / "short.bmp");
    FAIL() << "no error for a short file";
  } catch (const BmpError& e) {
    EXPECT_NE(std::string(e.what()).find("short.bmp"), std::string::npos);
  }
  EXPECT_THROW(patterned(2, 2).save(dir.path() / "no_such_folder" / "x.bmp"), BmpError);
  EXPECT_THROW(BmpImage().encode(), BmpError);
  EXPECT_THROW(BmpImage(0, 5), BmpError);
}

TEST(BmpImage, SaveReplacesTheFileAndLeavesNoTemporaryBehind) {
  TempDir dir;
  const fs::path path = dir.path() / "picture.bmp";
  patterned(4, 4).save(path);
  const BmpImage second = patterned(7, 3);
  second.save(path, BmpRowOrder::TopDown);
  EXPECT_EQ(BmpImage::load(path), second);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(BmpImage, SetClippedIgnoresPointsOutside) {
  BmpImage image(3, 2, {9, 9, 9});
  image.setClipped(-1, 0, {1, 1, 1});
  image.setClipped(3, 1, {1, 1, 1});
  image.setClipped(0, 2, {1, 1, 1});
  image.setClipped(2, 1, {5, 6, 7});
  EXPECT_EQ(image.at(2, 1), (BmpPixel{5, 6, 7}));
  EXPECT_EQ(image.at(0, 0), (BmpPixel{9, 9, 9}));
  EXPECT_EQ(image.at(0, 1), (BmpPixel{9, 9, 9}));
}

// --- against an independent reader and writer (Pillow) ---

std::string findPillowPython() {
  for (const char* candidate : {"/usr/bin/python3", "python3"}) {
    const std::string command = std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0) return candidate;
  }
  return "";
}

std::string runCapture(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  ::pclose(pipe);
  return output;
}

TEST(BmpImageInterop, PillowReadsWhatWeWriteInBothRowOrders) {
  const std::string python = findPillowPython();
  if (python.empty()) GTEST_SKIP() << "Python 3 with Pillow (Debian python3-pil) is not installed";
  TempDir dir;
  const BmpImage image = patterned(7, 5);
  image.save(dir.path() / "bottom_up.bmp");
  image.save(dir.path() / "top_down.bmp", BmpRowOrder::TopDown);
  std::ostringstream expected;
  expected << image.width() << ' ' << image.height() << '\n';
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const BmpPixel p = image.at(x, y);
      expected << int{p.r} << ',' << int{p.g} << ',' << int{p.b} << ' ';
    }
    expected << '\n';
  }
  const std::string script =
      "import sys\nfrom PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "assert im.format == 'BMP', im.format\n"
      "im = im.convert('RGB')\n"
      "print(im.width, im.height)\n"
      "for y in range(im.height):\n"
      "    print(''.join('%d,%d,%d ' % im.getpixel((x, y)) for x in range(im.width)))\n";
  std::ofstream(dir.path() / "read.py") << script;
  for (const char* name : {"bottom_up.bmp", "top_down.bmp"}) {
    const std::string out =
        runCapture(python + " " + (dir.path() / "read.py").string() + " " + (dir.path() / name).string());
    EXPECT_EQ(out, expected.str()) << name;
  }
}

TEST(BmpImageInterop, WeReadWhatPillowWrites) {
  const std::string python = findPillowPython();
  if (python.empty()) GTEST_SKIP() << "Python 3 with Pillow (Debian python3-pil) is not installed";
  TempDir dir;
  const fs::path path = dir.path() / "pillow.bmp";
  // Width 5 needs padding; the colours follow a formula we check here.
  const std::string script =
      "import sys\nfrom PIL import Image\n"
      "im = Image.new('RGB', (5, 3))\n"
      "for y in range(3):\n"
      "    for x in range(5):\n"
      "        im.putpixel((x, y), (x * 40, y * 90, 255 - x - y))\n"
      "im.save(sys.argv[1], 'BMP')\n";
  std::ofstream(dir.path() / "write.py") << script;
  ASSERT_EQ(std::system((python + " " + (dir.path() / "write.py").string() + " " + path.string()).c_str()),
            0);
  const BmpImage image = BmpImage::load(path);
  ASSERT_EQ(image.width(), 5);
  ASSERT_EQ(image.height(), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(image.at(x, y),
                (BmpPixel{static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(y * 90),
                          static_cast<std::uint8_t>(255 - x - y)}))
          << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace tolvane
