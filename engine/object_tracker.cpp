#include "engine/object_tracker.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/color_convert.h"
#include "engine/ejection_step.h"
#include "engine/line_classifier.h"
#include "engine/reject_decision.h"

namespace tolvane {

namespace {

constexpr int kImageRowsWritten = 99;  // image rows 1..99 take lines; row 100 never
constexpr int kPrefilledRows = 50;     // rows 1..50 are prefilled at creation
constexpr int kShortRunLimit = 200;    // a run must be shorter than this to be passed on
constexpr int kLongestSingleToneObject = 95;
constexpr int kSingleToneGap = 3;

// Sums in the record are 32-bit and wrap like the integers they always were; never undefined.
void addWrapping(std::int32_t& value, std::int64_t delta) {
  value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(delta));
}

std::int32_t low32(std::int64_t v) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); }

// Lines since a stored line number, counted on the low 32 bits so that the difference stays right
// when the counter passes 2^31.
std::int32_t since(std::int64_t now, std::int32_t then) { return clockSince(now, then); }

struct AnalysisMode {
  bool mono;           // single-tone analysis (else colour)
  int minSampleWidth;  // XMax - XMin needed for sample judging
};

// The sample-capture switches, read once a line.
struct CaptureFlags {
  bool scanExam;
  bool norm;
  bool brak;

  bool armed() const { return scanExam && (norm || brak); }
};

// Everything one line's object analysis needs, gathered once.
struct LineWork {
  EngineState& state;
  CameraLineState& camera;
  const SorterSettings& sorter;
  const MachineSettings& machine;
  AnalysisMode mode;
  int cam;             // 0 or 1
  std::int64_t now;    // camera's line
  std::int64_t clock;  // engine clock
  FillColour prefill;
  bool measures;  // shape measures at closing
  CaptureFlags capture;
  bool picture;  // objects created now keep their picture
};

// Whether the object analysis writes object pictures: always, or only when something will read them.
enum class PictureUse { kAlways, kWhenRead };

// ---------------------------------------------------------------------------------------------
// Records

void clearAndPrefill(ObjectRecord& rec, int k, ObjectIndex& index, FillColour fill) {
  static_assert(sizeof rec.Image == kNewImageBytes);
  if (!index.newImageValid || !(index.newImageFill == fill)) {
    // Column-major: each column is 50 prefilled pixels followed by 50 black ones.
    for (std::size_t c = 0; c < kObjectImageSize; ++c) {
      std::uint8_t* column = index.newImage.data() + c * kObjectImageSize * 3;
      for (std::size_t r = 0; r < kObjectImageSize; ++r) {
        const bool upper = r < kPrefilledRows;
        column[3 * r] = upper ? fill.r : 0;
        column[3 * r + 1] = upper ? fill.g : 0;
        column[3 * r + 2] = upper ? fill.b : 0;
      }
    }
    index.newImageFill = fill;
    index.newImageValid = true;
  }
  const auto at = static_cast<std::size_t>(k);
  if (index.imageKnown[at] && index.prefill[at] == fill) {
    if (!index.noPicture[at]) {
      // Only the box of the previous object differs from a new image. Copies go in whole 32-byte
      // blocks: bytes past the box get the new image's bytes, which they hold already.
      constexpr std::size_t kBlock = 32;
      const int firstColumn = std::clamp(rec.ImgXMin, 1, kObjectImageSize);
      const int lastColumn = std::clamp(rec.ImgXMax, 1, kObjectImageSize);
      const int rows = std::clamp(rec.ImgRows, 0, kImageRowsWritten);
      const std::size_t blocks = (static_cast<std::size_t>(rows) * 3 + kBlock - 1) / kBlock;
      for (int c = firstColumn; c <= lastColumn && rows > 0; ++c) {
        const std::size_t columnStart = static_cast<std::size_t>(c - 1) * kObjectImageSize * 3;
        const std::size_t bytes = std::min(blocks * kBlock, kNewImageBytes - columnStart);
        std::size_t i = 0;
        for (; i + kBlock <= bytes; i += kBlock) {
          std::memcpy(rec.Image + columnStart + i, index.newImage.data() + columnStart + i, kBlock);
        }
        std::memcpy(rec.Image + columnStart + i, index.newImage.data() + columnStart + i, bytes - i);
      }
    }
  } else {
    std::memcpy(rec.Image, index.newImage.data(), kNewImageBytes);
  }
  index.imageKnown[at] = !index.direct;
  std::memset(static_cast<void*>(&rec), 0, offsetof(ObjectRecord, Image));
  std::memset(static_cast<void*>(&rec.ImgXMin), 0, sizeof(ObjectRecord) - offsetof(ObjectRecord, ImgXMin));
}

