#include "engine/ejection_step.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/reject_decision.h"

namespace tolvane {

namespace {

constexpr std::int32_t kMinFiringMass = 10;  // objects of this mass or less are neither counted nor fired

// Counters saturate instead of overflowing.
void bump(std::int32_t& counter) {
  if (counter < std::numeric_limits<std::int32_t>::max()) ++counter;
}

int sideOf(const ObjectRecord& r) { return r.Camera == 1 ? kSideB : kSideA; }

std::int32_t centreOf(const ObjectRecord& r) {
  return static_cast<std::int32_t>(r.XMin + (static_cast<std::int64_t>(r.XMax) - r.XMin) / 2);
}

// Ejectors tried for an object: EGA_Min .. EGB_Max for both cameras, within the table.
int firstCandidate(const MachineSettings& m) { return std::max(1, m.EGA_Min); }
int lastCandidate(const MachineSettings& m) { return std::min(kEjectorSlots, m.EGB_Max); }

void fire(EjectionState& e, int ejector, std::int64_t pulseEnd) {
  e.PulseEnd[ejector].store(pulseEnd, std::memory_order_relaxed);
  e.ValveStates.open(e.EjectorOutputMap[ejector]);
}

bool awaitsJudging(const ObjectRecord& r) { return r.Open == 0 && r.InUse != 0 && r.Done == 0; }

void setSummaryOutput(ValveTable& valves, int output, bool summaryOutput) {
  valves.close(output);
  if (summaryOutput && valves.anyOpenUpTo(kWiredOutputs)) valves.open(output);
}

// Line mode: schedule or extend the pulse of one ejector.
void schedulePulse(EjectionState& e, int ejector, std::int64_t now, std::int64_t delay, std::int64_t time) {
  if (e.LineModeOff[ejector].load(std::memory_order_relaxed) < now) {
    e.LineModeOn[ejector].store(now + delay, std::memory_order_relaxed);
  }
  e.LineModeOff[ejector].store(now + delay + time, std::memory_order_relaxed);
}

// Counts the object as seen and judges it at every ejector whose zone holds its centre, counting
// each verdict; then act(ejector, side, reject) does what the caller's mode does with it.
template <class Act>
void judgeAtItsEjectors(EjectionState& e, ObjectRecord& r, const SorterSettings& sorter, Act act) {
  const int side = sideOf(r);
  const std::int32_t centre = centreOf(r);
  bump(e.EngineCounters.seen(side));
  e.zoneLookup.holding(side, centre).forEach([&](int j) {
    r.Ejector = j;
    const bool reject = IsReject(r, sorter);
    bump(reject ? e.EngineCounters.rejected(side) : e.EngineCounters.accepted(side));
    if (reject) e.ShotsPerOutput.count(e.EjectorOutputMap[j]);
    act(j, side, reject);
  });
}

// The ejectors a reject at ejector j fires: j, and on side A with the triple shot its neighbours.
template <class Fire>
void shotEjectors(int j, int side, const SorterSettings& sorter, Fire fire) {
  fire(j);
  if (side == kSideA && sorter.enTripleShot && j > 1 && j < kEjectorsPerSide) {
    fire(j - 1);
    fire(j + 1);
  }
}

// Before the first object of a pass is judged: the zones may have changed since the last pass.
void prepareJudging(EjectionState& e, const MachineSettings& machine, bool& prepared) {
  if (prepared) return;
  e.zoneLookup.update(e.EjectorZones, firstCandidate(machine), lastCandidate(machine));
  prepared = true;
}

// Object mode, one due object: counted and, for a reject, fired through the ejector of its centre.
void judgeAndFire(EngineState& state, ObjectRecord& r, const SorterSettings& sorter,
                  const MachineSettings& machine, std::int64_t now, int day) {
  if (r.Mass <= kMinFiringMass) return;  // neither counted nor fired
  EjectionState& e = state.ejection;
  judgeAtItsEjectors(e, r, sorter, [&](int j, int side, bool reject) {
    if (std::int32_t* daily = e.DailyStats.count(day, side, j)) bump(*daily);
    if (!reject) return;
    const std::int64_t pulseEnd = now + machine.Time;
    shotEjectors(j, side, sorter, [&](int ejector) { fire(e, ejector, pulseEnd); });
  });
}

// Ejectors mapped to output m, found four map entries at a time.
EjectorSet ejectorsOf(const EjectionState& e, int m) {
  const std::int32_t* map = e.EjectorOutputMap.items.data();
  EjectorSet bits;
#if defined(__SSE2__)
  const __m128i want = _mm_set1_epi32(m);
  for (int i = 0; i < kEjectorSlots; i += 4) {
    const __m128i got = _mm_loadu_si128(reinterpret_cast<const __m128i*>(map + i));
    const auto hit =
        static_cast<std::uint64_t>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(got, want))));
    if (i < 64) {
      bits.lo |= hit << i;
    } else {
      bits.hi |= hit << (i - 64);
    }
  }
