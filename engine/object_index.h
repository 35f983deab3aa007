#pragma once

#include <array>
#include <bit>
#include <cstdint>

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

// Where the object analysis finds its records without scanning the whole table. Records become open
// only when the object step creates them and closed only when it closes them, so per camera the set
// of records it opened and not yet saw closed holds every record that can continue an object, and
// the set it closed holds every record waiting for sample judging. Records that the ejection step
// marks Done, or that fall beyond ObjectCount, are dropped when next visited.
struct ObjectIndex {
  std::array<RecordSet, kCameraCount> open;
  std::array<RecordSet, kCameraCount> closed;
  // Colour the upper image half of record k was prefilled with at its creation.
  std::array<FillColour, kObjectTableSize + 1> prefill{};
  // Scan every record 1..ObjectCount instead: the reference the index is tested against.
  bool direct = false;

  void clear() {
    for (RecordSet& s : open) s.clear();
    for (RecordSet& s : closed) s.clear();
  }
};

}  // namespace tolvane
