// Camera 1's valve writes against the engine lock: the pass copies the table under the lock and the
// ports are written after it is released, so a slow board never holds up camera 2.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "ejection/valve_outputs.h"
#include "engine/camera_thread.h"
#include "platform/recording_camera_driver.h"
#include "platform/recording_digital_board.h"
#include "tests/thread_test_support.h"

namespace tolvane {
namespace {

using Call = RecordingDigitalBoard::Call;
constexpr std::uint32_t kBase = 0xE000;
constexpr std::uint32_t kPortOfOutputs17To24 = kBase + 0xD8;

// Counts port writes made by a thread that holds the engine lock at that moment.
class LockCheckingBoard : public RecordingDigitalBoard {
 public:
  explicit LockCheckingBoard(const EngineLock& lock) : lock_(lock) {}
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override {
    (lock_.heldByThisThread() ? writesUnderLock : writesOutside).fetch_add(1);
    return RecordingDigitalBoard::PIODIO_OutputByte(port, value);
  }
  std::atomic<int> writesUnderLock{0};
  std::atomic<int> writesOutside{0};

 private:
  const EngineLock& lock_;
};

TEST(ValveWritesOutsideLockTest, CameraOneWritesThePortsAfterReleasingTheEngineLock) {
  auto state = std::make_unique<EngineState>();
  LockCheckingBoard board(state->engineLock);
  board.setFound(true, kBase);
  BoardValveOutput output(board);
  RecordingCameraDriver driver;
  driver.setIdleWait(std::chrono::microseconds(200));
  SorterSettings sorter;
  sorter.ifAND = true;  // no condition: every object is a reject
  sorter.FonBlack = {10, 10};
  MachineSettings machine;
  machine.Time = 2;
  machine.MaxTime = 1000;
  CameraThreadTable table;
  CameraThreadOptions options;
  options.applyScheduling = false;

  TCameraThread thread(0, driver, *state, sorter, machine, table, &output, options);
  {
    std::lock_guard lock(state->engineLock);
    prepareCameraForRun(thread.line(), *state, machine);
    // Ejector 20 (output 20) holds an object judged at line 3.
    state->ejection.EjectorZones[20] = {100, 200, 100, 200};
    ObjectRecord& r = state->ObjectTable[1];
    r.InUse = 1;
    r.Mass = 40;
    r.XMin = 140;
    r.XMax = 160;
    r.DueAt = 3;
    state->ObjectCount = 1;
  }
  thread.Resume();
  for (int i = 0; i < 10; ++i) driver.queueLine(0, std::vector<std::uint8_t>(kLineMonoBytes, 230));
  ASSERT_TRUE(test::waitFor([&] { return thread.LineCounter() == 10; }));
  thread.requestStop();
  thread.join();

  EXPECT_EQ(board.writesUnderLock.load(), 0);
  EXPECT_GT(board.writesOutside.load(), 10 * 17);
  // The copies carried the shot: output 20 (bit 3 of the third port) was opened and closed again.
  std::vector<std::uint16_t> written;
  for (const Call& c : board.outputs()) {
    if (c.address == kPortOfOutputs17To24 && (written.empty() || written.back() != c.value))
      written.push_back(c.value);
  }
  EXPECT_EQ(written, (std::vector<std::uint16_t>{0, 0x08, 0}));
}

TEST(ValveWritesOutsideLockTest, ACopyTakenBeforeTheStopCannotReopenValves) {
  EjectionState state;
  RecordingDigitalBoard board;
  board.setFound(true, kBase);
  state.ValveStates.open(20);
  const ValveImage before = ValveImage::of(state.ValveStates);
  closeValvesAndBlock(board, state);
  board.clear();
  WriteValveOutputs(board, state, before);
  for (const Call& c : board.outputs()) EXPECT_NE(c.address, kPortOfOutputs17To24);
  EXPECT_FALSE(board.outputs().empty());  // enable and control ports only
}

TEST(ValveImageQueueTest, HandsOnImagesInOrderAndKeepsTheNewestWhenFull) {
  struct Case {
    int writes;
    std::vector<int> expectedOpen;  // the one open output of each image handed on
  };
  const std::vector<Case> cases = {{0, {}}, {1, {1}}, {2, {1, 2}}, {4, {1, 2, 3, 4}}, {6, {1, 2, 3, 6}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.writes);
    EjectionState state;
    ValveImageQueue queue;
    for (int m = 1; m <= c.writes; ++m) {
      state.ValveStates.closeAll();
      state.ValveStates.open(m);
      queue.write(state);
    }
    struct Log : ValveOutput {
      void write(EjectionState& s) override { writeImage(s, ValveImage::of(s.ValveStates)); }
      void writeImage(EjectionState&, const ValveImage& image) override {
        for (int m = 1; m <= kEjectorSlots; ++m) {
          if (image.isOpen(m)) open.push_back(m);
        }
      }
      std::vector<int> open;
    } log;
    queue.flushTo(log, state);
    EXPECT_EQ(log.open, c.expectedOpen);
    EXPECT_EQ(queue.size(), 0);
  }
}

}  // namespace
}  // namespace tolvane