#else
  for (int j = 1; j <= kEjectorSlots; ++j) {
    if (map[j - 1] == m) bits.insert(j);
  }
#endif
  return bits;
}

bool anyPulseEnded(const EjectionState& e, std::uint64_t bits, int firstEjector, std::int64_t now) {
  for (; bits != 0; bits &= bits - 1) {
    if (e.PulseEnd[firstEjector + std::countr_zero(bits)].load(std::memory_order_relaxed) < now) return true;
  }
  return false;
}

// Every valve whose ejector's pulse has ended closes. Closing a closed valve changes nothing, so only
// the open valves are looked at, each with the ejectors mapped to it.
void closeEndedPulses(EjectionState& e, std::int64_t now) {
  for (int g = 0; g < ValveTable::kGroups; ++g) {
    for (unsigned open = e.ValveStates.groupBits(g); open != 0; open &= open - 1) {
      const int m = 8 * g + 1 + std::countr_zero(open);
      const EjectorSet ejectors = ejectorsOf(e, m);
      if (anyPulseEnded(e, ejectors.lo, 1, now) || anyPulseEnded(e, ejectors.hi, 65, now))
        e.ValveStates.close(m);
    }
  }
}

// The previous pass ran on another clock: its times mean nothing now, and neither do the pulses
// they hold open.
void dropOldClock(EngineState& state) {
  state.ejection.clearTiming();
  state.ejection.ValveStates.closeAll();
  for (int k = 1; k <= std::min(state.ObjectCount, kObjectTableSize); ++k) state.ObjectTable[k].Done = 1;
  trimDoneRecords(state);
}

// Above this (fewer than about 17 lines a second) the measured period is no line rate: the first
// measurement of a run counts from the clock's start.
constexpr std::uint32_t kLongestConvertiblePeriod = 60'000;

// Span of the old clock in units of the new one, rounded to the nearest unit (halves away from zero).
std::int64_t convertSpan(std::int64_t span, bool toMilliseconds, std::uint32_t msPer1000Lines) {
  const std::int64_t num = toMilliseconds ? span * msPer1000Lines : span * 1000;
  const std::int64_t den = toMilliseconds ? 1000 : msPer1000Lines;
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

// The clock changed unit (FineTimer switched) during a run. Shots already fired keep going and end
// at the converted time; objects not yet judged keep their place in the queue with their times
// converted. Line-mode schedules are dropped as before: they are renewed on every line. Without a
// measured line period nothing can be converted and the old clock's times are dropped.
void moveToNewClock(EngineState& state, std::int64_t now, bool toMilliseconds) {
  EjectionState& e = state.ejection;
  const std::uint32_t period = e.MsPer1000Lines.load(std::memory_order_relaxed);
  if (period == 0 || period > kLongestConvertiblePeriod) {
    dropOldClock(state);
    return;
  }
  const std::int64_t then = e.lastPassClock;
  const auto convert = [&](std::int64_t oldTime) {
    return now + convertSpan(oldTime - then, toMilliseconds, period);
  };

  std::array<std::int64_t, kEjectorSlots + 1> pulseEnd{};
  std::array<bool, kEjectorSlots + 1> inFlight{};
  for (int j = 1; j <= kEjectorSlots; ++j) {
    const auto at = static_cast<std::size_t>(j);
    const std::int64_t end = e.PulseEnd[j].load(std::memory_order_relaxed);
    // A pulse the last pass left open (it closes once its end is below the clock).
    inFlight[at] = end >= then && e.ValveStates.isOpen(e.EjectorOutputMap[j]);
    if (inFlight[at]) pulseEnd[at] = convert(end);
  }
  e.clearTiming();
  e.ValveStates.closeAll();
  for (int j = 1; j <= kEjectorSlots; ++j) {
    if (inFlight[static_cast<std::size_t>(j)]) fire(e, j, pulseEnd[static_cast<std::size_t>(j)]);
  }

  for (int k = 1; k <= std::min(state.ObjectCount, kObjectTableSize); ++k) {
    ObjectRecord& r = state.ObjectTable[k];
    if (r.Done != 0) continue;
    // Record times are the clock's low 32 bits: their distance from the last pass is exact.
    r.DueAt = clockLow32(convert(then - clockSince(then, r.DueAt)));
    r.CreatedAt = clockLow32(convert(then - clockSince(then, r.CreatedAt)));
  }
}

}  // namespace

