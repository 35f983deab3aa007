#include "app/sector_tables_refresh.h"

#include <mutex>
#include <utility>

#include "app/machine.h"
#include "engine/color_convert.h"

namespace tolvane {

namespace {

FillColour hsvFill(int32_t h, int32_t s, int32_t v) {
  const RgbValues rgb = HsvToRgb(h, s, v);
  return FillColour{static_cast<uint8_t>(rgb.r), static_cast<uint8_t>(rgb.g), static_cast<uint8_t>(rgb.b)};
}

}  // namespace

std::vector<BadSectorLine> refreshSectorTables(Machine& machine) {
  EngineState& engine = machine.engine();
  SectorTablesBuild build = buildSectorTables(machine.sorter(), engine.singleToneCamera, hsvFill);
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
