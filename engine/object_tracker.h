#pragma once

#include <cstdint>

#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "engine/object_record.h"
#include "engine/pixel_classifier.h"
#include "engine/shape_measures.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// The analyses of one camera line. Each takes the camera's current line (LineMono or LineRGB),
// classifies its working range and updates the engine tables. now is the camera's LineCounter (the
// line being analysed); clock is the engine clock: camera 1's LineCounter, or milliseconds while
// FineTimer is set (see ejectionClock).
//
// All of them: called on camera threads under the engine lock. They allocate nothing.

// Single-tone object analysis: runs, objects, closing, measures when a shape condition needs
// them, sample judging, line dump.
void analyseMonoObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                           const MachineSettings& machine, std::int64_t clock);

// Colour object analysis (LineRGB; shortcuts; no 200-pixel counter reset; no matching tolerance;
// closing when fewer than two class pixels remain under the object; measures always).
void analyseColourObjectLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                             const MachineSettings& machine, std::int64_t clock);

// Line mode: classification with per-zone defect counts, then pulse scheduling.
void analyseLineModeLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                         const MachineSettings& machine, std::int64_t clock);

// The analysis the camera thread runs: line mode while enFast is set, else the object analysis of
// the build. Unlike analyseMonoObjectLine and analyseColourObjectLine, which always keep object
// pictures (research and emulation read them), it keeps them only for objects created while something will read them: the shape measures
// or an armed sample capture. Objects created before the capture was armed are never captured.
void analyseLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                 const MachineSettings& machine, std::int64_t clock);

// The object's image as the sample picture shows it: rows 1..50, each drawn twice, columns 1..100;
// pixel (x, y) of the 100 x 100 picture at picture[3 * (y * 100 + x)], bytes R, G, B.
void renderSamplePicture(const ObjectRecord& record, std::uint8_t* picture);

}  // namespace tolvane