void ZoneLookup::update(const NumberedTable<EjectorZone, kEjectorSlots>& zones, int first, int last) {
  if (built_ && first == first_ && last == last_ &&
      std::memcmp(zones.items.data(), zones_.items.data(), sizeof zones_.items) == 0)
    return;
  zones_.items = zones.items;
  first_ = first;
  last_ = last;
  build(kSideA);
  build(kSideB);
  built_ = true;
}

void ZoneLookup::build(int side) {
  Side& s = sides_[side == kSideB ? 1 : 0];
  s.cuts = 0;
  for (int j = first_; j <= last_; ++j) {
    s.cut[static_cast<std::size_t>(s.cuts++)] = zones_[j].start(side);
    s.cut[static_cast<std::size_t>(s.cuts++)] = zones_[j].end(side);
  }
  std::sort(s.cut.begin(), s.cut.begin() + s.cuts);
  s.cuts = static_cast<int>(std::unique(s.cut.begin(), s.cut.begin() + s.cuts) - s.cut.begin());
  // Every start and end is a cut, so whether a zone holds a pixel is the same across a stretch.
  s.held[0] = {};  // below every cut: below every start
  for (int c = 0; c < s.cuts; ++c) {
    EjectorSet held;
    for (int j = first_; j <= last_; ++j) {
      if (zones_[j].holds(side, s.cut[static_cast<std::size_t>(c)])) held.insert(j);
    }
    s.held[static_cast<std::size_t>(c + 1)] = held;
  }
}

std::int64_t monotonicMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int shotOutputsOf(EjectionState& e, ObjectRecord& r, const SorterSettings& sorter, const MachineSettings& machine,
                  std::array<std::int32_t, kEjectorSlots>& outputs) {
  if (r.Mass <= kMinFiringMass) return 0;
  bool prepared = false;
  prepareJudging(e, machine, prepared);
  const std::int32_t ejector = r.Ejector;  // judging sets it; this only looks ahead
  const int side = sideOf(r);
  int count = 0;
  e.zoneLookup.holding(side, centreOf(r)).forEach([&](int j) {
    r.Ejector = j;
    if (!IsReject(r, sorter)) return;
    shotEjectors(j, side, sorter, [&](int k) {
      const std::int32_t m = e.EjectorOutputMap[k];
      if (!ValveTable::contains(m) || std::find(outputs.begin(), outputs.begin() + count, m) != outputs.begin() + count)
        return;
      outputs[static_cast<std::size_t>(count++)] = m;
    });
  });
  r.Ejector = ejector;
  return count;
}

void trimDoneRecords(EngineState& state) {
  state.ObjectCount = std::min(state.ObjectCount, kObjectTableSize);
  while (state.ObjectCount >= 1 && state.ObjectTable[state.ObjectCount].Done != 0) --state.ObjectCount;
}

void objectModeEjectionStep(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine,
                            std::int64_t now, bool summaryOutput, ClosedObjectListener* closed) {
  EjectionState& e = state.ejection;
  const int count = std::min(state.ObjectCount, kObjectTableSize);
  const int day = e.DayIndex.load(std::memory_order_relaxed);
  bool prepared = false;

  // Judging, then expiry, in one visit per record: both act on that record alone (besides the
  // shared counters and valves), so this gives what a judging pass followed by an expiry pass gives.
  // A record already marked Done (1) would only be marked again: its due time is not even read.
  // Records lie 31 KB apart, each in pages of its own, so the flags of the next ones are fetched
  // ahead while this one is looked at.
  constexpr int kFetchAhead = 4;
  ObjectRecord* const table = state.ObjectTable.get();
  for (int k = 1; k <= std::min(count, kFetchAhead); ++k) __builtin_prefetch(&table[k].Open);
  for (int k = 1; k <= count; ++k) {
    if (k + kFetchAhead <= count) __builtin_prefetch(&table[k + kFetchAhead].Open);
    ObjectRecord& r = table[k];
    if (r.Done == 1) continue;
    const std::int32_t sinceDue = clockSince(now, r.DueAt);
    if (awaitsJudging(r)) {
      if (closed != nullptr) closed->closed(k, r, now - sinceDue, now);
      if (sinceDue >= 0) {
        prepareJudging(e, machine, prepared);
        judgeAndFire(state, r, sorter, machine, now, day);
        r.Done = 1;
      }
    }
    if (sinceDue > machine.MaxTime) r.Done = 1;  // expired
  }
  trimDoneRecords(state);

  closeEndedPulses(e, now);
  setSummaryOutput(e.ValveStates, 1, summaryOutput);
}

