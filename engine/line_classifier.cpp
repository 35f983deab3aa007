#include "engine/line_classifier.h"

#include <algorithm>

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

std::int32_t zoneBound(const EjectionState& ejection, int ejector, int side, bool end) {
  if (ejector < 1 || ejector > kEjectorSlots) {
    return 0;
  }
  const EjectorZone& zone = ejection.EjectorZones[ejector];
  return end ? zone.end(side) : zone.start(side);
}

std::uint8_t shade(std::uint8_t value, std::int32_t correction) {
  const std::int32_t v = static_cast<std::int32_t>(value) + correction;
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Written out per byte through plain pointers: GCC 12.2 at -O2 (ivopts) dropped the stores of the
// equivalent three-step loop over the two arrays.
void shadeRgb(CameraLineState& camera, std::size_t p) {
  std::uint8_t* px = camera.LineRGB.data() + 3 * p;
  const std::int32_t* correction = camera.ShadingRGB.data() + 3 * p;
  const std::uint8_t r = shade(px[0], correction[0]);
  const std::uint8_t g = shade(px[1], correction[1]);
  const std::uint8_t b = shade(px[2], correction[2]);
  px[0] = r;
  px[1] = g;
  px[2] = b;
}

// One walk over the working range; classOf(p) gives the class of pixel p after any shading.
template <typename ClassOf>
void walk(CameraLineState& camera, bool countZones, std::int32_t* zoneDefects, ClassOf classOf) {
  const int first = camera.WorkFirstPixel;
  const int last = camera.WorkLastPixel;
  std::uint8_t* classMap = camera.ClassMap.data();
  if (countZones && zoneDefects != nullptr) {
    const std::uint8_t* ejector = camera.PixelEjector.data();
    for (int p = first; p <= last; ++p) {
      const PixelClass c = classOf(static_cast<std::size_t>(p));
      classMap[p] = c;
      zoneDefects[ejector[p]] += c != 0 ? 1 : 0;
    }
    return;
  }
  for (int p = first; p <= last; ++p) {
    classMap[p] = classOf(static_cast<std::size_t>(p));
  }
}

// The brightness test on whole blocks of grey pixels. Every test is a byte range lo..hi (an empty
// one as 1..0), so sixteen pixels are tested at once with no branch: background is outside
// FonBlack..FonLight or inside FonMin..FonMax.
class GreyBlocks {
 public:
  explicit GreyBlocks(const BrightnessRanges& q)
      : valid_(range(q.FonBlack, q.FonLight)),
        background_(range(q.FonMin, q.FonMax)),
        colour1_(range(q.P1Min, q.P1Max)),
        colour2_(range(q.P2Min, q.P2Max)) {}

  // Classifies pixels [first, last] of line into classes; with shading, line is first corrected
  // (and written back) by correction.
  void classify(std::uint8_t* line, const std::int8_t* correction, std::uint8_t* classes, int first, int last,
                const PixelClassifier& classifier) const {
    int p = first;
#if defined(__x86_64__)
    if (wideVectors()) {
      p = classifyWide(line, correction, classes, first, last);
    }
#endif
#if defined(__SSE2__)
    // Locals: the stores through byte pointers could alias members, which would be reloaded per block.
    const __m128i zero = _mm_setzero_si128();
    const __m128i validLo = splat(valid_.lo), validHi = splat(valid_.hi);
    const __m128i backgroundLo = splat(background_.lo), backgroundHi = splat(background_.hi);
    const __m128i colour1Lo = splat(colour1_.lo), colour1Hi = splat(colour1_.hi);
    const __m128i colour2Lo = splat(colour2_.lo), colour2Hi = splat(colour2_.hi);
    const __m128i other = _mm_set1_epi8(kClassOther);
    const __m128i toColour1 = _mm_set1_epi8(kClassOther ^ kClassColour1);
    const __m128i toColour2 = _mm_set1_epi8(kClassOther ^ kClassColour2);
    for (; p + 16 <= last + 1; p += 16) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + p));
      if (correction != nullptr) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(correction + p));
        const __m128i up = _mm_and_si128(s, _mm_cmpgt_epi8(s, zero));
        const __m128i down = _mm_and_si128(_mm_sub_epi8(zero, s), _mm_cmpgt_epi8(zero, s));
        v = _mm_subs_epu8(_mm_adds_epu8(v, up), down);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(line + p), v);
      }
      const __m128i keep =
          _mm_andnot_si128(inside(v, backgroundLo, backgroundHi), inside(v, validLo, validHi));
      const __m128i c1 = inside(v, colour1Lo, colour1Hi);
      const __m128i c2 = _mm_andnot_si128(c1, inside(v, colour2Lo, colour2Hi));
      // Other, turned into colour 1 or 2 by xor, then cleared where background.
      __m128i cls = _mm_xor_si128(other, _mm_and_si128(c1, toColour1));
      cls = _mm_xor_si128(cls, _mm_and_si128(c2, toColour2));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(classes + p), _mm_and_si128(cls, keep));
    }
