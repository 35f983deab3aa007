#include "engine/pixel_classifier.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "engine/engine_state.h"
#include "engine/wide_vectors.h"
#include "settings/machine_settings.h"

namespace tolvane {

namespace {

constexpr std::size_t kColourTableSize = std::size_t{1} << 24;

std::uint8_t classCode(PixelClass c) {
  switch (c) {
    case kClassColour1:
      return 1;
    case kClassColour2:
      return 2;
    case kClassOther:
      return 3;
    default:
      return 0;
  }
}

int cameraSlot(int camera) { return camera == 1 ? 1 : 0; }

bool anyContains(const std::vector<ColorSector>& table, const Hsv& hsv, bool brightMode) {
  for (const ColorSector& sector : table) {
    if (sector.Active && sectorContains(sector, hsv, brightMode)) {
      return true;
    }
  }
  return false;
}

#if defined(__SSE2__)
// Classes of sixteen raw entries into cls; false, with cls untouched, when any entry is not of the
// wanted generation (wanted holds generation << 4 in every byte).
template <int Shift>
inline bool decodeBlock(__m128i raw, __m128i wanted, __m128i* cls) {
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(raw, _mm_set1_epi8(static_cast<char>(0xF0))), wanted)) !=
      0xFFFF) {
    return false;
  }
  const __m128i three = _mm_set1_epi8(3);
  const __m128i code = _mm_and_si128(_mm_srli_epi16(raw, Shift), three);
  // Codes 0, 1, 2, 3 are classes 0, 1, 2, 4.
  *cls = _mm_add_epi8(code, _mm_and_si128(_mm_cmpeq_epi8(code, three), _mm_set1_epi8(1)));
  return true;
}
#endif

}  // namespace

BrightnessRanges brightnessRanges(const SorterSettings& s, int camera) {
  const auto i = static_cast<std::size_t>(cameraSlot(camera));
  return {s.FonBlack[i], s.FonLight[i], s.FonMin[i], s.FonMax[i],
          s.P1Min[i],    s.P1Max[i],    s.P2Min[i],  s.P2Max[i]};
}

ClassifierInputs classifierInputs(const EngineState& state, const SorterSettings& settings, int camera) {
  ClassifierInputs in;
  in.singleTone = state.singleToneCamera;
  in.brightMode = state.BrightMode.load(std::memory_order_relaxed);
  in.singleChannel = state.SingleChannel.load(std::memory_order_relaxed);
  in.ranges = brightnessRanges(settings, camera);
  in.sectors = &state.sectorTables[static_cast<std::size_t>(cameraSlot(camera))];
  return in;
}

BackgroundShortcuts backgroundShortcuts(const SorterSettings& s, const MachineSettings& m, int camera) {
  BackgroundShortcuts sc;
  sc.blue = s.enFonBlue;
  sc.rMin = m.FRmin;
  sc.rMax = m.FRmax;
  sc.gMin = m.FGmin;
  sc.gMax = m.FGmax;
  sc.bMin = m.FBmin;
  sc.bMax = m.FBmax;
  sc.black = s.enFonBlack;
  sc.blackLevel = m.BlackFon[static_cast<std::size_t>(cameraSlot(camera))];
  return sc;
}

bool isShortcutBackground(int r, int g, int b, const BackgroundShortcuts& sc) {
  if (sc.blue && sc.rMin <= r && r <= sc.rMax && sc.gMin <= g && g <= sc.gMax && sc.bMin <= b &&
      b <= sc.bMax) {
    return true;
  }
  return sc.black && static_cast<double>(sc.blackLevel) > 0.3 * r + 0.6 * g + 0.1 * b;
}

PixelClass brightnessClass(int a, const BrightnessRanges& q) {
  if (a < q.FonBlack) return kClassBackground;
  if (a > q.FonLight) return kClassBackground;
  if (q.FonMin <= a && a <= q.FonMax) return kClassBackground;
  if (q.P1Min <= a && a <= q.P1Max) return kClassColour1;
  if (q.P2Min <= a && a <= q.P2Max) return kClassColour2;
  return kClassOther;
}

bool sectorContains(const ColorSector& sector, const Hsv& hsv, bool brightMode) {
  const bool valueIn = sector.VMIN <= hsv.v && hsv.v <= sector.VMAX;
  if (brightMode) {
    return valueIn;
  }
  // 64-bit so that sector bounds from a damaged file cannot overflow the shifts.
  std::int64_t lo = sector.HMIN;
  std::int64_t hi = sector.HMAX;
  std::int64_t h = hsv.h;
  // A negative bound is taken one turn up, so that -30..30 reads as 330..30 and crosses 0.
  if (lo < 0) lo += 360;
  if (hi < 0) hi += 360;
  if (h < 0) h += 360;
  if (lo > 720 || hi > 720 || h > 720) {
    return false;
  }
  while (lo > 360 || hi > 360) {
    lo -= 360;
    hi -= 360;
  }
  if (hi < lo) {  // the sector crosses 0 degrees
    if (0 <= h && h < hi) {
      h += 360;
    }
    hi += 360;
  }
  const bool hueIn = lo <= h && h <= hi;
  return hueIn && sector.SMIN <= hsv.s && hsv.s <= sector.SMAX && valueIn;
}

