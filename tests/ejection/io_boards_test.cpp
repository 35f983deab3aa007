#include "ejection/io_boards.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ejection/valve_outputs.h"
#include "platform/recording_analog_board.h"
#include "platform/recording_digital_board.h"
#include "platform/simulated_boards.h"

namespace tolvane {
namespace {

using DCall = RecordingDigitalBoard::Call;
using DFunction = RecordingDigitalBoard::Function;
using ACall = RecordingAnalogBoard::Call;
using AFunction = RecordingAnalogBoard::Function;
constexpr std::uint32_t kBase = 0xE000;

// Both fakes also write one shared log, so the order across the two boards can be checked.
class LoggingDigitalBoard : public RecordingDigitalBoard {
 public:
  explicit LoggingDigitalBoard(std::vector<std::string>& log) : log_(log) {}
  void PIODIO_DriverInit() override {
    log_.push_back("D.init");
    RecordingDigitalBoard::PIODIO_DriverInit();
  }
  std::uint16_t PIODIO_SearchCard(std::uint16_t* found, std::uint32_t cardId) override {
    log_.push_back("D.search");
    return RecordingDigitalBoard::PIODIO_SearchCard(found, cardId);
  }
  std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t n, std::uint32_t* base, std::uint16_t* a,
                                             std::uint16_t* b, std::uint16_t* c, std::uint16_t* d,
                                             std::uint16_t* e, std::uint16_t* f) override {
    log_.push_back("D.config");
    return RecordingDigitalBoard::PIODIO_GetConfigAddressSpace(n, base, a, b, c, d, e, f);
  }
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override {
    log_.push_back("D.out");
    return RecordingDigitalBoard::PIODIO_OutputByte(port, value);
  }
  std::uint16_t PIODIO_DriverClose() override {
    log_.push_back("D.close");
    return RecordingDigitalBoard::PIODIO_DriverClose();
  }

 private:
  std::vector<std::string>& log_;
};

class LoggingAnalogBoard : public RecordingAnalogBoard {
 public:
  explicit LoggingAnalogBoard(std::vector<std::string>& log) : log_(log) {}
  void PIODA_DriverInit() override {
    log_.push_back("A.init");
    RecordingAnalogBoard::PIODA_DriverInit();
  }
  std::uint16_t PIODA_SearchCard(std::uint16_t* found, std::uint32_t cardId) override {
    log_.push_back("A.search");
    return RecordingAnalogBoard::PIODA_SearchCard(found, cardId);
  }
  std::uint16_t PIODA_DO(std::uint16_t board, std::uint16_t word) override {
    log_.push_back("A.do");
    return RecordingAnalogBoard::PIODA_DO(board, word);
  }
  std::uint16_t PIODA_DriverClose() override {
    log_.push_back("A.close");
    return RecordingAnalogBoard::PIODA_DriverClose();
  }

 private:
  std::vector<std::string>& log_;
};

DCall out(std::uint32_t offset, std::uint16_t value) {
  return {DFunction::kOutputByte, kBase + offset, value};
}

std::vector<DCall> allClosedWrite() {
  std::vector<DCall> calls = {out(0x00, 1), out(0xCC, 7), out(0xDC, 7), out(0xEC, 7), out(0xFC, 7)};
  for (std::uint32_t p :
       {0xC0u, 0xC4u, 0xC8u, 0xD0u, 0xD4u, 0xD8u, 0xE0u, 0xE4u, 0xE8u, 0xF0u, 0xF4u, 0xF8u}) {
    calls.push_back(out(p, 0));
  }
  return calls;
}

std::vector<std::string> repeated(const std::string& what, int n) {
  return std::vector<std::string>(n, what);
}

class IoBoardsTest : public ::testing::Test {
 protected:
  IoBoardsTest() { digital.setReportedBase(kBase); }

