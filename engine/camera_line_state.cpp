#include "engine/camera_line_state.h"

#include <algorithm>

#include "engine/color_convert.h"
#include "engine/engine_state.h"
#include "settings/machine_settings.h"

namespace tolvane {

CameraLineState::CameraLineState(int cameraIndex) : CameraIndex(cameraIndex) {}

void CameraLineState::countLine() {
  std::int64_t next = LineCounter.load(std::memory_order_relaxed) + 1;
  if (next >= kLineCounterWrap) {
    next = 1;
  }
  LineCounter.store(next, std::memory_order_relaxed);
}

std::int32_t colourShading(int /*camera*/, int pixel) {
  const double d = pixel - 1280;
  return static_cast<std::int32_t>(roundHalfEven(d * d / 20000.0 - 35.0));
}

std::int8_t monoShading(int camera, int pixel) {
  const double d = pixel - 1024;
  const double value = camera == 1 ? d * d / 14900.0 - 35.0 : d * d / 24000.0;
  return static_cast<std::int8_t>(std::clamp(roundHalfEven(value), -128.0, 127.0));
}

void fillShadingTables(CameraLineState& camera) {
  camera.ShadingRGB.fill(0);
  camera.ShadingMono.fill(0);
  for (int p = 1; p <= kPixelsPerLine; ++p) {
    const std::int32_t c = colourShading(camera.CameraIndex, p);
    const auto at = static_cast<std::size_t>(p) * 3;
    camera.ShadingRGB[at] = c;
    camera.ShadingRGB[at + 1] = c;
    camera.ShadingRGB[at + 2] = c;
    camera.ShadingMono[static_cast<std::size_t>(p)] = monoShading(camera.CameraIndex, p);
  }
}

void buildPixelEjector(CameraLineState& camera, const EjectionState& ejection,
                       const MachineSettings& machine) {
  camera.PixelEjector.fill(0);
  const int side = camera.CameraIndex == 1 ? kSideB : kSideA;
  const int first = side == kSideB ? machine.EGB_Min : machine.EGA_Min;
  const int last = side == kSideB ? machine.EGB_Max : machine.EGA_Max;
  // Pixels 0 .. kPixelsPerLine - 1 take part, as they always have; pixel kPixelsPerLine keeps 0.
  for (int j = std::max(first, 1); j <= std::min(last, kEjectorSlots); ++j) {
    const EjectorZone& zone = ejection.EjectorZones[j];
    const int from = std::max(zone.start(side), 0);
    const int to = std::min(zone.end(side), kPixelsPerLine);
    for (int p = from; p < to; ++p) {
      camera.PixelEjector[static_cast<std::size_t>(p)] = static_cast<std::uint8_t>(j);
    }
  }
}

void prepareCameraForRun(CameraLineState& camera, EngineState& state, const MachineSettings& machine) {
  camera.ClassMap.fill(0);
  state.ejection.ZoneDefects.fill(0);
  fillShadingTables(camera);
  buildPixelEjector(camera, state.ejection, machine);
  if (!state.singleToneCamera) {
    camera.classifier.enableColourTable();
  }
}

}  // namespace tolvane
