#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "engine/engine_constants.h"
#include "engine/object_record.h"
#include "settings/sector_tables.h"

namespace tolvane {

// Rows of the pictures of open records. A record's picture is column-major, so a line written
// straight into it touches one cache line per pixel; here each line's row is contiguous, and the
// rows go into the picture (publish) when the record closes. A record without a slot (all taken) is
// written straight into its picture, with the same result.
//
// Per row only the columns written are kept (one span; a gap between two runs of a line is filled
// with what the new picture holds there), since the picture already holds its new-record content
// everywhere else.
class ImageStage {
 public:
  static constexpr int kSlots = 128;
  static constexpr int kRows = 99;  // picture rows that take lines
  static constexpr int kRowBytes = 3 * kObjectImageSize;

  ImageStage();

  // A slot for record k, whose new picture was prefilled with fill; false when every slot is taken.
  bool take(int k, FillColour fill);
  // Frees record k's slot, if it has one; its staged rows are dropped.
  void release(int k);
  bool holds(int k) const { return slotOf_[static_cast<std::size_t>(k)] >= 0; }
  // Row r (1..kRows) of record k, which must hold a slot, about to take columns first..last
  // (1 <= first <= last <= 100); column c at 3 (c - 1).
  std::uint8_t* row(int k, int r, int first, int last);
  // Copies the staged rows into the picture of record k.
  void publish(int k, ObjectRecord& rec) const;
  // Frees every slot.
  void clear();

 private:
  struct Slot {
    std::array<std::uint8_t, kRows * kRowBytes> rows;
    std::array<std::uint8_t, kRows> first;  // columns of the row's span; first > last: none
    std::array<std::uint8_t, kRows> last;
    int usedRows = 0;  // rows beyond this have no span
    FillColour fill;
  };

  std::unique_ptr<Slot[]> slots_;
  std::array<std::int16_t, kObjectTableSize + 1> slotOf_{};
  std::array<std::int16_t, kSlots> free_{};
  int freeCount_ = 0;
};

}  // namespace tolvane
