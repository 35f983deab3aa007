#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A 24-bit drawing surface with the pen and brush of a canvas: plain lines, fills, and the blending
// pixel write under an anti-aliased line and filled ellipse (after Xiaolin Wu). The colour map and the
// 3D view draw on it; the widgets layer wraps it in an image without copying.
namespace tolvane {

struct Rgb24 {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;

  // From a colour value laid out as 0x00BBGGRR.
  static constexpr Rgb24 fromColorRef(std::uint32_t c) {
    return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
            static_cast<std::uint8_t>((c >> 16) & 0xFF)};
  }
  friend constexpr bool operator==(const Rgb24&, const Rgb24&) = default;
};

inline constexpr Rgb24 kRgbBlack{0, 0, 0};
inline constexpr Rgb24 kRgbWhite{255, 255, 255};

// Pixels are stored top row first, three bytes R, G, B each, rows padded to four bytes. Everything
// drawn outside the surface is left out; no call reads or writes past it, whatever its coordinates.
class Rgb24Canvas {
 public:
  // Coordinates of the anti-aliased routines beyond this magnitude (or not finite) draw nothing.
  static constexpr double kMaxCoordinate = 1e9;

  Rgb24Canvas() = default;
  // A white surface; pen black and 1 pixel wide, brush white, pen at (0, 0).
  Rgb24Canvas(int width, int height);

  // New size, all white. Negative sizes count as 0.
  void setSize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }
  std::ptrdiff_t stride() const { return stride_; }
  std::uint8_t* data() { return pixels_.data(); }
  const std::uint8_t* data() const { return pixels_.data(); }

  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // Black for a point outside.
  Rgb24 pixel(int x, int y) const;
  void putPixel(int x, int y, Rgb24 color);

  Rgb24 penColor() const { return pen_; }
  Rgb24 brushColor() const { return brush_; }
  int penWidth() const { return penWidth_; }
  // Widths below 1 count as 1.
  void setPenWidth(int width);
  int penX() const { return penX_; }
  int penY() const { return penY_; }

  void SetColor(Rgb24 color) { pen_ = color; }
  // Each value is clamped to 0..255.
  void SetColorRGB(int r, int g, int b);
  void BackColor(Rgb24 color) { brush_ = color; }

  void MoveTo(int x, int y);
  // A pen line from the pen position to (x, y), which becomes the pen position. A 1-pixel pen leaves
  // out the end point, as a canvas does; a wider pen draws round ends on both points.
  void LineTo(int x, int y);
  // A pen line that leaves the pen position where it was.
  void Line(int x1, int y1, int x2, int y2);

  // The whole surface white.
  void Clear();
  // Pen colour := (r, g, b), and the whole surface in that colour; the pen ends below the last row.
  void ClearCol(int r, int g, int b);
  // The rectangle [x1, x2) × [y1, y2) in `color` (either corner order).
  void FillRect(int x1, int y1, int x2, int y2, Rgb24 color);

  // Blends the pen colour into (x, y) with weight alpha: each channel becomes
  // trunc(old · (1 − alpha) + pen · alpha). Alpha is taken within 0..1 (not-a-number counts as 0).
  void SetPixel(int x, int y, double alpha);
  // SetPixel(x, y, 1) for x = x1…x2; nothing when x2 < x1.
  void SetHLine(int x1, int x2, int y);
  // SetPixel(x, y, 1) for y = y1…y2; nothing when y2 < y1.
  void SetVLine(int x, int y1, int y2);

  void WuLine(double x1, double y1, double x2, double y2);
  // Filled ellipse inscribed in the box with anti-aliased rims. A box of no width and no height draws
  // nothing.
  void WuFillEllipse(double x1, double y1, double x2, double y2);

 private:
  void stampDisc(std::int64_t cx, std::int64_t cy);
  void penLine(int x1, int y1, int x2, int y2);

  int width_ = 0;
  int height_ = 0;
  std::ptrdiff_t stride_ = 0;
  std::vector<std::uint8_t> pixels_;
  Rgb24 pen_ = kRgbBlack;
  Rgb24 brush_ = kRgbWhite;
  int penWidth_ = 1;
  int penX_ = 0;
  int penY_ = 0;
};

}  // namespace tolvane
