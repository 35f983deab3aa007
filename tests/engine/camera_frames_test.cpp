// Frame mode of the camera thread: frames scripted in the recording driver, valve images timed by a
// fake clock (the queue's thread jumps it to each due time), so every check is exact and none
// depends on timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/camera_thread.h"
#include "engine_test_rig.h"
#include "jumping_valve_clock.h"
#include "platform/recording_camera_driver.h"
#include "tests/thread_test_support.h"

namespace tolvane {
namespace {

using Answer = RecordingCameraDriver::Answer;
using test::waitFor;

constexpr std::uint8_t kPlate = 230;
constexpr std::uint8_t kProduct = 100;
constexpr int kFrameLines = 64;
constexpr std::int64_t kPeriodNs = 10'000;  // 100 000 lines/s
constexpr std::int64_t kStartNs = 1'000'000'000;
constexpr std::int64_t kLatencyNs = frameValveLatencyNs(kFrameLines, kPeriodNs);

// Time of camera line L (the counter after it) in the scripted frames.
constexpr std::int64_t lineTime(std::int64_t line) { return kStartNs + line * kPeriodNs; }

using FakeValveClock = test::JumpingValveClock;

class FixedMs : public MillisecondClock {
 public:
  std::int64_t nowMs() override { return 0; }
};

// Every image written, stamped with the line it belongs to: in frame mode from the fake clock's time,
// in line mode camera 1's counter (the write follows the pass on the camera's own thread).
class StampedValves : public ValveOutput {
 public:
  StampedValves(FakeValveClock& clock, CameraThreadTable& table) : clock_(clock), table_(table) {}
  void write(EjectionState& state) override { writeImage(state, ValveImage::of(state.ValveStates)); }
  void writeImage(EjectionState&, const ValveImage& image) override {
    std::lock_guard lock(mutex_);
    const std::int64_t line =
        frameMode ? (clock_.nowNs() - kLatencyNs - kStartNs) / kPeriodNs : table_.camera1LineCounter.load();
    log_.emplace_back(line, image);
  }
  // (line, image) at every change of the image. Writes at one time are one change: the shots of a
  // triple shot reach the valve writer one after the other, which the fake clock cannot tell apart.
  std::vector<std::pair<std::int64_t, ValveImage>> changes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::int64_t, ValveImage>> result;
    ValveImage last;
    for (const auto& [line, image] : log_) {
      if (image == last) continue;
      last = image;
      if (result.empty() || result.back().first != line) {
        result.emplace_back(line, image);
        continue;
      }
      result.back().second = image;
      const bool undone = result.size() >= 2 ? result[result.size() - 2].second == image : image == ValveImage{};
      if (undone) result.pop_back();
    }
    return result;
  }
  int writes() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(log_.size());
  }
  bool frameMode = true;

 private:
  FakeValveClock& clock_;
  CameraThreadTable& table_;
  mutable std::mutex mutex_;
  std::vector<std::pair<std::int64_t, ValveImage>> log_;
};

std::vector<std::uint8_t> monoLine(int from = 0, int to = -1) {
  std::vector<std::uint8_t> line(kLineMonoBytes, kPlate);
  for (int p = from; p <= to; ++p) line[static_cast<std::size_t>(p - 1)] = kProduct;
  return line;
}

struct Spot {
  int line;  // camera line (counter before it), from 0
  int from;
  int to;
};

// Lines 0..count-1 with product where the spots say.
std::vector<std::vector<std::uint8_t>> linesWith(int count, const std::vector<Spot>& spots) {
  std::vector<std::vector<std::uint8_t>> lines;
  for (int i = 0; i < count; ++i) {
    lines.push_back(monoLine());
    for (const Spot& s : spots) {
      if (s.line == i) lines.back() = monoLine(s.from, s.to);
    }
  }
  return lines;
}

