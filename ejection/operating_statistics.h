#pragma once

#include <cstdint>
#include <filesystem>

#include "engine/ejection_state.h"
#include "engine/engine_state.h"

// The hourly recorder of the operating statistics: per hour of the day, whether the machine was sorting
// and with which program, kept in the day records of DailyStats (the ".stat" file).
namespace tolvane {

// What one tick of the recorder sees.
struct OperatingHour {
  int day = 0;            // leap-calendar day number, 1..366
  int hour = 0;           // 0..23
  bool sorting = false;   // the start switch is on
  int activeProgram = 0;  // 0..9
};

inline constexpr std::uint8_t kRunStateIdle = 1;
inline constexpr std::uint8_t kRunStateSorting = 2;

// Records the hour in the day's record (run state 2 sorting, 1 not; program index + 1) and then makes
// the day current for the firing counters: DayIndex := day, so after midnight the ejection step counts
// into today's record. Day 366 shares the record of day 60 (DailyStatsTable::blockOf).
// Bad input writes nothing outside the hour's two bytes: an hour outside 0..23 or a day without a
// record writes nothing (DayIndex still follows the day, so nothing is counted into a stale day); a
// program outside 0..9 is recorded as "no entry" (0) beside the run state.
// Caller holds the engine lock.
void recordOperatingHour(EjectionState& ejection, const OperatingHour& entry);

// Which side files a tick replaced.
struct OperatingStatisticsWritten {
  bool stat = false;
  bool shots = false;
};

// The recorder's tick on a running machine: records the hour and copies DailyStats and ShotsPerOutput
// under the engine lock, then, with the lock released, replaces ".stat" and ".shots" beside
// programFile crash-safely. So a power cut or a kill loses at most one tick's counts. A file that
// cannot be written is reported and nothing else happens. Never throws.
OperatingStatisticsWritten recordOperatingHourAndSave(EngineState& engine, const OperatingHour& entry,
                                                      const std::filesystem::path& programFile) noexcept;

}  // namespace tolvane
