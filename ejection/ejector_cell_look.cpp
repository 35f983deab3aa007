#include "ejection/ejector_cell_look.h"

#include <algorithm>
#include <cstdio>

#include "ejection/ejector_zones.h"

namespace tolvane {

int wearBarHeight(std::int32_t shots, int cellHeight) {
  if (cellHeight <= 0 || shots <= 0) return 0;
  // 64 bits hold any 32-bit count times any 32-bit height.
  const std::int64_t height =
      divideRoundHalfEven(static_cast<std::int64_t>(shots) * (cellHeight - 1), kShotsFullBar);
  return static_cast<int>(std::clamp<std::int64_t>(height, 0, cellHeight));
}

EjectorCellLook ejectorCellLook(int ejector, std::int32_t shots, bool selected, bool valveOpen,
                                int cellHeight) {
  EjectorCellLook look;
  if (selected) {
    look.background = kCellSelectedBack;
    look.frame = kCellSelectedFrame;
  } else if (shots > kShotsWorn) {
    look.background = kCellWorn;
  } else if (shots > kShotsYellow) {
    look.background = kCellYellow;
  } else {
    look.background = kCellWhite;
  }
  look.barHeight = wearBarHeight(shots, cellHeight);
  look.lamp = valveOpen ? kValveLampOpen : kCellWhite;
  char number[16];
  std::snprintf(number, sizeof number, "%02d", ejector);
  look.number = number;
  look.count = " (" + std::to_string(shots) + ")";
  return look;
}

}  // namespace tolvane