// One camera-1 (or camera-2) run with its own engine, driver and clocks, so table rows share nothing.
struct Rig {
  Rig() {
    testing_rig::useFortyPixelEjectors(*state, sorter, machine);
    // Objects heavier than 20 pixels are rejects.
    sorter.enMassa = true;
    sorter.ifMassa = 20;
    sorter.bMassa = true;
    options.applyScheduling = false;
    options.clock = &msClock;
    options.valveClock = &valveClock;
    driver.setIdleWait(std::chrono::microseconds(200));
  }

  std::unique_ptr<TCameraThread> make(int camera) {
    auto thread =
        std::make_unique<TCameraThread>(camera, driver, *state, sorter, machine, table, &valves, options);
    std::lock_guard lock(state->engineLock);
    prepareCameraForRun(thread->line(), *state, machine);
    return thread;
  }

  // Frames of kFrameLines taken from lines; lost[f] lines are lost before frame f; linesBefore lines
  // came in frames queued earlier.
  void queueFrames(const std::vector<std::vector<std::uint8_t>>& lines,
                   const std::vector<std::int64_t>& lost = {}, std::int64_t linesBefore = 0) {
    driver.setLinesPerFrame(0, kFrameLines);
    std::int64_t last = linesBefore;
    for (std::size_t f = 0; f * kFrameLines < lines.size(); ++f) {
      const auto first = lines.begin() + static_cast<std::ptrdiff_t>(f * kFrameLines);
      const auto end =
          lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), (f + 1) * kFrameLines));
      const std::int64_t gap = f < lost.size() ? lost[f] : 0;
      last += gap + (end - first);
      driver.queueFrame(0, {.lines = {first, end},
                            .lostLinesBefore = gap,
                            .lastLineTimeNs = lineTime(last),
                            .linePeriodNs = kPeriodNs});
    }
  }

  // Camera 1 takes everything queued before Resume; waits until it reads again after the last and
  // the timed queue is empty, then stops it.
  void runCameraOne(std::size_t reads, std::int64_t lines) {
    auto thread = make(0);
    thread->Resume();
    ASSERT_TRUE(waitFor([&] { return driver.readCount(0) > reads && thread->LineCounter() == lines; }));
    ASSERT_TRUE(waitFor([&] { return thread->pendingValveImages() == 0; }));
    thread->requestStop();
    thread->join();
  }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
  CameraThreadTable table;
  RecordingCameraDriver driver;
  FakeValveClock valveClock;
  FixedMs msClock;
  StampedValves valves{valveClock, table};
  CameraThreadOptions options;
};

// Line mode (ejector 5 covers pixels 161..200): a defect at line d opens at d + Delay + 1 and closes
// at d + Delay + Time + 1, each at its line's time, although every frame is analysed in one burst.
TEST(CameraFramesTest, APulseShorterThanAFrameOpensAndClosesAtItsLinesTimes) {
  struct Row {
    int defectLine;
    int delay;
    int time;
  };
  const Row rows[] = {{3, 10, 5}, {60, 10, 5}, {20, 1, 1}, {10, 100, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "defect " << row.defectLine << " delay " << row.delay);
    Rig rig;
    rig.sorter.enFast = true;
    rig.machine.Delay = row.delay;
    rig.machine.Time = row.time;
    rig.queueFrames(linesWith(3 * kFrameLines, {{row.defectLine, 170, 190}}));
    rig.runCameraOne(3, 3 * kFrameLines);

    const auto changes = rig.valves.changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].first, row.defectLine + row.delay + 1);
    EXPECT_TRUE(changes[0].second.isOpen(5));
    EXPECT_EQ(changes[1].first, row.defectLine + row.delay + row.time + 1);
    EXPECT_FALSE(changes[1].second.isOpen(5));
  }
}

