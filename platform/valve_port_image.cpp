#include "platform/valve_port_image.h"

namespace tolvane {

namespace {

constexpr std::uint32_t kEnablePort = 0x00;
constexpr std::uint32_t kControlOffset = 0xC;
// Blocks whose data ports carry valves, with the first output of their port 0.
constexpr struct {
  std::uint32_t block;
  int firstOutput;
} kValveBlocks[2] = {{0xD0, 1}, {0xE0, 25}};

}  // namespace

std::uint64_t openValvesOf(const ValvePortImage& image) {
  if ((image[kEnablePort].load(std::memory_order_relaxed) & 1u) == 0) return 0;
  std::uint64_t mask = 0;
  for (const auto& b : kValveBlocks) {
    const std::uint8_t control = image[b.block + kControlOffset].load(std::memory_order_relaxed);
    for (int k = 0; k < 3; ++k) {
      if (((control >> k) & 1u) == 0) continue;
      const std::uint64_t data =
          image[b.block + 4u * static_cast<std::uint32_t>(k)].load(std::memory_order_relaxed);
      mask |= data << (b.firstOutput - 1 + 8 * k);
    }
  }
  return mask;
}

}  // namespace tolvane
