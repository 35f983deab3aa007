#include "engine/ejection_step.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tolvane {
namespace {

// Ejector j covers pixels [(j - 1) * 40, j * 40) on both sides.
constexpr int kZoneWidth = 40;
int pixelOf(int ejector) { return (ejector - 1) * kZoneWidth + kZoneWidth / 2; }

class RecordingValveOutput : public ValveOutput {
 public:
  void write(EjectionState& state) override { writeImage(state, ValveImage::of(state.ValveStates)); }
  void writeImage(EjectionState&, const ValveImage& image) override {
    std::vector<int> open;
    for (int m = 1; m <= kEjectorSlots; ++m) {
      if (image.isOpen(m)) open.push_back(m);
    }
    writes.push_back(open);
  }
  std::vector<std::vector<int>> writes;
};

class EjectionStepTest : public ::testing::Test {
 protected:
  EjectionStepTest() {
    for (int j = 1; j <= kEjectorSlots; ++j) {
      e.EjectorZones[j] = {(j - 1) * kZoneWidth, j * kZoneWidth, (j - 1) * kZoneWidth, j * kZoneWidth};
    }
    machine.Time = 3;
    machine.Delay = 0;
    machine.MaxTime = 80;
    sorter.ifAND = true;  // no condition enabled: every judged object is a reject
    e.DayIndex = 10;
  }

  // A closed object around the pixel, due at the given time.
  ObjectRecord& addObject(int camera, int pixel, std::int64_t dueAt, int mass = 50) {
    ObjectRecord& r = state->ObjectTable[++state->ObjectCount];
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.InUse = 1;
    r.Camera = camera;
    r.XMin = pixel - 2;
    r.XMax = pixel + 3;  // centre = pixel
    r.Mass = mass;
    r.DueAt = clockLow32(dueAt);
    return r;
  }