// A gap of lost lines moves the counter on, and a shot scheduled inside the gap is applied at its own
// lines' times, not when the next frame comes.
TEST(CameraFramesTest, LostLinesMoveTheClockOnAndShotsInTheGapKeepTheirTimes) {
  struct Row {
    std::int64_t lost;
    int delay;
  };
  // 64 lost: the shot (defect at 40) falls at 91..96; 5000 lost: beyond the replayed 4096, the
  // shot at 5031..5036 lies in the replayed part.
  const Row rows[] = {{64, 50}, {5000, 4990}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lost);
    Rig rig;
    rig.sorter.enFast = true;
    rig.machine.Delay = row.delay;
    rig.machine.Time = 5;
    rig.queueFrames(linesWith(2 * kFrameLines, {{40, 170, 190}}), {0, row.lost});
    rig.runCameraOne(2, 2 * kFrameLines + row.lost);

    EXPECT_EQ(rig.table.camera1LineCounter.load(), 2 * kFrameLines + row.lost);
    const auto changes = rig.valves.changes();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].first, 40 + row.delay + 1);
    EXPECT_TRUE(changes[0].second.isOpen(5));
    EXPECT_EQ(changes[1].first, 40 + row.delay + 5 + 1);
  }
}

// The same lines one by one and packed in frames give the same valve changes at the same lines and
// the same verdicts.
TEST(CameraFramesTest, FramesGiveWhatSingleLinesGive) {
  struct Row {
    bool lineMode;
    std::vector<Spot> spots;
  };
  std::vector<Spot> objects;
  for (int l = 5; l <= 10; ++l) objects.push_back({l, 100, 115});   // ejector 3, mass 96: reject
  for (int l = 62; l <= 70; ++l) objects.push_back({l, 600, 620});  // ejector 15, across frames
  objects.push_back({100, 900, 902});                               // mass 3: neither counted nor fired
  const Row rows[] = {
      {false, objects}, {true, objects}, {true, {{1, 170, 190}, {63, 170, 190}, {64, 400, 430}}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lineMode);
    const auto lines = linesWith(3 * kFrameLines, row.spots);
    std::vector<std::pair<std::int64_t, ValveImage>> changes[2];
    std::int32_t seen[2]{};
    std::int32_t rejected[2]{};
    for (int framed = 0; framed < 2; ++framed) {
      Rig rig;
      rig.sorter.enFast = row.lineMode;
      rig.machine.Delay = 20;
      rig.machine.Time = 4;
      if (framed != 0) {
        rig.queueFrames(lines);
        rig.runCameraOne(3, 3 * kFrameLines);
      } else {
        rig.valves.frameMode = false;
        for (const auto& line : lines) rig.driver.queueLine(0, line);
        rig.runCameraOne(lines.size(), 3 * kFrameLines);
      }
      changes[framed] = rig.valves.changes();
      seen[framed] = rig.state->ejection.EngineCounters.seen(kSideA);
      rejected[framed] = rig.state->ejection.EngineCounters.rejected(kSideA);
    }
    EXPECT_GE(changes[0].size(), 4u);  // two shots, each opening and closing
    EXPECT_EQ(changes[1], changes[0]);
    EXPECT_GT(seen[0], 0);
    EXPECT_EQ(seen[1], seen[0]);
    EXPECT_EQ(rejected[1], rejected[0]);
  }
}

