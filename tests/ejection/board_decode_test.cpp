// The simulated digital board must read back exactly what the valve writer packs into its ports.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "ejection/io_boards.h"
#include "ejection/valve_outputs.h"
#include "platform/simulated_boards.h"

namespace tolvane {
namespace {

std::uint64_t bitOf(int output) { return std::uint64_t{1} << (output - 1); }

class BoardDecodeTest : public ::testing::Test {
 protected:
  BoardDecodeTest() {
    boards.InitIoBoards();
    board.takeValveEdges();
  }

  SimulatedDigitalBoard board;
  SimulatedAnalogBoard analog;
  std::unique_ptr<EjectionState> owned = std::make_unique<EjectionState>();
  EjectionState& state = *owned;
  IoBoards boards{board, analog, state};
};

TEST_F(BoardDecodeTest, OpenValvesOfTheTableAreOpenOnTheBoard) {
  state.ValveStates.open(7);
  state.ValveStates.open(40);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), bitOf(7) | bitOf(40));
  const auto edges = board.takeValveEdges();
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0], (ValveEdge{7, true, edges[0].time}));
  EXPECT_EQ(edges[1], (ValveEdge{40, true, edges[1].time}));
  EXPECT_EQ(board.port(0xD0), 0x40);
  EXPECT_EQ(board.port(0xE4), 0x80);

  state.ValveStates.close(7);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), bitOf(40));
  const auto closing = board.takeValveEdges();
  ASSERT_EQ(closing.size(), 1u);
  EXPECT_EQ(closing[0], (ValveEdge{7, false, closing[0].time}));
}

TEST_F(BoardDecodeTest, EveryWiredOutputReachesItsOwnValve) {
  for (int m = 1; m <= 48; ++m) {
    state.ValveStates.closeAll();
    state.ValveStates.set(m, static_cast<std::uint8_t>(m % 2 == 0 ? 1 : 255));
    WriteValveOutputs(board, state);
    ASSERT_EQ(board.openValves(), bitOf(m)) << m;
  }
  // Entries above 48 never reach the board.
  state.ValveStates.closeAll();
  for (int m = 49; m <= kEjectorSlots; ++m) state.ValveStates.open(m);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), 0u);
  for (int m = 1; m <= 48; ++m) state.ValveStates.open(m);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), (std::uint64_t{1} << 48) - 1);
}

TEST_F(BoardDecodeTest, BlockedWritesChangeNoValve) {
  state.ValveStates.open(9);
  WriteValveOutputs(board, state);
  closeValvesAndBlock(board, state);
  EXPECT_EQ(board.openValves(), 0u);
  board.takeValveEdges();
  const std::uint64_t writes = board.acceptedWrites();

  state.ValveStates.open(9);
  state.ValveStates.open(33);
  WriteValveOutputs(board, state);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.acceptedWrites(), writes + 2 * 5);  // enable and control only
  EXPECT_EQ(board.openValves(), 0u);
  EXPECT_TRUE(board.takeValveEdges().empty());

  // A start unblocks: the next write opens them.
  state.OutputsBlocked.store(false);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), bitOf(9) | bitOf(33));
}

TEST_F(BoardDecodeTest, AFailingWriteLeavesTheLastCompleteImage) {
  state.ValveStates.open(20);
  WriteValveOutputs(board, state);
  boards.CloseIoBoards();  // every later write fails at its first port
  state.ValveStates.close(20);
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), bitOf(20));
  board.PIODIO_DriverInit();
  WriteValveOutputs(board, state);
  EXPECT_EQ(board.openValves(), 0u);
}

// Camera 1's thread writes the valves on every pass while another thread drains the trace, as the
// scoring of a simulated run does. Replaying the trace gives the board's final state.
TEST_F(BoardDecodeTest, TraceUnderAWritingAndAReadingThread) {
  constexpr int kPasses = 5000;
  std::atomic<bool> done{false};
  std::vector<ValveEdge> taken;
  std::thread reader([&] {
    while (!done.load()) board.takeValveEdges(taken);
    board.takeValveEdges(taken);
  });
  std::thread camera([&] {
    for (int pass = 0; pass < kPasses; ++pass) {
      const int output = 1 + pass % 48;
      if (pass % 3 == 0) {
        state.ValveStates.open(output);
      } else {
        state.ValveStates.close(1 + (pass * 7) % 48);
      }
      WriteValveOutputs(board, state);
    }
    done.store(true);
  });
  camera.join();
  reader.join();

  ASSERT_EQ(board.lostValveEdges(), 0u);
  std::uint64_t replay = 0;
  for (const ValveEdge& e : taken) {
    ASSERT_GE(e.output, 1);
    ASSERT_LE(e.output, 48);
    ASSERT_EQ(((replay >> (e.output - 1)) & 1u) != 0, !e.open) << "an edge that changes nothing";
    replay ^= bitOf(e.output);
  }
  EXPECT_EQ(replay, board.openValves());
  std::uint64_t table = 0;
  for (int m = 1; m <= 48; ++m) {
    if (state.ValveStates.isOpen(m)) table |= bitOf(m);
  }
  EXPECT_EQ(board.openValves(), table);
  EXPECT_GT(taken.size(), 0u);
}

}  // namespace
}  // namespace tolvane
