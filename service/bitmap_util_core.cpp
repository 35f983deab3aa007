#include "service/bitmap_util_core.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tolvane {

namespace {

__extension__ typedef unsigned __int128 Wide;

double frac(double x) { return x - std::floor(x); }
double rfrac(double x) { return 1.0 - frac(x); }

bool usable(double v) { return std::isfinite(v) && std::fabs(v) <= Rgb24Canvas::kMaxCoordinate; }

std::uint8_t clampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Loop bounds clipped to [lo, hi]; the loops below plot nothing outside, so clipping changes no pixel.
std::int64_t clipLow(double v, std::int64_t lo) {
  return v < static_cast<double>(lo) ? lo : static_cast<std::int64_t>(v);
}
std::int64_t clipHigh(double v, std::int64_t hi) {
  return v > static_cast<double>(hi) ? hi : static_cast<std::int64_t>(v);
}

}  // namespace

Rgb24Canvas::Rgb24Canvas(int width, int height) { setSize(width, height); }

void Rgb24Canvas::setSize(int width, int height) {
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  stride_ = (static_cast<std::ptrdiff_t>(width_) * 3 + 3) & ~std::ptrdiff_t{3};
  pixels_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_), 255);
}

Rgb24 Rgb24Canvas::pixel(int x, int y) const {
  if (!contains(x, y)) {
    return kRgbBlack;
  }
  const std::uint8_t* p = pixels_.data() + y * stride_ + x * 3;
  return {p[0], p[1], p[2]};
}

void Rgb24Canvas::putPixel(int x, int y, Rgb24 color) {
  if (!contains(x, y)) {
    return;
  }
  std::uint8_t* p = pixels_.data() + y * stride_ + x * 3;
  p[0] = color.r;
  p[1] = color.g;
  p[2] = color.b;
}

void Rgb24Canvas::setPenWidth(int width) { penWidth_ = std::max(1, width); }

void Rgb24Canvas::SetColorRGB(int r, int g, int b) { pen_ = {clampByte(r), clampByte(g), clampByte(b)}; }

void Rgb24Canvas::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
}

void Rgb24Canvas::LineTo(int x, int y) {
  penLine(penX_, penY_, x, y);
  penX_ = x;
  penY_ = y;
}

void Rgb24Canvas::Line(int x1, int y1, int x2, int y2) {
  const int keptX = penX_;
  const int keptY = penY_;
  MoveTo(x1, y1);
  LineTo(x2, y2);
  MoveTo(keptX, keptY);
}

void Rgb24Canvas::stampDisc(std::int64_t cx, std::int64_t cy) {
  const int lo = -(penWidth_ - 1) / 2;
  const int hi = penWidth_ / 2;
  const double centre = (lo + hi) / 2.0;
  const double limit = (penWidth_ / 2.0) * (penWidth_ / 2.0);
  for (int oy = lo; oy <= hi; ++oy) {
    for (int ox = lo; ox <= hi; ++ox) {
      if ((ox - centre) * (ox - centre) + (oy - centre) * (oy - centre) > limit) {
        continue;
      }
      const std::int64_t x = cx + ox;
      const std::int64_t y = cy + oy;
      if (x >= 0 && y >= 0 && x < width_ && y < height_) {
        putPixel(static_cast<int>(x), static_cast<int>(y), pen_);
      }
    }
  }
}

void Rgb24Canvas::penLine(int x1, int y1, int x2, int y2) {
  const std::int64_t dx = std::int64_t{x2} - x1;
  const std::int64_t dy = std::int64_t{y2} - y1;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const std::int64_t n = xMajor ? std::llabs(dx) : std::llabs(dy);
  if (n == 0) {
    return;
  }
  const bool wide = penWidth_ > 1;
  // The end point belongs to the next line of a thin pen; a wide pen's round end covers it.
  const std::int64_t last = wide ? n : n - 1;
  const std::int64_t aStart = xMajor ? x1 : y1;
  const std::int64_t bStart = xMajor ? y1 : x1;
  const std::int64_t aStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const std::int64_t bStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const std::int64_t minorRun = xMajor ? std::llabs(dy) : std::llabs(dx);
  const std::int64_t majorSize = xMajor ? width_ : height_;
  const std::int64_t reach = wide ? penWidth_ / 2 + 1 : 0;
  // Only the steps whose major coordinate can touch the surface.
  std::int64_t iLo = 0;
  std::int64_t iHi = last;
  if (aStep > 0) {
    iLo = std::max(iLo, -reach - aStart);
    iHi = std::min(iHi, majorSize - 1 + reach - aStart);
  } else {
    iLo = std::max(iLo, aStart - (majorSize - 1 + reach));
    iHi = std::min(iHi, aStart + reach);
  }
  for (std::int64_t i = iLo; i <= iHi; ++i) {
    // Nearest minor coordinate, halves away from the start.
    const Wide num = Wide(2) * Wide(static_cast<std::uint64_t>(i)) * Wide(static_cast<std::uint64_t>(minorRun)) +
                     Wide(static_cast<std::uint64_t>(n));
    const auto offset = static_cast<std::int64_t>(num / (Wide(2) * Wide(static_cast<std::uint64_t>(n))));
    const std::int64_t a = aStart + aStep * i;
    const std::int64_t b = bStart + bStep * offset;
    const std::int64_t x = xMajor ? a : b;
    const std::int64_t y = xMajor ? b : a;
    if (wide) {
      stampDisc(x, y);
    } else if (x >= 0 && y >= 0 && x < width_ && y < height_) {
      putPixel(static_cast<int>(x), static_cast<int>(y), pen_);
    }
  }
}