// A reject closed long before its due line has its shot handed to the valve queue at once: it opens
// and closes at its lines' times although the frames of those lines have not come yet, and when they
// do come, late, their images neither repeat the shot nor cut it short. The step still judges and
// counts the object at its due line.
TEST(CameraFramesTest, AShotKnownAheadIsOnTimeWhenTheFramesOfItsLinesComeLate) {
  struct Row {
    bool tripleShot;
    int delay;
    int time;
    std::vector<int> outputs;
    int judgedAt;  // the pass that judges the object: its due line, or when it closed after that
  };
  // The object (lines 5..10, ejector 3) is created at clock 5 and closed at 15: due in frame 2, in
  // frame 1, or before it closed (then the shot opens at the due line's time, ends as judged then).
  const Row rows[] = {
      {false, 150, 5, {3}, 155}, {true, 100, 2, {2, 3, 4}, 105}, {false, 2, 5, {3}, 15}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.delay);
    Rig rig;
    rig.sorter.enTripleShot = row.tripleShot;
    rig.machine.Delay = row.delay;
    rig.machine.Time = row.time;
    std::vector<Spot> spots;
    for (int l = 5; l <= 10; ++l) spots.push_back({l, 100, 115});
    const auto lines = linesWith(4 * kFrameLines, spots);
    const auto firstFrameEnd = lines.begin() + kFrameLines;

    rig.queueFrames({lines.begin(), firstFrameEnd});
    auto thread = rig.make(0);
    thread->Resume();
    ASSERT_TRUE(waitFor([&] { return thread->LineCounter() == kFrameLines; }));
    ASSERT_TRUE(waitFor([&] { return thread->pendingValveImages() == 0; }));
    const auto early = rig.valves.changes();

    rig.queueFrames({firstFrameEnd, lines.end()}, {}, kFrameLines);
    ASSERT_TRUE(waitFor([&] { return thread->LineCounter() == 4 * kFrameLines; }));
    ASSERT_TRUE(waitFor([&] { return thread->pendingValveImages() == 0; }));
    thread->requestStop();
    thread->join();

    const int due = 5 + row.delay;
    ASSERT_EQ(early.size(), 2u);
    EXPECT_EQ(early[0].first, due);
    EXPECT_EQ(early[1].first, row.judgedAt + row.time + 1);
    for (int output = 1; output <= kEjectorSlots; ++output) {
      const bool shot = std::find(row.outputs.begin(), row.outputs.end(), output) != row.outputs.end();
      EXPECT_EQ(early[0].second.isOpen(output), shot) << output;
    }
    EXPECT_FALSE(early[1].second.any());
    EXPECT_EQ(rig.valves.changes(), early);
    EXPECT_EQ(rig.state->ejection.EngineCounters.rejected(kSideA), 1);
  }
}

// A camera that stays silent and fails its hit test is reported lost: CameraFound false, LineSeen no
// longer set (camera 1 still runs its ejection step and closes a valve meanwhile); a line brings it back.
TEST(CameraFramesTest, ASilentCameraFailingItsHitTestIsLostUntilALineComes) {
  for (const int camera : {0, 1}) {
    for (const bool framed : {false, true}) {
      SCOPED_TRACE(testing::Message() << "camera " << camera + 1 << (framed ? " frames" : " lines"));
      Rig rig;
      rig.valves.frameMode = false;  // no line times here
      rig.state->ejection.PulseEnd[3] = 10;
      rig.state->ejection.ValveStates.open(3);
      if (framed) rig.driver.setLinesPerFrame(camera, kFrameLines);
      rig.driver.queueAnswers(CcdCall::kHitTest, camera, {Answer{}});  // the start's
      rig.driver.setAnswer(CcdCall::kHitTest, camera, {.result = kCcdFailure});
      auto thread = rig.make(camera);
      thread->line().LineCounter = 50;
      thread->Resume();
      // A read first: the start has set CameraFound by then, so false below means lost.
      ASSERT_TRUE(waitFor([&] {
        return rig.driver.readCount(camera) > 0 &&
               !rig.state->CameraFound[static_cast<std::size_t>(camera)].load();
      }));
      rig.state->LineSeen[static_cast<std::size_t>(camera)].store(false);
      const std::size_t reads = rig.driver.readCount(camera);
      ASSERT_TRUE(waitFor([&] { return rig.driver.readCount(camera) > reads + 5; }));
      EXPECT_FALSE(rig.state->LineSeen[static_cast<std::size_t>(camera)].load());

      if (framed) {
        rig.driver.queueFrame(camera, {.lines = {monoLine()}});
      } else {
        rig.driver.queueLine(camera, monoLine());
      }
      ASSERT_TRUE(waitFor([&] { return thread->LineCounter() == 51; }));
      ASSERT_TRUE(waitFor([&] { return rig.state->CameraFound[static_cast<std::size_t>(camera)].load(); }));
      ASSERT_TRUE(waitFor([&] { return rig.state->LineSeen[static_cast<std::size_t>(camera)].load(); }));
      thread->requestStop();
      thread->join();
      if (camera == 0) {
        EXPECT_FALSE(rig.state->ejection.ValveStates.isOpen(3));
      }
    }
  }
}

}  // namespace
}  // namespace tolvane
