#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

// The valve table, the valve timing tables, the ejector zones and the firing counters.
//
// Threads: the ejection step (camera 1's thread), line-mode scheduling (the thread analysing a line) and
// the UI handlers that change zones, the output map or the counters all hold the engine lock. The few
// values that are also touched outside the lock are atomics: the valve table (valve lamps, the stop
// action, the ejector tests), the 64-bit timing values (read and written whole), `DayIndex` and the
// output flags.
namespace tolvane {

inline constexpr int kEjectorSlots = 96;    // ejector and output numbers 1..96
inline constexpr int kWiredOutputs = 48;    // outputs that reach the board
inline constexpr int kCountedOutputs = 64;  // outputs with a lifetime shot counter
inline constexpr int kStatDays = 365;       // day blocks of the statistics file
inline constexpr int kSideA = 0;            // camera 1
inline constexpr int kSideB = 1;            // camera 2

// A table addressed by number 1..N, as the ejector and output numbers are.
template <typename T, int N>
struct NumberedTable {
  std::array<T, N> items{};

  static constexpr bool contains(int n) { return n >= 1 && n <= N; }
  constexpr T& operator[](int n) { return items[static_cast<std::size_t>(n - 1)]; }
  constexpr const T& operator[](int n) const { return items[static_cast<std::size_t>(n - 1)]; }
};

// 96 byte flags by output number: 0 closed, any other value open. Outputs outside 1..96 are ignored on
// writing and read as closed, so a damaged output map cannot write beside the table.
// The flags are kept eight to a word, output 1 in the lowest byte, so that a group of eight outputs
// (a board port) or the open valves are read in one load. A flag changes by compare-and-swap, so
// writers of neighbouring outputs on other threads never undo each other.
class ValveTable {
 public:
  static constexpr int kGroups = kEjectorSlots / 8;

  void set(int output, std::uint8_t value) {
    if (!contains(output)) return;
    std::atomic<std::uint64_t>& word = words_[wordOf(output)];
    const unsigned shift = shiftOf(output);
    const std::uint64_t mask = std::uint64_t{0xFF} << shift;
    const std::uint64_t bits = std::uint64_t{value} << shift;
    std::uint64_t old = word.load(std::memory_order_relaxed);
    while ((old & mask) != bits &&
           !word.compare_exchange_weak(old, (old & ~mask) | bits, std::memory_order_relaxed)) {
    }
  }
  void open(int output) { set(output, 1); }
  void close(int output) { set(output, 0); }
  std::uint8_t get(int output) const {
    return contains(output) ? static_cast<std::uint8_t>(
                                  words_[wordOf(output)].load(std::memory_order_relaxed) >> shiftOf(output))
                            : 0;
  }
  bool isOpen(int output) const { return get(output) != 0; }
  void closeAll() {
    for (auto& w : words_) w.store(0, std::memory_order_relaxed);
  }
  static constexpr bool contains(int output) { return output >= 1 && output <= kEjectorSlots; }

  // Outputs 8g + 1 .. 8g + 8 of group g (0 .. kGroups - 1): bit n set when output 8g + 1 + n is open.
  std::uint8_t groupBits(int group) const {
    return openBits(words_[static_cast<std::size_t>(group)].load(std::memory_order_relaxed));
  }
  // Whether any output of group g is open.
  bool anyOpenIn(int group) const {
    return words_[static_cast<std::size_t>(group)].load(std::memory_order_relaxed) != 0;
  }
  // Whether any of outputs 1 .. last is open.
  bool anyOpenUpTo(int last) const {
    for (int g = 0; g < kGroups && 8 * g < last; ++g) {
      const int inGroup = last - 8 * g;
      if (inGroup >= 8 ? anyOpenIn(g) : (groupBits(g) & ((1U << inGroup) - 1U)) != 0) return true;
    }
    return false;
  }

  // Bit n of the result set when byte n of word is not zero.
  static constexpr std::uint8_t openBits(std::uint64_t word) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t high = (((word & kLow7) + kLow7) | word) & ~kLow7;  // top bit of each non-zero byte
    return static_cast<std::uint8_t>(((high >> 7) * 0x0102040810204080ULL) >> 56);
  }

 private:
  static std::size_t wordOf(int output) { return static_cast<std::size_t>(output - 1) >> 3; }
  static unsigned shiftOf(int output) { return 8U * (static_cast<unsigned>(output - 1) & 7U); }
  std::array<std::atomic<std::uint64_t>, kGroups> words_{};
};
static_assert(kEjectorSlots % 8 == 0);
static_assert(ValveTable::openBits(0) == 0 && ValveTable::openBits(~std::uint64_t{0}) == 0xFF);
static_assert(ValveTable::openBits(0x8000000000000100ULL) == 0x82);
static_assert(sizeof(ValveTable) == 96);