bool continuesObject(const ObjectRecord& rec, int cam, int a, int b, bool mono) {
  if (rec.Open == 0 || rec.Done != 0 || rec.Camera != cam || rec.SampleSlot != -1) {
    return false;
  }
  const std::int64_t tolerance = mono ? 1 : 0;
  return static_cast<std::int64_t>(rec.RunMin) - tolerance <= b &&
         static_cast<std::int64_t>(rec.RunMax) + tolerance >= a;
}

void extendObject(LineWork& w, ObjectRecord& rec, int a, int b, bool picture) {
  rec.XMin = std::max(std::min(rec.XMin, a), 1);
  rec.XMax = std::min(std::max(rec.XMax, b), kPixelsPerLine);
  rec.LastLine = low32(w.now);

  const std::int32_t d = since(w.now, rec.FirstLine);
  const std::int64_t row = static_cast<std::int64_t>(d) + 1;
  const bool writeImage = picture && row > 0 && row <= kImageRowsWritten;
  const std::int64_t len = static_cast<std::int64_t>(b) - a + 1;
  const std::int64_t shift = 50 - static_cast<std::int64_t>(rec.XCentre);  // x = i + shift

  // Class counts in registers: one running total per class, not a memory round trip per pixel.
  const std::uint8_t* classMap = w.camera.ClassMap.data();
  std::int64_t counts[4] = {0, 0, 0, 0};  // classes 0, 1, 2, 4
  int at = a;
#if defined(__SSE2__)
  const int end = b + 1;
  if (b - a < 16 * 255) {
    // Sixteen pixels at a time, a byte counter per class and lane (runs are below 200 pixels, so
    // no lane passes 13; the bound keeps it below 256 whatever the run). The last, partial block
    // is masked to the run when it lies inside the map.
    const __m128i codes[4] = {_mm_set1_epi8(kClassBackground), _mm_set1_epi8(kClassColour1),
                              _mm_set1_epi8(kClassColour2), _mm_set1_epi8(kClassOther)};
    __m128i tally[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    for (; at + 16 <= end; at += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classMap + at));
      for (int k = 0; k < 4; ++k) {
        tally[k] = _mm_sub_epi8(tally[k], _mm_cmpeq_epi8(v, codes[k]));
      }
    }
    if (at < end && at + 16 <= static_cast<int>(kLineElements)) {
      // The first end - at lanes: bytes 16 - (end - at) .. 31 - (end - at) of sixteen ones, sixteen zeros.
      alignas(16) static constexpr std::uint8_t kLanes[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                              0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
      const __m128i lanes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLanes + 16 - (end - at)));
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(classMap + at));
      for (int k = 0; k < 4; ++k) {
        tally[k] = _mm_sub_epi8(tally[k], _mm_and_si128(_mm_cmpeq_epi8(v, codes[k]), lanes));
      }
      at = end;
    }
    std::int64_t seen = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i sums = _mm_sad_epu8(tally[k], _mm_setzero_si128());
      counts[k] = _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8));
      seen += counts[k];
    }
    if (seen != at - a) [[unlikely]] {
      // Bytes that are no class (a damaged map) count in their own slot.
      for (int j = a; j < at; ++j) {
        const std::uint8_t cls = classMap[j];
        if (cls > kClassOther || cls == 3) addWrapping(rec.ClassCount[cls], 2);
      }
    }
  }