void Rgb24Canvas::Clear() { std::fill(pixels_.begin(), pixels_.end(), std::uint8_t{255}); }

void Rgb24Canvas::ClearCol(int r, int g, int b) {
  SetColorRGB(r, g, b);
  FillRect(0, 0, width_, height_, pen_);
  MoveTo(width_, height_);
}

void Rgb24Canvas::FillRect(int x1, int y1, int x2, int y2, Rgb24 color) {
  const int left = std::clamp(std::min(x1, x2), 0, width_);
  const int right = std::clamp(std::max(x1, x2), 0, width_);
  const int top = std::clamp(std::min(y1, y2), 0, height_);
  const int bottom = std::clamp(std::max(y1, y2), 0, height_);
  for (int y = top; y < bottom; ++y) {
    std::uint8_t* p = pixels_.data() + y * stride_ + left * 3;
    for (int x = left; x < right; ++x, p += 3) {
      p[0] = color.r;
      p[1] = color.g;
      p[2] = color.b;
    }
  }
}

void Rgb24Canvas::SetPixel(int x, int y, double alpha) {
  if (!contains(x, y)) {
    return;
  }
  if (!(alpha > 0.0)) {
    alpha = 0.0;
  } else if (alpha > 1.0) {
    alpha = 1.0;
  }
  std::uint8_t* p = pixels_.data() + y * stride_ + x * 3;
  const std::uint8_t pen[3] = {pen_.r, pen_.g, pen_.b};
  for (int k = 0; k < 3; ++k) {
    const double v = p[k] * (1.0 - alpha) + pen[k] * alpha;
    p[k] = static_cast<std::uint8_t>(std::clamp(std::trunc(v), 0.0, 255.0));
  }
}

void Rgb24Canvas::SetHLine(int x1, int x2, int y) {
  if (x2 < x1 || y < 0 || y >= height_) {
    return;
  }
  const int from = std::max(x1, 0);
  const int to = std::min(x2, width_ - 1);
  for (int x = from; x <= to; ++x) {
    SetPixel(x, y, 1.0);
  }
}

void Rgb24Canvas::SetVLine(int x, int y1, int y2) {
  if (y2 < y1 || x < 0 || x >= width_) {
    return;
  }
  const int from = std::max(y1, 0);
  const int to = std::min(y2, height_ - 1);
  for (int y = from; y <= to; ++y) {
    SetPixel(x, y, 1.0);
  }
}

void Rgb24Canvas::WuLine(double x1, double y1, double x2, double y2) {
  if (x1 == x2 && y1 == y2) {
    return;
  }
  if (!usable(x1) || !usable(y1) || !usable(x2) || !usable(y2)) {
    return;
  }
  const bool yMajor = std::fabs(y2 - y1) > std::fabs(x2 - x1);
  double a1 = yMajor ? y1 : x1;
  double b1 = yMajor ? x1 : y1;
  double a2 = yMajor ? y2 : x2;
  double b2 = yMajor ? x2 : y2;
  if (a1 > a2) {
    std::swap(a1, a2);
    std::swap(b1, b2);
  }
  const auto plot = [&](std::int64_t a, std::int64_t b, double alpha) {
    const std::int64_t x = yMajor ? b : a;
    const std::int64_t y = yMajor ? a : b;
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
      SetPixel(static_cast<int>(x), static_cast<int>(y), alpha);
    }
  };
  const double gradient = (b2 - b1) / (a2 - a1);

  const double e1 = std::floor(a1 + 0.5);
  const double gap1 = rfrac(a1 + 0.5);
  const double m1 = b1 + gradient * (e1 - a1);
  const auto start = static_cast<std::int64_t>(e1);
  plot(start, static_cast<std::int64_t>(std::floor(m1)), rfrac(m1) * gap1);
  plot(start, static_cast<std::int64_t>(std::floor(m1)) + 1, frac(m1) * gap1);

  const double e2 = std::floor(a2 + 0.5);
  const double gap2 = rfrac(a2 - 0.5);
  const double m2 = b2 + gradient * (e2 - a2);
  const auto end = static_cast<std::int64_t>(e2);
  plot(end, static_cast<std::int64_t>(std::floor(m2)), rfrac(m2) * gap2);
  plot(end, static_cast<std::int64_t>(std::floor(m2)) + 1, frac(m2) * gap2);

  // The span, stepped by repeated addition; steps before the surface are skipped, by addition too
  // unless there are so many that only a product is affordable.
  const std::int64_t majorSize = yMajor ? height_ : width_;
  const std::int64_t first = start + 1;
  const std::int64_t lastStep = std::min(end - 1, majorSize);
  double m = m1 + gradient;
  std::int64_t a = first;
  if (a < -1) {
    const std::int64_t skip = -1 - a;
    if (skip <= (std::int64_t{1} << 24)) {
      for (std::int64_t s = 0; s < skip; ++s) {
        m += gradient;
      }
    } else {
      m += gradient * static_cast<double>(skip);
    }
    a = -1;
  }
  for (; a <= lastStep; ++a) {
    const auto fm = static_cast<std::int64_t>(std::floor(m));
    plot(a, fm, rfrac(m));
    plot(a, fm + 1, frac(m));
    m += gradient;
  }
}

