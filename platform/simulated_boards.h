#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/analog_board.h"
#include "platform/digital_board.h"
#include "platform/valve_port_image.h"

namespace tolvane {

// One change of a valve as the simulated digital board drove it.
struct ValveEdge {
  std::int32_t output = 0;  // 1..48
  bool open = false;        // true: the valve opened; false: it closed
  // When the port write that caused the change was accepted by the board.
  std::chrono::steady_clock::time_point time{};

  bool operator==(const ValveEdge&) const = default;
};

// The digital I/O board of the default run. It answers the driver calls like a board that is present
// (or absent, as configured), keeps the image of every port written and decodes from it which of the
// 48 valves are open, recording every valve edge with its time.
//
// How the board decodes its ports (offsets from the base address):
//  - 0x00, bit 0: output enable. While it is clear every valve is closed.
//  - Four blocks at 0xC0, 0xD0, 0xE0, 0xF0, each with data ports at +0x0, +0x4, +0x8 and a control
//    register at +0xC. Bit k of the control register makes data port k of its block drive its pins;
//    a port that does not drive holds its valves closed.
//  - Data ports 0xD0, 0xD4, 0xD8, 0xE0, 0xE4, 0xE8 carry outputs 1-8, 9-16, ..., 41-48: bit n (bit 0
//    least significant) is output first + n. The other data ports drive no valve.
// So a valve is open when the enable bit, its port's control bit and its data bit are all set. Only
// the low byte of a written value reaches a port. Writes outside base .. base + 0xFF are stray and
// ignored (counted); writes while the driver is not open (before PIODIO_DriverInit or after
// PIODIO_DriverClose) throw std::runtime_error, as a closed driver fails.
//
// Using it: the board initialisation (InitIoBoards in ejection/io_boards.h) opens the driver, finds the
// board and marks it ready; until then WriteValveOutputs writes nothing to it.
//
// Threads: every method may be called from any thread. Port writes come from camera 1's thread once per
// pass; a write that changes nothing costs a few atomic operations, a changing write takes a short lock
// and never allocates. The valve trace is a ring of fixed capacity: a reader (e.g. the scoring of a
// simulated run) drains it with takeValveEdges() while writes go on. When the ring is full, new edges are
// dropped and counted in lostValveEdges(); the edges taken are then still in order but incomplete, and
// openValves() still tells the true current state.
class SimulatedDigitalBoard : public DigitalBoard {
 public:
  static constexpr std::uint32_t kDefaultBase = 0xD000;
  static constexpr std::size_t kDefaultEdgeCapacity = std::size_t{1} << 16;
  static constexpr int kValves = 48;

  struct Config {
    bool present = true;  // the card search finds the board
    std::uint32_t base = kDefaultBase;
    std::size_t edgeCapacity = kDefaultEdgeCapacity;  // at least 1
  };

  SimulatedDigitalBoard() : SimulatedDigitalBoard(Config{}) {}
  explicit SimulatedDigitalBoard(Config config);

  // Take effect at the next search and address query.
  void setPresent(bool present);
  void setBase(std::uint32_t base);

  void PIODIO_DriverInit() override;
  // 0 and a count of 1 when the driver is open, the board present and the identifier is the board's.
  std::uint16_t PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) override;
  // Board 0 of a present board: its base address and 0. Otherwise base 0 and 1.
  std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t boardNumber, std::uint32_t* baseAddress,
                                             std::uint16_t* interruptNumber, std::uint16_t* subVendor,
                                             std::uint16_t* subDevice, std::uint16_t* subAux,
                                             std::uint16_t* slotBus, std::uint16_t* slotDevice) override;
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override;
  std::uint16_t PIODIO_DriverClose() override;

  bool driverOpen() const { return open_.load(std::memory_order_acquire); }

  // Last byte written to port base + offset (offset 0..0xFF; others read 0).
  std::uint8_t port(std::uint32_t offset) const;

  // Current valve states: bit output - 1 is set while that valve is open.
  std::uint64_t openValves() const { return openValves_.load(std::memory_order_acquire); }
  bool valveOpen(int output) const;  // false outside 1..48
  std::array<bool, kValves> valveStates() const;

  // Moves the recorded valve edges, oldest first, to the end of out; returns how many were moved.
  std::size_t takeValveEdges(std::vector<ValveEdge>& out);
  std::vector<ValveEdge> takeValveEdges();
  // Edges dropped because the ring was full.
  std::uint64_t lostValveEdges() const { return lostEdges_.load(std::memory_order_relaxed); }
  std::size_t edgeCapacity() const { return ring_.size(); }

  // Port writes accepted (to the board's ports), stray (elsewhere or with no board present) and refused
  // (driver not open).
  std::uint64_t acceptedWrites() const { return acceptedWrites_.load(std::memory_order_relaxed); }
  std::uint64_t strayWrites() const { return strayWrites_.load(std::memory_order_relaxed); }
  std::uint64_t refusedWrites() const { return refusedWrites_.load(std::memory_order_relaxed); }

 private:
  // Valve states the port image drives. Caller holds mutex_.
  std::uint64_t decodeLocked() const;
  void recordEdgesLocked(std::uint64_t before, std::uint64_t after);

  std::atomic<bool> present_;
  std::atomic<std::uint32_t> base_;
  std::atomic<bool> open_{false};
  ValvePortImage image_{};
  std::atomic<std::uint64_t> openValves_{0};
  std::atomic<std::uint64_t> lostEdges_{0};
  std::atomic<std::uint64_t> acceptedWrites_{0};
  std::atomic<std::uint64_t> strayWrites_{0};
  std::atomic<std::uint64_t> refusedWrites_{0};
  std::atomic<std::size_t> pendingEdges_{0};  // size hint for readers

  std::mutex mutex_;  // guards the image changes, the decode and the ring
  std::vector<ValveEdge> ring_;
  std::size_t ringHead_ = 0;  // oldest edge
  std::size_t ringSize_ = 0;
};

// The D/A board of the default run: keeps the word of its 16 digital outputs.
// Every method may be called from any thread.
class SimulatedAnalogBoard : public AnalogBoard {
 public:
  explicit SimulatedAnalogBoard(bool present = true) : present_(present) {}

  void setPresent(bool present) { present_.store(present, std::memory_order_relaxed); }

  void PIODA_DriverInit() override;
  // 0 and a count of 1 when the driver is open, the board present and the identifier is the board's.
  std::uint16_t PIODA_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) override;
  // Board 0 of a present board takes the word (result 0); otherwise nothing changes (result 1).
  // Throws std::runtime_error while the driver is not open.
  std::uint16_t PIODA_DO(std::uint16_t boardNumber, std::uint16_t word) override;
  std::uint16_t PIODA_DriverClose() override;

  bool driverOpen() const { return open_.load(std::memory_order_acquire); }
  std::uint16_t outputWord() const { return word_.load(std::memory_order_acquire); }
  std::uint64_t outputWrites() const { return writes_.load(std::memory_order_relaxed); }

 private:
  std::atomic<bool> present_;
  std::atomic<bool> open_{false};
  std::atomic<std::uint16_t> word_{0};
  std::atomic<std::uint64_t> writes_{0};
};

}  // namespace tolvane
