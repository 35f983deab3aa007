#pragma once

#include <cstdint>

#include "engine/camera_line_state.h"
#include "engine/pixel_classifier.h"

namespace tolvane {

struct EngineState;
struct MachineSettings;

// The three ways a line is classified, one per analysis.
enum class LinePath : std::uint8_t {
  kMonoObject,    // single-tone object analysis: shaded LineMono, brightness test
  kColourObject,  // colour object analysis: shaded LineRGB, shortcuts, ClassifyPixel
  kLineMode,      // line mode: LineRGB shaded; colour build as kColourObject, single-tone on raw LineMono
};

// WorkFirstPixel and WorkLastPixel from the zones of the camera's first and last working ejector
// (uncalibrated zones give the single position 0). Kept inside the line buffers, 0..4096, so a
// damaged zone table cannot make the walk leave them; an ejector number outside 1..96 counts as
// a zone of 0..0.
// Called on camera threads under the engine lock.
void setWorkingRange(CameraLineState& camera, const EjectionState& ejection, const MachineSettings& machine);

// Hands the current settings and flags to the camera's classifier.
// Called on camera threads under the engine lock.
void prepareClassifier(CameraLineState& camera, const EngineState& state, const SorterSettings& sorter,
                       const MachineSettings& machine);

// Fills ClassMap over the working range (inclusive), applying shading when asked (written back into
// the line). In line mode every non-background pixel also counts into zoneDefects[PixelEjector[p]]
// (97 entries; element 0 takes pixels of no zone); zoneDefects may be null otherwise.
// Called on camera threads under the engine lock, after setWorkingRange and prepareClassifier.
void classifyLine(CameraLineState& camera, LinePath path, bool shading, std::int32_t* zoneDefects);

// The same through ClassifyPixel and the shortcut test directly, pixel by pixel: the reference the
// fast path is tested against.
void classifyLineDirect(CameraLineState& camera, LinePath path, bool shading, const ClassifierInputs& inputs,
                        const BackgroundShortcuts& shortcuts, std::int32_t* zoneDefects);

}  // namespace tolvane
