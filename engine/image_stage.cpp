#include "engine/image_stage.h"

#include <algorithm>
#include <cstring>

namespace tolvane {

namespace {

constexpr int kPrefilledRows = 50;

}  // namespace

ImageStage::ImageStage() : slots_(new Slot[kSlots]) { clear(); }

bool ImageStage::take(int k, FillColour fill) {
  release(k);
  if (freeCount_ == 0) return false;
  const std::int16_t s = free_[static_cast<std::size_t>(--freeCount_)];
  slotOf_[static_cast<std::size_t>(k)] = s;
  Slot& slot = slots_[static_cast<std::size_t>(s)];
  slot.usedRows = 0;
  slot.fill = fill;
  return true;
}

void ImageStage::release(int k) {
  std::int16_t& s = slotOf_[static_cast<std::size_t>(k)];
  if (s < 0) return;
  free_[static_cast<std::size_t>(freeCount_++)] = s;
  s = -1;
}

std::uint8_t* ImageStage::row(int k, int r, int first, int last) {
  Slot& slot = slots_[static_cast<std::size_t>(slotOf_[static_cast<std::size_t>(k)])];
  const auto at = static_cast<std::size_t>(r - 1);
  std::uint8_t* start = slot.rows.data() + at * kRowBytes;
  // Rows between the last used one and this one have no span yet.
  for (; slot.usedRows < r; ++slot.usedRows) {
    slot.first[static_cast<std::size_t>(slot.usedRows)] = 1;
    slot.last[static_cast<std::size_t>(slot.usedRows)] = 0;
  }
  std::uint8_t& spanFirst = slot.first[at];
  std::uint8_t& spanLast = slot.last[at];
  if (spanFirst > spanLast) {
    spanFirst = static_cast<std::uint8_t>(first);
    spanLast = static_cast<std::uint8_t>(last);
    return start;
  }
  // A second run of the same line: the columns between the spans keep the new picture's content.
  const FillColour blank = r <= kPrefilledRows ? slot.fill : FillColour{0, 0, 0};
  const auto fillColumns = [&](int from, int to) {
    for (int c = from; c <= to; ++c) {
      std::uint8_t* px = start + 3 * (c - 1);
      px[0] = blank.r;
      px[1] = blank.g;
      px[2] = blank.b;
    }
  };
  fillColumns(last + 1, spanFirst - 1);
  fillColumns(spanLast + 1, first - 1);
  spanFirst = static_cast<std::uint8_t>(std::min<int>(spanFirst, first));
  spanLast = static_cast<std::uint8_t>(std::max<int>(spanLast, last));
  return start;
}

void ImageStage::publish(int k, ObjectRecord& rec) const {
  const std::int16_t s = slotOf_[static_cast<std::size_t>(k)];
  if (s < 0) return;
  const Slot& slot = slots_[static_cast<std::size_t>(s)];
  for (int r = 1; r <= slot.usedRows; ++r) {
    const auto at = static_cast<std::size_t>(r - 1);
    const std::uint8_t* from = slot.rows.data() + at * kRowBytes + 3 * (slot.first[at] - 1);
    std::uint8_t* to = imagePixel(rec, slot.first[at], r);
    for (int c = slot.first[at]; c <= slot.last[at]; ++c, from += 3, to += kRowBytes) {
      std::uint16_t redGreen;
      std::memcpy(&redGreen, from, 2);
      std::memcpy(to, &redGreen, 2);
      to[2] = from[2];
    }
  }
}

void ImageStage::clear() {
  slotOf_.fill(-1);
  for (int s = 0; s < kSlots; ++s)
    free_[static_cast<std::size_t>(s)] = static_cast<std::int16_t>(kSlots - 1 - s);
  freeCount_ = kSlots;
}

}  // namespace tolvane