// Pixel range [start, end) of one ejector in the line of each camera.
struct EjectorZone {
  std::int32_t aStart = 0;
  std::int32_t aEnd = 0;
  std::int32_t bStart = 0;
  std::int32_t bEnd = 0;

  std::int32_t start(int side) const { return side == kSideB ? bStart : aStart; }
  std::int32_t end(int side) const { return side == kSideB ? bEnd : aEnd; }
  bool holds(int side, std::int32_t pixel) const { return start(side) <= pixel && pixel < end(side); }
};
static_assert(sizeof(EjectorZone) == 16);

// Objects seen, accepted and rejected per side.
struct EngineCounterTable {
  std::array<std::int32_t, 6> values{};  // seen A, accepted A, rejected A, seen B, accepted B, rejected B

  std::int32_t& seen(int side) { return values[slot(side, 0)]; }
  std::int32_t& accepted(int side) { return values[slot(side, 1)]; }
  std::int32_t& rejected(int side) { return values[slot(side, 2)]; }
  std::int32_t seen(int side) const { return values[slot(side, 0)]; }
  std::int32_t accepted(int side) const { return values[slot(side, 1)]; }
  std::int32_t rejected(int side) const { return values[slot(side, 2)]; }
  void clear() { values.fill(0); }

 private:
  static std::size_t slot(int side, int what) {
    return static_cast<std::size_t>((side == kSideB ? 3 : 0) + what);
  }
};

// Lifetime rejects per output 1..64; the image of the .shots file.
struct ShotsPerOutputTable {
  std::array<std::int32_t, kCountedOutputs> counts{};  // element = output - 1

  // Rejects through outputs above 64 (or a broken map entry) are not counted.
  void count(int output, std::int32_t shots = 1) {
    if (output >= 1 && output <= kCountedOutputs) counts[static_cast<std::size_t>(output - 1)] += shots;
  }
  std::int32_t of(int output) const {
    return output >= 1 && output <= kCountedOutputs ? counts[static_cast<std::size_t>(output - 1)] : 0;
  }
};
static_assert(sizeof(ShotsPerOutputTable) == 256, ".shots file is 256 bytes");

// One day of the .stat file.
struct DailyStatsDay {
  std::array<std::uint8_t, 24> runState{};  // per hour: 0 no entry, 1 not sorting, 2 sorting
  std::array<std::uint8_t, 24> program{};   // per hour: 0 no entry, else program index + 1
  std::array<std::int32_t, 2 * kEjectorSlots> ejectorCounts{};  // side A ejectors 1..96, then side B
};
static_assert(sizeof(DailyStatsDay) == 816);
static_assert(offsetof(DailyStatsDay, program) == 24);
static_assert(offsetof(DailyStatsDay, ejectorCounts) == 48);

// Byte offset in the .stat file of the count of ejector j on side s of day d.
constexpr std::size_t dailyStatsOffset(int day, int side, int ejector) {
  return static_cast<std::size_t>(day - 1) * 816 + 44 + static_cast<std::size_t>(side) * 384 +
         static_cast<std::size_t>(ejector) * 4;
}

// Judged objects per day, side and ejector; the image of the .stat file. Day numbers run 1..366 but the
// file holds 365 day blocks: day d uses block d - 1, and day 366 (31 December) shares block 59 with
// 29 February, as the statistics recorder does. Other day numbers have no block and count nothing.
struct DailyStatsTable {
  std::array<DailyStatsDay, kStatDays> days{};

  // Block of a day number, or -1.
  static constexpr int blockOf(int day) {
    return day >= 1 && day <= kStatDays ? day - 1 : day == 366 ? 59 : -1;
  }
  static constexpr bool contains(int day, int side, int ejector) {
    return blockOf(day) >= 0 && (side == kSideA || side == kSideB) && ejector >= 1 &&
           ejector <= kEjectorSlots;
  }
  // The counter, or nullptr when the day, side or ejector has no place in the file.
  std::int32_t* count(int day, int side, int ejector) {
    return contains(day, side, ejector) ? &days[block(day)].ejectorCounts[slot(side, ejector)] : nullptr;
  }
  std::int32_t countOf(int day, int side, int ejector) const {
    return contains(day, side, ejector) ? days[block(day)].ejectorCounts[slot(side, ejector)] : 0;
  }
  DailyStatsDay* day(int d) { return blockOf(d) >= 0 ? &days[block(d)] : nullptr; }
  const DailyStatsDay* day(int d) const { return blockOf(d) >= 0 ? &days[block(d)] : nullptr; }

 private:
  static std::size_t block(int day) { return static_cast<std::size_t>(blockOf(day)); }
  static std::size_t slot(int side, int ejector) {
    return static_cast<std::size_t>(side * kEjectorSlots + ejector - 1);
  }
};
static_assert(sizeof(DailyStatsTable) == 297840, ".stat file is 297840 bytes");