#endif
  for (; at <= b; ++at) {
    const std::uint8_t cls = classMap[at];
    counts[0] += cls == kClassBackground;
    counts[1] += cls == kClassColour1;
    counts[2] += cls == kClassColour2;
    counts[3] += cls == kClassOther;
    if (cls > kClassOther || cls == 3) [[unlikely]] {
      addWrapping(rec.ClassCount[cls], 2);
    }
  }
  addWrapping(rec.ClassCount[kClassBackground], 2 * counts[0]);
  addWrapping(rec.ClassCount[kClassColour1], 2 * counts[1]);
  addWrapping(rec.ClassCount[kClassColour2], 2 * counts[2]);
  addWrapping(rec.ClassCount[kClassOther], 2 * counts[3]);
  const std::int64_t mass = 2 * (len - counts[0]);

  if (writeImage) {
    std::uint8_t* rowStart = imagePixel(rec, 1, static_cast<int>(row));  // column c at + 300 (c - 1)
    const std::uint8_t* mono = w.camera.LineMono.data();
    const std::uint8_t* rgb = w.camera.LineRGB.data();
    const bool isMono = w.mode.mono;
    const auto put = [&](std::uint8_t* px, std::int64_t i) {
      if (isMono) {
        const std::uint8_t v = mono[i];
        px[0] = v;
        px[1] = v;
        px[2] = v;
      } else {
        const std::uint8_t* src = rgb + 3 * i;
        px[0] = src[0];
        px[1] = src[1];
        px[2] = src[2];
      }
    };
    // Pixels left of column 2 all land in column 1 and right of column 99 in column 100: there
    // the last one written stays. Columns 2..99 take one pixel each.
    const std::int64_t leftEnd = 1 - shift;       // i <= leftEnd: column 1
    const std::int64_t rightStart = 100 - shift;  // i >= rightStart: column 100
    if (a <= leftEnd) {
      put(rowStart, std::min<std::int64_t>(b, leftEnd));
    }
    const std::int64_t from = std::max<std::int64_t>(a, leftEnd + 1);
    const std::int64_t to = std::min<std::int64_t>(b, rightStart - 1);
    if (from <= to) {
      // One loop per kind of line, values read before the stores so that the stores (which could
      // alias the line) do not force reloads.
      std::uint8_t* px = rowStart + 300 * (from + shift - 1);
      const std::int64_t count = to - from + 1;
      if (isMono) {
        const std::uint8_t* src = mono + from;
        std::int64_t j = 0;
        for (; j + 2 <= count; j += 2, px += 600) {
          const std::uint8_t v0 = src[j];
          const std::uint8_t v1 = src[j + 1];
          px[0] = v0;
          px[1] = v0;
          px[2] = v0;
          px[300] = v1;
          px[301] = v1;
          px[302] = v1;
        }
        if (j < count) {
          const std::uint8_t v = src[j];
          px[0] = v;
          px[1] = v;
          px[2] = v;
        }
      } else {
        const std::uint8_t* src = rgb + 3 * from;
        for (std::int64_t j = 0; j < count; ++j, px += 300, src += 3) {
          const std::uint8_t r = src[0];
          const std::uint8_t g = src[1];
          const std::uint8_t bl = src[2];
          px[0] = r;
          px[1] = g;
          px[2] = bl;
        }
      }
    }
    if (b >= rightStart) {
      put(rowStart + 300 * (kObjectImageSize - 1), b);
    }
  }
  addWrapping(rec.Mass, mass);
  // Sum over the run of 2x, and of 4d + 1, as closed forms.
  addWrapping(rec.MeanX, 2 * (len * shift) + (static_cast<std::int64_t>(a) + b) * len);
  addWrapping(rec.MeanY, (4 * static_cast<std::int64_t>(d) + 1) * len);
  addWrapping(rec.SumWeight, 2 * len);
  rec.ImgXMin = static_cast<std::int32_t>(std::min<std::int64_t>(rec.ImgXMin, a + shift));
  rec.ImgXMax = static_cast<std::int32_t>(std::max<std::int64_t>(rec.ImgXMax, b + shift));
  if (row > rec.ImgRows) {
    rec.ImgRows = static_cast<std::int32_t>(std::min<std::int64_t>(row, kObjectImageSize));
  }
  rec.RunMin = std::min(rec.RunMin, a);
  rec.RunMax = std::max(rec.RunMax, b);
}

int recordLimit(const MachineSettings& machine) {
  // Record 1000 is the scratch record of sample evaluation and is never handed out.
  return std::min(machine.MaxObject, kObjectTableSize - 1);
}

