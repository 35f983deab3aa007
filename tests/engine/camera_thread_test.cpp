// The camera thread against the recording camera driver and the product-stream simulator, with real
// threads. Lines are handed over one batch at a time and the test waits (bounded) for the thread to
// count them, so every check sees a known line; engine tables are read after join or under the lock.
#include "engine/camera_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/object_tracker.h"
#include "engine_test_rig.h"
#include "platform/product_stream_simulator.h"
#include "platform/recording_camera_driver.h"
#include "tests/thread_test_support.h"

namespace tolvane {
namespace {

using Answer = RecordingCameraDriver::Answer;

constexpr std::uint8_t kPlate = 230;
constexpr std::uint8_t kProduct = 100;

class ManualClock : public MillisecondClock {
 public:
  std::int64_t nowMs() override { return ms.load(); }
  std::atomic<std::int64_t> ms{0};
};

// Counts valve writes and remembers every output it ever saw open.
class RecordingValves : public ValveOutput {
 public:
  void write(EjectionState& state) override { writeImage(state, ValveImage::of(state.ValveStates)); }
  void writeImage(EjectionState&, const ValveImage& image) override {
    writes.fetch_add(1);
    for (int m = 1; m <= kEjectorSlots; ++m) {
      if (image.isOpen(m)) everOpen[static_cast<std::size_t>(m)].store(true);
    }
  }
  std::atomic<int> writes{0};
  std::array<std::atomic<bool>, kEjectorSlots + 1> everOpen{};
};

struct Span {
  int from;
  int to;
  std::uint8_t value = kProduct;
};

std::vector<std::uint8_t> monoLine(const std::vector<Span>& spans = {}) {
  std::vector<std::uint8_t> line(kLineMonoBytes, kPlate);
  for (const Span& s : spans) {
    for (int p = s.from; p <= s.to; ++p) line[static_cast<std::size_t>(p - 1)] = s.value;
  }
  return line;
}

// A mono line whose pixel p holds f(p).
std::vector<std::uint8_t> patternLine(const std::function<std::uint8_t(int)>& f) {
  std::vector<std::uint8_t> line(kLineMonoBytes);
  for (int p = 1; p <= static_cast<int>(kLineMonoBytes); ++p) line[static_cast<std::size_t>(p - 1)] = f(p);
  return line;
}

std::vector<std::uint8_t> rgbLine(const std::function<Rgb(int)>& f) {
  std::vector<std::uint8_t> line(kLineRgbBytes);
  for (int p = 1; p <= static_cast<int>(kMaxLinePixels); ++p) {
    const Rgb c = f(p);
    const auto at = static_cast<std::size_t>(3 * (p - 1));
    line[at] = c.r;
    line[at + 1] = c.g;
    line[at + 2] = c.b;
  }
  return line;
}

using test::threadCountOfProcess;
using test::waitFor;

class CameraThreadTest : public ::testing::Test {
 protected:
  CameraThreadTest() {
    testing_rig::useFortyPixelEjectors(*state, sorter, machine);
    options.applyScheduling = false;
    options.clock = &clock;
    driver.setIdleWait(std::chrono::microseconds(200));
  }

  std::unique_ptr<TCameraThread> make(int camera) {
    auto thread =
        std::make_unique<TCameraThread>(camera, driver, *state, sorter, machine, table, &valves, options);
    std::lock_guard lock(state->engineLock);
    prepareCameraForRun(thread->line(), *state, machine);
    return thread;
  }

  // Queues the lines and waits until the thread has counted them.
  void feed(TCameraThread& thread, const std::vector<std::vector<std::uint8_t>>& lines) {
    const std::int64_t target = thread.LineCounter() + static_cast<std::int64_t>(lines.size());
    for (const auto& line : lines) driver.queueLine(thread.cameraIndex(), line);
    ASSERT_TRUE(waitFor([&] { return thread.LineCounter() == target; }));
  }
  void feed(TCameraThread& thread, const std::vector<std::uint8_t>& line) {
    feed(thread, std::vector<std::vector<std::uint8_t>>{line});
  }

  // The rate as the UI reads it, after the pass that wrote it.
  std::uint32_t rate(const TCameraThread& thread) {
    std::lock_guard lock(state->engineLock);
    return thread.MsPer1000Lines();
  }

