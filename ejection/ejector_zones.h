#pragma once

#include <cstdint>
#include <span>

#include "engine/ejection_state.h"
#include "settings/machine_settings.h"

namespace tolvane {

inline constexpr int kEjectorBlocks = 4;
inline constexpr int kEjectorsPerBlock = kEjectorsPerSide / kEjectorBlocks;  // 12

// n / d rounded to nearest, halves to even (d > 0). Exact for every 64-bit n.
std::int64_t divideRoundHalfEven(std::int64_t n, std::int64_t d);

// Zones of the ejectors of the blocks whose first and end pixels are given (one entry per block; only
// the first kEjectorBlocks entries are used): each block's stretch is divided evenly among its 12
// ejectors, so inside a block the end of one zone is the start of the next. Writes one side of
// entries 1..48. Points are not range-checked: a start above its end gives empty zones; values
// beyond the 32-bit range are clamped.
void computeSideZones(std::span<const std::int32_t> blockStart, std::span<const std::int32_t> blockEnd,
                      int side, NumberedTable<EjectorZone, kEjectorSlots>& zones);

// Both sides from the calibration points (EgecA/EgecAx for side A, EgecB/EgecBx for side B).
void computeEjectorZones(const MachineSettings& machine, NumberedTable<EjectorZone, kEjectorSlots>& zones);

}  // namespace tolvane