#endif
    for (; p <= last; ++p) {
      if (correction != nullptr) {
        line[p] = shade(line[p], correction[p]);
      }
      classes[p] = classifier.grey(line[p]);
    }
  }

#if defined(__x86_64__)
  // The same on blocks of 32 from first on; returns the first pixel not done.
  __attribute__((target("avx2"))) int classifyWide(std::uint8_t* line, const std::int8_t* correction,
                                                   std::uint8_t* classes, int first, int last) const {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i validLo = _mm256_set1_epi8(static_cast<char>(valid_.lo));
    const __m256i validHi = _mm256_set1_epi8(static_cast<char>(valid_.hi));
    const __m256i backgroundLo = _mm256_set1_epi8(static_cast<char>(background_.lo));
    const __m256i backgroundHi = _mm256_set1_epi8(static_cast<char>(background_.hi));
    const __m256i colour1Lo = _mm256_set1_epi8(static_cast<char>(colour1_.lo));
    const __m256i colour1Hi = _mm256_set1_epi8(static_cast<char>(colour1_.hi));
    const __m256i colour2Lo = _mm256_set1_epi8(static_cast<char>(colour2_.lo));
    const __m256i colour2Hi = _mm256_set1_epi8(static_cast<char>(colour2_.hi));
    const __m256i other = _mm256_set1_epi8(kClassOther);
    const __m256i toColour1 = _mm256_set1_epi8(kClassOther ^ kClassColour1);
    const __m256i toColour2 = _mm256_set1_epi8(kClassOther ^ kClassColour2);
    int p = first;
    for (; p + 32 <= last + 1; p += 32) {
      __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line + p));
      if (correction != nullptr) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(correction + p));
        const __m256i up = _mm256_and_si256(s, _mm256_cmpgt_epi8(s, zero));
        const __m256i down = _mm256_and_si256(_mm256_sub_epi8(zero, s), _mm256_cmpgt_epi8(zero, s));
        v = _mm256_subs_epu8(_mm256_adds_epu8(v, up), down);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + p), v);
      }
      const __m256i keep =
          _mm256_andnot_si256(insideWide(v, backgroundLo, backgroundHi), insideWide(v, validLo, validHi));
      const __m256i c1 = insideWide(v, colour1Lo, colour1Hi);
      const __m256i c2 = _mm256_andnot_si256(c1, insideWide(v, colour2Lo, colour2Hi));
      __m256i cls = _mm256_xor_si256(other, _mm256_and_si256(c1, toColour1));
      cls = _mm256_xor_si256(cls, _mm256_and_si256(c2, toColour2));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(classes + p), _mm256_and_si256(cls, keep));
    }
    return p;
  }
