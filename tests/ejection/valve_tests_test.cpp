#include "ejection/valve_tests.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ejection/io_boards.h"
#include "ejection/valve_outputs.h"
#include "platform/recording_digital_board.h"
#include "platform/simulated_boards.h"

namespace tolvane {
namespace {

std::uint64_t bitOf(int output) { return output >= 1 && output <= 48 ? std::uint64_t{1} << (output - 1) : 0; }

// A wait as the window saw it, with the valves the board had open during it.
struct Wait {
  int ms;
  std::uint64_t open;
  bool operator==(const Wait&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Wait& w) {
  return os << "{" << w.ms << " ms, " << w.open << "}";
}

// The waits of the ejector page's single test on one output.
std::vector<Wait> singleTestWaits(int output) {
  const std::uint64_t o = bitOf(output);
  std::vector<Wait> waits = {{15, o}, {1000, 0}};
  for (int ms = 1; ms <= 10; ++ms) {
    waits.push_back({ms, o});
    waits.push_back({100, 0});
  }
  waits.push_back({1000, 0});
  for (int shot = 0; shot < 5; ++shot) {
    waits.push_back({16, o});
    waits.push_back({50, o});
    waits.push_back({25, 0});
  }
  return waits;
}

// The simulated board behind WriteValveOutputs, and hooks that log what the window would see.
class ValveTestsTest : public ::testing::Test {
 protected:
  ValveTestsTest() { boards.InitIoBoards(); }

  ValveTestHooks hooks() {
    ValveTestHooks h;
    h.wait = [this](int ms) {
      if (failAtWait >= 0 && static_cast<int>(waits.size()) == failAtWait)
        throw std::runtime_error("window gone");
      waits.push_back({ms, board.openValves()});
    };
    h.repaint = [this] {
      ++repaints;
      if (failAtRepaint >= 0 && repaints == failAtRepaint) throw std::runtime_error("paint failed");
    };
    h.selectCell = [this](int cell) { selected.push_back(cell); };
    h.processMessages = [this] {
      ++messageRuns;
      writesAtMessages = board.acceptedWrites();
    };
    return h;
  }
  ValveTests tests() { return ValveTests(board, state, hooks()); }

  std::int32_t shots(int output) const { return state.ShotsPerOutput.of(output); }
  std::int32_t totalShots() const {
    return std::accumulate(state.ShotsPerOutput.counts.begin(), state.ShotsPerOutput.counts.end(), 0);
  }

  // The valve table and board as the stop action leaves them, with a stale entry in the table.
  void stopped() {
    closeValvesAndBlock(board, state);
    state.ValveStates.open(3);
    board.takeValveEdges();
  }

  SimulatedDigitalBoard board;
  SimulatedAnalogBoard analog;
  std::unique_ptr<EjectionState> owned = std::make_unique<EjectionState>();
  EjectionState& state = *owned;
  IoBoards boards{board, analog, state};

