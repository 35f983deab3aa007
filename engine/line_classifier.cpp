#include "engine/line_classifier.h"

#include <algorithm>

#include "engine/engine_state.h"
#include "settings/machine_settings.h"

namespace tolvane {

namespace {

std::int32_t zoneBound(const EjectionState& ejection, int ejector, int side, bool end) {
  if (ejector < 1 || ejector > kEjectorSlots) {
    return 0;
  }
  const EjectorZone& zone = ejection.EjectorZones[ejector];
  return end ? zone.end(side) : zone.start(side);
}

std::uint8_t shade(std::uint8_t value, std::int32_t correction) {
  const std::int32_t v = static_cast<std::int32_t>(value) + correction;
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Written out per byte through plain pointers: GCC 12.2 at -O2 (ivopts) dropped the stores of the
// equivalent three-step loop over the two arrays.
void shadeRgb(CameraLineState& camera, std::size_t p) {
  std::uint8_t* px = camera.LineRGB.data() + 3 * p;
  const std::int32_t* correction = camera.ShadingRGB.data() + 3 * p;
  const std::uint8_t r = shade(px[0], correction[0]);
  const std::uint8_t g = shade(px[1], correction[1]);
  const std::uint8_t b = shade(px[2], correction[2]);
  px[0] = r;
  px[1] = g;
  px[2] = b;
}

// One walk over the working range; classOf(p) gives the class of pixel p after any shading.
template <typename ClassOf>
void walk(CameraLineState& camera, bool countZones, std::int32_t* zoneDefects, ClassOf classOf) {
  const int first = camera.WorkFirstPixel;
  const int last = camera.WorkLastPixel;
  std::uint8_t* classMap = camera.ClassMap.data();
  if (countZones && zoneDefects != nullptr) {
    const std::uint8_t* ejector = camera.PixelEjector.data();
    for (int p = first; p <= last; ++p) {
      const PixelClass c = classOf(static_cast<std::size_t>(p));
      classMap[p] = c;
      zoneDefects[ejector[p]] += c != 0 ? 1 : 0;
    }
    return;
  }
  for (int p = first; p <= last; ++p) {
    classMap[p] = classOf(static_cast<std::size_t>(p));
  }
}

}  // namespace

void setWorkingRange(CameraLineState& camera, const EjectionState& ejection, const MachineSettings& machine) {
  const int side = camera.CameraIndex == 1 ? kSideB : kSideA;
  const int firstEjector = side == kSideB ? machine.EGB_Min : machine.EGA_Min;
  const int lastEjector = side == kSideB ? machine.EGB_Max : machine.EGA_Max;
  camera.WorkFirstPixel = std::clamp(zoneBound(ejection, firstEjector, side, false), 0, kLineBufferPixels);
  camera.WorkLastPixel = std::clamp(zoneBound(ejection, lastEjector, side, true), 0, kLineBufferPixels);
}

void prepareClassifier(CameraLineState& camera, const EngineState& state, const SorterSettings& sorter,
                       const MachineSettings& machine) {
  camera.classifier.update(classifierInputs(state, sorter, camera.CameraIndex),
                           backgroundShortcuts(sorter, machine, camera.CameraIndex));
}

void classifyLine(CameraLineState& camera, LinePath path, bool shading, std::int32_t* zoneDefects) {
  PixelClassifier& classifier = camera.classifier;
  const bool singleTone = classifier.inputs().singleTone;
  const bool lineMode = path == LinePath::kLineMode;
  if (path == LinePath::kMonoObject || (lineMode && singleTone)) {
    std::uint8_t* mono = camera.LineMono.data();
    if (lineMode && shading) {
      // Line mode shades the colour line even where it classifies the grey one.
      for (int p = camera.WorkFirstPixel; p <= camera.WorkLastPixel; ++p) {
        shadeRgb(camera, static_cast<std::size_t>(p));
      }
    }
    if (path == LinePath::kMonoObject && shading) {
      const std::int8_t* correction = camera.ShadingMono.data();
      walk(camera, false, nullptr, [&](std::size_t p) {
        const std::uint8_t v = shade(mono[p], correction[p]);
        mono[p] = v;
        return classifier.plain(v, v, v);
      });
      return;
    }
    walk(camera, lineMode, zoneDefects, [&](std::size_t p) {
      const std::uint8_t v = mono[p];
      return classifier.plain(v, v, v);
    });
    return;
  }
  std::uint8_t* rgb = camera.LineRGB.data();
  walk(camera, lineMode, zoneDefects, [&](std::size_t p) {
    if (shading) {
      shadeRgb(camera, p);
    }
    return classifier.line(rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2]);
  });
}

void classifyLineDirect(CameraLineState& camera, LinePath path, bool shading, const ClassifierInputs& inputs,
                        const BackgroundShortcuts& shortcuts, std::int32_t* zoneDefects) {
  const bool lineMode = path == LinePath::kLineMode;
  for (int p = camera.WorkFirstPixel; p <= camera.WorkLastPixel; ++p) {
    const auto i = static_cast<std::size_t>(p);
    PixelClass c = kClassBackground;
    if (path == LinePath::kMonoObject) {
      if (shading) {
        camera.LineMono[i] = shade(camera.LineMono[i], camera.ShadingMono[i]);
      }
      const int v = camera.LineMono[i];
      c = ClassifyPixel(v, v, v, inputs);
    } else {
      if (shading) {
        shadeRgb(camera, i);
      }
      if (lineMode && inputs.singleTone) {
        const int v = camera.LineMono[i];
        c = ClassifyPixel(v, v, v, inputs);
      } else {
        const int r = camera.LineRGB[3 * i];
        const int g = camera.LineRGB[3 * i + 1];
        const int b = camera.LineRGB[3 * i + 2];
        const bool shortcut = !inputs.singleTone && isShortcutBackground(r, g, b, shortcuts);
        c = shortcut ? kClassBackground : ClassifyPixel(r, g, b, inputs);
      }
    }
    camera.ClassMap[i] = c;
    if (lineMode && zoneDefects != nullptr && c != 0) {
      zoneDefects[camera.PixelEjector[i]] += 1;
    }
  }
}

}  // namespace tolvane
