#include "ejection/valve_outputs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "platform/recording_digital_board.h"

namespace tolvane {
namespace {

using Call = RecordingDigitalBoard::Call;
using Function = RecordingDigitalBoard::Function;
constexpr std::uint32_t kBase = 0xE000;

Call out(std::uint32_t offset, std::uint16_t value) { return {Function::kOutputByte, kBase + offset, value}; }

// The 17 writes of an unblocked call with the six valve port bytes given.
std::vector<Call> fullWrite(const std::array<std::uint16_t, 6>& valveBytes) {
  std::vector<Call> calls = {out(0x00, 1), out(0xCC, 7), out(0xDC, 7), out(0xEC, 7),
                             out(0xFC, 7), out(0xC0, 0), out(0xC4, 0), out(0xC8, 0)};
  const std::uint32_t ports[6] = {0xD0, 0xD4, 0xD8, 0xE0, 0xE4, 0xE8};
  for (int i = 0; i < 6; ++i) calls.push_back(out(ports[i], valveBytes[static_cast<std::size_t>(i)]));
  for (std::uint32_t p : {0xF0u, 0xF4u, 0xF8u}) calls.push_back(out(p, 0));
  return calls;
}

class ValveOutputsTest : public ::testing::Test {
 protected:
  ValveOutputsTest() { board.setFound(true, kBase); }

  std::vector<Call> write() {
    board.clear();
    WriteValveOutputs(board, state);
    return board.calls();
  }

