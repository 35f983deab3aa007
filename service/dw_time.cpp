#include "service/dw_time.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>

namespace tolvane {

int DayNumber(int year, int month, int day) {
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (month < 1 || month > 12 || day < 1 || year < -32767 || year > 32767 || !date.ok()) {
    return 0;
  }
  // Days before the month in a leap year.
  static constexpr std::array<int, 12> kDaysBefore = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
  return kDaysBefore[static_cast<std::size_t>(month - 1)] + day;
}

int DayNumber(std::chrono::year_month_day date) {
  return DayNumber(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                   static_cast<int>(static_cast<unsigned>(date.day())));
}

int DayNumber() { return DayNumber(Today()); }

namespace {

std::tm localTm(std::time_t time) {
  std::tm parts{};
  localtime_r(&time, &parts);
  return parts;
}

}  // namespace

int HourOfNow() { return localTm(std::time(nullptr)).tm_hour; }

std::chrono::year_month_day LocalDate(std::time_t time) {
  const std::tm parts = localTm(time);
  return std::chrono::year_month_day{std::chrono::year{parts.tm_year + 1900},
                                     std::chrono::month{static_cast<unsigned>(parts.tm_mon + 1)},
                                     std::chrono::day{static_cast<unsigned>(parts.tm_mday)}};
}

std::chrono::year_month_day Today() { return LocalDate(std::time(nullptr)); }

std::string DateText(int year, int month, int day) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
  return text;
}

std::string DateText(std::chrono::year_month_day date) {
  return DateText(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                  static_cast<int>(static_cast<unsigned>(date.day())));
}

std::string FileDateText(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
    return {};
  }
  return DateText(LocalDate(info.st_mtime));
}

int StatsDayBlock(int dayNumber) {
  if (dayNumber >= 1 && dayNumber <= kStatsDayBlocks) {
    return dayNumber - 1;
  }
  if (dayNumber == 366) {
    return 59;
  }
  return -1;
}

}  // namespace tolvane
