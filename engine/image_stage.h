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
// Staged rows start as the record's new picture: rows 1..50 the prefill, the rest black.
class ImageStage {
 public:
  static constexpr int kSlots = 128;
  static constexpr int kRows = 99;  // picture rows that take lines
  static constexpr int kRowBytes = 3 * kObjectImageSize;

  ImageStage();

  // A slot for record k, whose picture was prefilled with fill; false when every slot is taken.
  bool take(int k, FillColour fill);
  // Frees record k's slot, if it has one; its staged rows are dropped.
  void release(int k);
  bool holds(int k) const { return slotOf_[static_cast<std::size_t>(k)] >= 0; }
  // Row r (1..kRows) of record k, which must hold a slot; column c at 3 (c - 1).
  std::uint8_t* row(int k, int r);
  // Copies the staged rows of columns first..last (1..100) into the picture of record k.
  void publish(int k, ObjectRecord& rec, int firstColumn, int lastColumn) const;
  // Frees every slot.
  void clear();

 private:
  struct Slot {
    std::array<std::uint8_t, kRows * kRowBytes> rows;
    int ready = 0;  // rows 1..ready are prefilled (and possibly written)
    FillColour fill;
  };
  // A prefilled row for the fill last asked for: rows are prefilled by copying it.
  void makeBlankRow(FillColour fill);

  std::unique_ptr<Slot[]> slots_;
  std::array<std::uint8_t, kRowBytes> blankRow_{};
  FillColour blankRowFill_{};
  bool blankRowValid_ = false;
  std::array<std::int16_t, kObjectTableSize + 1> slotOf_{};
  std::array<std::int16_t, kSlots> free_{};
  int freeCount_ = 0;
};

}  // namespace tolvane
