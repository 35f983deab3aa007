#include "platform/simulated_boards.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tolvane {
namespace {

constexpr std::uint32_t kBase = 0xD000;

std::uint64_t bitOf(int output) { return std::uint64_t{1} << (output - 1); }

// A board whose driver is open, with the board enabled and every data port of the valve blocks driving.
class SimulatedDigitalBoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    board.PIODIO_DriverInit();
    write(0x00, 1);
    for (std::uint32_t control : {0xCCu, 0xDCu, 0xECu, 0xFCu}) write(control, 7);
  }
  void write(std::uint32_t offset, std::uint16_t value) { board.PIODIO_OutputByte(kBase + offset, value); }

  SimulatedDigitalBoard board{SimulatedDigitalBoard::Config{.present = true, .base = kBase}};
};

TEST(SimulatedDigitalBoardDriverTest, SearchAndAddressNeedAnOpenDriverAndAPresentBoard) {
  SimulatedDigitalBoard board{SimulatedDigitalBoard::Config{.present = true, .base = 0xC800}};
  std::uint16_t count = 7;
  std::uint32_t base = 99;
  std::uint16_t irq = 5, a = 5, b = 5, c = 5, d = 5, e = 5;
  EXPECT_NE(board.PIODIO_SearchCard(&count, DigitalBoard::kCardId), 0);  // driver not open yet
  EXPECT_EQ(count, 0);

  board.PIODIO_DriverInit();
  EXPECT_EQ(board.PIODIO_SearchCard(&count, DigitalBoard::kCardId), 0);
  EXPECT_EQ(count, 1);
  EXPECT_NE(board.PIODIO_SearchCard(&count, 0x800400), 0);  // the D/A board's identifier
  EXPECT_EQ(count, 0);
  EXPECT_EQ(board.PIODIO_GetConfigAddressSpace(0, &base, &irq, &a, &b, &c, &d, &e), 0);
  EXPECT_EQ(base, 0xC800u);
  EXPECT_EQ(irq + a + b + c + d + e, 0);
  EXPECT_NE(
      board.PIODIO_GetConfigAddressSpace(1, &base, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(base, 0u);

  board.setPresent(false);
  EXPECT_NE(board.PIODIO_SearchCard(&count, DigitalBoard::kCardId), 0);
  EXPECT_EQ(count, 0);
  base = 99;
  EXPECT_NE(
      board.PIODIO_GetConfigAddressSpace(0, &base, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(base, 0u);
  EXPECT_NE(board.PIODIO_SearchCard(nullptr, DigitalBoard::kCardId), 0);  // a null count is allowed
}

TEST(SimulatedDigitalBoardDriverTest, WritesFailWhileTheDriverIsNotOpen) {
  SimulatedDigitalBoard board{SimulatedDigitalBoard::Config{.present = true, .base = kBase}};
  EXPECT_THROW(board.PIODIO_OutputByte(kBase, 1), std::runtime_error);
  board.PIODIO_DriverInit();
  EXPECT_EQ(board.PIODIO_OutputByte(kBase, 1), 0);
  EXPECT_EQ(board.port(0x00), 1);
  board.PIODIO_DriverClose();
  EXPECT_FALSE(board.driverOpen());
  EXPECT_THROW(board.PIODIO_OutputByte(kBase, 0), std::runtime_error);
  EXPECT_EQ(board.port(0x00), 1);  // the refused write changed nothing
  EXPECT_EQ(board.refusedWrites(), 2u);
  EXPECT_EQ(board.acceptedWrites(), 1u);
}

TEST_F(SimulatedDigitalBoardTest, DataBitsOpenTheirValves) {
  write(0xD0, 0x40);  // output 7
  write(0xE4, 0x80);  // output 40
  EXPECT_EQ(board.openValves(), bitOf(7) | bitOf(40));
  EXPECT_TRUE(board.valveOpen(7));
  EXPECT_TRUE(board.valveOpen(40));
  EXPECT_FALSE(board.valveOpen(8));
  EXPECT_FALSE(board.valveOpen(0));
  EXPECT_FALSE(board.valveOpen(49));
  const auto states = board.valveStates();
  for (int m = 1; m <= 48; ++m) EXPECT_EQ(states[static_cast<std::size_t>(m - 1)], m == 7 || m == 40) << m;

  const auto edges = board.takeValveEdges();
  ASSERT_EQ(edges.size(), 2u);
  EXPECT_EQ(edges[0].output, 7);
  EXPECT_TRUE(edges[0].open);
  EXPECT_EQ(edges[1].output, 40);
  EXPECT_TRUE(edges[1].open);
  EXPECT_LE(edges[0].time, edges[1].time);
  EXPECT_TRUE(board.takeValveEdges().empty());  // drained

  write(0xD0, 0x00);
  const auto closing = board.takeValveEdges();
  ASSERT_EQ(closing.size(), 1u);
  EXPECT_EQ(closing[0], (ValveEdge{7, false, closing[0].time}));
  EXPECT_EQ(board.openValves(), bitOf(40));
}

TEST_F(SimulatedDigitalBoardTest, EveryValvePortAndBitMapsToItsOutput) {
  const std::uint32_t ports[6] = {0xD0, 0xD4, 0xD8, 0xE0, 0xE4, 0xE8};
  for (int group = 0; group < 6; ++group) {
    for (int bit = 0; bit < 8; ++bit) {
      write(ports[group], static_cast<std::uint16_t>(1u << bit));
      EXPECT_EQ(board.openValves(), bitOf(8 * group + bit + 1)) << group << " " << bit;
      write(ports[group], 0);
    }
  }
  // The data ports of the first and last block drive no valve.
  for (std::uint32_t port : {0xC0u, 0xC4u, 0xC8u, 0xF0u, 0xF4u, 0xF8u}) write(port, 0xFF);
  EXPECT_EQ(board.openValves(), 0u);
  EXPECT_EQ(board.port(0xF4), 0xFF);
}

TEST_F(SimulatedDigitalBoardTest, EnableAndControlBitsGateThePorts) {
  write(0xE0, 0x01);  // output 25
  write(0xE4, 0x01);  // output 33
  write(0xD8, 0x80);  // output 24
  ASSERT_EQ(board.openValves(), bitOf(24) | bitOf(25) | bitOf(33));
  board.takeValveEdges();

  write(0xEC, 0x05);  // port 1 of the block (0xE4) stops driving
  EXPECT_EQ(board.openValves(), bitOf(24) | bitOf(25));
  write(0x00, 0);  // board disabled: everything closed
  EXPECT_EQ(board.openValves(), 0u);
  write(0x00, 1);
  write(0xEC, 7);
  EXPECT_EQ(board.openValves(), bitOf(24) | bitOf(25) | bitOf(33));

  const auto edges = board.takeValveEdges();
  const std::vector<std::pair<int, bool>> expected = {{33, false}, {24, false}, {25, false},
                                                      {24, true},  {25, true},  {33, true}};
  ASSERT_EQ(edges.size(), expected.size());
  for (std::size_t i = 0; i < edges.size(); ++i) {
    EXPECT_EQ(edges[i].output, expected[i].first) << i;
    EXPECT_EQ(edges[i].open, expected[i].second) << i;
  }
}

TEST_F(SimulatedDigitalBoardTest, StrayWritesAndRepeatsChangeNothing) {
  write(0xD4, 0x02);  // output 10
  board.takeValveEdges();
  const std::uint64_t accepted = board.acceptedWrites();

  board.PIODIO_OutputByte(kBase - 1, 0xFF);
  board.PIODIO_OutputByte(kBase + 0x100, 0xFF);
  board.PIODIO_OutputByte(0xD4, 0xFF);  // offset without the base
  EXPECT_EQ(board.strayWrites(), 3u);
  write(0xD4, 0x02);  // same value again
  EXPECT_EQ(board.acceptedWrites(), accepted + 1);
  EXPECT_EQ(board.openValves(), bitOf(10));
  EXPECT_TRUE(board.takeValveEdges().empty());

  // Only the low byte of the widened value reaches the port.
  write(0xD4, 0x0102);
  EXPECT_EQ(board.port(0xD4), 0x02);
  EXPECT_EQ(board.openValves(), bitOf(10));
  EXPECT_EQ(board.port(0x1000), 0);

  board.setPresent(false);  // the card is gone: its ports take nothing
  write(0xD4, 0);
  EXPECT_EQ(board.strayWrites(), 4u);
  EXPECT_EQ(board.openValves(), bitOf(10));
}

TEST(SimulatedDigitalBoardTraceTest, AFullRingDropsNewEdgesAndCountsThem) {
  SimulatedDigitalBoard board{
      SimulatedDigitalBoard::Config{.present = true, .base = kBase, .edgeCapacity = 4}};
  board.PIODIO_DriverInit();
  board.PIODIO_OutputByte(kBase + 0xDC, 7);
  board.PIODIO_OutputByte(kBase + 0x00, 1);
  board.PIODIO_OutputByte(kBase + 0xD0, 0x07);  // 1, 2, 3 open
  board.PIODIO_OutputByte(kBase + 0xD0, 0x00);  // 1 closes; 2 and 3 do not fit
  EXPECT_EQ(board.lostValveEdges(), 2u);
  EXPECT_EQ(board.openValves(), 0u);  // the state itself is never lost

  std::vector<ValveEdge> edges = {ValveEdge{99, true, {}}};
  EXPECT_EQ(board.takeValveEdges(edges), 4u);
  ASSERT_EQ(edges.size(), 5u);  // appended after what was there
  EXPECT_EQ(edges[0].output, 99);
  EXPECT_EQ(edges[1], (ValveEdge{1, true, edges[1].time}));
  EXPECT_EQ(edges[3], (ValveEdge{3, true, edges[3].time}));
  EXPECT_EQ(edges[4], (ValveEdge{1, false, edges[4].time}));

  // Room again after draining; the ring wraps around.
  for (int i = 0; i < 3; ++i) {
    board.PIODIO_OutputByte(kBase + 0xD0, 0x80);
    board.PIODIO_OutputByte(kBase + 0xD0, 0x00);
    const auto more = board.takeValveEdges();
    ASSERT_EQ(more.size(), 2u);
    EXPECT_EQ(more[0].output, 8);
    EXPECT_TRUE(more[0].open);
    EXPECT_FALSE(more[1].open);
  }
  EXPECT_EQ(board.lostValveEdges(), 2u);
}

// Two writers on different blocks and a reader draining the trace at the same time: every edge arrives
// once, in order per valve, and the trace agrees with the final state. The ring could hold the whole run,
// so nothing may be lost however the threads interleave.
TEST(SimulatedDigitalBoardTraceTest, WritersAndAReaderOnThreeThreads) {
  constexpr int kToggles = 20000;
  SimulatedDigitalBoard board{
      SimulatedDigitalBoard::Config{.present = true, .base = kBase, .edgeCapacity = 1u << 17}};
  board.PIODIO_DriverInit();
  for (std::uint32_t control : {0xDCu, 0xECu}) board.PIODIO_OutputByte(kBase + control, 7);
  board.PIODIO_OutputByte(kBase, 1);

  std::atomic<int> writersDone{0};
  auto writer = [&](std::uint32_t port, std::uint16_t pattern) {
    for (int i = 0; i < kToggles; ++i) {
      board.PIODIO_OutputByte(kBase + port, pattern);
      board.PIODIO_OutputByte(kBase + port, 0);
    }
    board.PIODIO_OutputByte(kBase + port, pattern);  // ends open
    writersDone.fetch_add(1);
  };
  std::vector<ValveEdge> taken;
  std::thread reader([&] {
    while (writersDone.load() < 2) board.takeValveEdges(taken);
    board.takeValveEdges(taken);
  });
  std::thread first(writer, 0xD0u, std::uint16_t{0x03});   // outputs 1, 2
  std::thread second(writer, 0xE8u, std::uint16_t{0x80});  // output 48
  first.join();
  second.join();
  reader.join();

  EXPECT_EQ(board.openValves(), bitOf(1) | bitOf(2) | bitOf(48));
  const std::uint64_t expectedEdges = 3u * (2u * kToggles + 1u);
  EXPECT_EQ(board.lostValveEdges(), 0u);
  ASSERT_EQ(taken.size(), expectedEdges);
  // Per valve the edges alternate, starting with an opening, and times never run backwards.
  std::array<int, 49> seen{};
  std::array<bool, 49> open{};
  for (std::size_t i = 0; i < taken.size(); ++i) {
    const ValveEdge& e = taken[i];
    ASSERT_TRUE(e.output == 1 || e.output == 2 || e.output == 48) << e.output;
    ASSERT_NE(e.open, open[static_cast<std::size_t>(e.output)]) << "edge " << i;
    open[static_cast<std::size_t>(e.output)] = e.open;
    ++seen[static_cast<std::size_t>(e.output)];
    if (i > 0) {
      ASSERT_LE(taken[i - 1].time, e.time);
    }
  }
  for (int m : {1, 2, 48}) EXPECT_EQ(seen[static_cast<std::size_t>(m)], 2 * kToggles + 1);
}

TEST(SimulatedAnalogBoardTest, KeepsTheWordOfBoardZero) {
  SimulatedAnalogBoard board;
  EXPECT_THROW(board.PIODA_DO(0, 0x1234), std::runtime_error);
  std::uint16_t count = 0;
  EXPECT_NE(board.PIODA_SearchCard(&count, AnalogBoard::kCardId), 0);

  board.PIODA_DriverInit();
  EXPECT_EQ(board.PIODA_SearchCard(&count, AnalogBoard::kCardId), 0);
  EXPECT_EQ(count, 1);
  EXPECT_NE(board.PIODA_SearchCard(&count, DigitalBoard::kCardId), 0);
  EXPECT_EQ(board.PIODA_DO(0, 0x8001), 0);
  EXPECT_EQ(board.outputWord(), 0x8001);
  EXPECT_NE(board.PIODA_DO(1, 0x0000), 0);  // no board 1
  EXPECT_EQ(board.outputWord(), 0x8001);
  EXPECT_EQ(board.outputWrites(), 1u);

  board.setPresent(false);
  EXPECT_NE(board.PIODA_DO(0, 0x0000), 0);
  EXPECT_EQ(board.outputWord(), 0x8001);
  EXPECT_NE(board.PIODA_SearchCard(&count, AnalogBoard::kCardId), 0);
  EXPECT_EQ(count, 0);

  board.PIODA_DriverClose();
  EXPECT_THROW(board.PIODA_DO(0, 0), std::runtime_error);
}

}  // namespace
}  // namespace tolvane
