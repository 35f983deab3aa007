#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tolvane {

// The digital I/O board whose output ports drive the valves: the driver calls of PIODIO.DLL with their
// arguments, plus what the board initialisation learnt (found or not, base I/O address).
// Implementations: simulated board (default), recording fake for tests. A driver call may throw; the
// callers drop such failures.
class DigitalBoard {
 public:
  static constexpr std::uint32_t kCardId = 0x800110;

  virtual ~DigitalBoard() = default;

  virtual void PIODIO_DriverInit() = 0;
  // 0 when a card with this identifier was found; boardsFound receives the count.
  virtual std::uint16_t PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) = 0;
  virtual std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t boardNumber, std::uint32_t* baseAddress,
                                                     std::uint16_t* interruptNumber, std::uint16_t* subVendor,
                                                     std::uint16_t* subDevice, std::uint16_t* subAux,
                                                     std::uint16_t* slotBus, std::uint16_t* slotDevice) = 0;
  // Writes one byte, widened to a word, to an I/O port.
  virtual std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) = 0;
  virtual std::uint16_t PIODIO_DriverClose() = 0;

  // Boards behind a link (a network valve terminal) report it here; a board in the machine has
  // nothing to say. The text for the board label, empty when there is nothing to show.
  virtual std::string linkStatus() const { return {}; }
  // True once the valves could not be driven for longer than the board tolerates: they cannot be
  // trusted and sorting must stop. Polled by the run control.
  virtual bool outputsUntrusted() const { return false; }

  // Set once by the board initialisation, before any camera thread runs; read by every valve write.
  void setFound(bool ready, std::uint32_t base) {
    base_.store(base, std::memory_order_relaxed);
    ready_.store(ready, std::memory_order_release);
  }
  bool DigitalBoardReady() const { return ready_.load(std::memory_order_acquire); }
  std::uint32_t BoardBase() const { return base_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> ready_{false};
  std::atomic<std::uint32_t> base_{0};
};

}  // namespace tolvane
