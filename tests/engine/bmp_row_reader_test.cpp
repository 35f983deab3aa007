#include "engine/bmp_row_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tolvane {
namespace {

namespace fs = std::filesystem;

class BmpRowReaderTest : public ::testing::Test {
 protected:
  BmpRowReaderTest() {
    std::string pattern = (fs::temp_directory_path() / "bmp_row_reader_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~BmpRowReaderTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path path(const std::string& name) const { return dir_ / name; }

  fs::path writeBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path(name);
  }

  fs::path dir_;
};

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

std::vector<std::uint8_t> rowOf(const BmpImage& image, int y, int columns) {
  const auto row = image.row(y);
  return {row.begin(), row.begin() + 3 * columns};
}

std::string readerError(const fs::path& file) {
  try {
    BmpRowReader reader(file);
  } catch (const BmpError& e) {
    return e.what();
  }
  return "";
}

TEST_F(BmpRowReaderTest, RowsMatchTheDecodedPictureInEitherRowOrderAndEveryPadding) {
  struct Case {
    int width;
    int maxColumns;
    BmpRowOrder order;
  };
  const Case cases[] = {
      {1, 100, BmpRowOrder::BottomUp}, {2, 100, BmpRowOrder::TopDown},  {3, 100, BmpRowOrder::BottomUp},
      {4, 100, BmpRowOrder::TopDown},  {5, 100, BmpRowOrder::BottomUp}, {17, 100, BmpRowOrder::TopDown},
      {300, 7, BmpRowOrder::BottomUp}, {300, 7, BmpRowOrder::TopDown},  {9, 0, BmpRowOrder::BottomUp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " wide, at most " + std::to_string(c.maxColumns) + " columns");
    const BmpImage image = patterned(c.width, 6);
    image.save(path("p.bmp"), c.order);
    BmpRowReader reader(path("p.bmp"), c.maxColumns);
    const int columns = std::clamp(c.maxColumns, 1, c.width);
    EXPECT_EQ(reader.width(), c.width);
    EXPECT_EQ(reader.height(), 6);
    EXPECT_EQ(reader.columns(), columns);
    // Out of order on purpose: rows are read where they lie.
    for (int y : {5, 0, 3, 1, 4, 2}) {
      const auto row = reader.row(y);
      EXPECT_EQ(std::vector<std::uint8_t>(row.begin(), row.end()), rowOf(image, y, columns)) << "row " << y;
    }
    EXPECT_EQ(reader.bufferBytes(), static_cast<std::size_t>(columns) * 3) << "one row of the used columns";
  }
}

TEST_F(BmpRowReaderTest, ReadsCapturesTallerThanAPictureInMemoryMayBe) {
  constexpr int kRows = BmpImage::kMaxSide + 10;
  {
    BmpRowWriter writer(path("tall.bmp"), 2, kRows);
    for (int y = kRows - 1; y >= 0; --y) {  // any order
      const std::uint8_t v = static_cast<std::uint8_t>(y % 251);
      const std::vector<std::uint8_t> row = {v, 1, 2, 3, 4, v};
      writer.writeRow(y, row);
    }
    writer.finish();
  }
  EXPECT_THROW(BmpImage::load(path("tall.bmp")), BmpError);
  BmpRowReader reader(path("tall.bmp"));
  ASSERT_EQ(reader.height(), kRows);
  for (int y : {0, 1, 250, 251, kRows / 2, kRows - 1}) {
    const auto row = reader.row(y);
    EXPECT_EQ(row[0], y % 251);
    EXPECT_EQ(row[1], 1);
    EXPECT_EQ(row[5], y % 251);
  }
  EXPECT_EQ(reader.bufferBytes(), 6u);
}

TEST_F(BmpRowReaderTest, WriterMakesTheSamePictureAsTheCodecAndOnlyAtFinish) {
  const BmpImage image = patterned(5, 4);
  {
    BmpRowWriter writer(path("w.bmp"), 5, 4);
    for (int y : {2, 0, 3, 1}) writer.writeRow(y, image.row(y));
    EXPECT_FALSE(fs::exists(path("w.bmp"))) << "not before finish";
    EXPECT_THROW(writer.writeRow(4, image.row(0)), BmpError);
    EXPECT_THROW(writer.writeRow(0, rowOf(image, 0, 4)), BmpError);
    writer.finish();
  }
  EXPECT_EQ(BmpImage::load(path("w.bmp")), image);
  {
    BmpRowWriter abandoned(path("gone.bmp"), 5, 4);
    abandoned.writeRow(0, image.row(0));
  }
  EXPECT_TRUE(fs::is_empty(dir_) || !fs::exists(path("gone.bmp")));
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename(), "w.bmp") << "no temporary file left";
  }
  EXPECT_THROW(BmpRowWriter(path("x.bmp"), 0, 4), BmpError);
  EXPECT_THROW(BmpRowWriter(path("x.bmp"), 5, 0), BmpError);
  EXPECT_THROW(BmpRowWriter(path("no/such/folder.bmp"), 5, 4), BmpError);
}

TEST_F(BmpRowReaderTest, BadFilesNameTheFileAndWhatIsWrong) {
  patterned(8, 4).save(path("good.bmp"));
  std::vector<std::uint8_t> good;
  {
    std::ifstream in(path("good.bmp"), std::ios::binary);
    good.assign(std::istreambuf_iterator<char>(in), {});
  }
  auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> b = good;
    for (std::size_t i = 0; i < bytes.size(); ++i) b[at + i] = bytes[i];
    return b;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"empty", {}, "not a bitmap"},
      {"text",
       {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ' ', 'o', 'f', ' ', 'b', 'm', 'p'},
       "\"BM\""},
      {"header only", {good.begin(), good.begin() + 30}, "truncated"},
      {"8 bits", with(28, {8, 0}), "8 bits per pixel"},
      {"compressed", with(30, {1, 0, 0, 0}), "compressed"},
      {"zero height", with(22, {0, 0, 0, 0}), "empty bitmap of size 8 x 0"},
      {"zero width", with(18, {0, 0, 0, 0}), "empty bitmap of size 0 x 4"},
      {"negative width", with(18, {0xFF, 0xFF, 0xFF, 0xFF}), "size -1 x 4"},
      {"pixels cut", {good.begin(), good.end() - 30}, "truncated"},
      {"offset inside header", with(10, {20, 0, 0, 0}), "inside the header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = writeBytes(std::string(c.name) + ".bmp", c.bytes);
    const std::string error = readerError(file);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
  }
  EXPECT_NE(readerError(path("missing.bmp")).find("missing.bmp"), std::string::npos);
  EXPECT_NE(readerError(dir_).find("not a regular file"), std::string::npos);

  BmpRowReader reader(path("good.bmp"));
  EXPECT_THROW(reader.row(-1), BmpError);
  EXPECT_THROW(reader.row(4), BmpError);
  // Shortened while open (a capture still being copied): the lost rows fail, the others read.
  fs::resize_file(path("good.bmp"), 54 + 2 * 24);
  EXPECT_NO_THROW(reader.row(3));  // stored first, bottom-up
  EXPECT_THROW(reader.row(0), BmpError);
}

}  // namespace
}  // namespace tolvane
