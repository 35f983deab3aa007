#include "ejection/valve_outputs.h"

#include <mutex>

namespace tolvane {

std::string_view boardStatusText(BoardStatus status) {
  return status == BoardStatus::kBoardMissing ? kBoardMissingText : std::string_view();
}

std::uint8_t valveGroupByte(const ValveImage& valves, int firstOutput) {
  std::uint8_t byte = 0;
  for (int n = 0; n < 8; ++n) {
    if (valves.isOpen(firstOutput + n)) byte = static_cast<std::uint8_t>(byte | (1u << n));
  }
  return byte;
}

std::uint8_t valveGroupByte(const ValveTable& valves, int firstOutput) {
  // The board's groups start at 1, 9, 17, ...: one word of the table each.
  if (firstOutput >= 1 && firstOutput <= kEjectorSlots - 7 && (firstOutput - 1) % 8 == 0)
    return valves.groupBits((firstOutput - 1) / 8);
  std::uint8_t byte = 0;
  for (int n = 0; n < 8; ++n) {
    if (valves.isOpen(firstOutput + n)) byte = static_cast<std::uint8_t>(byte | (1u << n));
  }
  return byte;
}

namespace {

std::mutex& writeMutex() {
  static std::mutex mutex;
  return mutex;
}

// Callers hold writeMutex(). Writes the image, or the live table when image is null.
void writeValvesLocked(DigitalBoard& board, EjectionState& state, const ValveImage* image) {
  if (!board.DigitalBoardReady()) {
    state.LastBoardStatus.store(BoardStatus::kBoardMissing, std::memory_order_relaxed);
    return;
  }
  state.LastBoardStatus.store(BoardStatus::kOk, std::memory_order_relaxed);
  const std::uint32_t base = board.BoardBase();
  try {
    board.PIODIO_OutputByte(base + kBoardEnablePort, 1);
    for (std::uint32_t port : kControlPorts) board.PIODIO_OutputByte(base + port, kControlValue);
    if (state.OutputsBlocked.load(std::memory_order_acquire)) return;
    for (std::uint32_t port : kLeadingZeroPorts) board.PIODIO_OutputByte(base + port, 0);
    for (int group = 0; group < 6; ++group) {
      const int first = 1 + 8 * group;
      const std::uint8_t byte =
          image != nullptr ? valveGroupByte(*image, first) : valveGroupByte(state.ValveStates, first);
      board.PIODIO_OutputByte(base + kValvePorts[group], byte);
    }
    for (std::uint32_t port : kTrailingZeroPorts) board.PIODIO_OutputByte(base + port, 0);
  } catch (...) {
    // A failing driver must not stop the acquisition loop; the next call writes everything again.
  }
}

}  // namespace

void WriteValveOutputs(DigitalBoard& board, EjectionState& state) {
  std::lock_guard lock(writeMutex());
  writeValvesLocked(board, state, nullptr);
}

void WriteValveOutputs(DigitalBoard& board, EjectionState& state, const ValveImage& image) {
  std::lock_guard lock(writeMutex());
  writeValvesLocked(board, state, &image);
}

void closeValvesAndBlock(DigitalBoard& board, EjectionState& state) {
  // One critical section, and the closing write does not read the table: a step still running on
  // camera 1's thread may open a valve in the table meanwhile, but it cannot reach the board.
  std::lock_guard lock(writeMutex());
  state.ValveStates.closeAll();
  const ValveImage allClosed;
  writeValvesLocked(board, state, &allClosed);
  state.OutputsBlocked.store(true, std::memory_order_release);
}

}  // namespace tolvane
