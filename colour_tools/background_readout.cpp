#include "colour_tools/background_readout.h"

#include <algorithm>

#include "engine/color_convert.h"

namespace tolvane {

namespace {

void widen(ValueSpan& span, int value) {
  if (value == 0) {
    return;
  }
  span.min = std::min(span.min, value);
  span.max = std::max(span.max, value);
}

std::string spanText(const ValueSpan& span) {
  return std::to_string(span.min) + " - " + std::to_string(span.max);
}

}  // namespace

BackgroundReadout computeBackgroundReadout(const MachineSettings& machine,
                                           std::span<const std::uint8_t> lineRgb) {
  BackgroundReadout readout;
  const std::int64_t lastPixel = static_cast<std::int64_t>(lineRgb.size() / 3) - 1;
  for (int n = 0; n < kBackgroundBlocks; ++n) {
    BackgroundBlockReadout& row = readout[static_cast<std::size_t>(n)];
    row = {{360, 0}, {255, 0}, {255, 0}};
    const std::int64_t first = std::max<std::int64_t>(machine.EgecA[static_cast<std::size_t>(n)], 0);
    const std::int64_t last = std::min<std::int64_t>(machine.EgecAx[static_cast<std::size_t>(n)], lastPixel);
    for (std::int64_t p = (first + 4) / 5 * 5; p <= last; p += 5) {
      const std::uint8_t* rgb = lineRgb.data() + 3 * p;
      const Hsv c = RgbToHsv(rgb[0], rgb[1], rgb[2]);
      widen(row.h, c.h);
      widen(row.s, c.s);
      widen(row.v, c.v);
    }
  }
  return readout;
}

std::array<std::string, 3 * kBackgroundBlocks> backgroundReadoutTexts(const BackgroundReadout& readout) {
  std::array<std::string, 3 * kBackgroundBlocks> texts;
  for (std::size_t n = 0; n < readout.size(); ++n) {
    texts[3 * n] = spanText(readout[n].h);
    texts[3 * n + 1] = spanText(readout[n].s);
    texts[3 * n + 2] = spanText(readout[n].v);
  }
  return texts;
}

}  // namespace tolvane
