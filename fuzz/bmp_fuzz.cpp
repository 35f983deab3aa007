// Any bytes as a picture file (a capture, the research picture, a sample picture): the reader either
// refuses it with BmpError or gives a picture that survives writing and reading back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/bmp_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  BmpImage image;
  try {
    image = BmpImage::decode(std::span<const std::uint8_t>(data, size));
  } catch (const BmpError&) {
    return 0;
  }
  if (image.empty() || image.width() > BmpImage::kMaxSide || image.height() > BmpImage::kMaxSide) {
    std::abort();
  }
  for (const BmpRowOrder order : {BmpRowOrder::BottomUp, BmpRowOrder::TopDown}) {
    const std::vector<std::uint8_t> file = image.encode(order);
    if (BmpImage::decode(file) != image) std::abort();
  }
  // Every row has the picture's width; corner pixels are reachable.
  if (image.row(image.height() - 1).size() != static_cast<std::size_t>(image.width()) * 3) std::abort();
  (void)image.at(image.width() - 1, image.height() - 1);
  return 0;
}
