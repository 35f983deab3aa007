#pragma once

#include <cstdint>
#include <string_view>

#include "engine/ejection_state.h"
#include "engine/ejection_step.h"
#include "platform/digital_board.h"

namespace tolvane {

inline constexpr std::string_view kBoardMissingText = "Плата ввода-вывода отсутствует";

// Port offsets from the board base.
inline constexpr std::uint32_t kBoardEnablePort = 0x00;
inline constexpr std::uint32_t kControlPorts[4] = {0xCC, 0xDC, 0xEC, 0xFC};
inline constexpr std::uint32_t kLeadingZeroPorts[3] = {0xC0, 0xC4, 0xC8};
inline constexpr std::uint32_t kValvePorts[6] = {0xD0, 0xD4, 0xD8, 0xE0, 0xE4, 0xE8};
inline constexpr std::uint32_t kTrailingZeroPorts[3] = {0xF0, 0xF4, 0xF8};
inline constexpr std::uint8_t kControlValue = 7;

// `BoardStatusText` for a status.
std::string_view boardStatusText(BoardStatus status);

// Byte of the output group first..first+7: bit n set when output first+n is open.
std::uint8_t valveGroupByte(const ValveTable& valves, int firstOutput);
std::uint8_t valveGroupByte(const ValveImage& valves, int firstOutput);

// Copies the whole valve table (outputs 1..48) to the board: 17 port writes, or 5 while
// `OutputsBlocked` is set, or none when the board is missing (then `LastBoardStatus` says so).
// A driver failure ends the call quietly; the next call starts afresh. Calls are serialised.
// Called on camera 1's thread after every ejection step and on the main thread (stop, tests, start-up).
void WriteValveOutputs(DigitalBoard& board, EjectionState& state);
// The same from a copy of the table, so the caller need not hold the engine lock while the ports are
// written. A copy taken before closeValvesAndBlock cannot reopen valves: the block is checked here.
void WriteValveOutputs(DigitalBoard& board, EjectionState& state, const ValveImage& image);

// The stop action's valve part: close every valve, write all closed once, then block further data
// writes. Safe against a pass still running on camera 1's thread: the board ends closed.
void closeValvesAndBlock(DigitalBoard& board, EjectionState& state);

// The valve writer handed to camera 1's thread.
class BoardValveOutput : public ValveOutput {
 public:
  explicit BoardValveOutput(DigitalBoard& board) : board_(board) {}
  void write(EjectionState& state) override { WriteValveOutputs(board_, state); }
  void writeImage(EjectionState& state, const ValveImage& image) override {
    WriteValveOutputs(board_, state, image);
  }

 private:
  DigitalBoard& board_;
};

}  // namespace tolvane
