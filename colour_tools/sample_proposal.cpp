#include "colour_tools/sample_proposal.h"

#include <array>
#include <cstdio>

namespace tolvane {

namespace {

constexpr Rgb24 kModeLineColour{255, 0, 0};
constexpr Rgb24 kProposalDoneColour{128, 0, 128};

template <std::size_t N>
int modeOf(const std::array<int, N>& histogram) {
  int best = 0;
  for (std::size_t i = 1; i < N; ++i) {
    if (histogram[i] > histogram[static_cast<std::size_t>(best)]) {
      best = static_cast<int>(i);
    }
  }
  return best;
}

// 0.15 · d truncated, for the whole d of 1..44 the rules pass, without the float's error.
int fifteenHundredths(int d) { return 15 * d / 100; }

ColorSector withBounds(const ColorSector& base, const ProposalBounds& b) {
  ColorSector s = base;
  s.HMIN = b.hMin;
  s.HMAX = b.hMax;
  s.SMIN = b.sMin;
  s.SMAX = b.sMax;
  s.VMIN = b.vMin;
  s.VMAX = b.vMax;
  s.Active = true;
  return s;
}

std::string meanBrightnessText(std::int64_t sum) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f", static_cast<double>(sum) / kSampleWindowPixels);
  return std::string("Среднее значение яркости V=") + buffer;
}

}  // namespace

Hsv RgbImageView::hsvAt(int x, int y) const {
  const std::uint8_t* p = data + static_cast<std::ptrdiff_t>(y) * stride + static_cast<std::ptrdiff_t>(x) * 3;
  return RgbToHsv(p[0], p[1], p[2]);
}

void widenProposal(ProposalBounds& b, const Hsv& pixel) {
  const int h = pixel.h;
  auto near = [](int d) { return d > 0 && d < 45; };
  if (int d = b.hMin - h; near(d)) {
    b.hMin -= fifteenHundredths(d);
  }
  if (int d = b.hMin + 360 - h; near(d)) {
    b.hMin -= fifteenHundredths(d);
  }
  if (int d = h - b.hMax; near(d)) {
    b.hMax += fifteenHundredths(d);
  }
  if (int d = h + 360 - b.hMax; near(d)) {
    b.hMax += fifteenHundredths(d);
  }
  // Saturation and brightness pulls are positive differences: / 4 truncates like Trunc(0.25 · d).
  if (pixel.s < b.sMin) {
    b.sMin -= (b.sMin - pixel.s) / 4;
  }
  if (pixel.s > b.sMax) {
    b.sMax += (pixel.s - b.sMax) / 4;
  }
  if (pixel.v < b.vMin) {
    b.vMin -= (b.vMin - pixel.v) / 4;
  }
  if (pixel.v > b.vMax) {
    b.vMax += (pixel.v - b.vMax) / 4;
  }
}

SampleProposal proposeSector(const RgbImageView& image, int x, int y, const ColorSector& current) {
  SampleProposal result;
  if (image.width <= 0 || image.data == nullptr) {
    result.sector = withBounds(current, kDefaultProposal);
    return result;
  }
  // The window's pixels inside the image, i outer and j inner; coordinates stay far from overflow
  // whatever point was touched.
  const auto forEachInWindow = [&](const auto& visit) {
    for (int i = -kSampleWindowReach; i <= kSampleWindowReach; ++i) {
      for (int j = -kSampleWindowReach; j <= kSampleWindowReach; ++j) {
        const std::int64_t px = std::int64_t{x} + i;
        const std::int64_t py = std::int64_t{y} + j;
        if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
        visit(image.hsvAt(static_cast<int>(px), static_cast<int>(py)));
      }
    }
  };

  std::array<int, 360> hues{};
  std::array<int, 256> saturations{};
  std::array<int, 256> values{};
  forEachInWindow([&](const Hsv& c) {
    if (c.s == 0) return;
    ++hues[static_cast<std::size_t>(c.h)];
    ++saturations[static_cast<std::size_t>(c.s)];
    ++values[static_cast<std::size_t>(c.v)];
  });
  const int hm = modeOf(hues);
  const int sm = modeOf(saturations);
  const int vm = modeOf(values);
  ProposalBounds b{hm, hm, sm, sm, vm, vm};
  result.modeLineFrom = sampleMarkPosition(hm, sm);

  std::int64_t brightnessSum = 0;
  forEachInWindow([&](const Hsv& c) {
    brightnessSum += c.v;
    if (c.s <= kSampleGreyLimit) return;
    result.points.push_back(sampleMarkPosition(c.h, c.s));
    widenProposal(b, c);
  });
  // Narrowed by a degree, but never below hMin: a patch of one hue would otherwise turn into a sector
  // across 0° covering all other hues.
  if (b.hMax > 1 && b.hMax > b.hMin) {
    b.hMax -= 1;
  }
  if (b.hMin < 0) {
    b.hMin += 1;
  }
  result.sector = withBounds(current, b);
  result.vLabel = meanBrightnessText(brightnessSum);
  return result;
}

void drawProposalMarks(Rgb24Canvas& working, const SampleProposal& proposal) {
  if (proposal.modeLineFrom) {
    const int keptWidth = working.penWidth();
    working.setPenWidth(1);
    working.SetColor(kModeLineColour);
    working.Line(proposal.modeLineFrom->x, proposal.modeLineFrom->y, 255, 255);
    working.setPenWidth(keptWidth);
  }
  for (const MapPoint& p : proposal.points) {
    working.putPixel(p.x, p.y, kRgbBlack);
  }
  working.SetColor(kProposalDoneColour);
}

ColorSector clearedBounds(const ColorSector& sector) {
  ColorSector s = sector;
  s.HMIN = s.HMAX = s.SMIN = s.SMAX = s.VMIN = s.VMAX = 0;
  return s;
}

}  // namespace tolvane
