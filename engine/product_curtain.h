#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/engine_constants.h"

namespace tolvane {

// What a pixel of a generated line shows.
enum class CurtainKind : std::uint8_t { Background = 0, Product = 1, Defect = 2 };

// One product item of the curtain: an ellipse across `width` pixels and along `lines` lines.
struct CurtainItem {
  std::int64_t firstLine = 0;  // generator line (0 = first line made) of its top
  int lines = 0;               // lines it covers
  int centre = 0;              // centre pixel, 1-based
  int width = 0;               // pixels across at its widest
  bool defect = false;         // carries a defect spot in its middle
};

struct CurtainOptions {
  std::uint64_t seed = 1;
  int pixelsPerLine = kPixelsPerLine;
  double productShare = 0.20;  // share of pixels covered by product
  int minItemWidth = 5;
  int maxItemWidth = 40;
  double defectShare = 0.05;  // share of items that carry a defect
  bool keepHistory = false;   // record every item in history()
};

// Deterministic synthetic product curtain for tests and benchmarks: items fall past the camera on a
// light background plate, spaced so that each item stays one object. The same seed always gives the
// same lines, on every platform.
//
// Levels are chosen for the default brightness ranges (background 200..255, colour 1 0..150,
// colour 2 151..199): background pixels are 215..245, product 60..135 and defect spots 160..190.
// In colour the plate is blue (hue about 225), product yellow-brown (hue about 40) and defect spots
// green (hue about 80).
class ProductCurtain {
 public:
  // Throws std::invalid_argument for options that cannot make a line.
  explicit ProductCurtain(const CurtainOptions& options = {});

  // Makes the next line; kinds() and the writers then describe it.
  void next();

  // Line buffers are laid out as the engine's: pixel p (1..pixelsPerLine) at element p (colour: bytes
  // 3p..3p+2 hold R, G, B). Element 0 and elements past the line get background. The buffer must hold
  // pixelsPerLine + 1 pixels; throws std::invalid_argument otherwise.
  void writeMono(std::span<std::uint8_t> line) const;
  void writeRgb(std::span<std::uint8_t> line) const;

  // next() followed by a writer.
  void nextMonoLine(std::span<std::uint8_t> line) {
    next();
    writeMono(line);
  }
  void nextRgbLine(std::span<std::uint8_t> line) {
    next();
    writeRgb(line);
  }

  // Per pixel of the current line, pixel p at element p (element 0 is background).
  std::span<const CurtainKind> kinds() const { return kinds_; }
  // Lines made so far; the current line is number linesMade() - 1.
  std::int64_t linesMade() const { return line_ + 1; }
  // Items started so far (only with keepHistory).
  const std::vector<CurtainItem>& history() const { return history_; }
  const CurtainOptions& options() const { return options_; }

 private:
  struct Active {
    CurtainItem item;
    double centreX;
    double halfWidth;
    double centreLine;
    double halfLength;
    std::uint8_t tone;
  };

  std::uint64_t random();
  int randomInt(int low, int high);  // inclusive
  double random01();
  void spawnItems();
  std::uint32_t noise(int pixel) const;

  CurtainOptions options_;
  std::uint64_t state_;
  std::int64_t line_ = -1;
  double areaBudget_ = 0.0;
  std::vector<Active> active_;
  std::vector<CurtainKind> kinds_;
  std::vector<std::uint8_t> tones_;
  std::vector<CurtainItem> history_;
};

}  // namespace tolvane
