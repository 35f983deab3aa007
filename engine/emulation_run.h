#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/bmp_image.h"
#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

inline constexpr int kEmulationLines = 199;    // picture rows 1..199
inline constexpr int kEmulationPixels = 1200;  // picture columns 1..1200 feed the lines

// Smallest picture the emulation can read: columns 1..1200 and rows 1..199.
inline constexpr int kEmulationMinWidth = kEmulationPixels + 1;
inline constexpr int kEmulationMinHeight = kEmulationLines + 1;

// One emulated line: picture row `row` (pixels 1..1200) into camera 1 and, mirrored, camera 2, black from
// pixel 1200 on, then both analysed on camera 1's clock. The caller holds the engine lock and counts the
// lines.
void emulationLine(EngineState& state, CameraLineState& camera1, CameraLineState& camera2,
                   const SorterSettings& sorter, const MachineSettings& machine, const BmpImage& picture,
                   int row);

// The emulation run: ObjectCount and both line counters start again (at 0 and 1); then for rows
// r = 1..199 of the picture camera 1 sees columns 1..1200 at line pixels 1..1200 and camera 2 sees
// them mirrored (column x at pixel 1201 - x); line pixels 1200 and above are 0 on both; the object
// analysis of the build runs for camera 1, then camera 2, and both counters advance. No ejection
// step runs: objects are built, closed, judged for samples and left in the table.
// processMessages is called after every row. Throws std::invalid_argument for a picture smaller
// than 1201 x 200 or cameras not given as camera 1, camera 2.
// Called on the main thread under the engine lock; meant for a stopped sorter.
void runEmulation(EngineState& state, CameraLineState& camera1, CameraLineState& camera2,
                  const SorterSettings& sorter, const MachineSettings& machine, const BmpImage& picture,
                  const std::function<void()>& processMessages = {});

// One line of the current objects dump: "k: " then Camera, Mass, Width1, Width2, XMax - XMin,
// LastLine - FirstLine, ImgRows and CreatedAt (unsigned), separated by tabs.
std::string currentObjectLine(int k, const ObjectRecord& record);

// The dump of records 1..ObjectCount, one line each, without line ends.
// Called under the engine lock.
std::vector<std::string> currentObjectsDump(const EngineState& state);

}  // namespace tolvane
