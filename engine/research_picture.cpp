#include "engine/research_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tolvane {

namespace {

// A fixed hash of the pixel position: texture that is the same on every run and platform.
std::uint32_t noise(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 0x9E3779B1U ^ static_cast<std::uint32_t>(y) * 0x85EBCA77U;
  h ^= h >> 15;
  h *= 0x2C1B3C6DU;
  h ^= h >> 12;
  return h;
}

std::uint8_t byte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

BmpPixel plate(int x, int y) {
  const int r = 222 + static_cast<int>(noise(x, y) % 19);
  return {byte(r), byte(r - 6), byte(r + 8)};
}

// t: 0 in the middle of the item, 1 at its rim (grains are darker towards the rim).
BmpPixel grain(int x, int y, double t) {
  const int r = 122 - static_cast<int>(30 * t) + static_cast<int>(noise(x, y) % 11) - 5;
  return {byte(r), byte(r * 78 / 100), byte(r * 30 / 100)};
}
BmpPixel lightDefect(int x, int y) {
  const int r = 165 + static_cast<int>(noise(x, y) % 21);
  return {byte(r), byte(r * 95 / 100), byte(r * 45 / 100)};
}
BmpPixel darkDefect(int x, int y) {
  const int r = 35 + static_cast<int>(noise(x, y) % 16);
  return {byte(r), byte(r * 85 / 100), byte(r * 70 / 100)};
}
BmpPixel stone(int x, int y) {
  const int v = 138 + static_cast<int>(noise(x, y) % 10);
  return {byte(v), byte(v), byte(v)};
}
BmpPixel straw(int x, int y) {
  const int r = 176 + static_cast<int>(noise(x, y) % 11);
  return {byte(r), byte(r * 88 / 100), byte(r * 55 / 100)};
}
BmpPixel sprout(int x, int y) {
  const int g = 185 + static_cast<int>(noise(x, y) % 11);
  return {byte(g - 15), byte(g), byte(g * 60 / 100)};
}

enum class Paint { Grain, LightDefect, DarkDefect, Stone, Straw, Sprout, Plate };

BmpPixel paintColour(Paint paint, int x, int y, double t) {
  switch (paint) {
    case Paint::Grain:
      return grain(x, y, t);
    case Paint::LightDefect:
      return lightDefect(x, y);
    case Paint::DarkDefect:
      return darkDefect(x, y);
    case Paint::Stone:
      return stone(x, y);
    case Paint::Straw:
      return straw(x, y);
    case Paint::Sprout:
      return sprout(x, y);
    case Paint::Plate:
      return plate(x, y);
  }
  return plate(x, y);
}

struct Shape {
  double cx, cy;  // centre
  double a, b;    // half axes along and across
  double angle;   // of the long axis, radians from the x axis
  Paint paint;
  bool box = false;     // a rotated rectangle instead of an ellipse
  bool halved = false;  // only the side of negative along-coordinate (a broken grain)
};

void paint(BmpImage& image, const Shape& s) {
  const double c = std::cos(s.angle);
  const double sn = std::sin(s.angle);
  const int reach = static_cast<int>(std::ceil(std::max(s.a, s.b))) + 1;
  for (int y = static_cast<int>(s.cy) - reach; y <= static_cast<int>(s.cy) + reach; ++y) {
    for (int x = static_cast<int>(s.cx) - reach; x <= static_cast<int>(s.cx) + reach; ++x) {
      const double dx = x - s.cx;
      const double dy = y - s.cy;
      const double u = dx * c + dy * sn;
      const double v = -dx * sn + dy * c;
      if (s.halved && u > 0) continue;
      double t = 0;
      if (s.box) {
        if (std::fabs(u) > s.a || std::fabs(v) > s.b) continue;
        t = std::fabs(v) / s.b;
      } else {
        const double q = (u / s.a) * (u / s.a) + (v / s.b) * (v / s.b);
        if (q > 1.0) continue;
        t = q;
      }
      image.setClipped(x, y, paintColour(s.paint, x, y, t));
    }
  }
}

}  // namespace

BmpImage makeResearchPicture() {
  BmpImage image(kResearchPictureWidth, kResearchPictureHeight);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.set(x, y, plate(x, y));
  }
  // Fourteen objects per camera: the emulation leaves its objects in the table, and both cameras'
  // objects fit the default table size of 30.
  const Shape shapes[] = {
      // Upper band.
      {70, 50, 14, 8, 0.3, Paint::Grain},
      {180, 60, 16, 9, -0.5, Paint::Grain},
      {290, 45, 15, 9, 1.2, Paint::Grain},  // with a light defect spot
      {292, 47, 4, 4, 0, Paint::LightDefect},
      {400, 55, 14, 8, 0.1, Paint::Grain},  // with a dark spot at its end
      {410, 56, 3.5, 3.5, 0, Paint::DarkDefect},
      {510, 50, 15, 9, 0.4, Paint::Grain, false, true},  // broken
      {630, 75, 36, 3.5, 1.35, Paint::Straw, true},      // straw piece
      {750, 50, 11, 10, 0.7, Paint::Stone},
      {860, 45, 6, 5, 0, Paint::DarkDefect},  // weed seed
      {980, 50, 14, 8, 0.0, Paint::Grain},    // two grains touching: two objects, as they come
      {1005, 56, 14, 8, 0.5, Paint::Grain},
      // Lower band.
      {150, 150, 14, 8, 2.6, Paint::LightDefect},  // discoloured grain
      {420, 140, 24, 2, 0.2, Paint::Straw, true},  // awn
      {700, 140, 14, 8, 0.0, Paint::Grain},        // sprouted
      {726, 140, 13, 1.6, 0.0, Paint::Sprout, true},
      {1000, 140, 16, 10, -0.2, Paint::Grain},  // with a hole
      {1003, 141, 4, 3, 0, Paint::Plate},
  };
  for (const Shape& s : shapes) paint(image, s);
  // Dust: specks of 2 x 2 pixels, too small to be objects.
  for (int i = 0; i < 12; ++i) {
    const int x = 1110 + (i % 4) * 17;
    const int y = 120 + (i / 4) * 19;
    for (int dy = 0; dy < 2; ++dy) {
      for (int dx = 0; dx < 2; ++dx) image.set(x + dx, y + dy, darkDefect(x + dx, y + dy));
    }
  }
  return image;
}

}  // namespace tolvane
