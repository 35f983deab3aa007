#include "ejection/operating_statistics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ejection_step.h"
#include "settings/side_files.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

// Ejector j covers pixels [(j - 1) * 40, j * 40) on both sides.
constexpr int kZoneWidth = 40;
int pixelOf(int ejector) { return (ejector - 1) * kZoneWidth + kZoneWidth / 2; }

// An engine whose ejection step can count objects, as camera 1's thread does.
class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() {
    for (int j = 1; j <= kEjectorSlots; ++j) {
      e.EjectorZones[j] = {(j - 1) * kZoneWidth, j * kZoneWidth, (j - 1) * kZoneWidth, j * kZoneWidth};
    }
    machine.Time = 3;
    machine.Delay = 0;
    machine.MaxTime = 80;
    sorter.ifAND = true;  // no condition enabled: every judged object is a reject
  }

  // One closed object in front of the ejector, judged at once by an ejection pass.
  void countOneObject(int camera, int ejector) {
    ObjectRecord& r = state->ObjectTable[++state->ObjectCount];
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.InUse = 1;
    r.Camera = camera;
    r.XMin = pixelOf(ejector) - 2;
    r.XMax = pixelOf(ejector) + 3;
    r.Mass = 50;
    r.DueAt = clockLow32(now);
    objectModeEjectionStep(*state, sorter, machine, now);
    now += 100;
  }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  EjectionState& e = state->ejection;
  SorterSettings sorter;
  MachineSettings machine;
  std::int64_t now = 1000;
};

std::vector<unsigned char> bytesOf(const DailyStatsTable& table) {
  const auto* p = reinterpret_cast<const unsigned char*>(&table);
  return {p, p + sizeof table};
}

struct EntryCase {
  const char* name;
  OperatingHour entry;
  int block;  // -1: nothing may change
  int hour;
  std::uint8_t runState;
  std::uint8_t program;
};

TEST_F(RecorderTest, ATickWritesExactlyTheHoursTwoBytesAndMovesTheDay) {
  const EntryCase cases[] = {
      {"sorting", {.day = 37, .hour = 9, .sorting = true, .activeProgram = 2}, 36, 9, 2, 3},
      {"stopped", {.day = 37, .hour = 14, .sorting = false, .activeProgram = 0}, 36, 14, 1, 1},
      {"first hour of 1 January", {.day = 1, .hour = 0, .sorting = true, .activeProgram = 9}, 0, 0, 2, 10},
      {"last hour of 30 December",
       {.day = 365, .hour = 23, .sorting = false, .activeProgram = 4},
       364,
       23,
       1,
       5},
      {"29 February", {.day = 60, .hour = 12, .sorting = true, .activeProgram = 1}, 59, 12, 2, 2},
      {"31 December shares 29 February",
       {.day = 366, .hour = 12, .sorting = true, .activeProgram = 1},
       59,
       12,
       2,
       2},
      {"program above 9", {.day = 37, .hour = 9, .sorting = true, .activeProgram = 10}, 36, 9, 2, 0},
      {"negative program", {.day = 37, .hour = 9, .sorting = false, .activeProgram = -1}, 36, 9, 1, 0},
      {"hour 24", {.day = 37, .hour = 24, .sorting = true, .activeProgram = 0}, -1, 0, 0, 0},
      {"negative hour", {.day = 37, .hour = -1, .sorting = true, .activeProgram = 0}, -1, 0, 0, 0},
      {"day 0", {.day = 0, .hour = 5, .sorting = true, .activeProgram = 0}, -1, 0, 0, 0},
      {"day 367", {.day = 367, .hour = 5, .sorting = true, .activeProgram = 0}, -1, 0, 0, 0},
  };
  for (const EntryCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto table = std::make_unique<EjectionState>();
    // Firing counts already in the record stay as they are.
    *table->DailyStats.count(37, kSideA, 5) = 77;
    std::vector<unsigned char> expected = bytesOf(table->DailyStats);
    if (c.block >= 0) {
      expected[static_cast<std::size_t>(c.block) * 816 + static_cast<std::size_t>(c.hour)] = c.runState;
      expected[static_cast<std::size_t>(c.block) * 816 + 24 + static_cast<std::size_t>(c.hour)] = c.program;
    }
    table->DayIndex = 200;
    recordOperatingHour(*table, c.entry);
    EXPECT_EQ(bytesOf(table->DailyStats), expected);
    EXPECT_EQ(table->DayIndex.load(), c.entry.day);
  }
}

