#include "service/jpeg_picture.h"

#include <turbojpeg.h>

#include <memory>

namespace tolvane {

namespace {

struct TjHandleClose {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjHandleClose>;

}  // namespace

std::optional<Rgb24Canvas> decodeJpeg(std::span<const std::byte> bytes) {
  if (bytes.empty()) return std::nullopt;
  TjHandle handle(tjInitDecompress());
  if (!handle) return std::nullopt;
  auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto size = static_cast<unsigned long>(bytes.size());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colourspace) != 0) {
    return std::nullopt;
  }
  if (width <= 0 || height <= 0 || width > kJpegMaxEdge || height > kJpegMaxEdge) return std::nullopt;
  Rgb24Canvas picture(width, height);
  // A truncated or damaged stream is a warning to libjpeg; a picture with grey bands is no picture.
  if (tjDecompress2(handle.get(), data, size, picture.data(), width, static_cast<int>(picture.stride()),
                    height, TJPF_RGB, TJFLAG_STOPONWARNING) != 0) {
    return std::nullopt;
  }
  return picture;
}

std::string encodeJpeg(const Rgb24Canvas& picture, int quality) {
  if (picture.width() <= 0 || picture.height() <= 0 || quality < 1 || quality > 100) return {};
  TjHandle handle(tjInitCompress());
  if (!handle) return {};
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  if (tjCompress2(handle.get(), picture.data(), picture.width(), static_cast<int>(picture.stride()),
                  picture.height(), TJPF_RGB, &out, &outSize, TJSAMP_420, quality, 0) != 0) {
    if (out != nullptr) tjFree(out);
    return {};
  }
  std::string bytes(reinterpret_cast<const char*>(out), outSize);
  tjFree(out);
  return bytes;
}

}  // namespace tolvane