void createObject(LineWork& w, int a, int b) {
  EngineState& st = w.state;
  const int count = std::min(st.ObjectCount, kObjectTableSize);
  int k = 0;
  for (int i = 1; i <= count; ++i) {
    if (st.ObjectTable[i].Done != 0) {
      k = i;
      break;
    }
  }
  if (k == 0) {
    if (st.ObjectCount >= recordLimit(w.machine)) {
      return;  // table full: the run is lost
    }
    k = ++st.ObjectCount;
  }
  ObjectRecord& rec = st.ObjectTable[k];
  ObjectIndex& index = st.objectIndex;
  clearAndPrefill(rec, k, index, w.prefill);
  rec.Camera = w.cam;
  rec.Mass = 0;
  rec.SumWeight = 1;
  rec.RunMin = a;
  rec.RunMax = b;
  rec.XMin = a;
  rec.XMax = b;
  rec.FirstLine = low32(w.now);
  rec.LastLine = low32(w.now);
  rec.XCentre = a + (b - a) / 2;
  rec.ImageLeft = (a + b) / 2 - 50;
  rec.MeanX = 50;
  rec.MeanY = 0;
  rec.ImgXMin = 50;
  rec.ImgXMax = 50;
  rec.ImgRows = 1;
  rec.SampleSlot = -1;
  rec.SampleTried = 0;
  rec.Length = 1;
  rec.Width = 1;
  rec.CreatedAt = low32(w.clock);
  rec.Open = 1;
  rec.InUse = 1;
  rec.Done = 0;
  rec.DueAt = low32(w.clock + w.machine.Delay);

  index.prefill[static_cast<std::size_t>(k)] = w.prefill;
  index.noPicture[static_cast<std::size_t>(k)] = !w.picture;
  for (int c = 0; c < kCameraCount; ++c) {
    index.open[static_cast<std::size_t>(c)].erase(k);
    index.closed[static_cast<std::size_t>(c)].erase(k);
  }
  index.open[static_cast<std::size_t>(w.cam)].insert(k, a, b);
}

// Object step for the run [a, b] (b is the background pixel after it).
void objectStep(LineWork& w, int a, int b) {
  EngineState& st = w.state;
  bool continued = false;
  if (st.objectIndex.direct) {
    const int count = std::min(st.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      ObjectRecord& rec = st.ObjectTable[k];
      if (continuesObject(rec, w.cam, a, b, w.mode.mono)) {
        extendObject(w, rec, a, b, !st.objectIndex.noPicture[static_cast<std::size_t>(k)]);
        continued = true;
      }
    }
  } else {
    ObjectIndex& index = st.objectIndex;
    OpenList& open = index.open[static_cast<std::size_t>(w.cam)];
    const std::int32_t tolerance = w.mode.mono ? 1 : 0;
    int candidates[kObjectTableSize + 1];
    const int n = open.overlapping(a, b, tolerance, candidates);
    int stale[kObjectTableSize + 1];
    int staleCount = 0;
    for (int c = 0; c < n; ++c) {
      const int i = candidates[c];
      const int k = open.k(i);
      ObjectRecord& rec = st.ObjectTable[k];
      if (k > st.ObjectCount || rec.Open == 0 || rec.Camera != w.cam) {
        stale[staleCount++] = k;  // closed elsewhere or beyond the table's end: it can only come back new
        continue;
      }
      if (continuesObject(rec, w.cam, a, b, w.mode.mono)) {
        extendObject(w, rec, a, b, !index.noPicture[static_cast<std::size_t>(k)]);
        open.setExtent(i, rec.RunMin, rec.RunMax);
        continued = true;
      }
    }
    for (int c = 0; c < staleCount; ++c) {
      open.erase(stale[c]);
    }
  }
  if (!continued) {
    createObject(w, a, b);
  }
}

// Bit p of the mask is set when ClassMap[p] is not background, for p in first..last; clear
// elsewhere. Sixteen bytes per comparison.
constexpr int kMaskWords = static_cast<int>((kLineElements + 63) / 64);
using PixelMask = std::array<std::uint64_t, kMaskWords>;

