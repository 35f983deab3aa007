#include "ejection/io_boards.h"

#include "ejection/valve_outputs.h"

namespace tolvane {

namespace {

// Data ports cleared once the digital board is open, in this order.
constexpr std::uint32_t kDataPorts[12] = {0xC0, 0xC4, 0xC8, 0xD0, 0xD4, 0xD8,
                                          0xE0, 0xE4, 0xE8, 0xF0, 0xF4, 0xF8};

constexpr int kAnalogOutputs = 16;

}  // namespace

void SetAnalogBoardOutput(AnalogBoard& board, AnalogDoWord& doWord, std::uint8_t boardNumber,
                          std::uint8_t bit, bool on) {
  if (bit < 16) {
    std::uint8_t& byte = bit < 8 ? doWord.low : doWord.high;
    const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
    byte = static_cast<std::uint8_t>(on ? byte | mask : byte & ~mask);
  }
  try {
    board.PIODA_DO(boardNumber, doWord.word());
  } catch (...) {
    // Nothing depends on the D/A board; a failing driver is not reported.
  }
}

void IoBoards::SetAnalogBoardOutput(std::uint8_t boardNumber, std::uint8_t bit, bool on) {
  tolvane::SetAnalogBoardOutput(analog_, doWord_, boardNumber, bit, on);
}

bool IoBoards::findDigitalBoard() {
  try {
    digital_.PIODIO_DriverInit();
  } catch (...) {
    // The search below tells whether the driver works.
  }
  std::uint16_t found = 0;
  std::uint16_t searchResult = 1;
  try {
    searchResult = digital_.PIODIO_SearchCard(&found, DigitalBoard::kCardId);
  } catch (...) {
    searchResult = 1;
  }
  // The base address is fetched whatever the search said, and before any port write.
  std::uint32_t base = 0;
  std::uint16_t interrupt = 0, subVendor = 0, subDevice = 0, subAux = 0, slotBus = 0, slotDevice = 0;
  bool addressed = true;
  try {
    digital_.PIODIO_GetConfigAddressSpace(kDigitalBoardNumber, &base, &interrupt, &subVendor, &subDevice,
                                          &subAux, &slotBus, &slotDevice);
  } catch (...) {
    // Without a trustworthy base address a port write could land on any port of the machine.
    addressed = false;
  }
  digital_.setFound(false, base);
  return searchResult == 0 && addressed;
}

std::string_view IoBoards::InitIoBoards() {
  if (!findDigitalBoard()) {
    boardLabel_ = kDigitalBoardNotFoundText;
  } else {
    ejection_.ValveStates.closeAll();
    digital_.setFound(true, digital_.BoardBase());
    WriteValveOutputs(digital_, ejection_);
    boardLabel_ = kDigitalBoardReadyText;
    const std::uint32_t base = digital_.BoardBase();
    for (std::uint32_t port : kDataPorts) {
      try {
        digital_.PIODIO_OutputByte(base + port, 0);
      } catch (...) {
        // Each port gets its chance to be cleared; the valve write below repeats the valve ports.
      }
    }
  }

  std::uint16_t analogBoards = 0;
  try {
    analog_.PIODA_DriverInit();
  } catch (...) {
  }
  try {
    analog_.PIODA_SearchCard(&analogBoards, AnalogBoard::kCardId);
  } catch (...) {
    // The D/A board is only switched off; its absence is not reported.
  }

  ejection_.ValveStates.closeAll();
  if (digital_.DigitalBoardReady()) WriteValveOutputs(digital_, ejection_);

  // Bits 1..16 off: the word stays 0, so the board gets sixteen writes of 0.
  for (int bit = 1; bit <= kAnalogOutputs; ++bit) {
    SetAnalogBoardOutput(kAnalogBoardNumber, static_cast<std::uint8_t>(bit), false);
  }
  return boardLabel_;
}

void IoBoards::CloseIoBoards() {
  try {
    digital_.PIODIO_DriverClose();
    analog_.PIODA_DriverClose();
  } catch (...) {
    // The program is ending; nothing more can be done about a driver that fails to close.
  }
}

}  // namespace tolvane
