#pragma once

#include <cstdint>

namespace tolvane {

// The board with D/A converters and 16 digital outputs: the driver calls of PIODA.DLL with their
// arguments. The program only puts its digital outputs into a known off state at start-up.
// Implementations: simulated board (default), recording fake for tests. A driver call may throw; the
// callers drop such failures. Results are 16-bit codes, 0 meaning success; none is inspected.
class AnalogBoard {
 public:
  static constexpr std::uint32_t kCardId = 0x800400;

  virtual ~AnalogBoard() = default;

  virtual void PIODA_DriverInit() = 0;
  // boardsFound receives the count of boards with this identifier.
  virtual std::uint16_t PIODA_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) = 0;
  // Sets the 16 digital outputs of the board: bit n of word drives output n.
  virtual std::uint16_t PIODA_DO(std::uint16_t boardNumber, std::uint16_t word) = 0;
  virtual std::uint16_t PIODA_DriverClose() = 0;
};

}  // namespace tolvane