  static void finish(TCameraThread& thread) {
    thread.requestStop();
    thread.join();
  }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
  CameraThreadTable table;
  RecordingCameraDriver driver;
  RecordingValves valves;
  ManualClock clock;
  CameraThreadOptions options;
};

TEST(PreviewPixelTest, HalfEvenRoundingOfTheStepPlusOne) {
  EXPECT_EQ(previewPixel(0), 1);
  EXPECT_EQ(previewPixel(1), 3);    // 2.04
  EXPECT_EQ(previewPixel(2), 5);    // 4.08
  EXPECT_EQ(previewPixel(25), 52);  // 51.0 exactly in decimal, not quite in binary
  EXPECT_EQ(previewPixel(999), 2039);
}

TEST_F(CameraThreadTest, SingleToneStartSequenceReadsUntilStopThenResetsOnce) {
  driver.setParameterValue(0, 7, 2048.0F);
  driver.setParameterValue(0, 8, 1.0F);
  driver.setParameterValue(0, 4, 1024.0F);
  auto thread = make(0);
  EXPECT_FALSE(thread->started());
  EXPECT_EQ(table.CameraThreads[0].load(), thread.get());
  thread->Resume();
  ASSERT_TRUE(driver.waitForCall(CcdCall::kGetDataByte, 0, std::chrono::seconds(60)));
  finish(*thread);

  const auto calls = driver.calls(0);
  ASSERT_GE(calls.size(), 10u);
  EXPECT_EQ(calls[0].call, CcdCall::kSetParameter);
  EXPECT_EQ(calls[0].parameter, 10);
  EXPECT_FLOAT_EQ(calls[0].value, 4.0F);
  EXPECT_EQ(calls[1].call, CcdCall::kSetParameter);
  EXPECT_EQ(calls[1].parameter, 5);
  EXPECT_FLOAT_EQ(calls[1].value, 0.5F);
  EXPECT_EQ(calls[2].parameter, 7);
  EXPECT_EQ(calls[3].parameter, 8);
  EXPECT_EQ(calls[4].parameter, 4);
  for (int i = 2; i <= 4; ++i) EXPECT_EQ(calls[static_cast<std::size_t>(i)].call, CcdCall::kGetParameter);
  EXPECT_EQ(calls[5].call, CcdCall::kHitTest);
  EXPECT_EQ(calls[6].call, CcdCall::kInitMeasuring);
  EXPECT_EQ(calls[7].call, CcdCall::kStartMeasuring);
  for (std::size_t i = 8; i + 1 < calls.size(); ++i) EXPECT_EQ(calls[i].call, CcdCall::kGetDataByte) << i;
  EXPECT_EQ(calls.back().call, CcdCall::kCameraReset);
  EXPECT_TRUE(driver.calls(1).empty());

  EXPECT_FLOAT_EQ(thread->line().CameraParam7, 2048.0F);
  EXPECT_FLOAT_EQ(thread->line().CameraParam8, 1.0F);
  EXPECT_FLOAT_EQ(thread->line().CameraParam4, 1024.0F);
  EXPECT_TRUE(state->CameraFound[0].load());
  EXPECT_TRUE(state->LineSeen[0].load());
  EXPECT_FALSE(state->LineSeen[1].load());
  EXPECT_TRUE(thread->finished());
  EXPECT_EQ(thread->LineCounter(), 0);
}

TEST_F(CameraThreadTest, ColourCamerasSetNoParameters) {
  state->singleToneCamera = false;
  auto thread = make(1);
  thread->Resume();
  ASSERT_TRUE(driver.waitForCall(CcdCall::kGetDataByte, 1, std::chrono::seconds(60)));
  finish(*thread);
  const auto sequence = driver.callSequence(1);
  ASSERT_GE(sequence.size(), 7u);
  EXPECT_EQ(sequence[0], CcdCall::kGetParameter);
  EXPECT_EQ(sequence[3], CcdCall::kHitTest);
  EXPECT_EQ(std::count(sequence.begin(), sequence.end(), CcdCall::kSetParameter), 0);
  EXPECT_EQ(sequence.back(), CcdCall::kCameraReset);
}

// Which start call fails (its position among calls of its kind) and whether the reset must follow.
struct StartFailure {
  const char* name;
  CcdCall call;
  int nth;  // 0-based among calls of this kind
  bool resetExpected;
  bool cameraFound;
};

class CameraThreadStartFailureTest : public CameraThreadTest,
                                     public ::testing::WithParamInterface<std::tuple<StartFailure, bool>> {};

TEST_P(CameraThreadStartFailureTest, EndsDuringStartWithResetOnlyAfterHitTest) {
  const auto [failure, throws] = GetParam();
  std::vector<Answer> answers(static_cast<std::size_t>(failure.nth), Answer{});
  answers.push_back(Answer{.result = throws ? kCcdSuccess : 0x100, .throws = throws});  // low byte 0: failure
  driver.queueAnswers(failure.call, 0, answers);
  driver.queueLine(0, monoLine());

  auto thread = make(0);
  thread->Resume();
  ASSERT_TRUE(waitFor([&] { return thread->finished(); }));
  thread->join();

  const auto sequence = driver.callSequence(0);
  const std::vector<CcdCall> full = {CcdCall::kSetParameter,  CcdCall::kSetParameter,  CcdCall::kGetParameter,
                                     CcdCall::kGetParameter,  CcdCall::kGetParameter,  CcdCall::kHitTest,
                                     CcdCall::kInitMeasuring, CcdCall::kStartMeasuring};
  // Calls up to and including the failing one.
  std::vector<CcdCall> expected;
  int seen = 0;
  for (CcdCall call : full) {
    expected.push_back(call);
    if (call == failure.call && seen++ == failure.nth) break;
  }
  if (failure.resetExpected) expected.push_back(CcdCall::kCameraReset);
  EXPECT_EQ(sequence, expected);
  EXPECT_EQ(driver.readCount(0), 0u);
  EXPECT_EQ(driver.queuedLines(0), 1u);
  EXPECT_FALSE(state->LineSeen[0].load());
  EXPECT_EQ(state->CameraFound[0].load(), failure.cameraFound);
  EXPECT_EQ(valves.writes.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStartStep, CameraThreadStartFailureTest,
    ::testing::Combine(
        ::testing::Values(StartFailure{"Gain", CcdCall::kSetParameter, 0, false, false},
                          StartFailure{"Exposure", CcdCall::kSetParameter, 1, false, false},
                          StartFailure{"Param7", CcdCall::kGetParameter, 0, false, false},
                          StartFailure{"Param8", CcdCall::kGetParameter, 1, false, false},
                          StartFailure{"Param4", CcdCall::kGetParameter, 2, false, false},
                          StartFailure{"MissingCamera", CcdCall::kHitTest, 0, false, false},
                          StartFailure{"InitMeasuring", CcdCall::kInitMeasuring, 0, true, false},
                          StartFailure{"StartMeasuring", CcdCall::kStartMeasuring, 0, true, true}),
        ::testing::Bool()),
    [](const auto& test) {
      return std::string(std::get<0>(test.param).name) + (std::get<1>(test.param) ? "Throws" : "Fails");
    });

TEST_F(CameraThreadTest, LinesAreAnalysedCountedAndPublishedAsCameraOneClock) {
  auto thread = make(0);
  thread->Resume();
  feed(*thread, {monoLine({{100, 110}}), monoLine({{100, 110}}), monoLine()});
  {
    std::lock_guard lock(state->engineLock);
    EXPECT_EQ(state->ObjectCount, 1);  // the run of the first two lines
    EXPECT_EQ(state->ObjectTable[1].XMin, 100);
  }
  EXPECT_EQ(table.camera1LineCounter.load(), 3);
  EXPECT_TRUE(state->LineSeen[0].load());
  ASSERT_TRUE(waitFor([&] { return driver.readCount(0) >= 4; }));
  finish(*thread);
  EXPECT_EQ(thread->line().LineMono[105], kPlate);  // the last line read
  EXPECT_EQ(thread->line().LineReadOk, 0);          // the reads after it found nothing
}

TEST_F(CameraThreadTest, CameraTwoCountsTimeInCameraOneLines) {
  sorter.enFast = true;
  table.camera1LineCounter = 500;
  auto thread = make(1);
  thread->Resume();
  feed(*thread, monoLine({{161, 190}}));  // 30 pixels in ejector 5's zone, more than ifFast
  finish(*thread);
  EXPECT_EQ(state->ejection.LineModeOn[5].load(), 500 + machine.Delay);
  EXPECT_EQ(state->ejection.LineModeOff[5].load(), 500 + machine.Delay + machine.Time);
  EXPECT_EQ(thread->LineCounter(), 1);
  EXPECT_EQ(table.camera1LineCounter.load(), 500);  // camera 2 never moves camera 1's clock
  EXPECT_EQ(valves.writes.load(), 0);               // and runs no ejection step
}

TEST_F(CameraThreadTest, FirstLineGivesPreviewAndHugeRateThenEveryThousandLines) {
  clock.ms = 5'000'000;
  auto thread = make(0);
  thread->Resume();
  const auto first = patternLine([](int p) { return static_cast<std::uint8_t>(p * 7); });
  feed(*thread, first);
  {
    std::lock_guard lock(state->engineLock);
    for (int k = 0; k < kPreviewPoints; ++k) {
      const std::uint8_t v = first[static_cast<std::size_t>(previewPixel(k) - 1)];
      ASSERT_EQ(state->PreviewLine[0][static_cast<std::size_t>(k)], (RgbPixel{v, v, v})) << k;
    }
  }
  EXPECT_EQ(rate(*thread), 5'000'000u);

  clock.ms = 5'000'250;
  feed(*thread, std::vector<std::vector<std::uint8_t>>(999, monoLine()));
  EXPECT_EQ(rate(*thread), 5'000'000u);  // lines 2..1000 make no mark
  const auto mark = patternLine([](int p) { return static_cast<std::uint8_t>(255 - p % 256); });
  feed(*thread, mark);
  EXPECT_EQ(rate(*thread), 250u);
  {
    std::lock_guard lock(state->engineLock);
    EXPECT_EQ(state->PreviewLine[0][999].r, mark[2038]);
    EXPECT_EQ(state->PreviewLine[0][0].g, mark[0]);
  }

  clock.ms = std::int64_t{1} << 40;
  feed(*thread, std::vector<std::vector<std::uint8_t>>(1000, monoLine()));
  EXPECT_EQ(rate(*thread), std::numeric_limits<std::uint32_t>::max());
  clock.ms = 0;  // a clock that went back still gives at least 1
  feed(*thread, std::vector<std::vector<std::uint8_t>>(1000, monoLine()));
  EXPECT_EQ(rate(*thread), 1u);
  finish(*thread);
}

// Camera 1's whole line is copied out for the UI at the same moments as the preview, R = G = B for a
// single-tone camera; camera 2 publishes nothing.
TEST_F(CameraThreadTest, CameraOnePublishesItsWholeLineInTheLayoutOfTheRgbLine) {
  for (const bool singleTone : {true, false}) {
    SCOPED_TRACE(singleTone ? "single-tone" : "colour");
    state = std::make_unique<EngineState>();
    state->singleToneCamera = singleTone;
    auto two = make(1);
    two->Resume();
    feed(*two, singleTone ? monoLine({{300, 400}}) : rgbLine([](int) { return Rgb{1, 2, 3}; }));
    finish(*two);
    EXPECT_FALSE(state->ReadoutLineValid.load());

    auto one = make(0);
    one->Resume();
    const auto colourOf = [](int p) {
      return Rgb{static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 4),
                 static_cast<std::uint8_t>(3 * p)};
    };
    const auto line =
        singleTone ? patternLine([](int p) { return static_cast<std::uint8_t>(p * 7); }) : rgbLine(colourOf);
    feed(*one, line);
    // Lines 2..1000 do not replace it.
    feed(*one, std::vector<std::vector<std::uint8_t>>(5, singleTone ? monoLine() : rgbLine([](int) {
                                                        return Rgb{9, 9, 9};
                                                      })));
    finish(*one);
    ASSERT_TRUE(state->ReadoutLineValid.load());
    for (int p : {1, 2, 777, kPixelsPerLine, static_cast<int>(kMaxLinePixels)}) {
      const std::uint8_t* px = state->ReadoutLine.data() + 3 * static_cast<std::size_t>(p);
      const Rgb expected =
          singleTone ? Rgb{line[static_cast<std::size_t>(p - 1)], line[static_cast<std::size_t>(p - 1)],
                           line[static_cast<std::size_t>(p - 1)]}
                     : colourOf(p);
      EXPECT_EQ((Rgb{px[0], px[1], px[2]}), expected) << "pixel " << p;
    }
  }
}

TEST_F(CameraThreadTest, ARunningSimulatedCameraPublishesAReadoutLine) {
  state->singleToneCamera = false;
  ProductStreamConfig config;
  config.colour = true;
  config.waitForLineTime = false;
  config.productShare = 0.0;
  config.noise = 0;
  ProductStreamSimulator simulator(config);
  ASSERT_TRUE(probeCamera(simulator, *state, 0));
  auto thread =
      std::make_unique<TCameraThread>(0, simulator, *state, sorter, machine, table, &valves, options);
  {
    std::lock_guard lock(state->engineLock);
    prepareCameraForRun(thread->line(), *state, machine);
  }
  thread->Resume();
  ASSERT_TRUE(waitFor([&] { return state->ReadoutLineValid.load(); }));
  std::array<std::uint8_t, 3> pixel{};
  {
    std::lock_guard lock(state->engineLock);
    std::copy_n(state->ReadoutLine.data() + 3 * 1000, 3, pixel.begin());
  }
  thread.reset();
  // An empty curtain: the plate's colour.
  EXPECT_EQ((Rgb{pixel[0], pixel[1], pixel[2]}), config.backgroundColour);
}

TEST_F(CameraThreadTest, MaskPreviewShowsTheClassMap) {
  state->MaskSwitch = true;
  auto thread = make(1);
  thread->Resume();
  feed(*thread, monoLine({{300, 400}}));
  finish(*thread);
  for (int k = 0; k < kPreviewPoints; ++k) {
    const int p = previewPixel(k);
    if (p > 1900) break;
    const std::uint8_t expected = p >= 300 && p <= 400 ? 0 : 255;
    ASSERT_EQ(state->PreviewLine[1][static_cast<std::size_t>(k)], (RgbPixel{expected, expected, expected}))
        << p;
  }
}

TEST_F(CameraThreadTest, ColourPreviewTakesTheRgbLine) {
  state->singleToneCamera = false;
  auto thread = make(0);
  thread->Resume();
  const auto line = rgbLine([](int p) {
    return Rgb{static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(p >> 3),
               static_cast<std::uint8_t>(7 * p)};
  });
  feed(*thread, line);
  finish(*thread);
  for (int k : {0, 1, 500, 999}) {
    const auto at = static_cast<std::size_t>(3 * (previewPixel(k) - 1));
    EXPECT_EQ(state->PreviewLine[0][static_cast<std::size_t>(k)],
              (RgbPixel{line[at], line[at + 1], line[at + 2]}));
  }
}

TEST_F(CameraThreadTest, LineModeSwitchedOnMidRunTakesEffectOnTheNextLineAndPass) {
  auto thread = make(0);
  thread->Resume();
  feed(*thread, monoLine({{100, 110}}));
  {
    std::lock_guard lock(state->engineLock);
    EXPECT_EQ(state->ObjectCount, 1);
    sorter.enFast = true;
  }
  feed(*thread, monoLine({{161, 190}}));
  finish(*thread);
  // Line-mode analysis scheduled ejector 5 at clock 1 (the second line) ...
  EXPECT_EQ(state->ejection.LineModeOn[5].load(), 1);
  EXPECT_EQ(state->ejection.LineModeOff[5].load(), 1 + machine.Time);
  // ... and the line-mode step opened it; the object step would have closed it (PulseEnd 0).
  EXPECT_TRUE(state->ejection.ValveStates.isOpen(5));
  EXPECT_TRUE(valves.everOpen[5].load());
  EXPECT_EQ(state->ObjectCount, 1);
}

TEST_F(CameraThreadTest, TestMarksPaintDiagonalStripesIntoTheRgbLineOnly) {
  state->TestMarkCountdown = 3;
  auto thread = make(0);
  thread->Resume();
  feed(*thread, {monoLine(), monoLine(), monoLine(), monoLine()});
  finish(*thread);
  EXPECT_EQ(state->TestMarkCountdown.load(), 0);
  CameraLineState& cs = thread->line();
  for (int j : {1, 2, 6, 12, 13, 16, 18}) {
    const int s = state->ejection.EjectorZones[j].aStart;
    // Countdowns 3, 2, 1 paint s+c+4 .. s+c+9: together s+5 .. s+12.
    EXPECT_EQ(cs.rgb(s + 4)[0], 0) << j;
    for (int p = s + 5; p <= s + 12; ++p) {
      EXPECT_EQ(cs.rgb(p)[0], 200) << j << " " << p;
      EXPECT_EQ(cs.rgb(p)[2], 200) << j << " " << p;
      // The single-tone analysis reads LineMono and sees plate there.
      EXPECT_EQ(cs.ClassMap[static_cast<std::size_t>(p)], 0) << p;
    }
    EXPECT_EQ(cs.rgb(s + 13)[1], 0) << j;
  }
  EXPECT_EQ(cs.rgb(3 * 40 + 1 + 8)[0], 0);  // ejector 4 carries no mark
}

TEST_F(CameraThreadTest, CameraTwoAlsoPaintsAndCountsDown) {
  state->singleToneCamera = false;
  state->TestMarkCountdown = 2;
  auto thread = make(1);
  thread->Resume();
  const auto plate = rgbLine([](int) { return Rgb{10, 20, 30}; });
  feed(*thread, {plate, plate});
  finish(*thread);
  EXPECT_EQ(state->TestMarkCountdown.load(), 0);
  // A colour line replaces LineRGB, so only the last countdown (1) is left: s+5 .. s+10.
  const int s = state->ejection.EjectorZones[6].aStart;
  EXPECT_EQ(thread->line().rgb(s + 4)[0], 10);
  EXPECT_EQ(thread->line().rgb(s + 5)[0], 200);
  EXPECT_EQ(thread->line().rgb(s + 10)[1], 200);
  EXPECT_EQ(thread->line().rgb(s + 11)[2], 30);
}

TEST_F(CameraThreadTest, StripRowsTakeCameraOneLinesInGrey) {
  state->requestStripCapture();
  auto two = make(1);
  two->Resume();
  feed(*two, monoLine({{1, 50}}));
  EXPECT_EQ(state->StripRows.load(), 0);  // camera 2 does not capture
  finish(*two);

  auto one = make(0);
  one->Resume();
  std::vector<std::vector<std::uint8_t>> lines;
  for (int r = 0; r < 3; ++r)
    lines.push_back(patternLine([r](int p) { return static_cast<std::uint8_t>(p + 40 * r); }));
  feed(*one, lines);
  finish(*one);
  ASSERT_EQ(state->StripRows.load(), 3);
  for (int r = 0; r < 3; ++r) {
    const std::uint8_t* row = state->StripImage.get() + static_cast<std::size_t>(r) * kStripWidth * 3;
    for (int k : {0, 1, 700, kStripWidth - 1}) {
      const std::uint8_t grey = lines[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)];
      EXPECT_EQ(row[3 * k], grey) << r << " " << k;
      EXPECT_EQ(row[3 * k + 1], grey);
      EXPECT_EQ(row[3 * k + 2], grey);
    }
  }
}

TEST_F(CameraThreadTest, ColourStripCarriesTheTimeMarkAndTheValveMark) {
  state->singleToneCamera = false;
  // Line mode with ejector 1 scheduled for ever: output 1 is open from the first pass on.
  sorter.enFast = true;
  state->ejection.LineModeOff[1] = std::int64_t{1} << 40;
  state->requestStripCapture();
  const auto plate = rgbLine([](int) { return Rgb{1, 2, 3}; });
  auto thread = make(0);
  thread->Resume();
  clock.ms = 100;
  feed(*thread, plate);  // row 0: capture starts, 0 ms
  clock.ms = 103;
  feed(*thread, plate);  // row 1: 3 ms
  clock.ms = 110;
  feed(*thread, plate);  // row 2: 10 ms
  finish(*thread);
  ASSERT_EQ(state->StripRows.load(), 3);
  auto px = [&](int row, int pixel) {
    return state->StripImage.get() +
           (static_cast<std::size_t>(row) * kStripWidth + static_cast<std::size_t>(pixel - 1)) * 3;
  };
  // Row 0: output 1 was still closed, no time mark (0 ms is no pixel).
  EXPECT_EQ(px(0, 10)[1], 2);
  EXPECT_EQ(px(0, 1)[0], 1);
  // Row 1: time mark at pixel 3, valve mark at pixel 10.
  EXPECT_EQ(px(1, 3)[0], 255);
  EXPECT_EQ(px(1, 3)[1], 2);
  EXPECT_EQ(px(1, 10)[1], 255);
  EXPECT_EQ(px(1, 10)[0], 1);
  // Row 2: time mark at pixel 10 together with the valve mark.
  EXPECT_EQ(px(2, 10)[0], 255);
  EXPECT_EQ(px(2, 10)[1], 255);
  EXPECT_EQ(px(2, 10)[2], 3);
  EXPECT_EQ(px(2, 3)[0], 1);
}

TEST_F(CameraThreadTest, StripStopsAtFourThousandRows) {
  state->requestStripCapture();
  state->StripRows = kStripHeight - 1;
  auto thread = make(0);
  thread->Resume();
  feed(*thread, {monoLine({{1, 9}}), monoLine({{1, 9}})});
  finish(*thread);
  EXPECT_EQ(state->StripRows.load(), kStripHeight);
  const std::uint8_t* last =
      state->StripImage.get() + static_cast<std::size_t>(kStripHeight - 1) * kStripWidth * 3;
  EXPECT_EQ(last[0], kProduct);
}

TEST_F(CameraThreadTest, CounterWrapsToOne) {
  auto thread = make(0);
  thread->line().LineCounter = kLineCounterWrap - 2;
  thread->Resume();
  driver.queueLine(0, monoLine());
  ASSERT_TRUE(waitFor([&] { return thread->LineCounter() == kLineCounterWrap - 1; }));
  driver.queueLine(0, monoLine());
  ASSERT_TRUE(waitFor([&] { return thread->LineCounter() == 1; }));
  finish(*thread);
  EXPECT_EQ(thread->LineCounter(), 1);
  EXPECT_EQ(table.camera1LineCounter.load(), 1);
}

TEST_F(CameraThreadTest, WithoutLinesLineSeenIsSetAndCameraOneStillClosesValves) {
  state->ejection.PulseEnd[3] = 10;
  state->ejection.ValveStates.open(3);
  auto one = make(0);
  one->line().LineCounter = 50;
  auto two = make(1);
  one->Resume();
  two->Resume();
  ASSERT_TRUE(waitFor([&] { return state->LineSeen[0].load() && state->LineSeen[1].load(); }));
  ASSERT_TRUE(waitFor([&] { return valves.writes.load() >= 3; }));
  finish(*one);
  finish(*two);
  EXPECT_FALSE(state->ejection.ValveStates.isOpen(3));
  EXPECT_EQ(one->LineCounter(), 50);
  EXPECT_EQ(two->LineCounter(), 0);
  EXPECT_GT(driver.readCount(1), 0u);
  EXPECT_EQ(driver.callSequence(1).back(), CcdCall::kCameraReset);
}

TEST_F(CameraThreadTest, AThrowingReadIsNoLineAndTheLoopGoesOn) {
  driver.queueAnswers(CcdCall::kGetDataByte, 0, {Answer{}, Answer{.throws = true}, Answer{}});
  driver.queueLine(0, monoLine({{100, 110}}));
  driver.queueLine(0, monoLine());
  auto thread = make(0);
  thread->Resume();
  ASSERT_TRUE(waitFor([&] { return thread->LineCounter() == 2; }));
  ASSERT_TRUE(waitFor([&] { return driver.readCount(0) >= 5; }));
  finish(*thread);
  EXPECT_EQ(thread->LineCounter(), 2);  // the failed read was not analysed as a line again
  EXPECT_EQ(driver.callSequence(0).back(), CcdCall::kCameraReset);
}

TEST_F(CameraThreadTest, ThreadEndsWhenItsEntryIsClearedOrTaken) {
  auto thread = make(0);
  thread->Resume();
  ASSERT_TRUE(waitFor([&] { return state->LineSeen[0].load(); }));
  table.CameraThreads[0] = nullptr;
  ASSERT_TRUE(waitFor([&] { return thread->finished(); }));
  thread->join();
  EXPECT_EQ(driver.callSequence(0).back(), CcdCall::kCameraReset);

  auto first = make(1);
  first->Resume();
  ASSERT_TRUE(waitFor([&] { return state->LineSeen[1].load(); }));
  auto second = make(1);  // takes the entry
  EXPECT_EQ(table.CameraThreads[1].load(), second.get());
  ASSERT_TRUE(waitFor([&] { return first->finished(); }));
  first.reset();  // does not clear the entry that is no longer its own
  EXPECT_EQ(table.CameraThreads[1].load(), second.get());
  second.reset();
  EXPECT_EQ(table.CameraThreads[1].load(), nullptr);
}

TEST_F(CameraThreadTest, DestroyingARunningThreadStopsAndJoinsIt) {
  auto thread = make(0);
  thread->Resume();
  ASSERT_TRUE(waitFor([&] { return state->LineSeen[0].load(); }));
  EXPECT_TRUE(thread->running());
  thread.reset();
  EXPECT_EQ(driver.callSequence(0).back(), CcdCall::kCameraReset);
  EXPECT_EQ(table.CameraThreads[0].load(), nullptr);

  auto never = make(1);  // never resumed: nothing to join, no driver call
  never.reset();
  EXPECT_TRUE(driver.calls(1).empty());
}

TEST_F(CameraThreadTest, SimulatorMakesItsOwnLinesWithoutTheDriver) {
  state->singleToneCamera = false;
  options.cameraSimulator = true;
  options.simulatorPause = std::chrono::microseconds(0);
  auto thread = make(0);
  thread->Resume();
  ASSERT_TRUE(waitFor([&] { return thread->LineCounter() > 1000; }));
  finish(*thread);
  EXPECT_TRUE(driver.calls().empty());
  EXPECT_FLOAT_EQ(thread->line().CameraParam7, 2048.0F);
  EXPECT_FLOAT_EQ(thread->line().CameraParam8, 1.0F);
  EXPECT_TRUE(state->LineSeen[0].load());
  EXPECT_EQ(valves.writes.load(), 0);
  // The last preview came from line number m (a multiple of 1000); every 30th line is black.
  const std::int64_t m = (thread->LineCounter() - 1) / 1000 * 1000;
  for (int k : {1, 100, 999}) {
    const int p = previewPixel(k);
    const auto v = static_cast<std::uint8_t>(m % 30 == 0 ? 0 : p % 256);
    EXPECT_EQ(state->PreviewLine[0][static_cast<std::size_t>(k)], (RgbPixel{v, v, v})) << k;
  }
  // Pixels beyond the engine's line keep the plate value.
  EXPECT_EQ(thread->line().rgb(kPixelsPerLine + 1)[0], 100);
  EXPECT_EQ(thread->line().rgb(kLineBufferPixels)[2], 100);
}

TEST_F(CameraThreadTest, ProbeSetsCameraFound) {
  driver.setAnswer(CcdCall::kInit, 1, Answer{.result = 0});
  EXPECT_TRUE(probeCamera(driver, *state, 0));
  EXPECT_FALSE(probeCamera(driver, *state, 1));
  EXPECT_TRUE(state->CameraFound[0].load());
  EXPECT_FALSE(state->CameraFound[1].load());
  driver.setAnswer(CcdCall::kInit, 0, Answer{.throws = true});
  EXPECT_FALSE(probeCamera(driver, *state, 0));
  EXPECT_FALSE(state->CameraFound[0].load());
  const auto calls = driver.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].camera, 1);
  EXPECT_EQ(calls[1].reserved, 0);
  EXPECT_EQ(calls[1].windowHandle, nullptr);
}

