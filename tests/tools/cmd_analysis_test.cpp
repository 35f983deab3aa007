#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/bmp_image.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

namespace fs = std::filesystem;

constexpr BmpPixel kPlate{230, 230, 230};
constexpr BmpPixel kDark{60, 60, 60};

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

ToolRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

void fillRect(BmpImage& image, int x0, int y0, int x1, int y1, BmpPixel colour) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) image.set(x, y, colour);
  }
}

class AnalysisCommandTest : public ::testing::Test {
 protected:
  AnalysisCommandTest() {
    std::string pattern = (fs::temp_directory_path() / "cmd_analysis_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~AnalysisCommandTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // A calibrated machine (four blocks over pixels 1..2048 on both sides). Program 3 takes every
  // grey as background, so nothing is an object there.
  std::string writeSettings() const {
    const std::string file = path("TolvaneGrain.ini");
    std::ofstream ini(file, std::ios::binary);
    ini << "[options]\r\nActiveProg=0\r\n";
    for (int n = 0; n < 4; ++n) {
      for (const char* side : {"A", "B"}) {
        ini << "Egec" << side << n << '=' << 1 + 512 * n << "\r\n";
        ini << "Egec" << side << 'x' << n << '=' << 1 + 512 * (n + 1) << "\r\n";
      }
    }
    ini << "[program3]\r\nFonMin=0\r\nFonMax=255\r\nC2FonMin=0\r\nC2FonMax=255\r\n";
    return file;
  }

  fs::path dir_;
};

TEST_F(AnalysisCommandTest, ResearchPrintsOneLinePerLabelAndWritesThePicture) {
  BmpImage picture(640, 200, kPlate);
  fillRect(picture, 100, 20, 111, 59, kDark);
  fillRect(picture, 300, 90, 329, 109, kDark);
  picture.save(path("test.bmp"));
  const ToolRun r = run({"research", path("test.bmp"), path("out.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 2u) << r.out;
  // XMin FirstLine XMax LastLine, then the two means.
  EXPECT_EQ(out[0].rfind("100 20 112 59 ", 0), 0u) << out[0];
  EXPECT_EQ(out[1].rfind("300 90 330 109 ", 0), 0u) << out[1];
  const BmpImage written = BmpImage::load(path("out.bmp"));
  EXPECT_EQ(written.width(), 640);
  EXPECT_EQ(written.at(100, 20), (BmpPixel{128, 128, 128})) << "frame corner";
}

TEST_F(AnalysisCommandTest, EmulatePrintsTheCurrentObjectsDump) {
  BmpImage picture(1280, 200, kPlate);
  fillRect(picture, 100, 10, 119, 29, kDark);
  picture.save(path("emul.bmp"));
  const ToolRun r = run({"emulate", path("emul.bmp"), writeSettings()});
  ASSERT_EQ(r.code, 0) << r.err;
  // k: Camera Mass Width1 Width2 XMax-XMin LastLine-FirstLine ImgRows CreatedAt
  EXPECT_EQ(r.out, "1: 0\t760\t0\t0\t20\t19\t20\t10\n2: 1\t760\t0\t0\t20\t19\t20\t10\n");

  const ToolRun blank = run({"emulate", path("emul.bmp"), writeSettings(), "3"});
  ASSERT_EQ(blank.code, 0) << blank.err;
  EXPECT_EQ(blank.out, "") << "program 3 sees only background";

  // Without a settings file the machine is uncalibrated: the working range starts at position 0,
  // whose black buffer element counts into the first run.
  const ToolRun defaults = run({"emulate", path("emul.bmp")});
  ASSERT_EQ(defaults.code, 0) << defaults.err;
  EXPECT_EQ(defaults.out, "1: 0\t760\t0\t0\t21\t19\t20\t10\n2: 1\t760\t0\t0\t21\t19\t20\t10\n");
}

TEST_F(AnalysisCommandTest, BadArgumentsAndFilesAreReported) {
  EXPECT_EQ(run({"research"}).code, 2);
  EXPECT_EQ(run({"research", "a.bmp"}).code, 2);
  EXPECT_EQ(run({"emulate"}).code, 2);
  EXPECT_EQ(run({"emulate", "a", "b", "1", "extra"}).code, 2);
  const ToolRun badProgram = run({"emulate", "a.bmp", "s.ini", "10"});
  EXPECT_EQ(badProgram.code, 2);
  EXPECT_NE(badProgram.err.find("PROGRAM"), std::string::npos);

  const ToolRun missing = run({"research", path("none.bmp"), path("out.bmp")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("none.bmp"), std::string::npos);
  EXPECT_FALSE(fs::exists(path("out.bmp")));

  BmpImage(640, 100, kPlate).save(path("small.bmp"));
  const ToolRun small = run({"emulate", path("small.bmp")});
  EXPECT_EQ(small.code, 1);
  EXPECT_NE(small.err.find("1201 x 200"), std::string::npos) << small.err;

  const ToolRun noSettings = run({"emulate", path("small.bmp"), path("missing.ini")});
  EXPECT_EQ(noSettings.code, 1);
  EXPECT_NE(noSettings.err.find("missing.ini"), std::string::npos);

  std::ofstream(path("broken.bmp"), std::ios::binary) << "BM not really";
  const ToolRun broken = run({"research", path("broken.bmp"), path("out.bmp")});
  EXPECT_EQ(broken.code, 1);
  EXPECT_NE(broken.err.find("broken.bmp"), std::string::npos);
  for (const ToolRun& r : {missing, small, noSettings, broken}) {
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  }
}

// A picture header over a file that holds no data blocks: huge to read, free to make.
void writeSparsePicture(const std::string& file, int width, int height) {
  const std::int64_t stride = (std::int64_t{width} * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> head(54, 0);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      head[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  head[0] = 'B';
  head[1] = 'M';
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  head[26] = 1;
  head[28] = 24;
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(head.data()), 54);
  fs::resize_file(file, static_cast<std::uintmax_t>(54 + stride * height));
}

TEST_F(AnalysisCommandTest, HugePicturesAreReadOnlyAsFarAsUsedOrRefused) {
  writeSparsePicture(path("huge.bmp"), 16384, 16384);
  // The emulation uses 1201 x 200 of it.
  const ToolRun emulate = run({"emulate", path("huge.bmp"), writeSettings(), "3"});
  EXPECT_EQ(emulate.code, 0) << emulate.err;
  // Research holds the picture twice; a taller one than it takes is refused before anything is read.
  const ToolRun research = run({"research", path("huge.bmp"), path("out.bmp")});
  EXPECT_EQ(research.code, 1);
  EXPECT_NE(research.err.find("16384 rows; research reads at most 8192"), std::string::npos) << research.err;
  EXPECT_FALSE(fs::exists(path("out.bmp")));

  // Columns past the camera line buffer are never analysed: left out, and said so.
  BmpImage wide(5000, 60, kPlate);
  fillRect(wide, 100, 20, 111, 39, kDark);
  wide.save(path("wide.bmp"));
  const ToolRun cropped = run({"research", path("wide.bmp"), path("out.bmp")});
  ASSERT_EQ(cropped.code, 0) << cropped.err;
  EXPECT_NE(cropped.err.find("columns from 4097 on are never analysed"), std::string::npos) << cropped.err;
  EXPECT_EQ(cropped.out.rfind("100 20 112 39 ", 0), 0u) << cropped.out;
  EXPECT_EQ(BmpImage::load(path("out.bmp")).width(), 4097);
}

}  // namespace
}  // namespace tolvane::tool
