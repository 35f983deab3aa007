#pragma once

#include "engine/bmp_image.h"

namespace tolvane {

inline constexpr int kResearchPictureWidth = 1280;
inline constexpr int kResearchPictureHeight = 200;

// The research picture of the service page, which the emulation run feeds to both cameras: typical
// product on a light plate, laid out so that every item is its own object. Its levels suit the
// default brightness ranges (plate 220..244 is background, grains 80..135 colour 1, discoloured
// and defect areas 160..190 colour 2) and, in colour, give yellow-brown grains on a grey-blue plate.
// Items, left to right in two bands: whole grains at two angles, a grain with a light defect spot,
// one with a dark spot, a broken grain, a straw piece (elongated), a stone, a small dark weed seed,
// two touching grains, a discoloured grain, an awn (elongated), a sprouted grain, a grain with a
// hole, and dust specks too small to become objects: fourteen objects per camera, so that both
// cameras' objects fit the default object table of 30. The same picture every time, on every
// platform.
BmpImage makeResearchPicture();

}  // namespace tolvane
