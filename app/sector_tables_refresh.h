#pragma once

#include <vector>

#include "settings/sector_tables.h"

namespace tolvane {

class Machine;

// Builds both cameras' sector tables from the loaded program's sector lines and hands them to the
// engine: the camera threads classify the next line by them. Built outside the engine lock (only the
// main thread changes the lines), swapped in under it. Returns the lines left out.
std::vector<BadSectorLine> refreshSectorTables(Machine& machine);

}  // namespace tolvane