  void step(std::int64_t now) { objectModeEjectionStep(*state, sorter, machine, now); }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  EjectionState& e = state->ejection;
  SorterSettings sorter;
  MachineSettings machine;
};

// The copy of the valve table agrees with it output by output, at the ends of its port groups too,
// and outputs outside the table are neither kept nor read as open.
TEST(ValveImageTest, TheCopyHoldsExactlyTheOpenOutputs) {
  const std::vector<int> rows[] = {{}, {1}, {8, 9}, {16, 17, 48, 49}, {95, 96}, {0, 97, 3}};
  for (const auto& open : rows) {
    ValveTable table;
    for (int m : open) table.open(m);
    ValveImage set;
    for (int m : open) set.set(m, true);
    const ValveImage copy = ValveImage::of(table);
    EXPECT_EQ(copy, set);
    for (int m = 0; m <= kEjectorSlots + 1; ++m) EXPECT_EQ(copy.isOpen(m), table.isOpen(m)) << m;
    EXPECT_EQ(copy.any(), std::any_of(open.begin(), open.end(), ValveTable::contains));
    ValveImage merged;
    merged.set(5, true);
    merged |= copy;
    for (int m = 1; m <= kEjectorSlots; ++m) EXPECT_EQ(merged.isOpen(m), m == 5 || table.isOpen(m)) << m;
    merged.set(5, false);
    EXPECT_FALSE(merged.isOpen(5));
  }
}

TEST_F(EjectionStepTest, ObjectFiresWhenDueTimeIsReachedExactlyAndValveClosesTimePlusOneLater) {
  ObjectRecord& r = addObject(0, pixelOf(5), 100);
  step(99);
  EXPECT_EQ(r.Done, 0);
  EXPECT_FALSE(e.ValveStates.isOpen(5));

  step(100);
  EXPECT_EQ(r.Done, 1);
  EXPECT_EQ(r.Ejector, 5);
  EXPECT_EQ(e.PulseEnd[5].load(), 103);
  for (std::int64_t now = 100; now <= 103; ++now) {
    step(now);
    EXPECT_TRUE(e.ValveStates.isOpen(5)) << now;
  }
  step(104);  // Time + 1 passes after firing
  EXPECT_FALSE(e.ValveStates.isOpen(5));
}

TEST_F(EjectionStepTest, OpenObjectsWaitUntilClosed) {
  ObjectRecord& r = addObject(0, pixelOf(5), 10);
  r.Open = 1;
  step(20);
  EXPECT_EQ(r.Done, 0);
  r.Open = 0;
  step(21);
  EXPECT_EQ(r.Done, 1);
  EXPECT_TRUE(e.ValveStates.isOpen(5));
}

TEST_F(EjectionStepTest, SecondRejectOnAnOpenValveLengthensThePulse) {
  addObject(0, pixelOf(7), 100);
  step(100);
  addObject(0, pixelOf(7), 102);
  step(102);
  EXPECT_EQ(e.PulseEnd[7].load(), 105);
  step(104);
  EXPECT_TRUE(e.ValveStates.isOpen(7));
  step(106);
  EXPECT_FALSE(e.ValveStates.isOpen(7));
}

TEST_F(EjectionStepTest, SmallObjectsAreMarkedDoneWithoutCountingOrFiring) {
  ObjectRecord& small = addObject(0, pixelOf(5), 0, 10);
  ObjectRecord& big = addObject(0, pixelOf(6), 0, 11);
  step(0);
  EXPECT_EQ(small.Done, 1);
  EXPECT_EQ(small.Ejector, 0);
  EXPECT_EQ(big.Done, 1);
  EXPECT_FALSE(e.ValveStates.isOpen(5));
  EXPECT_TRUE(e.ValveStates.isOpen(6));
  EXPECT_EQ(e.EngineCounters.seen(kSideA), 1);
  EXPECT_EQ(e.EngineCounters.rejected(kSideA), 1);
}

TEST_F(EjectionStepTest, CountersAreKeptPerSide) {
  sorter.ifAND = true;
  sorter.enMassa = true;
  sorter.ifMassa = 40;
  sorter.bMassa = true;
  addObject(0, pixelOf(3), 0, 50);  // A reject
  addObject(0, pixelOf(4), 0, 30);  // A accept
  addObject(1, pixelOf(5), 0, 30);  // B accept
  addObject(1, 5000, 0, 60);        // B, centre in no zone: seen only
  step(0);
  EXPECT_EQ(e.EngineCounters.values, (std::array<std::int32_t, 6>{2, 1, 1, 2, 1, 0}));
  EXPECT_EQ(state->ObjectCount, 0);
}

TEST_F(EjectionStepTest, ObjectOutsideEveryZoneIsSeenAndDoneButNotFired) {
  ObjectRecord& r = addObject(0, 40 * 96 + 100, 0);
  step(0);
  EXPECT_EQ(r.Done, 1);
  EXPECT_EQ(r.Ejector, 0);
  EXPECT_EQ(e.EngineCounters.seen(kSideA), 1);
  EXPECT_EQ(e.EngineCounters.rejected(kSideA) + e.EngineCounters.accepted(kSideA), 0);
}

TEST_F(EjectionStepTest, CandidateEjectorsRunFromEgaMinToEgbMaxForBothCameras) {
  machine.EGA_Min = 10;
  machine.EGA_Max = 20;
  machine.EGB_Min = 30;
  machine.EGB_Max = 40;
  ObjectRecord& belowA = addObject(0, pixelOf(9), 0);
  ObjectRecord& camera2InA = addObject(1, pixelOf(15), 0);  // outside B's own range, still fired
  ObjectRecord& camera1InB = addObject(0, pixelOf(35), 0);
  ObjectRecord& aboveB = addObject(1, pixelOf(41), 0);
  step(0);
  EXPECT_EQ(belowA.Ejector, 0);
  EXPECT_EQ(camera2InA.Ejector, 15);
  EXPECT_EQ(camera1InB.Ejector, 35);
  EXPECT_EQ(aboveB.Ejector, 0);
}

TEST_F(EjectionStepTest, WorkingRangesBeyondTheTableAreClamped) {
  machine.EGA_Min = -5;
  machine.EGB_Max = 500;
  ObjectRecord& r = addObject(1, pixelOf(96), 0);
  step(0);
  EXPECT_EQ(r.Ejector, 96);
  EXPECT_TRUE(e.ValveStates.isOpen(96));
}

TEST_F(EjectionStepTest, TripleShotFiresNeighboursOnlyInsideTheBarAndOnlyForCamera1) {
  sorter.enTripleShot = true;
  addObject(0, pixelOf(2), 0);
  step(0);
  EXPECT_EQ(e.PulseEnd[1].load(), 3);
  EXPECT_EQ(e.PulseEnd[2].load(), 3);
  EXPECT_EQ(e.PulseEnd[3].load(), 3);
  EXPECT_EQ(e.PulseEnd[4].load(), 0);
  EXPECT_TRUE(e.ValveStates.isOpen(2));
  EXPECT_TRUE(e.ValveStates.isOpen(3));
  EXPECT_FALSE(e.ValveStates.isOpen(1));  // object mode keeps output 1 closed

  addObject(0, pixelOf(48), 10);
  addObject(0, pixelOf(1), 10);
  step(10);
  EXPECT_EQ(e.PulseEnd[47].load(), 0);
  EXPECT_EQ(e.PulseEnd[48].load(), 13);
  EXPECT_EQ(e.PulseEnd[49].load(), 0);
  EXPECT_EQ(e.PulseEnd[1].load(), 13);
  EXPECT_EQ(e.PulseEnd[2].load(), 3);  // ejector 1 has no left neighbour and lends none to 2

  addObject(1, pixelOf(20), 20);
  step(20);
  EXPECT_EQ(e.PulseEnd[20].load(), 23);
  EXPECT_EQ(e.PulseEnd[19].load(), 0);
  EXPECT_EQ(e.PulseEnd[21].load(), 0);
}

TEST_F(EjectionStepTest, RejectsGoThroughTheOutputMapAndOnlyOutputsUpTo64AreCounted) {
  e.EjectorOutputMap[5] = 7;
  e.EjectorOutputMap[6] = 64;
  e.EjectorOutputMap[8] = 65;
  e.EjectorOutputMap[9] = 0;
  e.EjectorOutputMap[10] = 200;
  for (int j : {5, 6, 8, 9, 10}) addObject(1, pixelOf(j), 0);
  step(0);
  EXPECT_TRUE(e.ValveStates.isOpen(7));
  EXPECT_FALSE(e.ValveStates.isOpen(5));
  EXPECT_EQ(e.ShotsPerOutput.counts[6], 1);
  EXPECT_EQ(e.ShotsPerOutput.counts[63], 1);
  EXPECT_TRUE(e.ValveStates.isOpen(65));  // in the table, never wired
  int total = 0;
  for (std::int32_t c : e.ShotsPerOutput.counts) total += c;
  EXPECT_EQ(total, 2);
  EXPECT_EQ(e.EngineCounters.rejected(kSideB), 5);
}

TEST_F(EjectionStepTest, DailyStatsCountJudgedObjectsAtTheFileOffset) {
  sorter.ifAND = false;  // accept everything: still counted per day
  machine.EGB_Max = 96;
  e.DayIndex = 37;
  addObject(0, pixelOf(12), 0);
  addObject(1, pixelOf(96), 0);
  addObject(1, pixelOf(96), 0);
  step(0);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&e.DailyStats);
  auto at = [&](std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, bytes + offset, sizeof v);
    return v;
  };
  EXPECT_EQ(at((37 - 1) * 816 + 44 + 0 * 384 + 12 * 4), 1);
  EXPECT_EQ(at((37 - 1) * 816 + 44 + 1 * 384 + 96 * 4), 2);
  EXPECT_EQ(e.DailyStats.countOf(37, kSideB, 96), 2);
  EXPECT_EQ(dailyStatsOffset(37, 1, 96), (37 - 1) * 816 + 44 + 384 + 384u);
  // Nothing else in the whole file changed.
  int nonZero = 0;
  for (std::size_t off = 0; off < sizeof(DailyStatsTable); off += 4) nonZero += at(off) != 0;
  EXPECT_EQ(nonZero, 2);
}

