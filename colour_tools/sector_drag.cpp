#include "colour_tools/sector_drag.h"

#include <utility>

#include "colour_tools/hsv_map.h"
#include "colour_tools/sector_outline.h"

namespace tolvane {

void SectorDrag::press(const Rgb24Canvas& picture, int x, int y) {
  if (const auto colour = pickMapColour(picture, x, y)) {
    pending_.HMIN = colour->h;
    pending_.SMIN = colour->s;
    pending_.VMIN = colour->v;
  }
}

bool SectorDrag::moveHeld(const Rgb24Canvas& picture, Rgb24Canvas& working, Rgb24Canvas& snapshot, int x,
                          int y) {
  if (!dragging_) {
    snapshot = working;
  } else {
    working = snapshot;
  }
  dragging_ = true;
  const auto colour = pickMapColour(picture, x, y);
  if (!colour) {
    return false;
  }
  pending_.HMAX = colour->h;
  pending_.SMAX = colour->s;
  pending_.VMAX = colour->v;
  drawBand(working, 255);
  return true;
}

bool SectorDrag::release(const Rgb24Canvas& picture, Rgb24Canvas& working, int x, int y) {
  dragging_ = false;
  const auto colour = pickMapColour(picture, x, y);
  if (!colour) {
    return false;
  }
  pending_.HMAX = colour->h;
  pending_.SMAX = colour->s;
  pending_.VMAX = colour->v;
  if (pending_.SMAX < pending_.SMIN) {
    std::swap(pending_.SMIN, pending_.SMAX);
  }
  if (static_cast<std::int64_t>(pending_.SMAX) - pending_.SMIN < kMinDragSaturationBand) {
    return false;
  }
  drawBand(working, 256);
  return true;
}

void SectorDrag::drawBand(Rgb24Canvas& working, int offset) const {
  const int keptWidth = working.penWidth();
  working.SetColor(kRubberBandColour);
  working.setPenWidth(kRubberBandWidth);
  drawSectorOutline(working, {pending_.SMIN, pending_.SMAX, pending_.HMIN, pending_.HMAX, offset});
  working.setPenWidth(keptWidth);
}

}  // namespace tolvane