// Sorting from 09:00 to 12:00, a tick every ten minutes from midnight, the support request at 14:05:
// hours 9, 10 and 11 read "2", the hours the recorder saw the switch off read "1", later hours "0".
TEST_F(RecorderTest, SortingFromNineToTwelveShowsTwoAtNineTenElevenAndOneAtTheOtherHoursSeen) {
  constexpr int kDay = 150;
  for (int minute = 0; minute <= 14 * 60 + 5; minute += 10) {
    const int hour = minute / 60;
    const bool sorting = minute >= 9 * 60 && minute < 12 * 60;
    recordOperatingHour(e, {.day = kDay, .hour = hour, .sorting = sorting, .activeProgram = 3});
  }
  const DailyStatsDay& today = *e.DailyStats.day(kDay);
  for (int h = 0; h < 24; ++h) {
    const std::uint8_t expected = h >= 9 && h <= 11 ? 2 : h <= 14 ? 1 : 0;
    EXPECT_EQ(today.runState[static_cast<std::size_t>(h)], expected) << "hour " << h;
    EXPECT_EQ(today.program[static_cast<std::size_t>(h)], h <= 14 ? 4 : 0) << "hour " << h;
  }
}

TEST_F(RecorderTest, TheLastTickOfAnHourStands) {
  recordOperatingHour(e, {.day = 40, .hour = 11, .sorting = true, .activeProgram = 0});
  recordOperatingHour(e, {.day = 40, .hour = 11, .sorting = false, .activeProgram = 5});
  EXPECT_EQ(e.DailyStats.day(40)->runState[11], 1);
  EXPECT_EQ(e.DailyStats.day(40)->program[11], 6);
}

TEST_F(RecorderTest, AfterMidnightTheEjectionStepCountsIntoTodaysRecord) {
  e.DayIndex = 100;  // set at start-up yesterday
  countOneObject(0, 5);
  recordOperatingHour(e, {.day = 101, .hour = 0, .sorting = true, .activeProgram = 0});
  countOneObject(0, 5);
  countOneObject(1, 7);
  EXPECT_EQ(e.DailyStats.countOf(100, kSideA, 5), 1);
  EXPECT_EQ(e.DailyStats.countOf(101, kSideA, 5), 1);
  EXPECT_EQ(e.DailyStats.countOf(101, kSideB, 7), 1);
  EXPECT_EQ(e.DailyStats.countOf(100, kSideB, 7), 0);
}

TEST_F(RecorderTest, OverTheYearsEndCountsGoToDay366sSharedRecordThenToFirstJanuary) {
  recordOperatingHour(e, {.day = 365, .hour = 23, .sorting = true, .activeProgram = 0});
  countOneObject(0, 3);
  recordOperatingHour(e, {.day = 366, .hour = 0, .sorting = true, .activeProgram = 0});
  countOneObject(0, 3);
  countOneObject(0, 3);
  recordOperatingHour(e, {.day = 1, .hour = 0, .sorting = true, .activeProgram = 0});
  countOneObject(0, 3);
  EXPECT_EQ(e.DailyStats.countOf(365, kSideA, 3), 1);
  EXPECT_EQ(e.DailyStats.countOf(60, kSideA, 3), 2);
  EXPECT_EQ(e.DailyStats.countOf(1, kSideA, 3), 1);
  EXPECT_EQ(e.DailyStats.day(60)->runState[0], 2);  // 31 December's first hour, in the shared record
}

TEST_F(RecorderTest, TheFilesAfterATickAreImagesOfTheTables) {
  test::TempDir dir;
  const auto programFile = dir / "TolvaneGrain";
  e.DayIndex = 20;
  countOneObject(0, 5);
  countOneObject(1, 44);
  const OperatingStatisticsWritten written = recordOperatingHourAndSave(
      *state, {.day = 21, .hour = 8, .sorting = true, .activeProgram = 6}, programFile);
  EXPECT_TRUE(written.stat);
  EXPECT_TRUE(written.shots);

  const std::string stat = test::readBytes(dir / "TolvaneGrain.stat");
  ASSERT_EQ(stat.size(), kStatFileSize);
  EXPECT_EQ(std::memcmp(stat.data(), &e.DailyStats, kStatFileSize), 0);
  EXPECT_EQ(static_cast<unsigned char>(stat[20 * 816 + 8]), 2);
  EXPECT_EQ(static_cast<unsigned char>(stat[20 * 816 + 24 + 8]), 7);
  const std::string shots = test::readBytes(dir / "TolvaneGrain.shots");
  ASSERT_EQ(shots.size(), kShotsFileSize);
  EXPECT_EQ(std::memcmp(shots.data(), &e.ShotsPerOutput, kShotsFileSize), 0);
  EXPECT_EQ(e.ShotsPerOutput.of(44), 1);

  // A file that was read back at the next start holds what the recorder saw.
  auto reread = std::make_unique<DailyStatsTable>();
  ASSERT_EQ(readSideFile(dir / "TolvaneGrain.stat", std::as_writable_bytes(std::span(reread.get(), 1))),
            kStatFileSize);
  EXPECT_EQ(reread->countOf(20, kSideB, 44), 1);
  EXPECT_EQ(e.DayIndex.load(), 21);
}

