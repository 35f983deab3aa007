#include "engine/emulation_run.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "engine/analysis_timing.h"

namespace tolvane {
namespace {

constexpr BmpPixel kPlate{230, 230, 230};
constexpr BmpPixel kDark{60, 90, 120};

// Zones of 42 or 43 pixels covering pixels 1..2048 on both sides, as a calibrated machine has them.
void calibrate(EngineState& state) {
  for (int j = 1; j <= kEjectorsPerSide; ++j) {
    EjectorZone& z = state.ejection.EjectorZones[j];
    z.aStart = z.bStart = 1 + (j - 1) * kPixelsPerLine / kEjectorsPerSide;
    z.aEnd = z.bEnd = 1 + j * kPixelsPerLine / kEjectorsPerSide;
  }
}

void fillRect(BmpImage& image, int x0, int y0, int x1, int y1, BmpPixel colour) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) image.set(x, y, colour);
  }
}

class EmulationTest : public ::testing::Test {
 protected:
  EmulationTest() : camera1_(0), camera2_(1), picture_(1280, 200, kPlate) {
    calibrate(state_);
    // What loading a single-tone program sets: a white prefill for the default ranges.
    state_.BackgroundFill = {255, 255, 255};
  }

  int liveObjects() const {
    int n = 0;
    for (int k = 1; k <= state_.ObjectCount; ++k) n += state_.ObjectTable[k].Done == 0;
    return n;
  }

  EngineState state_;
  CameraLineState camera1_;
  CameraLineState camera2_;
  SorterSettings sorter_;
  MachineSettings machine_;
  BmpImage picture_;
};

TEST_F(EmulationTest, BlankPictureCreatesNoObjectAndAdvancesBothCounters) {
  state_.ObjectCount = 7;  // left from earlier work: the run starts from an empty table
  int rows = 0;
  runEmulation(state_, camera1_, camera2_, sorter_, machine_, picture_, [&] { ++rows; });
  EXPECT_EQ(rows, 199);
  EXPECT_EQ(state_.ObjectCount, 0);
  EXPECT_EQ(camera1_.LineCounter.load(), 200);
  EXPECT_EQ(camera2_.LineCounter.load(), 200);
}

TEST_F(EmulationTest, DarkStripeMakesOneObjectPerCameraMirroredForCameraTwo) {
  fillRect(picture_, 100, 10, 119, 29, kDark);  // 20 columns, rows 10..29
  // Watch camera 1's object close: after row r the counters read r + 1.
  int closedAfterRow = -1;
  runEmulation(state_, camera1_, camera2_, sorter_, machine_, picture_, [&] {
    const int row = static_cast<int>(camera1_.LineCounter.load()) - 1;
    if (closedAfterRow < 0 && state_.ObjectCount >= 1 && state_.ObjectTable[1].Open == 0)
      closedAfterRow = row;
  });
  EXPECT_EQ(closedAfterRow, 33) << "closes 4 rows after the stripe's last row 29";

  ASSERT_EQ(state_.ObjectCount, 2);
  EXPECT_EQ(liveObjects(), 2) << "no ejection step: objects stay in the table";
  const ObjectRecord& a = state_.ObjectTable[1];
  const ObjectRecord& b = state_.ObjectTable[2];
  EXPECT_EQ(a.Camera, 0);
  EXPECT_EQ(a.XMin, 100);
  EXPECT_EQ(a.XMax, 120);
  EXPECT_EQ(a.FirstLine, 10);
  EXPECT_EQ(a.LastLine, 29);
  EXPECT_EQ(a.CreatedAt, 10);
  EXPECT_EQ(b.Camera, 1);
  EXPECT_EQ(b.XMin, 1201 - 119);
  EXPECT_EQ(b.XMax, 1201 - 100 + 1);
  EXPECT_EQ(b.FirstLine, 10);
  // 19 continuing lines of 21 pixels (the run and its first background pixel), counted twice.
  EXPECT_EQ(a.Mass, 2 * 19 * 20);
  EXPECT_EQ(b.Mass, a.Mass);
  // The image holds the grey (red byte) of the picture.
  EXPECT_EQ(readImagePixel(a, 50, 2).r, kDark.r);
  EXPECT_EQ(readImagePixel(a, 50, 2).g, kDark.r);

  const std::vector<std::string> dump = currentObjectsDump(state_);
  ASSERT_EQ(dump.size(), 2u);
  EXPECT_EQ(dump[0], "1: 0\t760\t0\t0\t20\t19\t20\t10");
  EXPECT_EQ(dump[1], "2: 1\t760\t0\t0\t20\t19\t20\t10");
}

