#include "ejection/ejector_zones.h"

#include <algorithm>
#include <limits>

namespace tolvane {

std::int64_t divideRoundHalfEven(std::int64_t n, std::int64_t d) {
  std::int64_t q = n / d;
  std::int64_t r = n % d;
  if (r < 0) {  // floor division
    --q;
    r += d;
  }
  const std::int64_t twice = 2 * r;
  if (twice > d || (twice == d && (q % 2) != 0)) ++q;
  return q;
}

namespace {

std::int32_t clamp32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void computeSideZones(std::span<const std::int32_t> blockStart, std::span<const std::int32_t> blockEnd,
                      int side, NumberedTable<EjectorZone, kEjectorSlots>& zones) {
  const std::size_t blocks = std::min({blockStart.size(), blockEnd.size(), std::size_t{kEjectorBlocks}});
  for (std::size_t i = 0; i < blocks; ++i) {
    const std::int64_t start = blockStart[i];
    const std::int64_t width = static_cast<std::int64_t>(blockEnd[i]) - start;
    const int first = static_cast<int>(i) * kEjectorsPerBlock + 1;
    for (int k = 0; k < kEjectorsPerBlock; ++k) {
      EjectorZone& z = zones[first + k];
      const std::int32_t zoneStart = clamp32(start + divideRoundHalfEven(k * width, kEjectorsPerBlock));
      const std::int32_t zoneEnd = clamp32(start + divideRoundHalfEven((k + 1) * width, kEjectorsPerBlock));
      if (side == kSideB) {
        z.bStart = zoneStart;
        z.bEnd = zoneEnd;
      } else {
        z.aStart = zoneStart;
        z.aEnd = zoneEnd;
      }
    }
  }
}

void computeEjectorZones(const MachineSettings& machine, NumberedTable<EjectorZone, kEjectorSlots>& zones) {
  computeSideZones(machine.EgecA, machine.EgecAx, kSideA, zones);
  computeSideZones(machine.EgecB, machine.EgecBx, kSideB, zones);
}

}  // namespace tolvane
