#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace tolvane {

// The digital board's 256 ports as the valve table writes them, kept by every board that turns them
// into valves (the simulated board, the Modbus valve terminal).
using ValvePortImage = std::array<std::atomic<std::uint8_t>, 256>;

// The open valves of a port image, valve n (1..48) at bit n - 1: none unless the outputs are enabled;
// each block's data ports count only while their control bit is set.
std::uint64_t openValvesOf(const ValvePortImage& image);

}  // namespace tolvane
