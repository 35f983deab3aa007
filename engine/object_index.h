#pragma once

#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/engine_constants.h"
#include "settings/sector_tables.h"

namespace tolvane {

// A set of record numbers 0..1023.
class RecordSet {
 public:
  void insert(int k) { words_[word(k)] |= bit(k); }
  void erase(int k) { words_[word(k)] &= ~bit(k); }
  bool contains(int k) const { return (words_[word(k)] & bit(k)) != 0; }
  void clear() { words_.fill(0); }

  // Visits the members in ascending order; fn may erase the visited member or insert others.
  template <typename Fn>
  void forEach(Fn fn) const {
    for (std::size_t w = 0; w < words_.size(); ++w) {
      std::uint64_t bits = words_[w];
      while (bits != 0) {
        const int k = static_cast<int>(w * 64) + std::countr_zero(bits);
        bits &= bits - 1;
        fn(k);
      }
    }
  }

 private:
  static std::size_t word(int k) { return static_cast<std::size_t>(k) >> 6; }
  static std::uint64_t bit(int k) { return std::uint64_t{1} << (static_cast<unsigned>(k) & 63U); }
  std::array<std::uint64_t, 16> words_{};
};
static_assert(kObjectTableSize < 16 * 64);

// The records a camera's object step opened and has not yet seen closed, each with RunMin and
// RunMax as the object step last set them, packed so that a run is compared with every open object
// without touching the records. Order is arbitrary.
class OpenList {
 public:
  OpenList() { where_.fill(-1); }

  void insert(int k, std::int32_t runMin, std::int32_t runMax) {
    erase(k);
    const auto at = static_cast<std::size_t>(count_++);
    where_[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(at);
    k_[at] = k;
    runMin_[at] = runMin;
    runMax_[at] = runMax;
  }
  void erase(int k) {
    const int at = where_[static_cast<std::size_t>(k)];
    if (at < 0) return;
    const auto last = static_cast<std::size_t>(--count_);
    const auto to = static_cast<std::size_t>(at);
    k_[to] = k_[last];
    runMin_[to] = runMin_[last];
    runMax_[to] = runMax_[last];
    where_[static_cast<std::size_t>(k_[to])] = static_cast<std::int16_t>(at);
    where_[static_cast<std::size_t>(k)] = -1;
  }
  bool contains(int k) const { return where_[static_cast<std::size_t>(k)] >= 0; }
  int size() const { return count_; }
  void clear() {
    for (int i = 0; i < count_; ++i) where_[static_cast<std::size_t>(k_[static_cast<std::size_t>(i)])] = -1;
    count_ = 0;
  }

  // Entry i (0 .. size() - 1).
  int k(int i) const { return k_[static_cast<std::size_t>(i)]; }
  void setExtent(int i, std::int32_t runMin, std::int32_t runMax) {
    runMin_[static_cast<std::size_t>(i)] = runMin;
    runMax_[static_cast<std::size_t>(i)] = runMax;
  }

  // Writes the positions of the entries whose extent, widened by tolerance on both sides, meets
  // [a, b] into out (room for size() entries), ascending; returns how many.
  int overlapping(std::int32_t a, std::int32_t b, std::int32_t tolerance, int* out) const {
    // Extents are line positions (0..4097), far from overflow.
    const std::int32_t hiBound = b + tolerance;  // runMin <= b + tolerance
    const std::int32_t loBound = a - tolerance;  // runMax >= a - tolerance
    int n = 0;
    int i = 0;
#if defined(__SSE2__)
    const __m128i hi = _mm_set1_epi32(hiBound + 1);
    const __m128i lo = _mm_set1_epi32(loBound - 1);
    for (; i + 4 <= count_; i += 4) {
      const __m128i mins = _mm_loadu_si128(reinterpret_cast<const __m128i*>(runMin_.data() + i));
      const __m128i maxs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(runMax_.data() + i));
      const __m128i hit = _mm_and_si128(_mm_cmplt_epi32(mins, hi), _mm_cmpgt_epi32(maxs, lo));
      auto bits = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(hit)));
      while (bits != 0) {
        out[n++] = i + std::countr_zero(bits);
        bits &= bits - 1;
      }
    }
#endif
    for (; i < count_; ++i) {
      const auto at = static_cast<std::size_t>(i);
      out[n] = i;
      n += static_cast<int>(runMin_[at] <= hiBound) & static_cast<int>(runMax_[at] >= loBound);
    }
    return n;
  }

  // Visits every entry once by its record number; fn returns false to drop it. fn must not insert.
  template <typename Fn>
  void forEach(Fn fn) {
    int i = 0;
    while (i < count_) {
      const int k = k_[static_cast<std::size_t>(i)];
      if (fn(k)) {
        ++i;
      } else {
        erase(k);  // the last entry moves here and is visited next
      }
    }
  }

 private:
  std::array<std::int32_t, kObjectTableSize + 1> k_{};
  std::array<std::int32_t, kObjectTableSize + 1> runMin_{};
  std::array<std::int32_t, kObjectTableSize + 1> runMax_{};
  std::array<std::int16_t, kObjectTableSize + 1> where_{};
  int count_ = 0;
};

inline constexpr std::size_t kNewImageBytes = 100 * 100 * 3;

// Where the object analysis finds its records without scanning the whole table. Records become open
// only when the object step creates them and closed only when it closes them, so per camera the set
// of records it opened and not yet saw closed holds every record that can continue an object, and
// the set it closed holds every record waiting for sample judging. Records that the ejection step
// marks Done, or that fall beyond ObjectCount, are dropped when next visited.
struct ObjectIndex {
  std::array<OpenList, kCameraCount> open;
  std::array<RecordSet, kCameraCount> closed;
  // Colour the upper image half of record k was prefilled with at its creation.
  std::array<FillColour, kObjectTableSize + 1> prefill{};
  // The image of a new record for newImageFill.
  std::array<std::uint8_t, kNewImageBytes> newImage{};
  FillColour newImageFill{};
  bool newImageValid = false;
  // Record k's image is the new-record image of prefill[k] except inside its box (ImgXMin..ImgXMax,
  // rows 1..ImgRows): reusing it only restores the box. Holds because record images are written
  // by the object step alone; whoever writes them otherwise must clear() the index.
  std::array<bool, kObjectTableSize + 1> imageKnown{};
  // Record k's object was tracked without its picture (nothing was to read it): the image is
  // untouched since creation and the record is never captured as a sample.
  std::array<bool, kObjectTableSize + 1> noPicture{};
  // Scan every record 1..ObjectCount instead: the reference the index is tested against.
  bool direct = false;

  void clear() {
    for (OpenList& s : open) s.clear();
    imageKnown.fill(false);
    noPicture.fill(false);
    for (RecordSet& s : closed) s.clear();
  }
};

}  // namespace tolvane