TEST_F(RecorderTest, FilesThatCannotBeWrittenLeaveTheRecordAndTheProgramRunning) {
  test::TempDir dir;
  struct Case {
    const char* name;
    std::filesystem::path programFile;
    bool stat;
    bool shots;
  };
  // A folder where ".stat" should be cannot be replaced by a file; a missing program folder takes both.
  std::filesystem::create_directory(dir / "TolvaneGrain.stat");
  const Case cases[] = {
      {"stat is a folder", dir / "TolvaneGrain", false, true},
      {"no program folder", dir / "missing" / "TolvaneGrain", false, false},
  };
  int hour = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OperatingStatisticsWritten written;
    EXPECT_NO_THROW(
        written = recordOperatingHourAndSave(
            *state, {.day = 90, .hour = hour, .sorting = true, .activeProgram = 0}, c.programFile));
    EXPECT_EQ(written.stat, c.stat);
    EXPECT_EQ(written.shots, c.shots);
    EXPECT_EQ(e.DailyStats.day(90)->runState[static_cast<std::size_t>(hour)], 2);
    EXPECT_EQ(e.DayIndex.load(), 90);
    ++hour;
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir / "TolvaneGrain.stat"));
}

TEST_F(RecorderTest, ReadOnlyFolderLeavesTheOldFilesWhole) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  test::TempDir dir;
  const auto programFile = dir / "TolvaneGrain";
  recordOperatingHourAndSave(*state, {.day = 5, .hour = 1, .sorting = false, .activeProgram = 0},
                             programFile);
  const std::string before = test::readBytes(dir / "TolvaneGrain.stat");
  ::chmod(dir.path().c_str(), 0555);
  const OperatingStatisticsWritten written = recordOperatingHourAndSave(
      *state, {.day = 5, .hour = 2, .sorting = true, .activeProgram = 0}, programFile);
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_FALSE(written.stat);
  EXPECT_FALSE(written.shots);
  EXPECT_EQ(test::readBytes(dir / "TolvaneGrain.stat"), before);
  EXPECT_EQ(e.DailyStats.day(5)->runState[2], 2);
}

// Camera 1's thread counts under the engine lock while the recorder ticks and writes its copies: every
// count lands in the day that was current when it was made, and the last file holds them all.
TEST_F(RecorderTest, TicksWhileCamera1CountsLoseNoCount) {
  test::TempDir dir;
  e.DayIndex = 10;
  constexpr int kObjects = 400;
  std::atomic<bool> go{false};
  std::thread camera1([&] {
    while (!go.load()) std::this_thread::yield();
    for (int n = 0; n < kObjects; ++n) {
      std::lock_guard lock(state->engineLock);
      countOneObject(0, 1 + n % 48);
    }
  });
  go = true;
  for (int tick = 0; tick < 5; ++tick) {
    recordOperatingHourAndSave(*state, {.day = 11, .hour = tick, .sorting = true, .activeProgram = 0},
                               dir / "TolvaneGrain");
  }
  camera1.join();
  const auto written = recordOperatingHourAndSave(
      *state, {.day = 11, .hour = 5, .sorting = true, .activeProgram = 0}, dir / "TolvaneGrain");
  ASSERT_TRUE(written.stat);
  auto file = std::make_unique<DailyStatsTable>();
  readSideFile(dir / "TolvaneGrain.stat", std::as_writable_bytes(std::span(file.get(), 1)));
  std::int64_t total = 0;
  for (int day : {10, 11}) {
    for (int j = 1; j <= 48; ++j) total += file->countOf(day, kSideA, j);
  }
  EXPECT_EQ(total, kObjects);
  std::int64_t shots = 0;
  for (int output = 1; output <= 48; ++output) shots += e.ShotsPerOutput.of(output);
  EXPECT_EQ(shots, kObjects);
}

}  // namespace
}  // namespace tolvane
