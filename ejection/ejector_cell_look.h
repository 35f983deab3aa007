#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tolvane {

// A colour of the ejector screens, red, green, blue.
struct CellColor {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const CellColor&) const = default;
};

inline constexpr CellColor kCellWhite{0xFF, 0xFF, 0xFF};
inline constexpr CellColor kCellSelectedBack{0xB6, 0xCE, 0xFB};   // light blue
inline constexpr CellColor kCellSelectedFrame{0x37, 0x9B, 0xCD};  // darker blue
inline constexpr CellColor kCellYellow{0xFF, 0xFF, 0x00};
inline constexpr CellColor kCellWorn{0xFF, 0x9E,
                                     0x9E};  // pale red: background past the second mark, wear bar
inline constexpr CellColor kValveLampOpen{0x00, 0x80, 0x00};

// Shot counts at which a cell turns yellow, and pale red; the wear bar fills the cell at kShotsFullBar.
inline constexpr std::int32_t kShotsYellow = 10'000'000;
inline constexpr std::int32_t kShotsWorn = 20'000'000;
inline constexpr std::int32_t kShotsFullBar = 10'000'000;

// What the cell of one ejector shows.
struct EjectorCellLook {
  CellColor background;
  std::optional<CellColor> frame;  // the selected cell's frame; others have none of their own
  int barHeight = 0;               // wear bar in pixels from the cell's foot, 0 ... cell height
  CellColor bar = kCellWorn;
  CellColor lamp = kCellWhite;  // valve lamp: green while the valve is open
  std::string number;           // "01" ... "48"
  std::string count;            // " (1234)", written upward
};

// Height of the wear bar for a lifetime count in a cell of cellHeight pixels: count x (cellHeight - 1)
// / kShotsFullBar rounded to nearest (halves to even), 0 for counts below one and cut at the cell.
// Exact for every 32-bit count.
int wearBarHeight(std::int32_t shots, int cellHeight);

// The look of the cell of ejector (1 ... 48) whose output has fired shots times.
EjectorCellLook ejectorCellLook(int ejector, std::int32_t shots, bool selected, bool valveOpen,
                                int cellHeight);

}  // namespace tolvane