TEST_F(CameraThreadTest, StartStopSoakOnTheStreamSimulatorLeavesNothingRunning) {
  ProductStreamConfig config;
  config.waitForLineTime = false;
  ProductStreamSimulator simulator(config);
  ASSERT_TRUE(probeCamera(simulator, *state, 0));
  ASSERT_TRUE(probeCamera(simulator, *state, 1));
  // A sanitizer runtime starts its own helper thread with the first thread of the process; let it
  // start before counting.
  std::thread([] {}).join();
  const int threadsBefore = threadCountOfProcess();
  std::int64_t lines = 0;
  constexpr int kCycles = 300;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    auto one =
        std::make_unique<TCameraThread>(0, simulator, *state, sorter, machine, table, &valves, options);
    auto two =
        std::make_unique<TCameraThread>(1, simulator, *state, sorter, machine, table, &valves, options);
    {
      std::lock_guard lock(state->engineLock);
      prepareCameraForRun(one->line(), *state, machine);
      prepareCameraForRun(two->line(), *state, machine);
    }
    one->Resume();
    two->Resume();
    ASSERT_TRUE(waitFor([&] { return one->LineCounter() > 0 && two->LineCounter() > 0; })) << cycle;
    if (cycle % 2 == 0) {
      one->requestStop();
      two->requestStop();
    }
    lines += one->LineCounter();
    two.reset();
    one.reset();
    EXPECT_EQ(table.CameraThreads[0].load(), nullptr);
    EXPECT_EQ(table.CameraThreads[1].load(), nullptr);
  }
  EXPECT_EQ(threadCountOfProcess(), threadsBefore);
  EXPECT_GE(lines, kCycles);
  EXPECT_FALSE(simulator.lineStats(0).measuring);
  EXPECT_FALSE(simulator.lineStats(1).measuring);
  EXPECT_GE(simulator.lineStats(1).delivered, static_cast<std::uint64_t>(kCycles));
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