void fillMask(const std::uint8_t* bytes, int first, int last, PixelMask& mask) {
  const int firstWord = first >> 6;
  const int lastWord = last >> 6;
  for (int word = firstWord; word <= lastWord; ++word) {
    const int base = word * 64;
    std::uint64_t bits = 0;
    // Bytes outside the range are masked off afterwards; a word reaching past the buffer is read
    // byte by byte up to last.
    if (base + 64 > static_cast<int>(kLineElements)) {
      for (int i = 0; base + i <= last; ++i) {
        bits |= static_cast<std::uint64_t>(bytes[base + i] != 0) << i;
      }
    } else {
#if defined(__SSE2__)
      const __m128i zero = _mm_setzero_si128();
      const auto zeros = [&](int part) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + base + 16 * part));
        return static_cast<std::uint64_t>(
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))));
      };
      bits = ~(zeros(0) | zeros(1) << 16 | zeros(2) << 32 | zeros(3) << 48);
#else
      for (int i = 0; i < 64; ++i) {
        bits |= static_cast<std::uint64_t>(bytes[base + i] != 0) << i;
      }
#endif
    }
    if (word == firstWord) bits &= ~std::uint64_t{0} << (first & 63);
    if (word == lastWord && (last & 63) != 63) bits &= (std::uint64_t{1} << ((last & 63) + 1)) - 1;
    mask[static_cast<std::size_t>(word)] = bits;
  }
}

// The first position from p on whose mask bit is set (Set) or clear (!Set); past the last word
// when there is none. The caller bounds the result by the range.
template <bool Set>
int nextBit(const PixelMask& mask, int p, int endWord) {
  int word = p >> 6;
  if (word > endWord) return p;
  const auto wordAt = [&](int i) {
    const std::uint64_t bits = mask[static_cast<std::size_t>(i)];
    return Set ? bits : ~bits;
  };
  std::uint64_t bits = wordAt(word) & (~std::uint64_t{0} << (p & 63));
  while (bits == 0) {
    if (++word > endWord) return word * 64;
    bits = wordAt(word);
  }
  return word * 64 + std::countr_zero(bits);
}

// Runs of the working range, passed to the object step. Returns whether any was passed.
bool findRuns(LineWork& w) {
  const std::uint8_t* classMap = w.camera.ClassMap.data();
  const int first = w.camera.WorkFirstPixel;
  const int last = w.camera.WorkLastPixel;
  const bool mono = w.mode.mono;
  bool passed = false;
  int n = 0;
  if (w.state.objectIndex.direct) {
    for (int p = first; p <= last; ++p) {
      if (classMap[p] != 0) {
        ++n;
      } else if (n > 2 && n < kShortRunLimit) {
        objectStep(w, p - n, p);
        passed = true;
        n = 0;
      }
      if (mono && n > kShortRunLimit) {
        n = 0;
      }
    }
    return passed;
  }
  if (first > last) {
    return false;
  }
  // The object step reads ClassMap but never writes it, so the mask of the whole line holds.
  PixelMask mask;
  fillMask(classMap, first, last, mask);
  const int endWord = last >> 6;
  int p = first;
  while (true) {
    const int start = nextBit<true>(mask, p, endWord);
    if (start > last) {
      break;
    }
    // A segment of class pixels; the pixel after it is background unless the range ends.
    const int end = std::min(nextBit<false>(mask, start, endWord), last + 1);
    // Per pixel the 200 rule sets 201 back to 0, so n steps through 0..200 cyclically.
    n += end - start;
    if (mono && n > kShortRunLimit) {
      n %= kShortRunLimit + 1;
    }
    if (end > last) {
      break;
    }
    // Only the first background pixel after a segment can pass a run: later ones see the same n.
    if (n > 2 && n < kShortRunLimit) {
      objectStep(w, end - n, end);
      passed = true;
      n = 0;
    }
    p = end + 1;
  }
  return passed;
}

bool closesNow(const LineWork& w, const ObjectRecord& rec) {
  if (w.mode.mono) {
    return since(w.now, rec.LastLine) > kSingleToneGap ||
           since(w.now, rec.FirstLine) >= kLongestSingleToneObject;
  }
  const int from = std::max(rec.RunMin, 1);
  const int to = std::min(rec.RunMax, kPixelsPerLine);
  const std::uint8_t* classMap = w.camera.ClassMap.data();
  int found = 0;
  for (int p = from; p <= to && found < 2; ++p) {
    found += classMap[p] != 0 ? 1 : 0;
  }
  return found < 2;
}