void Rgb24Canvas::WuFillEllipse(double x1, double y1, double x2, double y2) {
  if (!usable(x1) || !usable(y1) || !usable(x2) || !usable(y2)) {
    return;
  }
  const double xmin = std::min(x1, x2);
  const double xmax = std::max(x1, x2);
  const double ymin = std::min(y1, y2);
  const double ymax = std::max(y1, y2);
  const double w = xmax - xmin;
  const double h = ymax - ymin;
  const bool uIsY = h <= w;
  const double cu = uIsY ? (ymin + ymax) / 2 : (xmin + xmax) / 2;
  const double cv = uIsY ? (xmin + xmax) / 2 : (ymin + ymax) / 2;
  const double ru = (uIsY ? h : w) / 2;
  const double rv = (uIsY ? w : h) / 2;
  if (rv <= 0.0) {
    return;
  }
  const std::int64_t uSize = uIsY ? height_ : width_;
  const std::int64_t vSize = uIsY ? width_ : height_;
  const auto plot = [&](std::int64_t u, std::int64_t v, double alpha) {
    const std::int64_t x = uIsY ? v : u;
    const std::int64_t y = uIsY ? u : v;
    if (x >= 0 && y >= 0 && x < width_ && y < height_) {
      SetPixel(static_cast<int>(x), static_cast<int>(y), alpha);
    }
  };
  const double diagonal = std::sqrt(ru * ru + rv * rv);

  // Rim where it runs more along v: one pixel pair per u. With no extent along u there is no such rim.
  if (ru > 0.0) {
    const double g = ru * ru / diagonal;
    const std::int64_t iFrom = clipLow(std::floor(cu - g), -1);
    const std::int64_t iTo = clipHigh(std::ceil(cu + g), uSize);
    for (std::int64_t i = iFrom; i <= iTo; ++i) {
      const double q = (static_cast<double>(i) - cu) / ru;
      if (1.0 - q * q >= 0.0) {
        const double d = rv * std::sqrt(1.0 - q * q);
        const double r = std::ceil(cv + d);
        plot(i, static_cast<std::int64_t>(r), 1.0 - (r - cv - d));
        const double t = std::floor(cv - d);
        plot(i, static_cast<std::int64_t>(t), 1.0 - (cv - d - t));
      }
    }
  }

  // Rim where it runs more along u: one pixel pair per v.
  {
    const double g = rv * rv / diagonal;
    const std::int64_t jFrom = clipLow(std::ceil(cv - g), -1);
    const std::int64_t jTo = clipHigh(std::floor(cv + g), vSize);
    for (std::int64_t j = jFrom; j <= jTo; ++j) {
      const double q = (static_cast<double>(j) - cv) / rv;
      if (1.0 - q * q >= 0.0) {
        const double d = ru * std::sqrt(1.0 - q * q);
        const double t = std::floor(cu - d);
        plot(static_cast<std::int64_t>(t), j, 1.0 - (cu - d - t));
        const double r = std::ceil(cu + d);
        plot(static_cast<std::int64_t>(r), j, 1.0 - (r - cu - d));
      }
    }
  }

  // Interior at full weight, over whatever the rims left.
  if (ru > 0.0) {
    const std::int64_t kFrom = clipLow(std::ceil(cu - ru), -1);
    const std::int64_t kTo = clipHigh(std::floor(cu + ru), uSize);
    for (std::int64_t k = kFrom; k <= kTo; ++k) {
      if (k < 0 || k >= uSize) {
        continue;
      }
      const double q = (static_cast<double>(k) - cu) / ru;
      if (1.0 - q * q >= 0.0) {
        const double d = rv * std::sqrt(1.0 - q * q);
        const std::int64_t from = std::max<std::int64_t>(clipLow(std::ceil(cv - d), -1), -1);
        const std::int64_t to = clipHigh(std::floor(cv + d), vSize);
        if (to < from) {
          continue;
        }
        if (uIsY) {
          SetHLine(static_cast<int>(from), static_cast<int>(to), static_cast<int>(k));
        } else {
          SetVLine(static_cast<int>(k), static_cast<int>(from), static_cast<int>(to));
        }
      }
    }
  }
}

}  // namespace tolvane
