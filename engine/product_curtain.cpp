#include "engine/product_curtain.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

namespace tolvane {

namespace {

// Lines kept free below an item before another may start in the same columns: one more than the
// engine's closing gap, so that neighbouring items never merge into one object.
constexpr int kLineGap = 5;
constexpr int kPixelGap = 4;   // pixels kept free beside an item
constexpr int kMaxLines = 60;  // longest item, well below the engine's 95-line limit
constexpr int kPlacementTries = 8;

std::uint32_t mix(std::uint64_t v) {
  v ^= v >> 33;
  v *= 0xff51afd7ed558ccdULL;
  v ^= v >> 33;
  v *= 0xc4ceb9fe1a85ec53ULL;
  v ^= v >> 33;
  return static_cast<std::uint32_t>(v);
}

void requireSize(std::span<std::uint8_t> line, std::size_t needed, const char* what) {
  if (line.size() < needed) {
    throw std::invalid_argument(std::string(what) + " buffer holds " + std::to_string(line.size()) +
                                " bytes, needs " + std::to_string(needed));
  }
}

}  // namespace

ProductCurtain::ProductCurtain(const CurtainOptions& options) : options_(options) {
  if (options.pixelsPerLine < 2 * options.maxItemWidth + 8 || options.minItemWidth < 1 ||
      options.maxItemWidth < options.minItemWidth || !(options.productShare >= 0.0) ||
      options.productShare > 0.6 || !(options.defectShare >= 0.0) || options.defectShare > 1.0) {
    throw std::invalid_argument("product curtain options out of range");
  }
  state_ = options.seed;
  kinds_.assign(static_cast<std::size_t>(options.pixelsPerLine) + 1, CurtainKind::Background);
  tones_.assign(kinds_.size(), 0);
  active_.reserve(256);
}

std::uint64_t ProductCurtain::random() {
  // splitmix64: fixed arithmetic, so the stream is the same everywhere.
  std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

int ProductCurtain::randomInt(int low, int high) {
  return low + static_cast<int>(random() % static_cast<std::uint64_t>(high - low + 1));
}

double ProductCurtain::random01() { return static_cast<double>(random() >> 11) * 0x1.0p-53; }

void ProductCurtain::spawnItems() {
  const double perLine = options_.productShare * options_.pixelsPerLine;
  // A crowded stretch must not bank an endless debt of items.
  areaBudget_ = std::min(areaBudget_ + perLine, 20.0 * perLine + 1.0);
  while (areaBudget_ > 0.0 && options_.productShare > 0.0) {
    const int width = randomInt(options_.minItemWidth, options_.maxItemWidth);
    const double aspect = 0.6 + 1.2 * random01();
    const int lines = std::clamp(static_cast<int>(std::lround(width * aspect)), 3, kMaxLines);
    const double halfWidth = width / 2.0;
    const int lowest = static_cast<int>(std::ceil(halfWidth)) + 2;
    const int highest = options_.pixelsPerLine - lowest;
    bool placed = false;
    for (int attempt = 0; attempt < kPlacementTries && !placed; ++attempt) {
      const double centre = randomInt(lowest, highest) + (width % 2 == 0 ? 0.5 : 0.0);
      const bool clear = std::none_of(active_.begin(), active_.end(), [&](const Active& a) {
        return std::abs(a.centreX - centre) < a.halfWidth + halfWidth + kPixelGap;
      });
      if (!clear) continue;
      Active a{};
      a.item = {line_, lines, static_cast<int>(std::floor(centre)), width, random01() < options_.defectShare};
      a.centreX = centre;
      a.halfWidth = halfWidth;
      a.halfLength = lines / 2.0;
      a.centreLine = static_cast<double>(line_) + (lines - 1) / 2.0;
      a.tone = static_cast<std::uint8_t>(random());
      active_.push_back(a);
      if (options_.keepHistory) history_.push_back(a.item);
      areaBudget_ -= std::numbers::pi / 4.0 * width * lines;
      placed = true;
    }
    if (!placed) break;
  }
}

void ProductCurtain::next() {
  ++line_;
  // Items whose gap below has passed free their columns.
  std::erase_if(active_,
                [this](const Active& a) { return a.item.firstLine + a.item.lines - 1 + kLineGap < line_; });
  spawnItems();

  std::fill(kinds_.begin(), kinds_.end(), CurtainKind::Background);
  const double y = static_cast<double>(line_);
  for (const Active& a : active_) {
    const double t = (y - a.centreLine) / a.halfLength;
    if (std::abs(t) > 1.0) continue;
    const double half = a.halfWidth * std::sqrt(1.0 - t * t);
    int x0 = static_cast<int>(std::ceil(a.centreX - half));
    int x1 = static_cast<int>(std::floor(a.centreX + half));
    if (x0 > x1) x0 = x1 = static_cast<int>(std::lround(a.centreX));
    x0 = std::max(x0, 1);
    x1 = std::min(x1, options_.pixelsPerLine);
    for (int x = x0; x <= x1; ++x) {
      kinds_[static_cast<std::size_t>(x)] = CurtainKind::Product;
      tones_[static_cast<std::size_t>(x)] = a.tone;
    }
    if (a.item.defect && std::abs(t) <= 0.5) {
      const double spot = 0.5 * a.halfWidth * std::sqrt(1.0 - 4.0 * t * t);
      const int s0 = std::max(static_cast<int>(std::ceil(a.centreX - spot)), x0);
      const int s1 = std::min(static_cast<int>(std::floor(a.centreX + spot)), x1);
      for (int x = s0; x <= s1; ++x) kinds_[static_cast<std::size_t>(x)] = CurtainKind::Defect;
    }
  }
}

std::uint32_t ProductCurtain::noise(int pixel) const {
  return mix(options_.seed * 0x100000001b3ULL ^ (static_cast<std::uint64_t>(line_) << 20) ^
             static_cast<std::uint64_t>(pixel));
}

void ProductCurtain::writeMono(std::span<std::uint8_t> line) const {
  const std::size_t pixels = kinds_.size();
  requireSize(line, pixels, "mono line");
  line[0] = 230;
  for (std::size_t p = 1; p < pixels; ++p) {
    const std::uint32_t n = noise(static_cast<int>(p));
    switch (kinds_[p]) {
      case CurtainKind::Background:
        line[p] = static_cast<std::uint8_t>(215 + n % 31);
        break;
      case CurtainKind::Product:
        line[p] = static_cast<std::uint8_t>(60 + tones_[p] * 55 / 255 + n % 21);
        break;
      case CurtainKind::Defect:
        line[p] = static_cast<std::uint8_t>(160 + n % 31);
        break;
    }
  }
  std::fill(line.begin() + static_cast<std::ptrdiff_t>(pixels), line.end(), std::uint8_t{230});
}

void ProductCurtain::writeRgb(std::span<std::uint8_t> line) const {
  const std::size_t pixels = kinds_.size();
  requireSize(line, pixels * 3, "colour line");
  auto put = [&line](std::size_t p, int r, int g, int b) {
    line[3 * p] = static_cast<std::uint8_t>(r);
    line[3 * p + 1] = static_cast<std::uint8_t>(g);
    line[3 * p + 2] = static_cast<std::uint8_t>(b);
  };
  put(0, 55, 85, 195);
  for (std::size_t p = 1; p < pixels; ++p) {
    const std::uint32_t n = noise(static_cast<int>(p));
    const int a = static_cast<int>(n % 21);
    const int b = static_cast<int>((n >> 8) % 21);
    const int c = static_cast<int>((n >> 16) % 31);
    switch (kinds_[p]) {
      case CurtainKind::Background:
        put(p, 45 + a, 75 + b, 180 + c);
        break;
      case CurtainKind::Product: {
        const int v = 180 + tones_[p] * 40 / 255 + a - 10;
        put(p, v, v * 78 / 100, v * 30 / 100);
        break;
      }
      case CurtainKind::Defect:
        put(p, 80 + a / 2, 120 + b / 2, 36 + c / 4);
        break;
    }
  }
  for (std::size_t p = pixels; p < line.size() / 3; ++p) put(p, 55, 85, 195);
}

}  // namespace tolvane
