#include "app/sector_tables_refresh.h"

#include <mutex>
#include <utility>

#include "app/machine.h"
#include "engine/color_convert.h"

namespace tolvane {

std::vector<BadSectorLine> refreshSectorTables(Machine& machine) {
  EngineState& engine = machine.engine();
  SectorTablesBuild build = buildSectorTables(machine.sorter(), engine.singleToneCamera, hsvFillColour);
  {
    std::lock_guard lock(engine.engineLock);
    for (std::size_t camera = 0; camera < build.tables.size() && camera < engine.sectorTables.size();
         ++camera) {
      std::swap(engine.sectorTables[camera], build.tables[camera]);
    }
    if (build.BackgroundFill) engine.BackgroundFill = *build.BackgroundFill;
  }
  // The old tables are freed here, after the lock.
  return std::move(build.badLines);
}

}  // namespace tolvane