  std::vector<std::string> log;
  LoggingDigitalBoard digital{log};
  LoggingAnalogBoard analog{log};
  std::unique_ptr<EjectionState> owned = std::make_unique<EjectionState>();
  EjectionState& state = *owned;
  IoBoards boards{digital, analog, state};
};

TEST_F(IoBoardsTest, PresentBoardGetsTwoClosedValveWritesAroundTheZeroWrites) {
  state.ValveStates.open(5);  // whatever the table held before, the valves start closed
  state.ValveStates.open(70);
  EXPECT_EQ(boards.boardLabel(), kBoardLabelCaption);
  EXPECT_EQ(boards.InitIoBoards(), kDigitalBoardReadyText);
  EXPECT_EQ(boards.boardLabel(), kDigitalBoardReadyText);
  EXPECT_TRUE(digital.DigitalBoardReady());
  EXPECT_EQ(digital.BoardBase(), kBase);
  for (int m = 1; m <= kEjectorSlots; ++m) EXPECT_FALSE(state.ValveStates.isOpen(m)) << m;

  std::vector<DCall> expected = {{DFunction::kDriverInit},
                                 {DFunction::kSearchCard, DigitalBoard::kCardId},
                                 {DFunction::kGetConfigAddressSpace, 0}};
  const std::vector<DCall> valveWrite = allClosedWrite();
  expected.insert(expected.end(), valveWrite.begin(), valveWrite.end());
  for (std::uint32_t p :
       {0xC0u, 0xC4u, 0xC8u, 0xD0u, 0xD4u, 0xD8u, 0xE0u, 0xE4u, 0xE8u, 0xF0u, 0xF4u, 0xF8u}) {
    expected.push_back(out(p, 0));
  }
  expected.insert(expected.end(), valveWrite.begin(), valveWrite.end());
  EXPECT_EQ(digital.calls(), expected);

  // Across both boards: the digital board is set up first, its second valve write follows the D/A search,
  // and the sixteen D/A writes come last.
  std::vector<std::string> order = {"D.init", "D.search", "D.config"};
  for (const auto& part : {repeated("D.out", 17 + 12), std::vector<std::string>{"A.init", "A.search"},
                           repeated("D.out", 17), repeated("A.do", 16)}) {
    order.insert(order.end(), part.begin(), part.end());
  }
  EXPECT_EQ(log, order);
  EXPECT_EQ(state.LastBoardStatus.load(), BoardStatus::kOk);
}

TEST_F(IoBoardsTest, MissingDigitalBoardIsNeverWritten) {
  digital.setCardPresent(false);
  EXPECT_EQ(boards.InitIoBoards(), kDigitalBoardNotFoundText);
  EXPECT_EQ(boards.boardLabel(), kDigitalBoardNotFoundText);
  EXPECT_FALSE(digital.DigitalBoardReady());
  // The base address is asked for even so.
  EXPECT_EQ(digital.calls(), (std::vector<DCall>{{DFunction::kDriverInit},
                                                 {DFunction::kSearchCard, DigitalBoard::kCardId},
                                                 {DFunction::kGetConfigAddressSpace, 0}}));
  EXPECT_EQ(analog.doCalls().size(), 16u);

  // Later valve writes only report the missing board.
  state.ValveStates.open(3);
  WriteValveOutputs(digital, state);
  EXPECT_TRUE(digital.outputs().empty());
  EXPECT_EQ(boardStatusText(state.LastBoardStatus.load()), "Плата ввода-вывода отсутствует");
}

TEST_F(IoBoardsTest, DigitalDriverFailuresCountAsAMissingBoard) {
  for (DFunction failing : {DFunction::kSearchCard, DFunction::kGetConfigAddressSpace}) {
    log.clear();
    digital.clear();
    digital.failCall(failing);
    IoBoards fresh{digital, analog, state};
    EXPECT_EQ(fresh.InitIoBoards(), kDigitalBoardNotFoundText);
    EXPECT_FALSE(digital.DigitalBoardReady());
    EXPECT_TRUE(digital.outputs().empty());
  }
  // A failing init alone does not hide a board that answers the search.
  digital.clear();
  digital.failCall(DFunction::kDriverInit);
  IoBoards fresh{digital, analog, state};
  EXPECT_EQ(fresh.InitIoBoards(), kDigitalBoardReadyText);
  EXPECT_EQ(digital.outputs().size(), 17u + 12u + 17u);
}

TEST_F(IoBoardsTest, FailingZeroWritesAreDroppedOneByOne) {
  digital.failOutputAfter(17 + 3);  // the fourth zero write (0xD0) fails
  EXPECT_EQ(boards.InitIoBoards(), kDigitalBoardReadyText);
  const auto outputs = digital.outputs();
  ASSERT_EQ(outputs.size(), 17u + 11u + 17u);
  EXPECT_EQ(outputs[17 + 2], out(0xC8, 0));
  EXPECT_EQ(outputs[17 + 3], out(0xD4, 0));
  EXPECT_EQ(std::vector<DCall>(outputs.end() - 17, outputs.end()), allClosedWrite());
}

TEST_F(IoBoardsTest, AnalogBoardGetsSixteenZeroWritesWhateverTheSearchSays) {
  struct Case {
    std::uint16_t result;
    std::uint16_t count;
    bool searchThrows;
    bool initThrows;
  };
  for (const Case& c : {Case{0, 1, false, false}, Case{1, 0, false, false}, Case{0xFFFF, 3, false, false},
                        Case{0, 1, true, false}, Case{0, 1, false, true}}) {
    analog.clear();
    analog.setSearchAnswer(c.result, c.count);
    if (c.searchThrows) analog.failCall(AFunction::kSearchCard);
    if (c.initThrows) analog.failCall(AFunction::kDriverInit);
    IoBoards fresh{digital, analog, state};
    fresh.InitIoBoards();

    std::vector<ACall> expected;
    if (!c.initThrows) expected.push_back({AFunction::kDriverInit});
    // The caller clears the count before the search.
    if (!c.searchThrows) expected.push_back(RecordingAnalogBoard::searchCard(0));
    for (int i = 0; i < 16; ++i) expected.push_back(RecordingAnalogBoard::doWrite(0, 0));
    EXPECT_EQ(analog.calls(), expected) << c.result << " " << c.searchThrows << " " << c.initThrows;
    EXPECT_EQ(fresh.analogDoWord().word(), 0);
  }
}

TEST_F(IoBoardsTest, FailingAnalogWritesDoNotStopTheOthers) {
  analog.failCall(AFunction::kDO, 2);
  boards.InitIoBoards();
  EXPECT_EQ(analog.doCalls().size(), 15u);  // sixteen tried, the third failed
}

TEST_F(IoBoardsTest, AnalogBitsSetAndClearTheirByteAndAlwaysWrite) {
  struct Step {
    std::uint8_t bit;
    bool on;
    std::uint16_t word;
  };
  const Step steps[] = {{3, true, 0x0008},   {8, true, 0x0108},   {15, true, 0x8108}, {0, true, 0x8109},
                        {3, false, 0x8101},  {3, false, 0x8101},  {16, true, 0x8101}, {16, false, 0x8101},
                        {255, true, 0x8101}, {15, false, 0x0101}, {7, true, 0x0181}};
  for (const Step& s : steps) {
    analog.clear();
    boards.SetAnalogBoardOutput(2, s.bit, s.on);
    EXPECT_EQ(boards.analogDoWord().word(), s.word) << int{s.bit};
    EXPECT_EQ(analog.calls(), std::vector<ACall>{RecordingAnalogBoard::doWrite(2, s.word)}) << int{s.bit};
  }
  EXPECT_EQ(boards.analogDoWord().low, 0x81);
  EXPECT_EQ(boards.analogDoWord().high, 0x01);

  // A failing driver is dropped; the word keeps the change.
  analog.failCall(AFunction::kDO);
  EXPECT_NO_THROW(boards.SetAnalogBoardOutput(0, 9, true));
  EXPECT_EQ(boards.analogDoWord().word(), 0x0381);
}

TEST_F(IoBoardsTest, ClosingClosesDigitalThenAnalogAndDropsFailures) {
  boards.CloseIoBoards();
  EXPECT_EQ(log, (std::vector<std::string>{"D.close", "A.close"}));

  // A failing digital close skips the D/A close; nothing escapes.
  log.clear();
  digital.failCall(DFunction::kDriverClose);
  EXPECT_NO_THROW(boards.CloseIoBoards());
  EXPECT_EQ(log, std::vector<std::string>{"D.close"});
  EXPECT_EQ(analog.calls(), std::vector<ACall>{{AFunction::kDriverClose}});

  analog.failCall(AFunction::kDriverClose);
  EXPECT_NO_THROW(boards.CloseIoBoards());
}

// The default boards of the program: start-up leaves them open, enabled and all closed; after closing,
// a valve write from a camera thread that is still running is dropped quietly.
TEST(IoBoardsSimulatedTest, StartUpAndCloseWithTheSimulatedBoards) {
  SimulatedDigitalBoard digital;
  SimulatedAnalogBoard analog;
  auto state = std::make_unique<EjectionState>();
  IoBoards boards{digital, analog, *state};
  EXPECT_EQ(boards.InitIoBoards(), kDigitalBoardReadyText);
  EXPECT_TRUE(digital.driverOpen());
  EXPECT_TRUE(digital.DigitalBoardReady());
  EXPECT_EQ(digital.BoardBase(), SimulatedDigitalBoard::kDefaultBase);
  EXPECT_EQ(digital.port(0x00), 1);
  EXPECT_EQ(digital.port(0xDC), 7);
  EXPECT_EQ(digital.openValves(), 0u);
  EXPECT_EQ(digital.acceptedWrites(), 17u + 12u + 17u);
  EXPECT_TRUE(analog.driverOpen());
  EXPECT_EQ(analog.outputWrites(), 16u);
  EXPECT_EQ(analog.outputWord(), 0);

  state->ValveStates.open(12);
  WriteValveOutputs(digital, *state);
  EXPECT_TRUE(digital.valveOpen(12));

  boards.CloseIoBoards();
  EXPECT_FALSE(digital.driverOpen());
  EXPECT_FALSE(analog.driverOpen());
  state->ValveStates.close(12);
  EXPECT_NO_THROW(WriteValveOutputs(digital, *state));
  EXPECT_EQ(digital.refusedWrites(), 1u);  // the first write failed and ended the call
  EXPECT_TRUE(digital.valveOpen(12));
}

TEST(IoBoardsSimulatedTest, AbsentSimulatedBoardIsReportedAndNeverWritten) {
  SimulatedDigitalBoard digital{SimulatedDigitalBoard::Config{.present = false}};
  SimulatedAnalogBoard analog{false};
  auto state = std::make_unique<EjectionState>();
  IoBoards boards{digital, analog, *state};
  EXPECT_EQ(boards.InitIoBoards(), kDigitalBoardNotFoundText);
  EXPECT_EQ(digital.BoardBase(), 0u);
  state->ValveStates.open(1);
  WriteValveOutputs(digital, *state);
  EXPECT_EQ(digital.acceptedWrites() + digital.strayWrites() + digital.refusedWrites(), 0u);
  EXPECT_EQ(analog.outputWrites(), 0u);
}

}  // namespace
}  // namespace tolvane
