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
  slot.ready = 0;
  slot.fill = fill;
  return true;
}

void ImageStage::release(int k) {
  std::int16_t& s = slotOf_[static_cast<std::size_t>(k)];
  if (s < 0) return;
  free_[static_cast<std::size_t>(freeCount_++)] = s;
  s = -1;
}

std::uint8_t* ImageStage::row(int k, int r) {
  Slot& slot = slots_[static_cast<std::size_t>(slotOf_[static_cast<std::size_t>(k)])];
  // Rows are prefilled only when reached: most objects are far shorter than the picture.
  while (slot.ready < r) {
    std::uint8_t* p = slot.rows.data() + static_cast<std::size_t>(slot.ready) * kRowBytes;
    if (slot.ready < kPrefilledRows) {
      if (!blankRowValid_ || !(blankRowFill_ == slot.fill)) makeBlankRow(slot.fill);
      std::memcpy(p, blankRow_.data(), kRowBytes);
    } else {
      std::memset(p, 0, kRowBytes);
    }
    ++slot.ready;
  }
  return slot.rows.data() + static_cast<std::size_t>(r - 1) * kRowBytes;
}

void ImageStage::makeBlankRow(FillColour fill) {
  for (std::size_t i = 0; i < blankRow_.size(); i += 3) {
    blankRow_[i] = fill.r;
    blankRow_[i + 1] = fill.g;
    blankRow_[i + 2] = fill.b;
  }
  blankRowFill_ = fill;
  blankRowValid_ = true;
}

void ImageStage::publish(int k, ObjectRecord& rec, int firstColumn, int lastColumn) const {
  const std::int16_t s = slotOf_[static_cast<std::size_t>(k)];
  if (s < 0) return;
  const Slot& slot = slots_[static_cast<std::size_t>(s)];
  firstColumn = std::max(firstColumn, 1);
  lastColumn = std::min(lastColumn, kObjectImageSize);
  for (int c = firstColumn; c <= lastColumn; ++c) {
    std::uint8_t* to = imagePixel(rec, c, 1);
    const std::uint8_t* from = slot.rows.data() + 3 * (c - 1);
    // Four bytes per pixel, the fourth overwritten by the next pixel; the last pixel alone, so that
    // nothing past it is touched. The fourth byte read is still inside the rows.
    int r = 0;
    for (; r + 1 < slot.ready; ++r, to += 3, from += kRowBytes) {
      std::uint32_t v;
      std::memcpy(&v, from, 4);
      std::memcpy(to, &v, 4);
    }
    if (r < slot.ready) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
    }
  }
}

void ImageStage::clear() {
  slotOf_.fill(-1);
  for (int s = 0; s < kSlots; ++s) free_[static_cast<std::size_t>(s)] = static_cast<std::int16_t>(kSlots - 1 - s);
  freeCount_ = kSlots;
}

}  // namespace tolvane