TEST_F(EjectionStepTest, Day366SharesTheBlockOf29FebruaryAndOtherNumbersCountNothing) {
  for (int day : {0, -3, 367}) {
    e.DayIndex = day;
    addObject(0, pixelOf(48), 0);
    step(0);
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(&e.DailyStats);
  for (std::size_t i = 0; i < sizeof(DailyStatsTable); ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(e.EngineCounters.rejected(kSideA), 3);

  e.DayIndex = 366;
  addObject(1, pixelOf(7), 0);
  step(0);
  EXPECT_EQ(e.DailyStats.countOf(60, kSideB, 7), 1);
  EXPECT_EQ(e.DailyStats.countOf(366, kSideB, 7), 1);
  EXPECT_EQ(e.DailyStats.day(366), e.DailyStats.day(60));
  EXPECT_EQ(e.DailyStats.day(0), nullptr);
}

TEST_F(EjectionStepTest, ExpiryMarksRecordsOlderThanMaxTimeEvenWhileOpen) {
  ObjectRecord& r = addObject(0, pixelOf(5), 100);
  r.Open = 1;
  step(180);  // 100 + 80 is not < 180
  EXPECT_EQ(r.Done, 0);
  EXPECT_EQ(state->ObjectCount, 1);
  step(181);
  EXPECT_EQ(r.Done, 1);
  EXPECT_EQ(state->ObjectCount, 0);
  EXPECT_FALSE(e.ValveStates.isOpen(5));
}

TEST_F(EjectionStepTest, TrimmingDropsOnlyTrailingDoneRecords) {
  ObjectRecord& first = addObject(0, pixelOf(5), 50);
  addObject(0, pixelOf(6), 0);
  ObjectRecord& third = addObject(0, pixelOf(7), 50);
  addObject(0, pixelOf(8), 0);
  addObject(0, pixelOf(9), 0);
  step(0);  // records 2, 4 and 5 are fired and done
  EXPECT_EQ(state->ObjectCount, 3);
  third.Done = 1;
  step(1);
  EXPECT_EQ(state->ObjectCount, 1);
  first.Done = 1;
  step(2);
  EXPECT_EQ(state->ObjectCount, 0);
}

TEST_F(EjectionStepTest, DueAndExpiryHoldAcrossThe32BitWrapOfRecordTimes) {
  const std::int64_t base = (std::int64_t{1} << 32) - 2;  // low 32 bits wrap between base and base + 5
  ObjectRecord& r = addObject(0, pixelOf(5), base + 5);
  step(base);
  EXPECT_EQ(r.Done, 0);
  step(base + 4);
  EXPECT_EQ(r.Done, 0);
  step(base + 5);
  EXPECT_EQ(r.Done, 1);
  EXPECT_TRUE(e.ValveStates.isOpen(5));

  ObjectRecord& late = addObject(0, pixelOf(6), base + 10);
  late.Open = 1;
  step(base + 90);
  EXPECT_EQ(late.Done, 0);
  step(base + 91);
  EXPECT_EQ(late.Done, 1);
}

TEST_F(EjectionStepTest, ObjectModeKeepsOutput1ClosedOrMirrorsAnyOpenValve) {
  addObject(0, pixelOf(1), 0);
  step(0);
  EXPECT_FALSE(e.ValveStates.isOpen(1));
  EXPECT_EQ(e.PulseEnd[1].load(), 3);

  objectModeEjectionStep(*state, sorter, machine, 1, /*summaryOutput=*/true);
  EXPECT_FALSE(e.ValveStates.isOpen(1));  // nothing else open
  addObject(0, pixelOf(30), 1);
  objectModeEjectionStep(*state, sorter, machine, 1, true);
  EXPECT_TRUE(e.ValveStates.isOpen(1));
  EXPECT_TRUE(e.ValveStates.isOpen(30));
}

TEST_F(EjectionStepTest, ValveClosingSkipsOutputsOutsideTheTable) {
  e.EjectorOutputMap[3] = 0;
  e.EjectorOutputMap[4] = 97;
  e.ValveStates.open(3);
  step(50);
  EXPECT_TRUE(e.ValveStates.isOpen(3));  // no ejector drives output 3 any more
}

// The closing rule stated directly: every output an ejector with an ended pulse is mapped to closes.
struct ClosingCase {
  const char* what;
  std::vector<std::pair<int, int>> map;                // ejector -> output, besides the identity
  std::vector<std::pair<int, std::int64_t>> pulseEnd;  // ejector -> end, besides 0
  std::vector<std::pair<int, std::uint8_t>> valves;    // output -> flag before the step
};

TEST_F(EjectionStepTest, ValvesCloseExactlyWhereAnEjectorMappedToThemHasAnEndedPulse) {
  constexpr std::int64_t kNow = 500;
  const std::vector<ClosingCase> cases = {
      {"live pulse keeps its valve, ended one closes", {}, {{5, kNow}, {6, kNow - 1}}, {{5, 1}, {6, 1}}},
      {"two ejectors on one output: one ended pulse closes it",
       {{7, 9}},
       {{7, kNow - 1}, {9, kNow + 4}},
       {{9, 1}, {7, 1}}},
      {"two ejectors on one output, both live", {{7, 9}}, {{7, kNow + 1}, {9, kNow + 4}}, {{9, 1}}},
      {"valve no ejector drives stays open", {{12, 0}, {13, 97}}, {}, {{12, 1}, {13, 2}}},
      {"ejectors above 64 close outputs below",
       {{70, 3}, {3, 70}, {96, 1}},
       {{3, kNow + 9}},
       {{3, 1}, {70, 1}, {1, 1}}},
      {"any flag value counts as open", {}, {{40, kNow + 1}}, {{39, 0x80}, {40, 0xFF}, {41, 0x7F}}},
      {"outputs above 48 and up to 96", {}, {{95, kNow}}, {{49, 1}, {64, 1}, {65, 1}, {95, 1}, {96, 1}}},
      {"a pulse ending far in the past or the future",
       {},
       {{20, std::numeric_limits<std::int64_t>::min()}, {21, std::numeric_limits<std::int64_t>::max()}},
       {{20, 1}, {21, 1}}},
  };
  for (const ClosingCase& c : cases) {
    SCOPED_TRACE(c.what);
    auto fresh = std::make_unique<EngineState>();
    EjectionState& x = fresh->ejection;
    for (auto [j, m] : c.map) x.EjectorOutputMap[j] = m;
    for (auto [j, end] : c.pulseEnd) x.PulseEnd[j] = end;
    for (auto [m, flag] : c.valves) x.ValveStates.set(m, flag);

    std::array<std::uint8_t, kEjectorSlots + 1> expected{};
    for (int m = 1; m <= kEjectorSlots; ++m) expected[static_cast<std::size_t>(m)] = x.ValveStates.get(m);
    for (int j = 1; j <= kEjectorSlots; ++j) {
      const int m = x.EjectorOutputMap[j];
      if (ValveTable::contains(m) && x.PulseEnd[j].load() < kNow) expected[static_cast<std::size_t>(m)] = 0;
    }
    expected[1] = 0;  // the summary output, switched off here

    objectModeEjectionStep(*fresh, sorter, machine, kNow, /*summaryOutput=*/false);
    for (int m = 1; m <= kEjectorSlots; ++m)
      EXPECT_EQ(x.ValveStates.get(m), expected[static_cast<std::size_t>(m)]) << m;
  }
}

// Zone layouts the lookup must answer exactly as trying every candidate's zone does.
struct ZoneLayoutCase {
  const char* what;
  std::vector<std::pair<int, EjectorZone>> zones;  // besides the fixture's 40-pixel zones
  int first;
  int last;
};

TEST(ZoneLookupTest, HoldsThePixelExactlyWhereTheZonesDo) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<ZoneLayoutCase> cases = {
      {"side by side", {}, 1, 96},
      {"a narrower candidate range", {}, 5, 20},
      {"overlapping zones and a zone inside another", {{3, {70, 130, 0, 0}}, {4, {90, 100, 75, 76}}}, 1, 96},
      {"empty and inverted zones hold nothing", {{7, {300, 300, 500, 400}}, {8, {0, 0, 0, 0}}}, 1, 96},
      {"zones reaching the ends of the number range",
       {{1, {kMin, -5, kMin, kMax}}, {96, {4000, kMax, 0, 1}}},
       1,
       96},
      {"all zones the same", {}, 0, 0},  // filled below
      {"no candidates", {}, 10, 9},
  };
  for (ZoneLayoutCase c : cases) {
    SCOPED_TRACE(c.what);
    NumberedTable<EjectorZone, kEjectorSlots> zones;
    for (int j = 1; j <= kEjectorSlots; ++j) zones[j] = {(j - 1) * 40, j * 40, (j - 1) * 40, j * 40};
    if (c.first == 0) {
      for (int j = 1; j <= kEjectorSlots; ++j) zones[j] = {100, 200, 150, 160};
      c.first = 1;
      c.last = kEjectorSlots;
    }
    for (auto [j, zone] : c.zones) zones[j] = zone;
    ZoneLookup lookup;
    lookup.update(zones, c.first, c.last);
    std::vector<std::int32_t> pixels = {kMin, kMin + 1, -6,   -5,   -1,   0,    1,        39,
                                        40,   41,       3839, 3840, 3999, 4000, kMax - 1, kMax};
    for (int j = 1; j <= kEjectorSlots; ++j) {
      for (int side : {kSideA, kSideB}) {
        for (std::int32_t p : {zones[j].start(side), zones[j].end(side)}) {
          pixels.push_back(p);
          if (p > kMin) pixels.push_back(p - 1);
        }
      }
    }
    for (int side : {kSideA, kSideB}) {
      for (std::int32_t p : pixels) {
        std::vector<int> expected;
        for (int j = c.first; j <= c.last; ++j) {
          if (zones[j].holds(side, p)) expected.push_back(j);
        }
        std::vector<int> got;
        lookup.holding(side, p).forEach([&](int j) { got.push_back(j); });
        EXPECT_EQ(got, expected) << "side " << side << " pixel " << p;
      }
    }
  }
}

TEST_F(EjectionStepTest, ZonesAndCandidatesChangedBetweenPassesAreUsedAtOnce) {
  addObject(0, pixelOf(5), 1);
  step(1);
  EXPECT_EQ(e.DailyStats.countOf(10, kSideA, 5), 1);

  e.EjectorZones[5] = {0, 0, 0, 0};
  e.EjectorZones[6].aStart = pixelOf(5) - 1;
  ObjectRecord& moved = addObject(0, pixelOf(5), 2);
  step(2);
  EXPECT_EQ(e.DailyStats.countOf(10, kSideA, 5), 1);
  EXPECT_EQ(e.DailyStats.countOf(10, kSideA, 6), 1);
  EXPECT_EQ(moved.Ejector, 6);

  machine.EGB_Max = 5;  // ejector 6 is no candidate any more
  ObjectRecord& none = addObject(0, pixelOf(5), 3);
  step(3);
  EXPECT_EQ(e.DailyStats.countOf(10, kSideA, 6), 1);
  EXPECT_EQ(none.Ejector, 0);
  EXPECT_EQ(none.Done, 1);
}

TEST_F(EjectionStepTest, ImmediateStepFiresClosedObjectsAtOnceWithoutTiming) {
  ObjectRecord& notDue = addObject(0, pixelOf(5), 1000);
  ObjectRecord& small = addObject(1, pixelOf(6), 1000, 5);
  e.EjectorOutputMap[8] = 70;  // not counted, no crash
  addObject(0, pixelOf(8), 1000);
  immediateEjectionStep(*state, sorter, machine);
  EXPECT_EQ(notDue.Done, 1);
  EXPECT_EQ(small.Done, 1);
  EXPECT_TRUE(e.ValveStates.isOpen(5));
  EXPECT_TRUE(e.ValveStates.isOpen(70));
  EXPECT_EQ(e.ShotsPerOutput.counts[4], 1);
  EXPECT_EQ(e.PulseEnd[5].load(), 0);
  EXPECT_EQ(e.DailyStats.countOf(10, kSideA, 5), 0);
  EXPECT_EQ(state->ObjectCount, 0);
}

TEST_F(EjectionStepTest, PassWithImmediateEjectionWritesTwiceAndTheObjectStepClosesAgain) {
  RecordingValveOutput out;
  addObject(0, pixelOf(5), 1000);
  runEjectionPass(*state, sorter, machine, 10, false, &out, {false, true});
  ASSERT_EQ(out.writes.size(), 2u);
  EXPECT_EQ(out.writes[0], std::vector<int>{5});
  EXPECT_TRUE(out.writes[1].empty());

  runEjectionPass(*state, sorter, machine, 11, false, &out);
  EXPECT_EQ(out.writes.size(), 3u);
}

// Line mode.

class LineModeTest : public EjectionStepTest {
 protected:
  LineModeTest() {
    sorter.enFast = true;
    sorter.ifFast = 10;
    machine.Delay = 5;
    machine.Time = 3;
  }
  void schedule(int camera, std::int64_t now, bool fineTimer = false) {
    scheduleLineMode(e, sorter, machine, camera, now, fineTimer);
  }
};

TEST_F(LineModeTest, ZoneMustExceedTheThreshold) {
  e.ZoneDefects[4] = 10;
  e.ZoneDefects[5] = 11;
  schedule(0, 100);
  EXPECT_EQ(e.LineModeOn[4].load(), 0);
  EXPECT_EQ(e.LineModeOff[4].load(), 0);
  EXPECT_EQ(e.ZoneDefects[4], 10);
  EXPECT_EQ(e.LineModeOn[5].load(), 105);
  EXPECT_EQ(e.LineModeOff[5].load(), 108);
  EXPECT_EQ(e.ZoneDefects[5], 0);
  EXPECT_EQ(e.EngineCounters.seen(kSideA), 1);
  EXPECT_EQ(e.EngineCounters.seen(kSideB), 0);
}

TEST_F(LineModeTest, ScheduledPulseKeepsItsStartAndIsExtended) {
  e.ZoneDefects[5] = 20;
  schedule(0, 100);
  e.ZoneDefects[5] = 20;
  schedule(0, 102);
  EXPECT_EQ(e.LineModeOn[5].load(), 105);
  EXPECT_EQ(e.LineModeOff[5].load(), 110);
  // Once the pulse is over, a new one starts afresh.
  e.ZoneDefects[5] = 20;
  schedule(0, 111);
  EXPECT_EQ(e.LineModeOn[5].load(), 116);
  EXPECT_EQ(e.LineModeOff[5].load(), 119);
}

TEST_F(LineModeTest, EachCameraSchedulesOnlyItsOwnWorkingRange) {
  machine.EGA_Min = 1;
  machine.EGA_Max = 10;
  machine.EGB_Min = 11;
  machine.EGB_Max = 20;
  e.ZoneDefects[5] = 50;
  e.ZoneDefects[15] = 50;
  schedule(1, 100);
  EXPECT_EQ(e.LineModeOff[5].load(), 0);
  EXPECT_EQ(e.LineModeOff[15].load(), 108);
  EXPECT_EQ(e.EngineCounters.seen(kSideB), 1);
  schedule(0, 100);
  EXPECT_EQ(e.LineModeOff[5].load(), 108);
}

TEST_F(LineModeTest, PixelsOfNoZoneAreNeverScheduled) {
  machine.EGA_Min = 0;
  e.ZoneDefects[0] = 1000;
  schedule(0, 100);
  EXPECT_EQ(e.EngineCounters.seen(kSideA), 0);
}

TEST_F(LineModeTest, TripleShotOnTheLineClockOnlyAndInsideTheBar) {
  sorter.enTripleShot = true;
  e.ZoneDefects[2] = 50;
  e.ZoneDefects[48] = 50;
  schedule(1, 100);  // both cameras widen in line mode
  for (int j : {1, 2, 3, 48}) EXPECT_EQ(e.LineModeOff[j].load(), 108) << j;
  EXPECT_EQ(e.LineModeOff[47].load(), 0);
  EXPECT_EQ(e.LineModeOff[4].load(), 0);

  e.ZoneDefects[20] = 50;
  schedule(0, 200, /*fineTimer=*/true);
  EXPECT_EQ(e.LineModeOff[20].load(), 208);
  EXPECT_EQ(e.LineModeOff[19].load(), 0);
  EXPECT_EQ(e.LineModeOff[21].load(), 0);
}

TEST_F(LineModeTest, ValveOpensAfterOnAndClosesAfterOffAndOutput48StaysClosed) {
  e.ZoneDefects[5] = 50;
  e.ZoneDefects[48] = 50;
  schedule(0, 100);  // on 105, off 108
  lineModeEjectionStep(e, 105);
  EXPECT_FALSE(e.ValveStates.isOpen(5));
  lineModeEjectionStep(e, 106);
  EXPECT_TRUE(e.ValveStates.isOpen(5));
  EXPECT_FALSE(e.ValveStates.isOpen(48));
  lineModeEjectionStep(e, 108);
  EXPECT_TRUE(e.ValveStates.isOpen(5));
  lineModeEjectionStep(e, 109);
  EXPECT_FALSE(e.ValveStates.isOpen(5));
  // Both times passed: the valve stays closed on later passes.
  lineModeEjectionStep(e, 500);
  EXPECT_FALSE(e.ValveStates.isOpen(5));

  e.ZoneDefects[7] = 50;
  schedule(0, 600);
  lineModeEjectionStep(e, 606, /*summaryOutput=*/true);
  EXPECT_TRUE(e.ValveStates.isOpen(7));
  EXPECT_TRUE(e.ValveStates.isOpen(48));
}

TEST_F(LineModeTest, PassChoosesTheLineModeStepAndWritesOnce) {
  RecordingValveOutput out;
  e.ZoneDefects[9] = 50;
  schedule(0, 1);  // on 6, off 9
  for (std::int64_t now = 1; now <= 10; ++now) runEjectionPass(*state, sorter, machine, now, false, &out);
  ASSERT_EQ(out.writes.size(), 10u);
  for (std::int64_t now = 1; now <= 10; ++now) {
    const bool open = now >= 7 && now <= 9;
    EXPECT_EQ(out.writes[static_cast<std::size_t>(now - 1)], open ? std::vector<int>{9} : std::vector<int>{})
        << now;
  }
}

TEST_F(LineModeTest, BeginLineZeroesEveryZoneCount) {
  e.ZoneDefects.fill(3);
  beginLineModeLine(e);
  for (std::int32_t v : e.ZoneDefects) EXPECT_EQ(v, 0);
}

TEST_F(LineModeTest, Camera2SchedulesOnItsThreadWhileCamera1Passes) {
  class PassLog : public ValveOutput {
   public:
    explicit PassLog(std::vector<std::pair<std::int64_t, bool>>& log, const std::atomic<std::int64_t>& clock)
        : log_(log), clock_(clock) {}
    void write(EjectionState& state) override { writeImage(state, ValveImage::of(state.ValveStates)); }
    void writeImage(EjectionState&, const ValveImage& image) override {
      log_.emplace_back(clock_.load(), image.isOpen(10));
    }

   private:
    std::vector<std::pair<std::int64_t, bool>>& log_;
    const std::atomic<std::int64_t>& clock_;
  };
  machine.Delay = 2;
  machine.Time = 5;
  std::atomic<std::int64_t> camera1Lines{0};
  std::vector<std::pair<std::int64_t, bool>> log;
  PassLog output(log, camera1Lines);
  std::int64_t scheduledAt = -1;

  std::thread camera2([&] {
    while (camera1Lines.load() < 100) std::this_thread::yield();
    std::lock_guard lock(state->engineLock);
    beginLineModeLine(e);
    e.ZoneDefects[10] = 50;
    scheduledAt = camera1Lines.load();
    scheduleLineMode(e, sorter, machine, 1, scheduledAt, false);
  });
  std::thread camera1([&] {
    for (int line = 1; line <= 400; ++line) {
      std::lock_guard lock(state->engineLock);
      camera1Lines.store(line);
      runEjectionPass(*state, sorter, machine, line, false, &output);
    }
  });
  camera1.join();
  camera2.join();
  ASSERT_EQ(log.size(), 400u);
  ASSERT_GE(scheduledAt, 100);
  for (const auto& [now, open] : log) {
    EXPECT_EQ(open, now >= scheduledAt + 3 && now <= scheduledAt + 7) << now << " scheduled " << scheduledAt;
  }
}

// The clock.

TEST(EjectionClockTest, LinesOrMilliseconds) {
  EXPECT_EQ(ejectionClock(false, 12345), 12345);
  const std::int64_t before = monotonicMillis();
  const std::int64_t ms = ejectionClock(true, 12345);
  EXPECT_GE(ms, before);
  EXPECT_LE(ms, monotonicMillis());
}

TEST_F(EjectionStepTest, RestartedLineClockDropsTheOldRunsTimes) {
  addObject(0, pixelOf(5), 5000);
  runEjectionPass(*state, sorter, machine, 5000, false, nullptr);
  EXPECT_EQ(e.PulseEnd[5].load(), 5003);
  // The valve is still open when the run stops without the stop action's close; a new run starts at 0.
  ObjectRecord& stale = addObject(0, pixelOf(6), 5001);
  runEjectionPass(*state, sorter, machine, 0, false, nullptr);
  EXPECT_EQ(e.PulseEnd[5].load(), 0);
  EXPECT_FALSE(e.ValveStates.isOpen(5));  // not held open until line 5003 of the new run
  EXPECT_EQ(stale.Done, 1);
  EXPECT_EQ(state->ObjectCount, 0);
}

TEST_F(EjectionStepTest, SwitchingTheTimerUnitDropsTimesOfTheOtherUnit) {
  sorter.enFast = true;
  e.ZoneDefects[5] = 50;
  machine.Delay = 0;
  scheduleLineMode(e, sorter, machine, 0, 1000000, true);  // milliseconds
  runEjectionPass(*state, sorter, machine, 1000001, true, nullptr);
  EXPECT_TRUE(e.ValveStates.isOpen(5));
  // Back on the line clock, far below: the millisecond off time would hold the valve open for ages.
  runEjectionPass(*state, sorter, machine, 1000, false, nullptr);
  runEjectionPass(*state, sorter, machine, 2000000, false, nullptr);
  EXPECT_FALSE(e.ValveStates.isOpen(5));
  EXPECT_EQ(e.LineModeOff[5].load(), 0);

  // Millisecond clock far ahead of old line times: nothing fires from them.
  e.ZoneDefects[6] = 50;
  scheduleLineMode(e, sorter, machine, 0, 10, false);  // on 10, off 13 on the line clock
  runEjectionPass(*state, sorter, machine, 500000, true, nullptr);
  EXPECT_FALSE(e.ValveStates.isOpen(6));
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// FineTimer switched while objects are in flight: a shot already fired closes at its converted time,
// an object not yet judged fires at its converted due time. Camera 1 runs at 0.5 ms a line.
TEST_F(EjectionStepTest, SwitchingTheTimerUnitKeepsObjectsInFlightOnTheConvertedClock) {
  struct Case {
    const char* name;
    bool toMilliseconds;
    std::int64_t firedAt, oldLast, newNow;          // old clock: shot fired, last pass; new clock: first pass
    std::int64_t pendingDue;                        // old clock
    std::int64_t pulseClosesAfter, pendingFiresAt;  // new clock
  };
  // Lines -> ms: the pulse fired at line 100 ends at line 103, 1 line (0.5 ms, rounded to 1) after
  // the last pass at line 102; the pending object is due 40 lines (20 ms) later.
  // Ms -> lines: the pulse ends 2 ms (4 lines) after the last pass; the pending object 15 ms (30 lines).
  const std::vector<Case> cases = {
      {"lines to ms", true, 100, 102, 50'000, 142, 50'001, 50'020},
      {"ms to lines", false, 1'000'000, 1'000'001, 700, 1'000'016, 704, 730},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state = std::make_unique<EngineState>();
    EjectionState& ej = state->ejection;
    for (int j = 1; j <= kEjectorSlots; ++j) {
      ej.EjectorZones[j] = {(j - 1) * kZoneWidth, j * kZoneWidth, (j - 1) * kZoneWidth, j * kZoneWidth};
    }
    ej.MsPer1000Lines = 500;
    const bool oldFine = !c.toMilliseconds;
    addObject(0, pixelOf(5), c.firedAt);
    ObjectRecord& pending = addObject(0, pixelOf(9), c.pendingDue);
    machine.MaxTime = 1'000'000;
    runEjectionPass(*state, sorter, machine, c.firedAt, oldFine, nullptr);
    runEjectionPass(*state, sorter, machine, c.oldLast, oldFine, nullptr);
    ASSERT_TRUE(ej.ValveStates.isOpen(5));

    const bool newFine = c.toMilliseconds;
    runEjectionPass(*state, sorter, machine, c.newNow, newFine, nullptr);
    EXPECT_TRUE(ej.ValveStates.isOpen(5)) << "the shot was cut short";
    runEjectionPass(*state, sorter, machine, c.pulseClosesAfter, newFine, nullptr);
    EXPECT_TRUE(ej.ValveStates.isOpen(5));
    runEjectionPass(*state, sorter, machine, c.pulseClosesAfter + 1, newFine, nullptr);
    EXPECT_FALSE(ej.ValveStates.isOpen(5));

    runEjectionPass(*state, sorter, machine, c.pendingFiresAt - 1, newFine, nullptr);
    EXPECT_EQ(pending.Done, 0);
    EXPECT_FALSE(ej.ValveStates.isOpen(9));
    runEjectionPass(*state, sorter, machine, c.pendingFiresAt, newFine, nullptr);
    EXPECT_EQ(pending.Done, 1);
    EXPECT_TRUE(ej.ValveStates.isOpen(9));
    EXPECT_EQ(ej.PulseEnd[9].load(), c.pendingFiresAt + machine.Time);
    EXPECT_EQ(ej.EngineCounters.rejected(kSideA), 2);
  }
}

TEST_F(EjectionStepTest, SwitchingTheTimerUnitWithoutAMeasuredLinePeriodDropsTheOldTimes) {
  for (std::uint32_t period : {0u, 1'000'000u}) {  // not measured yet; the first mark of a run
    SCOPED_TRACE(period);
    state = std::make_unique<EngineState>();
    state->ejection.MsPer1000Lines = period;
    addObject(0, pixelOf(5), 100);
    addObject(0, pixelOf(9), 140);
    runEjectionPass(*state, sorter, machine, 100, false, nullptr);
    runEjectionPass(*state, sorter, machine, 50'000, true, nullptr);
    EXPECT_FALSE(state->ejection.ValveStates.isOpen(5));
    EXPECT_EQ(state->ObjectCount, 0);
  }
}

}  // namespace
}  // namespace tolvane
