#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "colour_tools/hsv_map.h"
#include "engine/color_convert.h"
#include "service/bitmap_util_core.h"
#include "settings/color_sector.h"

namespace tolvane {

// RGB pixels, three bytes R, G, B each, rows `stride` bytes apart, top row first. Not owned.
struct RgbImageView {
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;
  const std::uint8_t* data = nullptr;

  static RgbImageView of(const Rgb24Canvas& canvas) {
    return {canvas.width(), canvas.height(), canvas.stride(), canvas.data()};
  }
  bool contains(int x, int y) const { return data != nullptr && x >= 0 && y >= 0 && x < width && y < height; }
  Hsv hsvAt(int x, int y) const;
};

// Half the side of the window around the touched pixel (13 × 13); the mean brightness always divides
// by the full window.
inline constexpr int kSampleWindowReach = 6;
inline constexpr int kSampleWindowPixels = 169;
// Pixels this grey or greyer do not widen the proposal.
inline constexpr int kSampleGreyLimit = 15;

// Hue, saturation and brightness bounds as the proposal grows them. Hues may leave 0..359.
struct ProposalBounds {
  int hMin = 0;
  int hMax = 0;
  int sMin = 0;
  int sMax = 0;
  int vMin = 0;
  int vMax = 0;
  friend bool operator==(const ProposalBounds&, const ProposalBounds&) = default;
};

// An outlying pixel pulls each bound a fixed part of the way towards it (hue 0.15, saturation and
// brightness 0.25, truncated); hues more than 44 degrees away, either way round 0°, are ignored.
void widenProposal(ProposalBounds& bounds, const Hsv& pixel);

struct SampleProposal {
  // Bounds as proposed, active; Type and ID from the record it was built on.
  ColorSector sector;
  // Mark of the modes: from the mode colour's map position to (255, 255); nothing for the default.
  std::optional<MapPoint> modeLineFrom;
  // Map positions of the saturated pixels of the window, in window order.
  std::vector<MapPoint> points;
  // Text for the mean-brightness label; empty for the default proposal (the label keeps its text).
  std::string vLabel;
};

// The default proposal when there is no image to read.
inline constexpr ProposalBounds kDefaultProposal{0, 20, 50, 200, 0, 255};

// The sector proposed from the 13 × 13 window around (x, y) of a sample image: modes of hue, saturation
// and brightness over its saturated pixels (lowest bin on equal counts), widened by every pixel more
// saturated than 15. An image without width gives kDefaultProposal. `current` gives the other fields.
SampleProposal proposeSector(const RgbImageView& image, int x, int y, const ColorSector& current);

// The proposal's marks on the working map: the red mode line, then the black points.
void drawProposalMarks(Rgb24Canvas& working, const SampleProposal& proposal);

// A right-button press only clears the bounds.
ColorSector clearedBounds(const ColorSector& sector);

}  // namespace tolvane
