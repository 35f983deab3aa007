#include "app/main_window_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvane {

int stripPoint(std::int64_t linePixel) {
  const double point = std::trunc(static_cast<double>(linePixel) / kStripPixelStep);
  return static_cast<int>(std::clamp(point, static_cast<double>(std::numeric_limits<int>::min()),
                                     static_cast<double>(std::numeric_limits<int>::max())));
}

namespace {

// x + 5 without overflow near the 32-bit limits.
int shifted(int point) {
  return static_cast<int>(
      std::min<std::int64_t>(std::int64_t{point} + kStripOrigin, std::numeric_limits<int>::max()));
}

int difference(int a, int b) {
  return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{a} - b, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

}  // namespace

HorizontalSpan blockMarkerSpan(std::int32_t start, std::int32_t end) {
  const int left = shifted(stripPoint(start));
  const int right = shifted(stripPoint(end));
  return HorizontalSpan{left, difference(right, left)};
}

std::string blockListItemText(int block, std::int32_t start, std::int32_t end) {
  return std::to_string(12 * block + 1) + " - " + std::to_string(12 * block + 12) + "|" +
         std::to_string(start) + " - " + std::to_string(end);
}

WorkRangeBands workRangeBands(std::int32_t firstWorkingStart, std::int32_t lastWorkingEnd) {
  WorkRangeBands bands;
  bands.left = HorizontalSpan{kStripOrigin, stripPoint(firstWorkingStart)};
  const int x = shifted(stripPoint(lastWorkingEnd));
  bands.right = HorizontalSpan{x, difference(kStripEnd, x)};
  return bands;
}

}  // namespace tolvane