TEST_F(EmulationTest, NarrowAndTooWideStripesMakeNoObject) {
  fillRect(picture_, 100, 10, 101, 60, kDark);    // 2 pixels: too narrow
  fillRect(picture_, 300, 10, 499, 60, kDark);    // 200 pixels: too wide
  fillRect(picture_, 800, 150, 802, 160, kDark);  // 3 pixels: just wide enough
  runEmulation(state_, camera1_, camera2_, sorter_, machine_, picture_);
  ASSERT_EQ(state_.ObjectCount, 2);
  EXPECT_EQ(state_.ObjectTable[1].XMin, 800);
  EXPECT_EQ(state_.ObjectTable[2].XMin, 1201 - 802);
}

TEST_F(EmulationTest, ColourBuildFeedsRgbLines) {
  state_.singleToneCamera = false;
  state_.BrightMode = true;  // brightness test on red, as the single-channel colour mode does
  state_.SingleChannel = 1;
  fillRect(picture_, 400, 20, 429, 60, kDark);
  bool mirrored = false;
  runEmulation(state_, camera1_, camera2_, sorter_, machine_, picture_, [&] {
    if (camera1_.LineCounter.load() == 31) mirrored = camera2_.rgb(1201 - 400)[1] == kDark.g;
  });
  EXPECT_TRUE(mirrored) << "camera 2 sees the picture mirrored";
  ASSERT_GE(state_.ObjectCount, 2);
  const ObjectRecord& a = state_.ObjectTable[1];
  EXPECT_EQ(a.XMin, 400);
  EXPECT_EQ(readImagePixel(a, 50, 2), (RgbPixel{kDark.r, kDark.g, kDark.b}));
  EXPECT_EQ(camera1_.rgb(1200)[0], 0);
  EXPECT_EQ(camera1_.rgb(kLineBufferPixels)[2], 0) << "the last buffer pixel is cleared too";
}

TEST_F(EmulationTest, RefusesPicturesTooSmallAndCamerasOutOfOrder) {
  EXPECT_THROW(runEmulation(state_, camera1_, camera2_, sorter_, machine_, BmpImage(1200, 200)),
               std::invalid_argument);
  EXPECT_THROW(runEmulation(state_, camera1_, camera2_, sorter_, machine_, BmpImage(1280, 199)),
               std::invalid_argument);
  EXPECT_NO_THROW(runEmulation(state_, camera1_, camera2_, sorter_, machine_, BmpImage(1201, 200, kPlate)));
  EXPECT_THROW(runEmulation(state_, camera2_, camera1_, sorter_, machine_, picture_), std::invalid_argument);
}

TEST(CurrentObjectsDump, LineFormatAndEmptyTable) {
  ObjectRecord rec{};
  rec.Camera = 1;
  rec.Mass = 42;
  rec.Width1 = 3;
  rec.Width2 = -4;
  rec.XMin = 10;
  rec.XMax = 25;
  rec.FirstLine = 100;
  rec.LastLine = 96;
  rec.ImgRows = 7;
  rec.CreatedAt = -1;
  EXPECT_EQ(currentObjectLine(12, rec), "12: 1\t42\t3\t-4\t15\t-4\t7\t4294967295");
  rec.XMax = 2147483647;
  rec.XMin = -2147483647 - 1;
  EXPECT_EQ(currentObjectLine(1, rec), "1: 1\t42\t3\t-4\t4294967295\t-4\t7\t4294967295");

  auto state = std::make_unique<EngineState>();
  EXPECT_TRUE(currentObjectsDump(*state).empty());
  state->ObjectCount = 5000;  // damaged count: the dump stops at the table
  EXPECT_EQ(currentObjectsDump(*state).size(), static_cast<std::size_t>(kObjectTableSize));
}

// --- analysis timing ---

TEST_F(EmulationTest, TimingReportsMillisecondsAndLeavesNothingScheduled) {
  state_.singleToneCamera = false;  // grey 100 lines classify through the colour test: every pixel a defect
  const std::int64_t before = state_.ejection.LineModeOff[5].load();
  const EngineCounterTable counters = state_.ejection.EngineCounters;
  const std::int32_t mapBefore = state_.ObjectCount;
  const SorterSettings settingsBefore = sorter_;

  const std::int64_t ms = runAnalysisTiming(state_, camera1_, sorter_, machine_);
  EXPECT_GE(ms, 0);
  EXPECT_EQ(state_.ejection.LineModeOff[5].load(), before);
  EXPECT_EQ(state_.ejection.EngineCounters.values, counters.values);
  EXPECT_EQ(state_.ObjectCount, mapBefore);
  EXPECT_EQ(sorter_.ifFast, settingsBefore.ifFast);
  // The test line stays in the buffer, and the analysis did classify it.
  EXPECT_EQ(camera1_.rgb(177)[0], 8);
  EXPECT_EQ(camera1_.rgb(176)[0], 100);
  EXPECT_EQ(camera1_.ClassMap[500], 4);
}

}  // namespace
}  // namespace tolvane
