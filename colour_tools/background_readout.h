#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "settings/machine_settings.h"

namespace tolvane {

inline constexpr int kBackgroundBlocks = 4;

struct ValueSpan {
  int min = 0;
  int max = 0;
  friend bool operator==(const ValueSpan&, const ValueSpan&) = default;
};

struct BackgroundBlockReadout {
  ValueSpan h;
  ValueSpan s;
  ValueSpan v;
  friend bool operator==(const BackgroundBlockReadout&, const BackgroundBlockReadout&) = default;
};

// One row per ejector block of camera 1; all zero before the first computation.
using BackgroundReadout = std::array<BackgroundBlockReadout, kBackgroundBlocks>;

// Minimum and maximum of H, S and V over every fifth pixel (pixel numbers divisible by 5) of each
// block's range EgecA[n] .. EgecAx[n] of camera 1's colour line, pixel p at bytes 3p .. 3p + 2. Zero
// components are left out; a block with none keeps 360/255/255 as minima and 0 as maxima. Parts of a
// range outside the line are left out.
BackgroundReadout computeBackgroundReadout(const MachineSettings& machine,
                                           std::span<const std::uint8_t> lineRgb);

// The twelve label texts "min - max": H, S, V of block 1, then of block 2 ... (LH1, LS1, LV1, LH2 ...).
std::array<std::string, 3 * kBackgroundBlocks> backgroundReadoutTexts(const BackgroundReadout& readout);

}  // namespace tolvane