void closeObject(LineWork& w, int k) {
  ObjectRecord& rec = w.state.ObjectTable[k];
  rec.SumWeight = std::max(rec.SumWeight, 1);
  rec.Open = 0;
  rec.MeanX = toInt32(roundHalfEven(static_cast<double>(rec.MeanX) / rec.SumWeight));
  rec.MeanY = toInt32(roundHalfEven(static_cast<double>(rec.MeanY) / rec.SumWeight));
  rec.XCentre = static_cast<std::int32_t>(rec.XMin + (static_cast<std::int64_t>(rec.XMax) - rec.XMin) / 2);
  if (w.measures) {
    // The fill the picture was created with; row 0 and column 0 read as it.
    const FillColour prefill = w.state.objectIndex.prefill[static_cast<std::size_t>(k)];
    if (w.state.objectIndex.direct) {
      shapeMeasures(rec, w.camera.classifier.inputs(), prefill);
    } else {
      liveShapeMeasures(rec, w.camera.classifier, prefill);
    }
  }
  w.state.objectIndex.closed[static_cast<std::size_t>(w.cam)].insert(k);
}

void closeObjects(LineWork& w) {
  EngineState& st = w.state;
  if (st.objectIndex.direct) {
    const int count = std::min(st.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      const ObjectRecord& rec = st.ObjectTable[k];
      if (rec.Open != 0 && rec.Camera == w.cam && closesNow(w, rec)) {
        closeObject(w, k);
      }
    }
    return;
  }
  OpenList& open = st.objectIndex.open[static_cast<std::size_t>(w.cam)];
  open.forEach([&](int k) {
    const ObjectRecord& rec = st.ObjectTable[k];
    if (k > st.ObjectCount || rec.Open == 0 || rec.Camera != w.cam) {
      return false;
    }
    if (closesNow(w, rec)) {
      closeObject(w, k);
      return false;
    }
    return true;
  });
}

int freeSampleSlot(const EngineState& st, int cam) {
  const int first = cam == 1 ? kSampleSlotsPerCamera : 0;
  for (int s = first; s < first + kSampleSlotsPerCamera; ++s) {
    if (st.SampleTable[s].InUse == 0) {
      return s;
    }
  }
  return -1;
}

bool awaitsJudging(const ObjectRecord& rec, int cam) {
  return rec.Open == 0 && rec.InUse != 0 && rec.Done == 0 && rec.Camera == cam && rec.SampleTried == 0;
}

void judgeObject(LineWork& w, ObjectRecord& rec, int k) {
  const CaptureFlags& flags = w.capture;
  if (static_cast<std::int64_t>(rec.XMax) - rec.XMin < w.mode.minSampleWidth) {
    return;
  }
  if (rec.Mass < w.machine.MinVes) {
    rec.Done = 1;  // too small: never fired, never counted
    return;
  }
  // An object tracked without its picture is passed over: the next ones have theirs.
  const bool captureWanted =
      flags.armed() && rec.SampleSlot < 0 && !w.state.objectIndex.noPicture[static_cast<std::size_t>(k)];
  if (!captureWanted) {
    // The decision would change nothing but its own write.
    if (rec.Mass == 0) {
      rec.Mass = 1;
    }
    return;
  }
  const bool reject = IsReject(rec, w.sorter);
  if (!(reject ? flags.brak : flags.norm)) {
    return;
  }
  const int slot = freeSampleSlot(w.state, w.cam);
  if (slot >= 0) {
    std::memcpy(static_cast<void*>(&w.state.SampleTable[slot]), &rec, sizeof(ObjectRecord));
    rec.SampleSlot = slot;
    w.state.SamplesCaptured[static_cast<std::size_t>(w.cam)].fetch_add(1, std::memory_order_release);
  }
  rec.SampleTried = 1;
}

