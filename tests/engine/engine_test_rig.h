#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "engine/object_tracker.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane::testing_rig {

inline constexpr std::uint8_t kPlate = 230;    // background with the default ranges (200..255)
inline constexpr std::uint8_t kProduct = 100;  // colour 1 (0..150)
inline constexpr std::uint8_t kSpot = 170;     // colour 2 (150..200)

// 48 ejectors per side of 40 pixels (ejector j covers pixels 40(j-1)+1 .. 40j), room for 100 objects of
// any mass, and black read as background, so image rows and columns without data never count as object.
inline void useFortyPixelEjectors(EngineState& state, SorterSettings& sorter, MachineSettings& machine) {
  for (int j = 1; j <= kEjectorSlots; ++j) {
    EjectorZone& z = state.ejection.EjectorZones[j];
    z.aStart = z.bStart = 40 * (j - 1) + 1;
    z.aEnd = z.bEnd = 40 * j + 1;
  }
  machine.MaxObject = 100;
  machine.MinVes = 0;
  sorter.FonBlack = {10, 10};
}

// An engine with both cameras, 48 ejectors per side of 40 pixels each (ejector j covers pixels
// 40(j-1)+1 .. 40j), so the working range is pixels 1..1921.
struct Rig {
  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  std::unique_ptr<CameraLineState> cam[2] = {std::make_unique<CameraLineState>(0),
                                             std::make_unique<CameraLineState>(1)};
  SorterSettings sorter;
  MachineSettings machine;

  Rig() {
    useFortyPixelEjectors(*state, sorter, machine);
    state->BackgroundFill = {255, 255, 255};
  }

  CameraLineState& camera(int c) { return *cam[c]; }

  // A single-tone line of plate with the given pixels (inclusive) of a value.
  struct Span {
    int from;
    int to;
    std::uint8_t value = kProduct;
  };
  void monoLine(int c, const std::vector<Span>& spans) {
    CameraLineState& cs = camera(c);
    cs.LineMono.fill(kPlate);
    for (const Span& s : spans) {
      for (int p = s.from; p <= s.to; ++p) cs.LineMono[static_cast<std::size_t>(p)] = s.value;
    }
  }

  std::int64_t clock() const { return cam[0]->LineCounter.load(); }

  // Analyses the current line of camera c with the single-tone (or colour) analysis, then counts it.
  void feed(int c, bool mono = true) {
    if (mono) {
      analyseMonoObjectLine(*state, camera(c), sorter, machine, clock());
    } else {
      analyseColourObjectLine(*state, camera(c), sorter, machine, clock());
    }
    camera(c).countLine();
  }
  void feedMono(int c, const std::vector<Span>& spans) {
    monoLine(c, spans);
    feed(c);
  }
  // A plate line on camera c (nothing to see).
  void idle(int c, int lines = 1) {
    for (int i = 0; i < lines; ++i) feedMono(c, {});
  }

  ObjectRecord& rec(int k) { return state->ObjectTable[k]; }
  int count() const { return state->ObjectCount; }
};

}  // namespace tolvane::testing_rig
