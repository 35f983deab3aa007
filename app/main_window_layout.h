#pragma once

#include <cstdint>
#include <string>

// Geometry rules of the main window that carry numbers: the content panel's place on the screen, the
// ejector block markers and the working-range bands under the live strips. No toolkit here.
namespace tolvane {

inline constexpr int kFonPanelLeft = 2;
inline constexpr int kFonPanelWidth = 1016;
inline constexpr int kFonPanelHeight = 774;

// Top of the content panel in a window of this height: centred, the halving truncated toward zero,
// so a 768-pixel screen puts it 3 pixels above the top edge.
constexpr int fonPanelTop(int windowHeight) { return (windowHeight - kFonPanelHeight) / 2; }

// Line pixels per point of the live strips.
inline constexpr double kStripPixelStep = 2.04;
// The strips and the markers start 5 pixels into the content panel; the bands end at x = 1011.
inline constexpr int kStripOrigin = 5;
inline constexpr int kStripEnd = 1011;

// Strip point of a line pixel: truncated toward zero, clamped to the 32-bit range.
int stripPoint(std::int64_t linePixel);

struct HorizontalSpan {
  int left = 0;
  int width = 0;  // may be negative for reversed calibration points; a widget shows 0
  bool operator==(const HorizontalSpan&) const = default;
};

// Marker of one ejector block from its first and end pixel: left = point(start) + 5,
// width = point(end) + 5 - left.
HorizontalSpan blockMarkerSpan(std::int32_t start, std::int32_t end);

// The bands over the parts of a strip outside the working ejector range: the left one from x = 5,
// as wide as the strip point of the first working ejector's start; the right one from the strip point
// of the last working ejector's end + 5 to x = 1011.
struct WorkRangeBands {
  HorizontalSpan left;
  HorizontalSpan right;
  bool operator==(const WorkRangeBands&) const = default;
};
WorkRangeBands workRangeBands(std::int32_t firstWorkingStart, std::int32_t lastWorkingEnd);

// Item of a block list: first and last ejector of block i (0..3), "|", its start and end point,
// e.g. "13 - 24|640 - 1250".
std::string blockListItemText(int block, std::int32_t start, std::int32_t end);

// Program name field n (0..8) on the program bar.
inline constexpr int kNameFieldY = 80;
inline constexpr int kNameFieldWidth = 90;
constexpr int nameFieldX(int n) { return 15 + 98 * n; }

}  // namespace tolvane
