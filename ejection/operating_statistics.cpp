#include "ejection/operating_statistics.h"

#include <memory>
#include <mutex>
#include <new>
#include <span>

#include "ejection/stop_side_files.h"
#include "settings/build_constants.h"

namespace tolvane {

void recordOperatingHour(EjectionState& ejection, const OperatingHour& entry) {
  DailyStatsDay* record = ejection.DailyStats.day(entry.day);
  if (record != nullptr && entry.hour >= 0 && entry.hour < 24) {
    const auto h = static_cast<std::size_t>(entry.hour);
    record->runState[h] = entry.sorting ? kRunStateSorting : kRunStateIdle;
    const bool knownProgram = entry.activeProgram >= 0 && entry.activeProgram < kProgramCount;
    record->program[h] = knownProgram ? static_cast<std::uint8_t>(entry.activeProgram + 1) : 0;
  }
  ejection.DayIndex.store(entry.day, std::memory_order_relaxed);
}

OperatingStatisticsWritten recordOperatingHourAndSave(EngineState& engine, const OperatingHour& entry,
                                                      const std::filesystem::path& programFile) noexcept {
  // The copy's buffer is taken before the lock: the cameras never wait for an allocation.
  std::unique_ptr<DailyStatsTable> stat(new (std::nothrow) DailyStatsTable);
  ShotsPerOutputTable shots;
  {
    std::lock_guard lock(engine.engineLock);
    recordOperatingHour(engine.ejection, entry);
    if (stat) {
      *stat = engine.ejection.DailyStats;
      shots = engine.ejection.ShotsPerOutput;
    }
  }
  if (!stat) return {};  // recorded in memory; the files follow at the next tick or at stop
  const StopSideFilesStatus written = writeStopSideFiles(programFile, std::as_bytes(std::span(&shots, 1)),
                                                         std::as_bytes(std::span(stat.get(), 1)));
  return {.stat = written.stat, .shots = written.shots};
}

}  // namespace tolvane
