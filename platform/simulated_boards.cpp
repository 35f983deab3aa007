#include "platform/simulated_boards.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr std::uint32_t kPortSpan = 0x100;

}  // namespace

SimulatedDigitalBoard::SimulatedDigitalBoard(Config config)
    : present_(config.present), base_(config.base), ring_(std::max<std::size_t>(config.edgeCapacity, 1)) {}

void SimulatedDigitalBoard::setPresent(bool present) { present_.store(present, std::memory_order_relaxed); }

void SimulatedDigitalBoard::setBase(std::uint32_t base) { base_.store(base, std::memory_order_relaxed); }

void SimulatedDigitalBoard::PIODIO_DriverInit() { open_.store(true, std::memory_order_release); }

std::uint16_t SimulatedDigitalBoard::PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) {
  const bool found = driverOpen() && present_.load(std::memory_order_relaxed) && cardId == kCardId;
  if (boardsFound != nullptr) *boardsFound = found ? 1 : 0;
  return found ? 0 : 1;
}

std::uint16_t SimulatedDigitalBoard::PIODIO_GetConfigAddressSpace(
    std::uint16_t boardNumber, std::uint32_t* baseAddress, std::uint16_t* interruptNumber,
    std::uint16_t* subVendor, std::uint16_t* subDevice, std::uint16_t* subAux, std::uint16_t* slotBus,
    std::uint16_t* slotDevice) {
  const bool known = driverOpen() && present_.load(std::memory_order_relaxed) && boardNumber == 0;
  if (baseAddress != nullptr) *baseAddress = known ? base_.load(std::memory_order_relaxed) : 0;
  for (std::uint16_t* p : {interruptNumber, subVendor, subDevice, subAux, slotBus, slotDevice}) {
    if (p != nullptr) *p = 0;
  }
  return known ? 0 : 1;
}

std::uint16_t SimulatedDigitalBoard::PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) {
  if (!driverOpen()) {
    refusedWrites_.fetch_add(1, std::memory_order_relaxed);
    throw std::runtime_error("digital board driver is not open");
  }
  const std::uint32_t offset = port - base_.load(std::memory_order_relaxed);
  if (!present_.load(std::memory_order_relaxed) || offset >= kPortSpan) {
    strayWrites_.fetch_add(1, std::memory_order_relaxed);
    return 1;
  }
  acceptedWrites_.fetch_add(1, std::memory_order_relaxed);
  const auto byte = static_cast<std::uint8_t>(value & 0xFF);
  // Most writes repeat what the port holds: no lock for them. A concurrent writer of another value is
  // simply ordered before this one.
  if (image_[offset].load(std::memory_order_relaxed) == byte) return 0;

  std::lock_guard lock(mutex_);
  image_[offset].store(byte, std::memory_order_relaxed);
  const std::uint64_t before = openValves_.load(std::memory_order_relaxed);
  const std::uint64_t after = decodeLocked();
  if (after != before) {
    recordEdgesLocked(before, after);
    openValves_.store(after, std::memory_order_release);
  }
  return 0;
}

std::uint16_t SimulatedDigitalBoard::PIODIO_DriverClose() {
  open_.store(false, std::memory_order_release);
  return 0;
}

std::uint8_t SimulatedDigitalBoard::port(std::uint32_t offset) const {
  return offset < kPortSpan ? image_[offset].load(std::memory_order_relaxed) : 0;
}

bool SimulatedDigitalBoard::valveOpen(int output) const {
  if (output < 1 || output > kValves) return false;
  return ((openValves() >> (output - 1)) & 1u) != 0;
}

std::array<bool, SimulatedDigitalBoard::kValves> SimulatedDigitalBoard::valveStates() const {
  const std::uint64_t mask = openValves();
  std::array<bool, kValves> states{};
  for (int i = 0; i < kValves; ++i) states[static_cast<std::size_t>(i)] = ((mask >> i) & 1u) != 0;
  return states;
}

std::uint64_t SimulatedDigitalBoard::decodeLocked() const { return openValvesOf(image_); }

void SimulatedDigitalBoard::recordEdgesLocked(std::uint64_t before, std::uint64_t after) {
  const auto now = std::chrono::steady_clock::now();
  for (std::uint64_t changed = before ^ after; changed != 0; changed &= changed - 1) {
    const int bit = std::countr_zero(changed);
    if (ringSize_ == ring_.size()) {
      lostEdges_.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    ring_[(ringHead_ + ringSize_) % ring_.size()] = {bit + 1, ((after >> bit) & 1u) != 0, now};
    ++ringSize_;
  }
  pendingEdges_.store(ringSize_, std::memory_order_relaxed);
}

std::size_t SimulatedDigitalBoard::takeValveEdges(std::vector<ValveEdge>& out) {
  // Reserve outside the lock so that a writer never waits for an allocation; grow geometrically so that
  // a reader draining often into one vector does not copy it every time.
  const std::size_t wanted = out.size() + pendingEdges_.load(std::memory_order_relaxed) + 64;
  if (wanted > out.capacity()) out.reserve(std::max(wanted, 2 * out.capacity()));
  std::lock_guard lock(mutex_);
  const std::size_t n = ringSize_;
  for (std::size_t i = 0; i < n; ++i) out.push_back(ring_[(ringHead_ + i) % ring_.size()]);
  ringHead_ = (ringHead_ + n) % ring_.size();
  ringSize_ = 0;
  pendingEdges_.store(0, std::memory_order_relaxed);
  return n;
}

std::vector<ValveEdge> SimulatedDigitalBoard::takeValveEdges() {
  std::vector<ValveEdge> edges;
  takeValveEdges(edges);
  return edges;
}

void SimulatedAnalogBoard::PIODA_DriverInit() { open_.store(true, std::memory_order_release); }

std::uint16_t SimulatedAnalogBoard::PIODA_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) {
  const bool found = driverOpen() && present_.load(std::memory_order_relaxed) && cardId == kCardId;
  if (boardsFound != nullptr) *boardsFound = found ? 1 : 0;
  return found ? 0 : 1;
}

std::uint16_t SimulatedAnalogBoard::PIODA_DO(std::uint16_t boardNumber, std::uint16_t word) {
  if (!driverOpen()) throw std::runtime_error("D/A board driver is not open");
  if (!present_.load(std::memory_order_relaxed) || boardNumber != 0) return 1;
  word_.store(word, std::memory_order_release);
  writes_.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

std::uint16_t SimulatedAnalogBoard::PIODA_DriverClose() {
  open_.store(false, std::memory_order_release);
  return 0;
}

}  // namespace tolvane