  std::vector<Wait> waits;
  std::vector<int> selected;
  int repaints = 0;
  int messageRuns = 0;
  std::uint64_t writesAtMessages = 0;
  int failAtWait = -1;     // index of the wait that throws
  int failAtRepaint = -1;  // number of the repaint that throws
};

TEST_F(ValveTestsTest, SingleTestPulsesTheSelectedEjectorsOutput) {
  state.EjectorOutputMap[7] = 40;  // cell 6 is ejector 7, wired to output 40
  state.EjectorOutputMap[40] = 7;
  state.ShotsPerOutput.count(40, 100);
  stopped();

  const ValveTestResult result = tests().testButton(false, 6);
  EXPECT_EQ(result.outcome, ValveTestOutcome::kCompleted);
  EXPECT_EQ(result.message, "");
  ASSERT_TRUE(result.boardLabel.has_value());
  EXPECT_EQ(*result.boardLabel, "");

  EXPECT_EQ(waits, singleTestWaits(40));
  EXPECT_EQ(shots(40), 105);
  EXPECT_EQ(totalShots(), 105);
  EXPECT_EQ(repaints, 10);
  EXPECT_FALSE(state.OutputsBlocked.load());
  EXPECT_FALSE(state.ValveStates.isOpen(3));
  EXPECT_EQ(board.openValves(), 0u);

  const auto edges = board.takeValveEdges();
  ASSERT_EQ(edges.size(), 2u * 16u);
  for (std::size_t i = 0; i < edges.size(); ++i) {
    EXPECT_EQ(edges[i].output, 40);
    EXPECT_EQ(edges[i].open, i % 2 == 0) << i;
  }
}

TEST_F(ValveTestsTest, ServiceTestUsesThePulseField) {
  stopped();
  EXPECT_EQ(tests().asSwitch3(false, 0, 40).outcome, ValveTestOutcome::kCompleted);
  std::vector<Wait> expected;
  for (int shot = 0; shot < 5; ++shot) {
    expected.insert(expected.end(), {{40, bitOf(1)}, {50, bitOf(1)}, {40, 0}});
  }
  EXPECT_EQ(waits, expected);
  EXPECT_EQ(shots(1), 5);
  EXPECT_EQ(totalShots(), 5);
  EXPECT_EQ(repaints, 10);
  EXPECT_FALSE(state.OutputsBlocked.load());

  // The designed value, and a negative field that must not become a negative wait.
  waits.clear();
  tests().asSwitch3(false, 47, kDefaultServicePulseMs);
  EXPECT_EQ(waits.front(), (Wait{25, bitOf(48)}));
  waits.clear();
  tests().asSwitch3(false, 47, -3);
  ASSERT_EQ(waits.size(), 15u);
  EXPECT_EQ(waits[0], (Wait{0, bitOf(48)}));
  EXPECT_EQ(waits[2], (Wait{0, 0}));
  EXPECT_EQ(shots(48), 10);
}

TEST_F(ValveTestsTest, FullTestFiresEveryEjectorFiveTimes) {
  for (int n = 1; n <= 48; ++n) state.EjectorOutputMap[n] = 49 - n;  // bar wired in reverse
  state.ShotsPerOutput.count(10, 7);
  stopped();
  const std::uint64_t writesBefore = board.acceptedWrites();

  const ValveTestResult result = tests().fullTestButton(false);
  EXPECT_EQ(result.outcome, ValveTestOutcome::kCompleted);
  EXPECT_EQ(result.boardLabel, std::optional<std::string_view>(""));

  EXPECT_EQ(messageRuns, 1);
  EXPECT_EQ(writesAtMessages, writesBefore);  // messages first, then the pulses
  std::vector<int> cells(48);
  std::iota(cells.begin(), cells.end(), 0);
  EXPECT_EQ(selected, cells);

  std::vector<Wait> expected;
  for (int n = 1; n <= 48; ++n) {
    for (int shot = 0; shot < 5; ++shot) expected.insert(expected.end(), {{16, bitOf(49 - n)}, {25, 0}});
    expected.push_back({100, 0});
  }
  EXPECT_EQ(waits, expected);
  int totalMs = 0;
  for (const Wait& w : waits) totalMs += w.ms;
  EXPECT_EQ(totalMs, 48 * 305);

  for (int m = 1; m <= 48; ++m) EXPECT_EQ(shots(m), m == 10 ? 12 : 5) << m;
  EXPECT_EQ(totalShots(), 48 * 5 + 7);
  EXPECT_EQ(repaints, 48 * 12);
  EXPECT_FALSE(state.OutputsBlocked.load());
  EXPECT_EQ(board.openValves(), 0u);

  const auto edges = board.takeValveEdges();
  ASSERT_EQ(edges.size(), 48u * 10u);
  EXPECT_EQ(edges.front().output, 48);
  EXPECT_EQ(edges.back().output, 1);
}

TEST_F(ValveTestsTest, EachTestWritesTheWholeTableAtEveryEdge) {
  RecordingDigitalBoard recorder;
  recorder.setFound(true, 0xE000);
  ValveTests onRecorder(recorder, state, ValveTestHooks{});
  onRecorder.testButton(false, 0);
  EXPECT_EQ(recorder.outputs().size(), 32u * 17u);
  recorder.clear();
  onRecorder.asSwitch3(false, 0, 25);
  EXPECT_EQ(recorder.outputs().size(), 10u * 17u);
  recorder.clear();
  onRecorder.fullTestButton(false);
  EXPECT_EQ(recorder.outputs().size(), (48u * 11u + 1u) * 17u);
}

TEST_F(ValveTestsTest, TestsAreRefusedWhileSorting) {
  stopped();
  const std::uint64_t writes = board.acceptedWrites();
  ValveTests t = tests();
  for (const ValveTestResult& r : {t.testButton(true, 5), t.fullTestButton(true), t.asSwitch3(true, 5, 25)}) {
    EXPECT_EQ(r.outcome, ValveTestOutcome::kRefusedWhileSorting);
    EXPECT_EQ(r.message,
              "Тестирование эжекторов необходимо проводить при выключенном сканировании.\n"
              "Нажмите кнопку \"СТОП\" на вкладке \"РАБОТА\".");
    EXPECT_FALSE(r.boardLabel.has_value());
  }
  // Nothing was touched: no write, no wait, the stale entry and the block stay.
  EXPECT_EQ(board.acceptedWrites(), writes);
  EXPECT_TRUE(waits.empty());
  EXPECT_EQ(messageRuns, 0);
  EXPECT_TRUE(state.ValveStates.isOpen(3));
  EXPECT_TRUE(state.OutputsBlocked.load());
  EXPECT_EQ(totalShots(), 0);
}

TEST_F(ValveTestsTest, SingleTestsNeedASelectedEjector) {
  stopped();
  const std::uint64_t writes = board.acceptedWrites();
  ValveTests t = tests();
  for (std::optional<int> cell : {std::optional<int>{}, std::optional<int>{-1}, std::optional<int>{48}}) {
    for (const ValveTestResult& r : {t.testButton(false, cell), t.asSwitch3(false, cell, 25)}) {
      EXPECT_EQ(r.outcome, ValveTestOutcome::kNoEjectorSelected);
      EXPECT_EQ(r.message, "Выберите номер эжектора.");
      EXPECT_FALSE(r.boardLabel.has_value());
    }
  }
  EXPECT_EQ(board.acceptedWrites(), writes);
  EXPECT_TRUE(waits.empty());
  EXPECT_TRUE(state.OutputsBlocked.load());
  EXPECT_EQ(totalShots(), 0);
}

TEST(ValveTestsMissingBoardTest, TimingRunsAndTheLabelReportsTheBoard) {
  SimulatedDigitalBoard board{SimulatedDigitalBoard::Config{.present = false}};
  SimulatedAnalogBoard analog;
  auto state = std::make_unique<EjectionState>();
  IoBoards boards{board, analog, *state};
  boards.InitIoBoards();

  int waited = 0;
  ValveTestHooks hooks;
  hooks.wait = [&](int ms) { waited += ms; };
  ValveTests tests(board, *state, hooks);
  const ValveTestResult result = tests.testButton(false, 2);
  EXPECT_EQ(result.outcome, ValveTestOutcome::kCompleted);
  EXPECT_EQ(result.boardLabel, std::optional<std::string_view>("Плата ввода-вывода отсутствует"));
  EXPECT_EQ(waited, 15 + 1000 + 55 + 1000 + 1000 + 5 * 91);
  EXPECT_EQ(state->ShotsPerOutput.of(3), 5);
  EXPECT_EQ(board.acceptedWrites() + board.strayWrites(), 0u);

  waited = 0;
  EXPECT_EQ(tests.fullTestButton(false).boardLabel,
            std::optional<std::string_view>("Плата ввода-вывода отсутствует"));
  EXPECT_EQ(waited, 48 * 305);
}

TEST_F(ValveTestsTest, AnErrorWhileAValveIsOpenEndsTheSingleTestWithAllClosed) {
  stopped();
  failAtWait = 24;  // the first 16 ms wait of the shots: output 5 is open
  const ValveTestResult result = tests().testButton(false, 4);
  EXPECT_EQ(result.outcome, ValveTestOutcome::kEndedByError);
  EXPECT_TRUE(result.boardLabel.has_value());
  EXPECT_EQ(waits.size(), 24u);  // nothing ran after the failure
  EXPECT_EQ(shots(5), 1);
  EXPECT_EQ(board.openValves(), 0u);
  EXPECT_FALSE(state.ValveStates.isOpen(5));
  const auto edges = board.takeValveEdges();
  ASSERT_FALSE(edges.empty());
  EXPECT_EQ(edges.back(), (ValveEdge{5, false, edges.back().time}));

  // A failing repaint ends the service test the same way.
  waits.clear();
  repaints = 0;
  failAtRepaint = 3;  // the first repaint of the second shot, valve open
  EXPECT_EQ(tests().asSwitch3(false, 4, 25).outcome, ValveTestOutcome::kEndedByError);
  EXPECT_EQ(board.openValves(), 0u);
  EXPECT_EQ(shots(5), 3);
}

TEST_F(ValveTestsTest, AnErrorInTheFullTestClosesAllValves) {
  stopped();
  failAtWait = 9 * 11 + 2;  // ejector 10, second shot, valve open
  const ValveTestResult result = tests().fullTestButton(false);
  EXPECT_EQ(result.outcome, ValveTestOutcome::kEndedByError);
  EXPECT_EQ(result.boardLabel, std::optional<std::string_view>(""));
  EXPECT_EQ(selected.back(), 9);
  for (int m = 1; m <= 48; ++m) EXPECT_EQ(shots(m), m <= 10 ? 5 : 0) << m;
  EXPECT_EQ(board.openValves(), 0u);
  for (int m = 1; m <= kEjectorSlots; ++m) EXPECT_FALSE(state.ValveStates.isOpen(m)) << m;
}

// After the supervision fall-back camera 1's thread may still be running its ejection passes when
// standby starts the full test: both count shots and write valves at the same time.
TEST(ValveTestsThreadsTest, FullTestBesideARunningEjectionThread) {
  SimulatedDigitalBoard board;
  SimulatedAnalogBoard analog;
  auto state = std::make_unique<EjectionState>();
  IoBoards boards{board, analog, *state};
  boards.InitIoBoards();
  EngineLock engineLock;

  std::atomic<bool> stop{false};
  std::int32_t passes = 0;
  std::thread camera([&] {
    while (!stop.load()) {
      {
        std::lock_guard lock(engineLock);
        state->ShotsPerOutput.count(60);
      }
      state->ValveStates.open(70);  // beyond the wired outputs: never reaches the board
      WriteValveOutputs(board, *state);
      ++passes;
    }
  });
  ValveTestHooks hooks;
  hooks.countersLock = &engineLock;
  ValveTests tests(board, *state, hooks);
  const ValveTestResult result = tests.fullTestButton(false);
  stop.store(true);
  camera.join();

  EXPECT_EQ(result.outcome, ValveTestOutcome::kCompleted);
  for (int m = 1; m <= 48; ++m) EXPECT_EQ(state->ShotsPerOutput.of(m), 5) << m;
  EXPECT_EQ(state->ShotsPerOutput.of(60), passes);
  WriteValveOutputs(board, *state);
  EXPECT_EQ(board.openValves(), 0u);
}

}  // namespace
}  // namespace tolvane