TEST(ReadBackoffTest, PauseDoublesUpToTheLongestAndStartsAgainAfterALine) {
  using std::chrono::microseconds;
  ReadBackoff backoff;
  const std::vector<microseconds> expected = {microseconds(10),  microseconds(20),   microseconds(40),
                                              microseconds(80),  microseconds(160),  microseconds(320),
                                              microseconds(640), microseconds(1000), microseconds(1000)};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(backoff.miss(), expected[i]) << i;
  backoff.hit();
  EXPECT_EQ(backoff.miss(), microseconds(10));
  EXPECT_EQ(backoff.miss(), microseconds(20));
}

// A driver that answers at once without a line: both cameras' threads back off instead of calling it
// hundreds of thousands of times a second. Camera 1 keeps its ejection pass (and valve write) per read.
TEST_F(CameraThreadTest, ADriverWithoutLinesAnsweringAtOnceIsNotPolledInATightLoop) {
  driver.setIdleWait(std::chrono::microseconds(0));
  driver.setLogReads(false);
  for (int camera : {0, 1}) {
    SCOPED_TRACE(camera);
    driver.clearLog();
    auto thread = make(camera);
    const int writesBefore = valves.writes.load();
    thread->Resume();
    ASSERT_TRUE(test::waitFor([&] { return driver.readCount(camera) > 0; }));
    const std::size_t first = driver.readCount(camera);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::size_t reads = driver.readCount(camera) - first;
    finish(*thread);
    // 300 ms at the longest pause is about 300 reads; a spinning thread makes tens of thousands.
    EXPECT_LT(reads, 3000u);
    EXPECT_GE(reads, 10u);
    if (camera == 0) {
      EXPECT_GE(valves.writes.load() - writesBefore, 10);
    }
    EXPECT_EQ(thread->LineCounter(), 0);
  }
}

}  // namespace
}  // namespace tolvane
