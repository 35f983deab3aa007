#include "engine/emulation_run.h"

#include <algorithm>
#include <stdexcept>

#include "engine/ejection_step.h"
#include "engine/object_tracker.h"

namespace tolvane {

void emulationLine(EngineState& state, CameraLineState& camera1, CameraLineState& camera2,
                   const SorterSettings& sorter, const MachineSettings& machine, const BmpImage& picture,
                   int r) {
  const bool mono = state.singleToneCamera;
  for (int x = 1; x <= kEmulationPixels; ++x) {
    const BmpPixel p = picture.at(x, r);
    const int mirrored = kEmulationPixels + 1 - x;
    if (mono) {
      camera1.LineMono[static_cast<std::size_t>(x)] = p.r;
      camera2.LineMono[static_cast<std::size_t>(mirrored)] = p.r;
    } else {
      std::uint8_t* a = camera1.rgb(x);
      std::uint8_t* b = camera2.rgb(mirrored);
      a[0] = b[0] = p.r;
      a[1] = b[1] = p.g;
      a[2] = b[2] = p.b;
    }
  }
  // From pixel 1200 on both lines are black; this also overwrites camera 2's copy of column 1.
  for (CameraLineState* camera : {&camera1, &camera2}) {
    if (mono) {
      std::fill(camera->LineMono.begin() + kEmulationPixels, camera->LineMono.end(), std::uint8_t{0});
    } else {
      std::fill(camera->LineRGB.begin() + 3 * kEmulationPixels, camera->LineRGB.end(), std::uint8_t{0});
    }
  }
  for (CameraLineState* camera : {&camera1, &camera2}) {
    const std::int64_t clock = ejectionClock(state.FineTimer.load(std::memory_order_relaxed),
                                             camera1.LineCounter.load(std::memory_order_relaxed));
    if (mono) {
      analyseMonoObjectLine(state, *camera, sorter, machine, clock);
    } else {
      analyseColourObjectLine(state, *camera, sorter, machine, clock);
    }
  }
}

void runEmulation(EngineState& state, CameraLineState& camera1, CameraLineState& camera2,
                  const SorterSettings& sorter, const MachineSettings& machine, const BmpImage& picture,
                  const std::function<void()>& processMessages) {
  if (picture.width() < kEmulationMinWidth || picture.height() < kEmulationMinHeight) {
    throw std::invalid_argument("the emulation picture must be at least " +
                                std::to_string(kEmulationMinWidth) + " x " +
                                std::to_string(kEmulationMinHeight) + " pixels, this one is " +
                                std::to_string(picture.width()) + " x " + std::to_string(picture.height()));
  }
  if (camera1.CameraIndex != 0 || camera2.CameraIndex != 1) {
    throw std::invalid_argument("the emulation needs camera 1 and camera 2, in this order");
  }
  state.ObjectCount = 0;
  state.objectIndex.clear();
  camera1.LineCounter.store(1, std::memory_order_relaxed);
  camera2.LineCounter.store(1, std::memory_order_relaxed);

  for (int line = 0; line < kEmulationLines; ++line) {
    const int r = static_cast<int>(camera1.LineCounter.load(std::memory_order_relaxed));
    emulationLine(state, camera1, camera2, sorter, machine, picture, r);
    camera1.countLine();
    camera2.countLine();
    if (processMessages) processMessages();
  }
}

std::string currentObjectLine(int k, const ObjectRecord& rec) {
  // Differences in 64 bits: a damaged record must not overflow them.
  const std::int64_t across = static_cast<std::int64_t>(rec.XMax) - rec.XMin;
  const std::int64_t along = static_cast<std::int64_t>(rec.LastLine) - rec.FirstLine;
  return std::to_string(k) + ": " + std::to_string(rec.Camera) + '\t' + std::to_string(rec.Mass) + '\t' +
         std::to_string(rec.Width1) + '\t' + std::to_string(rec.Width2) + '\t' + std::to_string(across) +
         '\t' + std::to_string(along) + '\t' + std::to_string(rec.ImgRows) + '\t' +
         std::to_string(static_cast<std::uint32_t>(rec.CreatedAt));
}

std::vector<std::string> currentObjectsDump(const EngineState& state) {
  std::vector<std::string> lines;
  const int count = std::clamp(state.ObjectCount, 0, kObjectTableSize);
  lines.reserve(static_cast<std::size_t>(count));
  for (int k = 1; k <= count; ++k) lines.push_back(currentObjectLine(k, state.ObjectTable[k]));
  return lines;
}

}  // namespace tolvane
