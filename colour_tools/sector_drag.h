#pragma once

#include "service/bitmap_util_core.h"
#include "settings/color_sector.h"

namespace tolvane {

inline constexpr Rgb24 kRubberBandColour{255, 255, 0};
// Pen of the rubber band and of the outline left at release.
inline constexpr int kRubberBandWidth = 3;
// Narrower saturation bands than this leave the pending bounds but draw no outline.
inline constexpr int kMinDragSaturationBand = 5;

// The finger's drag on the map that marks a sector: the hue, saturation and brightness where it went
// down and where it came up, read from the map picture. Hues keep the gesture's order (350 -> 10 is
// HMIN 350, HMAX 10: a sector across 0°); saturations are put in order at the release.
class SectorDrag {
 public:
  // Press: pending HMIN/SMIN/VMIN from the colour under (x, y), when there is one. The caller redraws
  // the map with the sector list first.
  void press(const Rgb24Canvas& picture, int x, int y);

  // Move with the left button held: the first move keeps `working` as the snapshot, later moves start
  // again from the snapshot; then pending HMAX/SMAX/VMAX and the yellow rubber band (centre offset 255)
  // on `working`. True when the pointer is over a colour.
  bool moveHeld(const Rgb24Canvas& picture, Rgb24Canvas& working, Rgb24Canvas& snapshot, int x, int y);
  // Ends the drag: a move without a button (a drag that lost its release) and the start of a release.
  void stopDragging() { dragging_ = false; }

  // Release: ends the drag; pending HMAX/SMAX/VMAX from the colour under (x, y), saturations in order,
  // and the yellow outline (centre offset 256) on `working` when the band is at least 5 wide. The caller
  // redraws the map with the sector list first. True when an outline was drawn.
  bool release(const Rgb24Canvas& picture, Rgb24Canvas& working, int x, int y);

  bool dragging() const { return dragging_; }
  const ColorSector& pending() const { return pending_; }
  void setPending(const ColorSector& pending) { pending_ = pending; }

 private:
  void drawBand(Rgb24Canvas& working, int offset) const;

  ColorSector pending_;
  bool dragging_ = false;
};

}  // namespace tolvane