void lineModeEjectionStep(EjectionState& e, std::int64_t now, bool summaryOutput) {
  for (int i = 1; i <= kEjectorSlots; ++i) {
    const int m = e.EjectorOutputMap[i];
    if (!ValveTable::contains(m)) continue;
    // Opened when on, then closed when off: only the outcome is written, since a flag change is an
    // atomic read-modify-write and long-ended pulses would otherwise open and close every line.
    if (e.LineModeOff[i].load(std::memory_order_relaxed) < now) {
      e.ValveStates.close(m);
    } else if (e.LineModeOn[i].load(std::memory_order_relaxed) < now) {
      e.ValveStates.open(m);
    }
  }
  setSummaryOutput(e.ValveStates, kWiredOutputs, summaryOutput);
}

void immediateEjectionStep(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine) {
  EjectionState& e = state.ejection;
  bool prepared = false;
  const int count = std::min(state.ObjectCount, kObjectTableSize);
  for (int k = 1; k <= count; ++k) {
    ObjectRecord& r = state.ObjectTable[k];
    if (!awaitsJudging(r)) continue;
    if (r.Mass > kMinFiringMass) {
      prepareJudging(e, machine, prepared);
      judgeAtItsEjectors(e, r, sorter, [&](int j, int, bool reject) {
        if (reject) e.ValveStates.open(e.EjectorOutputMap[j]);
      });
    }
    r.Done = 1;
  }
  trimDoneRecords(state);
}

void beginLineModeLine(EjectionState& e) { e.ZoneDefects.fill(0); }

void scheduleLineMode(EjectionState& e, const SorterSettings& sorter, const MachineSettings& machine,
                      int camera, std::int64_t now, bool fineTimer) {
  const int side = camera == 1 ? kSideB : kSideA;
  const int first = std::max(1, side == kSideB ? machine.EGB_Min : machine.EGA_Min);
  const int last = std::min(kEjectorSlots, side == kSideB ? machine.EGB_Max : machine.EGA_Max);
  const bool triple = sorter.enTripleShot && !fineTimer;
  for (int j = first; j <= last; ++j) {
    if (e.ZoneDefects[static_cast<std::size_t>(j)] <= sorter.ifFast) continue;
    schedulePulse(e, j, now, machine.Delay, machine.Time);
    if (triple && j > 1 && j < kEjectorsPerSide) {
      schedulePulse(e, j - 1, now, machine.Delay, machine.Time);
      schedulePulse(e, j + 1, now, machine.Delay, machine.Time);
    }
    e.ZoneDefects[static_cast<std::size_t>(j)] = 0;
    bump(e.EngineCounters.seen(side));
  }
}

void runEjectionPass(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine,
                     std::int64_t now, bool fineTimer, ValveOutput* output, const EjectionConfig& config,
                     ClosedObjectListener* closed) {
  EjectionState& e = state.ejection;
  const std::int8_t clockUnit = fineTimer ? 1 : 0;
  if (e.lastPassFineTimer >= 0 && clockUnit != e.lastPassFineTimer) {
    moveToNewClock(state, now, fineTimer);
  } else if (e.lastPassFineTimer >= 0 && now < e.lastPassClock) {
    dropOldClock(state);  // a new run: the old run's objects and shots are over
  }
  e.lastPassFineTimer = clockUnit;
  e.lastPassClock = now;

  if (config.immediateEjection) {
    immediateEjectionStep(state, sorter, machine);
    if (output != nullptr) output->write(e);
  }
  if (sorter.enFast) {
    lineModeEjectionStep(e, now, config.summaryOutput);
  } else {
    objectModeEjectionStep(state, sorter, machine, now, config.summaryOutput, closed);
  }
  if (output != nullptr) output->write(e);
}

}  // namespace tolvane