void judgeObjects(LineWork& w) {
  EngineState& st = w.state;
  if (st.objectIndex.direct) {
    const int count = std::min(st.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      ObjectRecord& rec = st.ObjectTable[k];
      if (awaitsJudging(rec, w.cam)) {
        judgeObject(w, rec, k);
      }
    }
    return;
  }
  RecordSet& closed = st.objectIndex.closed[static_cast<std::size_t>(w.cam)];
  closed.forEach([&](int k) {
    ObjectRecord& rec = st.ObjectTable[k];
    if (k > st.ObjectCount || !awaitsJudging(rec, w.cam)) {
      closed.erase(k);
      return;
    }
    judgeObject(w, rec, k);
    if (!awaitsJudging(rec, w.cam)) {
      closed.erase(k);
    }
  });
}

void analyseObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                       const MachineSettings& machine, std::int64_t clock, bool mono, PictureUse use) {
  const int cam = camera.CameraIndex == 1 ? 1 : 0;
  const bool shading = state.ColorTune.load(std::memory_order_relaxed);
  setWorkingRange(camera, state.ejection, machine);
  prepareClassifier(camera, state, sorter, machine);
  classifyLine(camera, mono ? LinePath::kMonoObject : LinePath::kColourObject, shading, nullptr);

  FillColour prefill = state.BackgroundFill;
  if (!mono && state.BrightMode.load(std::memory_order_relaxed)) {
    const auto v = static_cast<std::uint8_t>(sorter.FonMax[0]);
    prefill = {v, v, v};
  }
  const bool anyShape = sorter.enLength || sorter.enWeight || sorter.enEks || sorter.enForma;
  const bool measures = !mono || anyShape;
  const CaptureFlags capture{state.ScanExamSwitch.load(std::memory_order_relaxed),
                             state.SampleNormButton.load(std::memory_order_relaxed),
                             state.SampleBrakButton.load(std::memory_order_relaxed)};
  // Pictures are read by the measures and by sample capture.
  const bool picture = use == PictureUse::kAlways || measures || capture.armed() || state.objectIndex.direct;
  LineWork w{state,
             camera,
             sorter,
             machine,
             AnalysisMode{mono, mono ? 1 : 3},
             cam,
             camera.LineCounter.load(std::memory_order_relaxed),
             clock,
             prefill,
             measures,
             capture,
             picture};

  const bool passed = findRuns(w);
  closeObjects(w);
  judgeObjects(w);
  if (passed && state.CheckBox5.load(std::memory_order_relaxed)) {
    state.lineDump.addLine(camera, mono);
  }
}

}  // namespace

void analyseMonoObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                           const MachineSettings& machine, std::int64_t clock) {
  analyseObjectLine(state, camera, sorter, machine, clock, true, PictureUse::kAlways);
}

void analyseColourObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                             const MachineSettings& machine, std::int64_t clock) {
  analyseObjectLine(state, camera, sorter, machine, clock, false, PictureUse::kAlways);
}

void analyseLineModeLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                         const MachineSettings& machine, std::int64_t clock) {
  setWorkingRange(camera, state.ejection, machine);
  prepareClassifier(camera, state, sorter, machine);
  beginLineModeLine(state.ejection);
  classifyLine(camera, LinePath::kLineMode, state.ColorTune.load(std::memory_order_relaxed),
               state.ejection.ZoneDefects.data());
  scheduleLineMode(state.ejection, sorter, machine, camera.CameraIndex == 1 ? 1 : 0, clock,
                   state.FineTimer.load(std::memory_order_relaxed));
}

void analyseLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                 const MachineSettings& machine, std::int64_t clock) {
  if (sorter.enFast) {
    analyseLineModeLine(state, camera, sorter, machine, clock);
  } else {
    analyseObjectLine(state, camera, sorter, machine, clock, state.singleToneCamera, PictureUse::kWhenRead);
  }
}

void renderSamplePicture(const ObjectRecord& record, std::uint8_t* picture) {
  for (int r = 1; r <= kPrefilledRows; ++r) {
    for (int c = 1; c <= kObjectImageSize; ++c) {
      const std::uint8_t* px = imagePixel(record, c, r);
      for (int twice = 0; twice < 2; ++twice) {
        const int y = 2 * (r - 1) + twice;
        std::uint8_t* out = picture + 3 * (y * kObjectImageSize + (c - 1));
        out[0] = px[0];
        out[1] = px[1];
        out[2] = px[2];
      }
    }
  }
}

}  // namespace tolvane
