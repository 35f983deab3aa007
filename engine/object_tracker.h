#pragma once

#include <cstdint>

#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "engine/object_record.h"
#include "engine/pixel_classifier.h"
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
// the build.
void analyseLine(EngineState& state, CameraLineState& camera, const SorterSettings& sorter,
                 const MachineSettings& machine, std::int64_t clock);

// The measures read column 0 and row 0 of the picture, which hold no image data, as outside: the
// colour the picture was prefilled with (BackgroundFill when the object was created), so that they
// count as product exactly when the picture's empty part does.

// Orientation from the second moments of the image pixels that are not background: fills
// BoxCentreX, HalfRows, Eks and Angle (and clamps ImgXMin, ImgXMax, ImgRows to 0..100).
// Pure function of the record and the inputs.
void momentStep(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside);

// Length, width and elongation from distances to the two axes through the mean point: fills
// Length, Width, LengthMean, WidthMean and Eks.
// Pure function of the record and the inputs.
void projectionStep(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside);

// momentStep then projectionStep, as at closing and for re-measuring a stored sample.
void shapeMeasures(ObjectRecord& record, const ClassifierInputs& inputs, FillColour outside);

// The same measures for a record whose image outside its box (columns ImgXMin..ImgXMax, rows
// 1..ImgRows) is as creation left it: prefill in rows 1..50, black below; column 0 and row 0 read as
// the prefill. Classes come from the camera's classifier, and only the box is classified. Used at
// closing; gives exactly what shapeMeasures gives with outside = prefill.
void liveShapeMeasures(ObjectRecord& record, PixelClassifier& classifier, FillColour prefill);

// The object's image as the sample picture shows it: rows 1..50, each drawn twice, columns 1..100;
// pixel (x, y) of the 100 x 100 picture at picture[3 * (y * 100 + x)], bytes R, G, B.
void renderSamplePicture(const ObjectRecord& record, std::uint8_t* picture);

}  // namespace tolvane
