#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "service/bitmap_util_core.h"

// JPEG pictures of the program (the preset pictures): encoded once when the program is built, decoded
// onto our canvas when shown.
namespace tolvane {

// Pictures beyond this edge length are refused rather than allocated.
inline constexpr int kJpegMaxEdge = 4096;

// The picture in bytes, or nullopt when they are not a complete JPEG picture of at most kJpegMaxEdge
// on each edge.
std::optional<Rgb24Canvas> decodeJpeg(std::span<const std::byte> bytes);

// The canvas as a JPEG picture (4:2:0, quality 1…100); empty when it cannot be encoded.
std::string encodeJpeg(const Rgb24Canvas& picture, int quality);

}  // namespace tolvane