#endif

 private:
  // lo <= v <= hi as bytes; empty as 1..0.
  struct ByteRange {
    std::uint8_t lo = 1;
    std::uint8_t hi = 0;
  };
  static ByteRange range(std::int32_t lo, std::int32_t hi) {
    const std::int32_t from = std::max(lo, 0);
    const std::int32_t to = std::min(hi, 255);
    if (from > to) return {};
    return {static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to)};
  }
#if defined(__SSE2__)
  static __m128i splat(std::uint8_t b) { return _mm_set1_epi8(static_cast<char>(b)); }
  static __m128i inside(__m128i v, __m128i lo, __m128i hi) {
    const __m128i geLo = _mm_cmpeq_epi8(_mm_max_epu8(v, lo), v);
    const __m128i leHi = _mm_cmpeq_epi8(_mm_min_epu8(v, hi), v);
    return _mm_and_si128(geLo, leHi);
  }
#endif
#if defined(__x86_64__)
  __attribute__((target("avx2"))) static __m256i insideWide(__m256i v, __m256i lo, __m256i hi) {
    const __m256i geLo = _mm256_cmpeq_epi8(_mm256_max_epu8(v, lo), v);
    const __m256i leHi = _mm256_cmpeq_epi8(_mm256_min_epu8(v, hi), v);
    return _mm256_and_si256(geLo, leHi);
  }
#endif

  ByteRange valid_;
  ByteRange background_;
  ByteRange colour1_;
  ByteRange colour2_;
};

// Line mode: every non-background pixel of the working range counts for its ejector's zone. Zones are
// runs of equal PixelEjector bytes, so each run is counted in a register (sixteen pixels at a time
// while a whole block lies in it) and added once.
void countZones(const CameraLineState& camera, std::int32_t* zoneDefects) {
  const std::uint8_t* ejector = camera.PixelEjector.data();
  const std::uint8_t* classMap = camera.ClassMap.data();
  const int last = camera.WorkLastPixel;
  int p = camera.WorkFirstPixel;
  while (p <= last) {
    const std::uint8_t zone = ejector[p];
    std::int32_t count = 0;
#if defined(__SSE2__)
    const __m128i zoneBytes = _mm_set1_epi8(static_cast<char>(zone));
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    __m128i sums = zero;  // two 64-bit lanes
    for (; p + 16 <= last + 1; p += 16) {
      const __m128i zones = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ejector + p));
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(zones, zoneBytes)) != 0xFFFF) {
        break;
      }
      const __m128i classes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classMap + p));
      // 1 per non-zero byte, summed across the block.
      const __m128i nonZero = _mm_andnot_si128(_mm_cmpeq_epi8(classes, zero), one);
      sums = _mm_add_epi64(sums, _mm_sad_epu8(nonZero, zero));
    }
    count += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
#endif
    for (; p <= last && ejector[p] == zone; ++p) {
      count += classMap[p] != 0 ? 1 : 0;
    }
    zoneDefects[zone] += count;
  }
}

// Whether ClassifyPixel(v, v, v) is the brightness test for these inputs.
bool greyIsBrightnessTest(const ClassifierInputs& in) {
  return in.singleTone || (in.brightMode && in.singleChannel >= 1 && in.singleChannel <= 3);
}

}  // namespace

void setWorkingRange(CameraLineState& camera, const EjectionState& ejection, const MachineSettings& machine) {
  const int side = camera.CameraIndex == 1 ? kSideB : kSideA;
  const int firstEjector = side == kSideB ? machine.EGB_Min : machine.EGA_Min;
  const int lastEjector = side == kSideB ? machine.EGB_Max : machine.EGA_Max;
  camera.WorkFirstPixel = std::clamp(zoneBound(ejection, firstEjector, side, false), 0, kLineBufferPixels);
  camera.WorkLastPixel = std::clamp(zoneBound(ejection, lastEjector, side, true), 0, kLineBufferPixels);
}

