#include "engine/line_dump.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/camera_line_state.h"

namespace tolvane {

void LineDump::enable() {
  if (drawing_.empty()) {
    drawing_ = BmpImage(kDumpWidth, kDumpRows);
    full_ = BmpImage(kDumpWidth, kDumpRows);
  }
}

void LineDump::addLine(const CameraLineState& camera, bool mono) {
  if (drawing_.empty()) {
    return;
  }
  const int pixels = std::min(kDumpPixels, drawing_.width());
  for (int p = 1; p <= pixels; ++p) {
    const auto i = static_cast<std::size_t>(p);
    BmpPixel colour;
    if (mono) {
      colour = {camera.LineMono[i], camera.LineMono[i], camera.LineMono[i]};
    } else {
      colour = {camera.LineRGB[3 * i], camera.LineRGB[3 * i + 1], camera.LineRGB[3 * i + 2]};
    }
    drawing_.set(p - 1, dumpRow_, colour);
  }
  ++dumpRow_;
  if (dumpRow_ > kDumpRows - 1) {
    dumpRow_ = 0;
    if (!waiting_.load(std::memory_order_acquire)) {
      std::swap(drawing_, full_);
      fullTime_ = std::time(nullptr);
      waiting_.store(true, std::memory_order_release);
    }
  }
}

std::string LineDump::fileName(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char text[32];
  std::snprintf(text, sizeof text, "x_%02d_%02d_%02d.bmp", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::optional<std::filesystem::path> LineDump::saveWaiting(const std::filesystem::path& folder) {
  if (!waiting_.load(std::memory_order_acquire)) {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> saved = folder / fileName(fullTime_);
  try {
    full_.save(*saved);
  } catch (const std::exception&) {
    saved.reset();
  }
  waiting_.store(false, std::memory_order_release);
  return saved;
}

}  // namespace tolvane