PixelClass ClassifyPixel(int r, int g, int b, const ClassifierInputs& in) {
  if (in.singleTone) {
    return brightnessClass(r, in.ranges);
  }
  if (in.brightMode) {
    switch (in.singleChannel) {
      case 1:
        return brightnessClass(r, in.ranges);
      case 2:
        return brightnessClass(g, in.ranges);
      case 3:
        return brightnessClass(b, in.ranges);
      default:
        break;
    }
  }
  if (in.sectors == nullptr) {
    return kClassOther;
  }
  const Hsv hsv = RgbToHsv(r, g, b);
  if (anyContains(in.sectors->background, hsv, in.brightMode)) return kClassBackground;
  if (anyContains(in.sectors->red, hsv, in.brightMode)) return kClassColour1;
  if (anyContains(in.sectors->blue, hsv, in.brightMode)) return kClassColour2;
  return kClassOther;
}

PixelClass ClassifyPixel(int r, int g, int b, int camera, const EngineState& state,
                         const SorterSettings& settings) {
  return ClassifyPixel(r, g, b, classifierInputs(state, settings, camera));
}

PixelClassifier::PixelClassifier() = default;
PixelClassifier::~PixelClassifier() = default;

void PixelClassifier::lineClasses(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last) {
  classesOf<0>(rgb, classes, first, last);
}

void PixelClassifier::plainClasses(const std::uint8_t* rgb, std::uint8_t* classes, int count) {
  classesOf<2>(rgb, classes, 0, count - 1);
}

template <int Shift>
void PixelClassifier::classesOf(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last) {
  if (inputs_.singleTone) {
    for (int p = first; p <= last; ++p) {
      classes[p] = greyTable_[rgb[3 * static_cast<std::size_t>(p)]];
    }
    return;
  }
  if (!colourTable_ || !keyHeld_) {
    for (int p = first; p <= last; ++p) {
      const std::uint8_t* px = rgb + 3 * static_cast<std::size_t>(p);
      classes[p] = kCodeToClass[(computeEntry(px[0], px[1], px[2]) >> Shift) & 3];
    }
    return;
  }
  // First the raw entries, then the classes: checking and decoding sixteen entries at a time
  // keeps the per-pixel work to the table load.
  gatherEntries(colourTable_.get(), rgb, classes, first, last);
  int p = first;
#if defined(__x86_64__)
  // Short runs (image columns) are not worth the switch.
  if (last - first >= 63 && wideVectors()) {
    p = decodeWide<Shift>(rgb, classes, first, last);
  }
#endif
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(generation_ << 4));
  for (; p + 16 <= last + 1; p += 16) {
    __m128i cls;
    if (!decodeBlock<Shift>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(classes + p)), wanted, &cls))
        [[unlikely]] {
      decodeEntries<Shift>(rgb, classes, p, p + 15);
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(classes + p), cls);
  }
#endif
  decodeEntries<Shift>(rgb, classes, p, last);
}

#if defined(__x86_64__)
template <int Shift>
__attribute__((target("avx2"))) int PixelClassifier::decodeWide(const std::uint8_t* rgb,
                                                                std::uint8_t* classes, int first, int last) {
  const __m256i high = _mm256_set1_epi8(static_cast<char>(0xF0));
  const __m256i wanted = _mm256_set1_epi8(static_cast<char>(generation_ << 4));
  const __m256i three = _mm256_set1_epi8(3);
  const __m256i one = _mm256_set1_epi8(1);
  int p = first;
  for (; p + 32 <= last + 1; p += 32) {
    const __m256i raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(classes + p));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(raw, high), wanted)) != -1) [[unlikely]] {
      decodeEntries<Shift>(rgb, classes, p, p + 31);
      continue;
    }
    const __m256i code = _mm256_and_si256(_mm256_srli_epi16(raw, Shift), three);
    const __m256i cls = _mm256_add_epi8(code, _mm256_and_si256(_mm256_cmpeq_epi8(code, three), one));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(classes + p), cls);
  }
  return p;
}
#endif

template <int Shift>
void PixelClassifier::decodeEntries(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last) {
  for (int p = first; p <= last; ++p) {
    std::uint8_t entry = classes[p];
    if ((entry >> 4) != generation_) {
      const std::uint8_t* px = rgb + 3 * static_cast<std::size_t>(p);
      entry = colourEntry(px[0], px[1], px[2]);
    }
    classes[p] = kCodeToClass[(entry >> Shift) & 3];
  }
}

