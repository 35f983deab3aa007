#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// The preset pictures the program carries: JPEG pictures of our own colour-range and sorting-conditions
// pages showing each preset's values, made from the pages when the program is built
// (pictures/make_preset_pictures.cpp), so they always show the pages as they are.
namespace tolvane {

// The JPEG bytes of the picture of this name ("ZAWOD1" … "ZAWOD8", "USL1" … "USL3"); empty for any other
// name.
std::span<const std::byte> presetPictureBytes(std::string_view name);

}  // namespace tolvane