  RecordingDigitalBoard board;
  std::unique_ptr<EjectionState> owned = std::make_unique<EjectionState>();
  EjectionState& state = *owned;
};

TEST_F(ValveOutputsTest, AllClosedMakesSeventeenWritesInOrder) {
  EXPECT_EQ(write(), fullWrite({0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(state.LastBoardStatus.load(), BoardStatus::kOk);
  EXPECT_EQ(boardStatusText(state.LastBoardStatus.load()), "");
}

TEST_F(ValveOutputsTest, OutputsMapToPortsLeastSignificantBitFirst) {
  for (int output : {1, 8, 9, 24, 25, 41, 48}) state.ValveStates.open(output);
  EXPECT_EQ(write(), fullWrite({0x81, 0x01, 0x80, 0x01, 0x00, 0x81}));
  state.ValveStates.closeAll();
  state.ValveStates.open(35);  // bit 2 of 0xE4
  EXPECT_EQ(write(), fullWrite({0, 0, 0, 0, 0x04, 0}));
}

TEST_F(ValveOutputsTest, AllWiredOutputsOpenFillTheSixValvePorts) {
  for (int m = 1; m <= 48; ++m) state.ValveStates.open(m);
  EXPECT_EQ(write(), fullWrite({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(ValveOutputsTest, OutputsAbove48NeverReachTheBoard) {
  for (int m = 49; m <= 96; ++m) state.ValveStates.open(m);
  state.ValveStates.open(97);  // beyond the table: ignored
  state.ValveStates.open(0);
  EXPECT_EQ(write(), fullWrite({0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(state.ValveStates.isOpen(97));
}

TEST_F(ValveOutputsTest, AnyNonZeroEntryDrivesItsOutputLikeOne) {
  state.ValveStates.set(3, 2);
  state.ValveStates.set(4, 255);
  EXPECT_EQ(write(), fullWrite({0x0C, 0, 0, 0, 0, 0}));
}

TEST(ValveTableTest, FlagsKeepTheirValueAndNeverDisturbTheirNeighbours) {
  struct Write {
    int output;
    std::uint8_t value;
  };
  const std::vector<std::vector<Write>> cases = {
      {{1, 1}, {8, 0x80}, {9, 0x7F}, {16, 0xFF}},
      {{2, 0x80}, {3, 1}, {2, 0}, {4, 0x01}},
      {{48, 1}, {49, 0xFE}, {56, 2}, {57, 0x40}, {96, 0x80}},
      {{0, 1}, {97, 1}, {-8, 1}, {95, 3}},  // outside the table: ignored
      {{33, 1}, {33, 1}, {34, 0}, {33, 0}, {40, 0x10}},
  };
  for (const auto& writes : cases) {
    ValveTable table;
    std::map<int, std::uint8_t> expected;
    for (const Write& w : writes) {
      table.set(w.output, w.value);
      if (ValveTable::contains(w.output)) expected[w.output] = w.value;
    }
    for (int m = 0; m <= kEjectorSlots + 1; ++m) {
      const std::uint8_t want = expected.count(m) != 0 ? expected[m] : 0;
      EXPECT_EQ(table.get(m), want) << m;
      EXPECT_EQ(table.isOpen(m), want != 0) << m;
    }
    for (int g = 0; g < ValveTable::kGroups; ++g) {
      std::uint8_t byte = 0;
      for (int n = 0; n < 8; ++n) {
        if (expected.count(8 * g + 1 + n) != 0 && expected[8 * g + 1 + n] != 0)
          byte |= static_cast<std::uint8_t>(1u << n);
      }
      EXPECT_EQ(table.groupBits(g), byte) << g;
    }
    for (int last : {1, 7, 8, 9, 47, 48, 96}) {
      bool any = false;
      for (const auto& [m, v] : expected) any = any || (m <= last && v != 0);
      EXPECT_EQ(table.anyOpenUpTo(last), any) << last;
    }
  }
}

TEST(ValveTableTest, ThreadsWritingNeighbouringOutputsKeepEachOthersFlags) {
  // Outputs 1..8 share one word. Each thread writes its own output and reads back what it wrote;
  // a write by the other thread must never bring back an old value of it.
  ValveTable table;
  constexpr int kRounds = 200000;
  std::atomic<int> ready{0};
  auto writeAndReadBack = [&](int output, int& lost) {
    ready.fetch_add(1);
    while (ready.load() < 2) {
    }
    for (int i = 0; i < kRounds; ++i) {
      const auto value = static_cast<std::uint8_t>(i % 255 + 1);
      table.set(output, value);
      lost += table.get(output) != value ? 1 : 0;
    }
  };
  int lostA = 0;
  int lostB = 0;
  std::thread a(writeAndReadBack, 3, std::ref(lostA));
  std::thread b(writeAndReadBack, 4, std::ref(lostB));
  a.join();
  b.join();
  EXPECT_EQ(lostA, 0);
  EXPECT_EQ(lostB, 0);
}

TEST_F(ValveOutputsTest, BoardShowsOnlyTheTableAtTheMomentOfACall) {
  state.ValveStates.open(10);
  state.ValveStates.close(10);
  EXPECT_EQ(write(), fullWrite({0, 0, 0, 0, 0, 0}));
}

TEST_F(ValveOutputsTest, BlockedCallWritesOnlyTheSetUpPorts) {
  state.ValveStates.open(1);
  state.OutputsBlocked = true;
  EXPECT_EQ(write(),
            (std::vector<Call>{out(0x00, 1), out(0xCC, 7), out(0xDC, 7), out(0xEC, 7), out(0xFC, 7)}));
  state.OutputsBlocked = false;
  EXPECT_EQ(write().size(), 17u);
}

TEST_F(ValveOutputsTest, MissingBoardGetsNoCallAndTheStatusSaysSo) {
  board.setFound(false, kBase);
  state.ValveStates.open(5);
  EXPECT_TRUE(write().empty());
  EXPECT_EQ(state.LastBoardStatus.load(), BoardStatus::kBoardMissing);
  EXPECT_EQ(boardStatusText(state.LastBoardStatus.load()), "Плата ввода-вывода отсутствует");
}

TEST_F(ValveOutputsTest, DriverFailureEndsTheCallQuietlyAndTheNextCallWritesEverything) {
  state.ValveStates.open(2);
  board.failOutputAfter(6);  // the seventh write (0xC4) throws
  const std::vector<Call> partial = write();
  const std::vector<Call> expected = fullWrite({0x02, 0, 0, 0, 0, 0});
  EXPECT_EQ(partial, std::vector<Call>(expected.begin(), expected.begin() + 6));
  EXPECT_EQ(write(), expected);
}

TEST_F(ValveOutputsTest, StopClosesEverythingWritesOnceAndThenBlocks) {
  for (int m : {1, 30, 60}) state.ValveStates.open(m);
  board.clear();
  closeValvesAndBlock(board, state);
  EXPECT_EQ(board.calls(), fullWrite({0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(state.OutputsBlocked.load());
  EXPECT_FALSE(state.ValveStates.isOpen(60));
  // A later pass that opens a valve only repeats the set-up writes.
  state.ValveStates.open(30);
  EXPECT_EQ(write().size(), 5u);
}

TEST_F(ValveOutputsTest, CallsFromTwoThreadsNeverInterleave) {
  RecordingDigitalBoard shared;
  shared.setFound(true, kBase);
  auto worker = [&](int output) {
    auto own = std::make_unique<EjectionState>();
    own->ValveStates.open(output);
    for (int i = 0; i < 300; ++i) WriteValveOutputs(shared, *own);
  };
  std::thread a(worker, 1);
  std::thread b(worker, 48);
  a.join();
  b.join();
  const std::vector<Call> calls = shared.calls();
  ASSERT_EQ(calls.size(), 600u * 17u);
  const std::vector<Call> one = fullWrite({0x01, 0, 0, 0, 0, 0});
  const std::vector<Call> other = fullWrite({0, 0, 0, 0, 0, 0x80});
  for (std::size_t i = 0; i < calls.size(); i += 17) {
    const std::vector<Call> chunk(calls.begin() + static_cast<std::ptrdiff_t>(i),
                                  calls.begin() + static_cast<std::ptrdiff_t>(i + 17));
    ASSERT_TRUE(chunk == one || chunk == other) << "write " << i / 17 << " mixed with another";
  }
}

TEST_F(ValveOutputsTest, StopWhileCamera1KeepsOpeningValvesLeavesTheBoardClosed) {
  for (int round = 0; round < 20; ++round) {
    board.clear();
    state.OutputsBlocked = false;
    std::atomic<bool> stopped{false};
    std::atomic<int> passes{0};
    std::thread camera1([&] {
      // A pass after the stop may still open a valve in the table, as a running step does.
      for (int i = 0; i < 200 || !stopped.load(); ++i) {
        state.ValveStates.open(1 + i % 48);
        WriteValveOutputs(board, state);
        passes.fetch_add(1);
        if (i > 5000) break;
      }
    });
    while (passes.load() < 50 + round) std::this_thread::yield();
    closeValvesAndBlock(board, state);
    stopped = true;
    camera1.join();
    // The last data written to every valve port is zero.
    std::map<std::uint32_t, std::uint16_t> last;
    for (const Call& c : board.outputs()) last[c.address] = c.value;
    for (std::uint32_t port : {0xD0u, 0xD4u, 0xD8u, 0xE0u, 0xE4u, 0xE8u}) {
      ASSERT_EQ(last[kBase + port], 0) << "round " << round << " port " << port;
    }
  }
}

TEST_F(ValveOutputsTest, BoardValveOutputWritesAfterEveryEjectionPass) {
  auto engine = std::make_unique<EngineState>();
  EjectionState& e = engine->ejection;
  e.EjectorZones[20] = {100, 200, 100, 200};
  ObjectRecord& r = engine->ObjectTable[1];
  r.InUse = 1;
  r.Mass = 40;
  r.XMin = 140;
  r.XMax = 160;
  r.DueAt = 5;
  engine->ObjectCount = 1;
  SorterSettings sorter;
  sorter.ifAND = true;  // no condition: reject
  MachineSettings machine;
  machine.Time = 2;

  BoardValveOutput output(board);
  board.clear();
  for (std::int64_t now = 4; now <= 8; ++now) runEjectionPass(*engine, sorter, machine, now, false, &output);
  const std::vector<Call> calls = board.outputs();
  ASSERT_EQ(calls.size(), 5u * 17u);
  // Output 20 is bit 3 of port 0xD8: open on the passes at lines 5, 6 and 7.
  const std::uint16_t expected[5] = {0, 0x08, 0x08, 0x08, 0};
  for (int pass = 0; pass < 5; ++pass) {
    EXPECT_EQ(calls[static_cast<std::size_t>(pass * 17 + 10)], out(0xD8, expected[pass])) << pass;
  }
}

}  // namespace
}  // namespace tolvane
