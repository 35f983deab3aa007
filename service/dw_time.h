#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>

// Date helpers for the operating statistics and the operator's date texts. All dates are local time.
namespace tolvane {

// Leap-calendar day of the year, 1..366, the same for a calendar date in every year: 29 February is
// always 60, 1 March 61, 31 December 366 (day 60 simply does not occur in a common year).
// 0 for a date that does not exist (month 13, 31 April, 29 February 2023).
int DayNumber(int year, int month, int day);
int DayNumber(std::chrono::year_month_day date);
// Today's day number.
int DayNumber();

// The current hour, 0..23.
int HourOfNow();

std::chrono::year_month_day LocalDate(std::time_t time);
std::chrono::year_month_day Today();

// "dd.mm.yyyy", whatever the locale.
std::string DateText(int year, int month, int day);
std::string DateText(std::chrono::year_month_day date);

// DateText of the file's last modification; empty when there is no such file (or it is a folder).
std::string FileDateText(const std::filesystem::path& path);

// DailyStats holds 365 day blocks for 366 day numbers. Day numbers 1..365 use block d - 1; day 366
// (31 December) uses block 59, the block of 29 February, which three years in four leave unused.
// Any other number (e.g. the days before 1 January that a seven-day look-back reaches) gives -1:
// callers must read and write nothing for it.
inline constexpr int kStatsDayBlocks = 365;
int StatsDayBlock(int dayNumber);

}  // namespace tolvane
