#include "service/dw_time.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace tolvane {
namespace {

TEST(DayNumber, LeapCalendarInEveryYear) {
  for (int year = 2000; year <= 2099; ++year) {
    EXPECT_EQ(DayNumber(year, 1, 1), 1) << year;
    EXPECT_EQ(DayNumber(year, 2, 28), 59) << year;
    EXPECT_EQ(DayNumber(year, 3, 1), 61) << year;
    EXPECT_EQ(DayNumber(year, 12, 31), 366) << year;
  }
  EXPECT_EQ(DayNumber(2024, 2, 29), 60);
  EXPECT_EQ(DayNumber(2011, 3, 7), 67);
  EXPECT_EQ(DayNumber(2012, 1, 5), 5);
  EXPECT_EQ(DayNumber(2023, 7, 1), 183);
}

TEST(DayNumber, EveryDateOfALeapYearGetsItsOwnNumber) {
  std::set<int> seen;
  std::chrono::sys_days day = std::chrono::sys_days{std::chrono::year{2024} / 1 / 1};
  for (int n = 1; n <= 366; ++n, day += std::chrono::days{1}) {
    EXPECT_EQ(DayNumber(std::chrono::year_month_day{day}), n);
    seen.insert(n);
  }
  EXPECT_EQ(seen.size(), 366u);
  // A common year skips 60 only.
  day = std::chrono::sys_days{std::chrono::year{2023} / 1 / 1};
  std::set<int> common;
  for (int n = 0; n < 365; ++n, day += std::chrono::days{1}) {
    common.insert(DayNumber(std::chrono::year_month_day{day}));
  }
  EXPECT_EQ(common.size(), 365u);
  EXPECT_EQ(common.count(60), 0u);
}

TEST(DayNumber, DatesThatDoNotExistGiveZero) {
  EXPECT_EQ(DayNumber(2023, 2, 29), 0);
  EXPECT_EQ(DayNumber(2024, 4, 31), 0);
  EXPECT_EQ(DayNumber(2024, 13, 1), 0);
  EXPECT_EQ(DayNumber(2024, 0, 1), 0);
  EXPECT_EQ(DayNumber(2024, 1, 0), 0);
  EXPECT_EQ(DayNumber(2024, -1, -1), 0);
  EXPECT_EQ(DayNumber(2024, 1, 300), 0);
}

TEST(DayNumber, TodayMatchesTheLocalDate) {
  const int today = DayNumber();
  EXPECT_GE(today, 1);
  EXPECT_LE(today, 366);
  // Run across midnight, the two readings may differ by one day; both must be today's or yesterday's.
  const int check = DayNumber(Today());
  EXPECT_TRUE(check == today || check == today + 1 || check == 1) << today << " " << check;
  const int hour = HourOfNow();
  EXPECT_GE(hour, 0);
  EXPECT_LE(hour, 23);
}

TEST(DateText, FixedFormat) {
  EXPECT_EQ(DateText(2012, 1, 5), "05.01.2012");
  EXPECT_EQ(DateText(2011, 3, 7), "07.03.2011");
  EXPECT_EQ(DateText(2099, 12, 31), "31.12.2099");
  EXPECT_EQ(DateText(std::chrono::year{987} / 10 / 11), "11.10.0987");
}

TEST(FileDateText, ModificationDateOfARealFile) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tolvane_dw_time_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "TolvaneGrain.ini";
  std::ofstream(file) << "[options]\r\n";
  std::tm noon{};
  noon.tm_year = 2011 - 1900;
  noon.tm_mon = 2;
  noon.tm_mday = 7;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const std::time_t stamp = std::mktime(&noon);
  const utimbuf times{stamp, stamp};
  ASSERT_EQ(::utime(file.c_str(), &times), 0);
  EXPECT_EQ(FileDateText(file), "07.03.2011");
  EXPECT_EQ(FileDateText(dir / "missing.ini"), "");
  EXPECT_EQ(FileDateText(dir), "");
  std::filesystem::remove_all(dir);
}

TEST(StatsDayBlock, EveryDayNumberHasItsOwnBlockButDayThreeSixtySix) {
  std::set<int> blocks;
  for (int d = 1; d <= 365; ++d) {
    const int block = StatsDayBlock(d);
    EXPECT_EQ(block, d - 1);
    blocks.insert(block);
  }
  EXPECT_EQ(blocks.size(), static_cast<std::size_t>(kStatsDayBlocks));
  // 31 December shares the block of 29 February, never a block beyond the file.
  EXPECT_EQ(StatsDayBlock(366), StatsDayBlock(DayNumber(2024, 2, 29)));
  EXPECT_EQ(StatsDayBlock(DayNumber(2023, 12, 31)), 59);
  EXPECT_EQ(StatsDayBlock(0), -1);
  EXPECT_EQ(StatsDayBlock(-5), -1);
  EXPECT_EQ(StatsDayBlock(367), -1);
}

}  // namespace
}  // namespace tolvane
