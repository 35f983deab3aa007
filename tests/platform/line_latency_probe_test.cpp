#include "platform/line_latency_probe.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "platform/recording_digital_board.h"

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kBase = 0xE000;

TEST(LatencyHistogram, PercentilesAndMaximum) {
  LatencyHistogram h;
  EXPECT_EQ(h.count(), 0u);
  EXPECT_EQ(h.percentileNs(0.5), 0);
  EXPECT_EQ(h.maxNs(), 0);

  for (int us = 1; us <= 100; ++us) h.record(us * 1000);
  EXPECT_EQ(h.count(), 100u);
  EXPECT_EQ(h.percentileNs(0.5), 50'000 + LatencyHistogram::kStepNs);  // the step above 50 us
  EXPECT_EQ(h.percentileNs(0.99), 99'000 + LatencyHistogram::kStepNs);
  EXPECT_EQ(h.percentileNs(1.0), 100'000);  // never above the maximum
  EXPECT_EQ(h.maxNs(), 100'000);

  // Beyond the range: counted in the last step, the maximum stays exact. Negative reads as 0.
  h.record(LatencyHistogram::kRangeNs * 3);
  h.record(-5);
  EXPECT_EQ(h.count(), 102u);
  EXPECT_EQ(h.maxNs(), LatencyHistogram::kRangeNs * 3);
  EXPECT_EQ(h.percentileNs(1.0), LatencyHistogram::kRangeNs * 3);
  EXPECT_EQ(h.percentileNs(0.0), LatencyHistogram::kStepNs);  // the 0 sample
}

TEST(LatencyHistogram, RecordsFromTwoThreads) {
  LatencyHistogram h;
  auto fill = [&] {
    for (int i = 0; i < 10000; ++i) h.record(i);
  };
  std::thread a(fill), b(fill);
  a.join();
  b.join();
  EXPECT_EQ(h.count(), 20000u);
  EXPECT_EQ(h.maxNs(), 9999);
}

ProductStreamConfig oneCamera(bool waitForLineTime) {
  ProductStreamConfig c;
  c.cameraPresent = {true, false};
  c.lineRateHz = 1000;
  c.waitForLineTime = waitForLineTime;
  c.pixelsPerLine = 256;
  return c;
}

void startCamera(CameraDriver& driver, int camera) {
  std::int32_t index = camera;
  ASSERT_TRUE(ccdSucceeded(driver.CCD_Init(nullptr, 0, &index)));
  ASSERT_TRUE(ccdSucceeded(driver.CCD_InitMeasuring(camera)));
  ASSERT_TRUE(ccdSucceeded(driver.CCD_StartMeasuring(camera)));
}

TEST(LineLatencyProbe, PassesCallsThroughAndTimesTheValveWriteAfterACamera1Line) {
  // Ten lines a second: three reads stay ahead of the line clock however slowly a sanitizer runs them.
  ProductStreamConfig config = oneCamera(false);
  config.lineRateHz = 10;
  ProductStreamSimulator sim(config);
  RecordingDigitalBoard inner;
  LineLatencyProbe probe(sim, inner);
  DigitalBoard& board = probe.board();
  board.setFound(true, kBase);
  CameraDriver& camera = probe.camera();

  EXPECT_FALSE(probe.started(0));
  startCamera(camera, 0);
  EXPECT_TRUE(probe.started(0));
  float pixels = 0;
  EXPECT_TRUE(ccdSucceeded(camera.CCD_GetParameter(0, 7, &pixels)));
  EXPECT_EQ(pixels, 256.0f);
  std::int32_t absent = 1;
  EXPECT_FALSE(ccdSucceeded(camera.CCD_Init(nullptr, 0, &absent)));

  // The line the probe hands over is the simulator's own line.
  std::vector<std::uint8_t> seen(kLineMonoBytes), direct(kLineMonoBytes);
  ASSERT_TRUE(ccdSucceeded(camera.CCD_GetDataByte(0, seen.data())));
  sim.renderLine(0, 0, direct.data());
  EXPECT_EQ(std::vector<std::uint8_t>(seen.begin(), seen.begin() + 256),
            std::vector<std::uint8_t>(direct.begin(), direct.begin() + 256));
  EXPECT_EQ(sim.lineStats(0).delivered, 1u);

  // Only the last valve port closes a valve write; one line gives one sample.
  board.PIODIO_OutputByte(kBase + 0xD0, 5);
  EXPECT_EQ(probe.valveLatency().count(), 0u);
  board.PIODIO_OutputByte(kBase + 0xE8, 0x80);
  EXPECT_EQ(probe.valveLatency().count(), 1u);
  board.PIODIO_OutputByte(kBase + 0xE8, 0x80);
  EXPECT_EQ(probe.valveLatency().count(), 1u);
  ASSERT_TRUE(ccdSucceeded(camera.CCD_GetDataByte(0, seen.data())));
  board.PIODIO_OutputByte(kBase + 0xE8, 0);
  EXPECT_EQ(probe.valveLatency().count(), 2u);

  // A write from another thread (stop, tests) is not camera 1's valve write.
  ASSERT_TRUE(ccdSucceeded(camera.CCD_GetDataByte(0, seen.data())));
  std::thread([&] { board.PIODIO_OutputByte(kBase + 0xE8, 0); }).join();
  EXPECT_EQ(probe.valveLatency().count(), 2u);

  // Every write reached the board unchanged.
  const std::vector<RecordingDigitalBoard::Call> writes = inner.outputs();
  ASSERT_EQ(writes.size(), 5u);
  EXPECT_EQ(writes[0],
            (RecordingDigitalBoard::Call{RecordingDigitalBoard::Function::kOutputByte, kBase + 0xD0, 5}));
  EXPECT_EQ(writes[1],
            (RecordingDigitalBoard::Call{RecordingDigitalBoard::Function::kOutputByte, kBase + 0xE8, 0x80}));

  // Lines handed out at once run ahead of the line clock: never late.
  EXPECT_EQ(probe.lineLateness(0).count(), 3u);
  EXPECT_EQ(probe.linesLate(0), 0u);
  EXPECT_TRUE(ccdSucceeded(camera.CCD_CameraReset(0)));
  EXPECT_FALSE(ccdSucceeded(camera.CCD_GetDataByte(0, seen.data())));
  EXPECT_EQ(probe.lineLateness(0).count(), 3u);
}

TEST(LineLatencyProbe, LinesReadAfterTheirTimeCountAsLate) {
  ProductStreamSimulator sim(oneCamera(true));
  RecordingDigitalBoard inner;
  LineLatencyProbe probe(sim, inner);
  startCamera(probe.camera(), 0);
  std::vector<std::uint8_t> line(kLineMonoBytes);
  // At 1000 lines per second, line 0 is due at the start; reading it 5 ms later is late.
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_GetDataByte(0, line.data())));
  EXPECT_EQ(probe.linesLate(0), 1u);
  EXPECT_GE(probe.lineLateness(0).maxNs(), 4'000'000);
  EXPECT_EQ(probe.linesLate(1), 0u);
  // The stream's clock is camera 1's start.
  EXPECT_EQ(probe.sinceStreamStart(probe.measuringStarted(0)), 0);
  EXPECT_GT(probe.sinceStreamStart(Clock::now()), 5'000'000);
}

// The steady clock, but each reading takes a while when asked to: a start call that is slow to
// return, as one waiting for the other camera's lock is.
class SlowReadingClock : public LineClock {
 public:
  std::atomic<bool> slow{false};
  TimePoint now() override {
    const TimePoint t = Clock::now();
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(4));
    return t;
  }
  void sleepUntil(TimePoint when) override { std::this_thread::sleep_until(when); }
};

TEST(LineLatencyProbe, LineTimesFollowTheCamerasOwnClockHoweverLongTheStartCallTakes) {
  ProductStreamConfig c = oneCamera(true);
  c.lineRateHz = 100;  // 10 ms a line
  auto clock = std::make_shared<SlowReadingClock>();
  ProductStreamSimulator sim(c, clock);
  RecordingDigitalBoard inner;
  LineLatencyProbe probe(sim, inner);
  std::int32_t index = 0;
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_Init(nullptr, 0, &index)));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_InitMeasuring(0)));
  clock->slow = true;
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_StartMeasuring(0)));
  clock->slow = false;
  EXPECT_EQ(probe.measuringStarted(0), sim.lineStats(0).anchorTime);

  // Line 0 was due when the clock was read, over 4 ms before the call returned.
  std::vector<std::uint8_t> line(kLineMonoBytes);
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_GetDataByte(0, line.data())));
  EXPECT_GE(probe.lineLateness(0).maxNs(), 4'000'000);
  EXPECT_EQ(probe.linesLate(0), 0u);

  // After a stop the curtain goes on from the next line; the probe counts back to where line 0
  // would have been, so the restarted camera's lines are not taken for late ones.
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_GetDataByte(0, line.data())));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_CameraReset(0)));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_InitMeasuring(0)));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_StartMeasuring(0)));
  const ProductStreamSimulator::CameraLineStats restarted = sim.lineStats(0);
  EXPECT_EQ(restarted.anchorLine, 2);
  EXPECT_EQ(probe.measuringStarted(0), restarted.anchorTime - std::chrono::milliseconds(20));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_GetDataByte(0, line.data())));
  EXPECT_EQ(sim.lineStats(0).lastLine, 2);
  EXPECT_EQ(probe.linesLate(0), 0u);
}

TEST(LineLatencyProbe, BothCamerasStartTheirLineClocksTogether) {
  ProductStreamConfig c = oneCamera(true);
  c.cameraPresent = {true, true};
  ProductStreamSimulator sim(c);
  RecordingDigitalBoard inner;
  LineLatencyProbe probe(sim, inner);
  std::int32_t i0 = 0, i1 = 1;
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_Init(nullptr, 0, &i0)));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_Init(nullptr, 0, &i1)));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_InitMeasuring(0)));
  ASSERT_TRUE(ccdSucceeded(probe.camera().CCD_InitMeasuring(1)));

  std::thread first([&] { probe.camera().CCD_StartMeasuring(0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const Clock::time_point secondArrives = Clock::now();
  probe.camera().CCD_StartMeasuring(1);
  first.join();
  // Camera 1 waited for camera 2, so its line clock started after camera 2 came.
  ASSERT_TRUE(probe.started(0) && probe.started(1));
  EXPECT_GE(probe.measuringStarted(0), secondArrives);
  EXPECT_GE(probe.measuringStarted(1), secondArrives);
}

}  // namespace
}  // namespace tolvane