void PixelClassifier::gatherEntries(const std::uint8_t* table, const std::uint8_t* rgb, std::uint8_t* out,
                                    int first, int last) {
  static_assert(std::endian::native == std::endian::little, "the colour index load assumes little-endian");
  const std::uint8_t* px = rgb + 3 * static_cast<std::ptrdiff_t>(first);
  // A pixel's index is a four-byte load that starts one byte early, shifted down a byte: two
  // instructions. The first pixel of a block has no byte before it inside the range and is masked
  // instead. Every load stays within the block's 24 bytes.
  const auto at = [](const std::uint8_t* bytes) {
    std::uint32_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
  };
  int p = first;
  for (; p + 7 <= last; p += 8, px += 24) {
    out[p] = table[at(px + 0) & 0xFFFFFF];
    out[p + 1] = table[at(px + 2) >> 8];
    out[p + 2] = table[at(px + 5) >> 8];
    out[p + 3] = table[at(px + 8) >> 8];
    out[p + 4] = table[at(px + 11) >> 8];
    out[p + 5] = table[at(px + 14) >> 8];
    out[p + 6] = table[at(px + 17) >> 8];
    out[p + 7] = table[at(px + 20) >> 8];
  }
  for (; p <= last; ++p, px += 3) {
    out[p] = table[colourIndex(px[0], px[1], px[2])];
  }
}

void PixelClassifier::enableColourTable() {
  if (!colourTable_) {
    colourTable_.reset(new std::uint8_t[kColourTableSize]());
    generation_ = 1;
    keyHeld_ = false;
  }
}

std::uint8_t PixelClassifier::computeEntry(std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
  const std::uint8_t plainCode = classCode(ClassifyPixel(r, g, b, inputs_));
  const std::uint8_t lineCode = isShortcutBackground(r, g, b, shortcuts_) ? 0 : plainCode;
  return static_cast<std::uint8_t>((generation_ << 4) | (plainCode << 2) | lineCode);
}

bool PixelClassifier::sameColourKey(const ClassifierInputs& in, const BackgroundShortcuts& sc) const {
  if (!keyHeld_ || in.singleTone != keySingleTone_ || in.brightMode != keyBrightMode_ ||
      in.singleChannel != keyChannel_ || !(in.ranges == keyRanges_) || !(sc == keyShortcuts_)) {
    return false;
  }
  const std::vector<ColorSector>* lists[3] = {nullptr, nullptr, nullptr};
  if (in.sectors != nullptr) {
    lists[0] = &in.sectors->background;
    lists[1] = &in.sectors->red;
    lists[2] = &in.sectors->blue;
  }
  std::size_t at = 0;
  for (int t = 0; t < 3; ++t) {
    const std::size_t n = lists[t] != nullptr ? lists[t]->size() : 0;
    if (static_cast<int>(n) != keyCounts_[static_cast<std::size_t>(t)]) {
      return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (!((*lists[t])[i] == keySectors_[at++])) {
        return false;
      }
    }
  }
  return true;
}

void PixelClassifier::takeColourKey(const ClassifierInputs& in, const BackgroundShortcuts& sc) {
  keySingleTone_ = in.singleTone;
  keyBrightMode_ = in.brightMode;
  keyChannel_ = in.singleChannel;
  keyRanges_ = in.ranges;
  keyShortcuts_ = sc;
  keyHeld_ = true;
  std::size_t at = 0;
  if (in.sectors != nullptr) {
    const std::vector<ColorSector>* lists[3] = {&in.sectors->background, &in.sectors->red, &in.sectors->blue};
    for (int t = 0; t < 3; ++t) {
      keyCounts_[static_cast<std::size_t>(t)] = static_cast<int>(lists[t]->size());
      for (const ColorSector& sector : *lists[t]) {
        if (at == keySectors_.size()) {
          keyHeld_ = false;  // more sectors than the key holds: classify directly
          return;
        }
        keySectors_[at++] = sector;
      }
    }
  } else {
    keyCounts_ = {0, 0, 0};
  }
  // New inputs: older entries become stale by generation; the table is wiped only when the
  // generations run out.
  ++generation_;
  if (generation_ > 15) {
    std::memset(colourTable_.get(), 0, kColourTableSize);
    generation_ = 1;
  }
}

void PixelClassifier::update(const ClassifierInputs& in, const BackgroundShortcuts& sc) {
  inputs_ = in;
  shortcuts_ = sc;
  if (!greyValid_ || !(greyKey_ == in.ranges)) {
    for (int v = 0; v < 256; ++v) {
      greyTable_[static_cast<std::size_t>(v)] = brightnessClass(v, in.ranges);
    }
    greyKey_ = in.ranges;
    greyValid_ = true;
  }
  if (colourTable_ && !in.singleTone && !sameColourKey(in, sc)) {
    takeColourKey(in, sc);
  }
}

}  // namespace tolvane