void prepareClassifier(CameraLineState& camera, const EngineState& state, const SorterSettings& sorter,
                       const MachineSettings& machine) {
  camera.classifier.update(classifierInputs(state, sorter, camera.CameraIndex),
                           backgroundShortcuts(sorter, machine, camera.CameraIndex));
}

void classifyLine(CameraLineState& camera, LinePath path, bool shading, std::int32_t* zoneDefects) {
  PixelClassifier& classifier = camera.classifier;
  const bool singleTone = classifier.inputs().singleTone;
  const bool lineMode = path == LinePath::kLineMode;
  if (path == LinePath::kMonoObject || (lineMode && singleTone)) {
    std::uint8_t* mono = camera.LineMono.data();
    if (lineMode && shading) {
      // Line mode shades the colour line even where it classifies the grey one.
      for (int p = camera.WorkFirstPixel; p <= camera.WorkLastPixel; ++p) {
        shadeRgb(camera, static_cast<std::size_t>(p));
      }
    }
    if (greyIsBrightnessTest(classifier.inputs())) {
      const std::int8_t* correction =
          path == LinePath::kMonoObject && shading ? camera.ShadingMono.data() : nullptr;
      GreyBlocks(classifier.inputs().ranges)
          .classify(mono, correction, camera.ClassMap.data(), camera.WorkFirstPixel, camera.WorkLastPixel,
                    classifier);
      if (lineMode && zoneDefects != nullptr) {
        countZones(camera, zoneDefects);
      }
      return;
    }
    if (path == LinePath::kMonoObject && shading) {
      const std::int8_t* correction = camera.ShadingMono.data();
      walk(camera, false, nullptr, [&](std::size_t p) {
        const std::uint8_t v = shade(mono[p], correction[p]);
        mono[p] = v;
        return classifier.plain(v, v, v);
      });
      return;
    }
    walk(camera, lineMode, zoneDefects, [&](std::size_t p) {
      const std::uint8_t v = mono[p];
      return classifier.plain(v, v, v);
    });
    return;
  }
  if (shading) {
    for (int p = camera.WorkFirstPixel; p <= camera.WorkLastPixel; ++p) {
      shadeRgb(camera, static_cast<std::size_t>(p));
    }
  }
  classifier.lineClasses(camera.LineRGB.data(), camera.ClassMap.data(), camera.WorkFirstPixel,
                         camera.WorkLastPixel);
  if (lineMode && zoneDefects != nullptr) {
    countZones(camera, zoneDefects);
  }
}

void classifyLineDirect(CameraLineState& camera, LinePath path, bool shading, const ClassifierInputs& inputs,
                        const BackgroundShortcuts& shortcuts, std::int32_t* zoneDefects) {
  const bool lineMode = path == LinePath::kLineMode;
  for (int p = camera.WorkFirstPixel; p <= camera.WorkLastPixel; ++p) {
    const auto i = static_cast<std::size_t>(p);
    PixelClass c = kClassBackground;
    if (path == LinePath::kMonoObject) {
      if (shading) {
        camera.LineMono[i] = shade(camera.LineMono[i], camera.ShadingMono[i]);
      }
      const int v = camera.LineMono[i];
      c = ClassifyPixel(v, v, v, inputs);
    } else {
      if (shading) {
        shadeRgb(camera, i);
      }
      if (lineMode && inputs.singleTone) {
        const int v = camera.LineMono[i];
        c = ClassifyPixel(v, v, v, inputs);
      } else {
        const int r = camera.LineRGB[3 * i];
        const int g = camera.LineRGB[3 * i + 1];
        const int b = camera.LineRGB[3 * i + 2];
        const bool shortcut = !inputs.singleTone && isShortcutBackground(r, g, b, shortcuts);
        c = shortcut ? kClassBackground : ClassifyPixel(r, g, b, inputs);
      }
    }
    camera.ClassMap[i] = c;
    if (lineMode && zoneDefects != nullptr && c != 0) {
      zoneDefects[camera.PixelEjector[i]] += 1;
    }
  }
}

}  // namespace tolvane
