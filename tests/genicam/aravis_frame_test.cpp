// Whole frames from the Aravis driver over the fake GigE Vision camera: every frame handed out in
// place, and the lines lost before it (missing, dropped or half-read frames) told exactly.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "platform/aravis_camera_driver.h"
#include "tools/fake_gige_camera.h"

namespace tolvane {
namespace {

constexpr int kWidth = 512;
constexpr int kLines = 16;

ProductStreamConfig frameStream() {
  ProductStreamConfig config;
  config.pixelsPerLine = kWidth;
  config.waitForLineTime = false;
  config.seed = 11;
  return config;
}

std::uint32_t firstLineNumber(const CameraFrame& frame, int row = 0) {
  std::uint32_t n = 0;
  std::memcpy(&n, frame.data + static_cast<std::size_t>(row) * frame.bytesPerLine, sizeof n);
  return n;
}

class AravisFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_ = std::make_unique<test::FakeGigeCamera>(stream_);
    if (!fake_->running()) GTEST_SKIP() << "Aravis's fake GigE Vision camera cannot bind 127.0.0.1 here";
  }
  test::FakeStream stream_{frameStream()};
  std::unique_ptr<test::FakeGigeCamera> fake_;
};

TEST_F(AravisFrameTest, EachFrameTellsTheLinesLostBeforeIt) {
  AravisCameraConfig config;
  config.device = "127.0.0.1";
  config.pixelsPerLine = kWidth;
  config.linesPerFrame = kLines;
  config.lineRateHz = 100.0 * kLines;  // 100 frames a second
  config.poolSeconds = 0.01;           // the smallest pool, so a pause of the reader costs frames
  config.lostAfterMs = 3000;
  AravisCameraDriver driver(config, 0);
  std::int32_t index = 0;
  ASSERT_TRUE(ccdSucceeded(driver.CCD_Init(nullptr, 0, &index))) << driver.lastError();
  EXPECT_EQ(driver.linesPerFrame(0), 1) << "no frames before measuring";
  ASSERT_TRUE(ccdSucceeded(driver.CCD_InitMeasuring(0))) << driver.lastError();
  ASSERT_TRUE(ccdSucceeded(driver.CCD_StartMeasuring(0))) << driver.lastError();
  EXPECT_EQ(driver.linesPerFrame(0), kLines);
  EXPECT_EQ(driver.linesPerFrame(1), 1) << "serves camera 1 only";

  struct Case {
    const char* what;
    std::function<void()> disturb;
    bool loses;
    int lineReads;  // lines the disturbance read one at a time
    // Frames that never came are counted at the set height, which the frames of another height
    // were not: there the count may exceed the lines really lost, by up to the set height a frame.
    bool exact = true;
    // The next frame waited in the pool through the disturbance: it keeps the time it came.
    bool waited = false;
  };
  std::vector<std::uint8_t> line(kLineMonoBytes);
  std::int64_t nextExpected = -1;  // the stream line after the last one handed out
  const Case cases[] = {
      {"a reader that keeps up", [] {}, false, 0},
      {"a reader paused longer than the pool lasts",
       [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); }, true, 0, true, true},
      {"the rest of a frame begun line by line",
       [&] {
         for (int i = 0; i < 3; ++i) {
           const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
           while (!ccdSucceeded(driver.CCD_GetDataByte(0, line.data())) &&
                  std::chrono::steady_clock::now() < until) {
           }
           std::uint32_t n = 0;
           std::memcpy(&n, line.data(), sizeof n);
           nextExpected = static_cast<std::int64_t>(n) + 1;
         }
       },
       true, 3},
      {"frames of half the height",
       [&] {
         ASSERT_TRUE(
             arv_fake_camera_write_register(fake_->fake(), ARV_FAKE_CAMERA_REGISTER_HEIGHT, kLines / 2));
         std::this_thread::sleep_for(std::chrono::milliseconds(60));
         ASSERT_TRUE(arv_fake_camera_write_register(fake_->fake(), ARV_FAKE_CAMERA_REGISTER_HEIGHT, kLines));
       },
       true, 0, false},
  };
  std::vector<std::uint8_t> expected(kWidth);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const AravisStreamCounters before = driver.counters();
    std::int64_t lostBefore = 0;
    std::int64_t realLost = 0;
    bool first = true;
    std::int64_t previousTimeNs = 0;
    for (int got = 0; got < 6;) {
      CameraFrame frame;
      const auto asked = std::chrono::steady_clock::now();
      if (!ccdSucceeded(driver.readFrame(0, &frame))) {
        ASSERT_FALSE(driver.counters().lost);
        continue;
      }
      const auto answered = std::chrono::steady_clock::now();
      ASSERT_EQ(frame.lineCount, kLines);
      ASSERT_EQ(frame.bytesPerLine, static_cast<std::size_t>(kWidth));
      EXPECT_EQ(frame.linePeriodNs, 1'000'000'000 / (100 * kLines));
      EXPECT_LE(frame.lastLineTimeNs, answered.time_since_epoch().count());
      EXPECT_GT(frame.lastLineTimeNs, previousTimeNs);
      if (got == 1 && c.waited) {
        EXPECT_LT(frame.lastLineTimeNs, asked.time_since_epoch().count()) << "not the time it was read";
      }
      previousTimeNs = frame.lastLineTimeNs;
      const std::int64_t firstLine = firstLineNumber(frame);
      if (nextExpected >= 0 && c.exact) {
        EXPECT_EQ(frame.lostLinesBefore, firstLine - nextExpected)
            << "line clock moves on by exactly the lost lines";
      }
      if (nextExpected >= 0) realLost += firstLine - nextExpected;
      lostBefore += frame.lostLinesBefore;
      for (int row = 0; row < kLines; ++row) {
        ASSERT_EQ(firstLineNumber(frame, row), static_cast<std::uint32_t>(firstLine + row));
      }
      stream_.line(static_cast<std::uint32_t>(firstLine + kLines - 1), expected.data());
      EXPECT_EQ(0, std::memcmp(expected.data(), frame.data + (kLines - 1) * kWidth, kWidth))
          << "bytes in place";
      nextExpected = firstLine + kLines;
      ++got;
      if (first) c.disturb();
      first = false;
    }
    const AravisStreamCounters after = driver.counters();
    EXPECT_EQ(lostBefore > 0, c.loses) << lostBefore;
    EXPECT_GE(lostBefore, realLost) << "no lost line forgotten";
    EXPECT_LE(lostBefore, 2 * realLost);
    EXPECT_EQ(after.lostLines - before.lostLines, static_cast<std::uint64_t>(lostBefore));
    EXPECT_EQ(after.deliveredLines - before.deliveredLines,
              static_cast<std::uint64_t>(6 * kLines + c.lineReads));
    EXPECT_GE(after.completedFrames - before.completedFrames, 6U);
  }
  const AravisStreamCounters end = driver.counters();
  EXPECT_GT(end.underrunFrames, 0U) << "the paused reader left the camera without buffers";
  EXPECT_GT(end.mismatchedFrames + end.failedFrames, 0U);
  EXPECT_TRUE(ccdSucceeded(driver.CCD_CameraReset(0)));
  CameraFrame frame;
  EXPECT_FALSE(ccdSucceeded(driver.readFrame(0, &frame))) << "no frames after the reset";
  EXPECT_EQ(driver.linesPerFrame(0), 1);
}

TEST(AravisCountersTextTest, ShowsEveryCounterInItsPlace) {
  struct Case {
    AravisStreamCounters counters;
    const char* text;
  };
  const Case cases[] = {
      {{}, "кадры 0 (сбой 0, размер 0, переполн. 0), строки 0, потеряно 0"},
      {{120, 3, 4, 5, 448, 7680, false},
       "кадры 120 (сбой 3, размер 4, переполн. 5), строки 7680, потеряно 448"},
      {{1, 0, 0, 0, 0, 64, true},
       "кадры 1 (сбой 0, размер 0, переполн. 0), строки 64, потеряно 0, НЕТ СВЯЗИ"},
  };
  for (const Case& c : cases) EXPECT_EQ(aravisCountersText(c.counters), c.text);
}

}  // namespace
}  // namespace tolvane