constexpr NumberedTable<std::int32_t, kEjectorSlots> identityOutputMap() {
  NumberedTable<std::int32_t, kEjectorSlots> map{};
  for (int j = 1; j <= kEjectorSlots; ++j) map[j] = j;
  return map;
}
static_assert(identityOutputMap()[1] == 1 && identityOutputMap()[kEjectorSlots] == kEjectorSlots);

// Why a valve write did nothing: shown as `BoardStatusText` by whoever displays it.
enum class BoardStatus : std::uint8_t { kOk, kBoardMissing };

using TimingTable = NumberedTable<std::atomic<std::int64_t>, kEjectorSlots>;

// A set of ejectors 1..96: ejector j is bit j - 1 of lo (1..64) or bit j - 65 of hi (65..96).
struct EjectorSet {
  std::uint64_t lo = 0;
  std::uint64_t hi = 0;

  void insert(int j) {
    if (j <= 64) {
      lo |= std::uint64_t{1} << (j - 1);
    } else {
      hi |= std::uint64_t{1} << (j - 65);
    }
  }
  // Visits the members in ascending order.
  template <typename Fn>
  void forEach(Fn fn) const {
    for (std::uint64_t b = lo; b != 0; b &= b - 1) fn(1 + std::countr_zero(b));
    for (std::uint64_t b = hi; b != 0; b &= b - 1) fn(65 + std::countr_zero(b));
  }
};

// Which of the ejectors first..last hold a pixel in their zone, without trying each: the zones'
// starts and ends cut the line into stretches, each held by a fixed set of ejectors, and a pixel's
// stretch is found by binary search. Built from a copy of the zones, and built again whenever the
// zones or the candidates differ from that copy.
class ZoneLookup {
 public:
  // Brings the lookup in step with the zones; cheap when they did not change.
  void update(const NumberedTable<EjectorZone, kEjectorSlots>& zones, int first, int last);
  // The ejectors j of first..last with zones[j].holds(side, pixel).
  EjectorSet holding(int side, std::int32_t pixel) const {
    const Side& s = sides_[side == kSideB ? 1 : 0];
    const std::int32_t* cuts = s.cut.data();
    const auto stretch = std::upper_bound(cuts, cuts + s.cuts, pixel) - cuts;
    return s.held[static_cast<std::size_t>(stretch)];
  }

 private:
  struct Side {
    int cuts = 0;
    std::array<std::int32_t, 2 * kEjectorSlots> cut{};     // ascending, distinct
    std::array<EjectorSet, 2 * kEjectorSlots + 1> held{};  // held[s]: pixels in [cut[s - 1], cut[s])
  };
  void build(int side);

  NumberedTable<EjectorZone, kEjectorSlots> zones_{};
  int first_ = 0;
  int last_ = -1;
  bool built_ = false;
  std::array<Side, 2> sides_{};
};

struct EjectionState {
  ValveTable ValveStates;
  // Object mode: clock value at which ejector j's valve closes.
  TimingTable PulseEnd;
  // Line mode: clock values at which ejector j's valve opens and closes.
  TimingTable LineModeOn;
  TimingTable LineModeOff;
  // Line mode: defect pixels per ejector zone on the current line. Element 0 collects the pixels of no
  // zone, so the per-pixel count needs no branch; it is never scheduled.
  std::array<std::int32_t, kEjectorSlots + 1> ZoneDefects{};
  NumberedTable<EjectorZone, kEjectorSlots> EjectorZones;
  NumberedTable<std::int32_t, kEjectorSlots> EjectorOutputMap = identityOutputMap();
  EngineCounterTable EngineCounters;
  ShotsPerOutputTable ShotsPerOutput;
  DailyStatsTable DailyStats;
  std::atomic<std::int32_t> DayIndex{0};
  // While set, valve writes leave the data ports alone (set by the stop action).
  std::atomic<bool> OutputsBlocked{false};
  std::atomic<BoardStatus> LastBoardStatus{BoardStatus::kOk};
  // The ejection step's view of EjectorZones; only the ejection step uses it.
  ZoneLookup zoneLookup;
  // Clock of the last ejection pass, to notice a clock that restarted or changed unit.
  std::int64_t lastPassClock = 0;
  std::int8_t lastPassFineTimer = -1;  // -1 before the first pass
  // Camera 1's milliseconds per 1000 lines, as last measured (0: not yet); converts times in flight
  // when the clock changes unit.
  std::atomic<std::uint32_t> MsPer1000Lines{0};

  // Zero the timing tables (program start; also wanted at the start of every run, since a new run
  // restarts the line clock).
  void clearTiming() {
    for (int j = 1; j <= kEjectorSlots; ++j) {
      PulseEnd[j].store(0, std::memory_order_relaxed);
      LineModeOn[j].store(0, std::memory_order_relaxed);
      LineModeOff[j].store(0, std::memory_order_relaxed);
    }
  }
};

}  // namespace tolvane
