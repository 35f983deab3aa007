#include "service/support_mail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "service/dw_time.h"

namespace tolvane {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using std::chrono::year_month_day;

// Line numbers (0-based) of the fixed part of the body.
constexpr std::size_t kRunLine0 = 6;       // "Работа" lines: today, then back
constexpr std::size_t kProgramLine0 = 14;  // "Программы" lines
constexpr std::size_t kEjectorHeading = 22;

year_month_day date(int y, unsigned m, unsigned d) { return year_month_day{year{y}, month{m}, day{d}}; }

SupportMailFacts factsOn(year_month_day today, int hour = 14, int minute = 5) {
  SupportMailFacts facts;
  facts.machineId = "007";
  facts.clock.date = today;
  facts.clock.hour = hour;
  facts.clock.minute = minute;
  facts.clock.second = 9;
  facts.localAddress = "10.1.2.3";
  facts.computerName = "grain-pc";
  facts.egaMin = 1;
  facts.egaMax = 48;
  facts.egbMin = 1;
  facts.egbMax = 48;
  return facts;
}

std::string hoursText(const std::array<int, 24>& values) {
  std::string text;
  for (int v : values) text += std::to_string(v) + ' ';
  return text;
}

std::vector<std::string> bodyOf(const SupportMailFacts& facts, const DailyStatsTable& stats) {
  return supportMailBody(facts, stats, {}, {});
}

// Lines under a heading up to the next heading (or the end).
std::vector<std::string> linesAfter(const std::vector<std::string>& body, const std::string& heading,
                                    const std::string& next) {
  std::vector<std::string> result;
  auto it = std::find(body.begin(), body.end(), heading);
  if (it == body.end()) return result;
  for (++it; it != body.end() && *it != next; ++it) result.push_back(*it);
  return result;
}

std::string base64Decode(std::string_view text) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=' || c == '\r' || c == '\n') continue;
    const auto at = alphabet.find(c);
    if (at == std::string::npos) ADD_FAILURE() << "not base64: " << c;
    bits = bits << 6 | static_cast<std::uint32_t>(at);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>(bits >> count & 0xff);
    }
  }
  return out;
}

// The decoded parts of a multipart/mixed text made by mimeText.
std::vector<std::string> decodedParts(const std::string& mime, const std::string& boundary) {
  std::vector<std::string> parts;
  const std::string delimiter = "\r\n--" + boundary;
  std::size_t at = mime.find("--" + boundary + "\r\n");
  while (at != std::string::npos) {
    const std::size_t headEnd = mime.find("\r\n\r\n", at);
    std::size_t next = headEnd == std::string::npos ? headEnd : mime.find(delimiter, headEnd + 2);
    if (headEnd == std::string::npos || next == std::string::npos) break;
    parts.push_back(base64Decode(std::string_view(mime).substr(headEnd + 4, next - headEnd - 4)));
    at = mime.compare(next + delimiter.size(), 2, "--") == 0 ? std::string::npos : next + 2;
  }
  return parts;
}

TEST(SupportMailBody, FixedLinesInOrder) {
  auto stats = std::make_unique<DailyStatsTable>();
  const auto body = bodyOf(factsOn(date(2027, 6, 15)), *stats);
  ASSERT_GE(body.size(), 30u);
  EXPECT_EQ(body[0], "MK №007 запущен. 15.06.2027 14:05:09");
  EXPECT_EQ(body[1], "IP: 10.1.2.3");
  EXPECT_EQ(body[2], "CompName: grain-pc");
  EXPECT_EQ(body[3], "");
  EXPECT_EQ(body[4], "Статистика работы");
  EXPECT_EQ(body[5], "Работа");
  EXPECT_EQ(body[13], "Программы");
  EXPECT_EQ(body[21], "");
  EXPECT_EQ(body[kEjectorHeading], "Первая камера (сработки)");
  // Newest first: today, yesterday, ... six days back.
  const char* dates[] = {"15.06.2027", "14.06.2027", "13.06.2027", "12.06.2027",
                         "11.06.2027", "10.06.2027", "09.06.2027"};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(body[kRunLine0 + i], std::string(dates[i]) + ": " + hoursText({}));
    EXPECT_EQ(body[kProgramLine0 + i], std::string(dates[i]) + ": " + hoursText({}));
  }
  const std::size_t n = body.size();
  EXPECT_EQ(body[n - 10], "");
  EXPECT_EQ(body[n - 9], "Изображение с камер");
  EXPECT_EQ(body[n - 8], "Первая камера");
  EXPECT_EQ(body[n - 4], "Вторая камера");
}

TEST(SupportMailBody, RequestAtFivePastTwoShowsTheMorningRun) {
  // Sorting from 09:00 to 12:00 with program 3 (index 2); the recorder saw the switch off before and after.
  auto stats = std::make_unique<DailyStatsTable>();
  const auto today = date(2027, 6, 15);
  DailyStatsDay& record = *stats->day(DayNumber(today));
  std::array<int, 24> run{};
  std::array<int, 24> programs{};
  for (int h = 0; h <= 14; ++h) {
    run[static_cast<std::size_t>(h)] = h >= 9 && h < 12 ? 2 : 1;
    programs[static_cast<std::size_t>(h)] = 3;
  }
  for (std::size_t h = 0; h < 24; ++h) {
    record.runState[h] = static_cast<std::uint8_t>(run[h]);
    record.program[h] = static_cast<std::uint8_t>(programs[h]);
  }
  stats->day(DayNumber(date(2027, 6, 14)))->runState[23] = 1;  // yesterday, last hour
  const auto body = bodyOf(factsOn(today), *stats);
  EXPECT_EQ(body[kRunLine0], "15.06.2027: 1 1 1 1 1 1 1 1 1 2 2 2 1 1 1 0 0 0 0 0 0 0 0 0 ");
  EXPECT_EQ(body[kProgramLine0], "15.06.2027: " + hoursText(programs));
  std::array<int, 24> yesterday{};
  yesterday[23] = 1;
  EXPECT_EQ(body[kRunLine0 + 1], "14.06.2027: " + hoursText(yesterday));
}

TEST(SupportMailBody, EjectorLinesOnlyForTheWorkingRangeOldestFirst) {
  auto stats = std::make_unique<DailyStatsTable>();
  const auto today = date(2027, 6, 15);
  for (int n = 0; n <= 6; ++n) {
    const int d = DayNumber(std::chrono::sys_days(today) - std::chrono::days(n));
    *stats->count(d, kSideA, 5) = 100 + n;  // 106 is six days back
    *stats->count(d, kSideB, 2) = 200 + n;
  }
  *stats->count(DayNumber(today), kSideA, 7) = -1;  // a wrapped counter prints unsigned
  auto facts = factsOn(today);
  facts.egaMin = 5;
  facts.egaMax = 7;
  facts.egbMin = 2;
  facts.egbMax = 2;
  const auto body = bodyOf(facts, *stats);
  EXPECT_EQ(linesAfter(body, "Первая камера (сработки)", "Вторая камера (сработки)"),
            (std::vector<std::string>{"5: \t106\t105\t104\t103\t102\t101\t100\t",
                                      "6: \t0\t0\t0\t0\t0\t0\t0\t", "7: \t0\t0\t0\t0\t0\t0\t4294967295\t"}));
  EXPECT_EQ(linesAfter(body, "Вторая камера (сработки)", ""),
            (std::vector<std::string>{"2: \t206\t205\t204\t203\t202\t201\t200\t"}));
}

TEST(SupportMailBody, EjectorRangesStayInsideTheTable) {
  struct Case {
    int min;
    int max;
    std::size_t lines;
    const char* first;
  };
  const Case cases[] = {
      {1, 48, 48, "1: "}, {0, 200, 96, "1: "},   {-5, 2, 2, "1: "},
      {5, 3, 0, ""},      {96, 1000, 1, "96: "}, {97, 120, 0, ""},
  };
  auto stats = std::make_unique<DailyStatsTable>();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.min) + ".." + std::to_string(c.max));
    auto facts = factsOn(date(2027, 6, 15));
    facts.egaMin = c.min;
    facts.egaMax = c.max;
    const auto lines =
        linesAfter(bodyOf(facts, *stats), "Первая камера (сработки)", "Вторая камера (сработки)");
    ASSERT_EQ(lines.size(), c.lines);
    if (c.lines > 0) {
      EXPECT_TRUE(lines.front().starts_with(c.first)) << lines.front();
    }
  }
}

TEST(SupportMailBody, LookBackAcrossTheYearShowsTheCalendarDatesRecords) {
  // Each day block gets its own marks: run state = 1 at hour (block % 24), ejector 1 of side A = block.
  auto stats = std::make_unique<DailyStatsTable>();
  for (int block = 0; block < kStatDays; ++block) {
    stats->days[static_cast<std::size_t>(block)].runState[static_cast<std::size_t>(block % 24)] = 2;
    stats->days[static_cast<std::size_t>(block)].ejectorCounts[0] = block;
  }
  struct Case {
    year_month_day today;
    std::vector<std::pair<std::string, int>> lines;  // newest first: date text, block shown
  };
  const Case cases[] = {
      // 31 December (day 366) shares block 59 with 29 February; 30 December is day 365.
      {date(2027, 1, 3),
       {{"03.01.2027", 2},
        {"02.01.2027", 1},
        {"01.01.2027", 0},
        {"31.12.2026", 59},
        {"30.12.2026", 364},
        {"29.12.2026", 363},
        {"28.12.2026", 362}}},
      {date(2028, 12, 31),
       {{"31.12.2028", 59},
        {"30.12.2028", 364},
        {"29.12.2028", 363},
        {"28.12.2028", 362},
        {"27.12.2028", 361},
        {"26.12.2028", 360},
        {"25.12.2028", 359}}},
      // A common year's 1 March looks back to 28 February (day 59, block 58), not to day 60.
      {date(2027, 3, 1),
       {{"01.03.2027", 60},
        {"28.02.2027", 58},
        {"27.02.2027", 57},
        {"26.02.2027", 56},
        {"25.02.2027", 55},
        {"24.02.2027", 54},
        {"23.02.2027", 53}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DateText(c.today));
    auto facts = factsOn(c.today);
    facts.egaMin = 1;
    facts.egaMax = 1;
    const auto body = bodyOf(facts, *stats);
    std::string ejectorLine = "1: \t";
    for (std::size_t i = 0; i < 7; ++i) {
      const auto& [text, block] = c.lines[i];
      std::array<int, 24> run{};
      run[static_cast<std::size_t>(block % 24)] = 2;
      EXPECT_EQ(body[kRunLine0 + i], text + ": " + hoursText(run));
      ejectorLine += std::to_string(c.lines[6 - i].second) + '\t';
    }
    EXPECT_EQ(linesAfter(body, "Первая камера (сработки)", "Вторая камера (сработки)"),
              std::vector<std::string>{ejectorLine});
  }
}

TEST(SupportMailBody, PreviewEveryTenthPointAndNothingBeyondThePreview) {
  std::vector<RgbPixel> camera1(1000);
  for (std::size_t k = 0; k < camera1.size(); ++k) {
    camera1[k] = RgbPixel{static_cast<std::uint8_t>(k % 251), static_cast<std::uint8_t>(k % 7),
                          static_cast<std::uint8_t>(255 - k % 256)};
  }
  std::vector<RgbPixel> camera2(1000, RgbPixel{1, 2, 3});
  auto stats = std::make_unique<DailyStatsTable>();
  const auto body = supportMailBody(factsOn(date(2027, 6, 15)), *stats, camera1, camera2);
  const std::size_t n = body.size();
  std::string r = "R: ", g = "G: ", b = "B: ";
  for (std::size_t k = 10; k <= 1020; k += 10) {
    const RgbPixel p = k < 1000 ? camera1[k] : RgbPixel{};
    r += std::to_string(p.r) + '\t';
    g += std::to_string(p.g) + '\t';
    b += std::to_string(p.b) + '\t';
  }
  EXPECT_EQ(body[n - 7], r);
  EXPECT_EQ(body[n - 6], g);
  EXPECT_EQ(body[n - 5], b);
  std::string greens = "G: ";
  for (int k = 0; k < 102; ++k) greens += k < 99 ? "2\t" : "0\t";
  EXPECT_EQ(body[n - 2], greens);
  // A short or missing preview reads as zeros, never past its end.
  const auto empty = supportMailBody(factsOn(date(2027, 6, 15)), *stats, {}, std::span(camera2).first(15));
  std::string zeros = "R: ";
  for (int k = 0; k < 102; ++k) zeros += "0\t";
  EXPECT_EQ(empty[n - 7], zeros);
  EXPECT_TRUE(empty[n - 3].starts_with("R: 1\t0\t")) << empty[n - 3];
}

TEST(SupportMailBase64, KnownVectorsAndLines) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) EXPECT_EQ(base64Encode(plain), encoded) << plain;
  // 57 bytes fill one 76-character line exactly.
  const std::string bytes(58, '\xff');
  const std::string text = base64Encode(bytes, 76);
  EXPECT_EQ(text.substr(76, 2), "\r\n");
  EXPECT_TRUE(text.ends_with("/w==\r\n")) << text;
  EXPECT_EQ(base64Decode(text), bytes);
}

TEST(SupportMailMessage, AttachmentAndBodySurviveTheMimeText) {
  std::string ini = "[options]\r\npath=\"\xCA-9\"\r\n";  // 1251 bytes stay as they are
  for (int i = 0; i < 300; ++i) ini += static_cast<char>(i & 0xff);
  const std::vector<std::string> body = {"MK №7 запущен.", "", "R: 1\t2\t"};
  for (const std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{57}, ini.size()}) {
    SCOPED_TRACE(size);
    const auto message = supportMessage("7", "support@example.org", "Tue, 15 Jun 2027 14:05:09 +0300", body,
                                        MailAttachment{"TolvaneGrain.ini", ini.substr(0, size)});
    const std::string boundary = newMimeBoundary();
    const std::string mime = mimeText(message, boundary);
    EXPECT_NE(mime.find("From: \"MK #7\" <support@example.org>\r\n"), std::string::npos);
    EXPECT_NE(mime.find("To: <support@example.org>\r\n"), std::string::npos);
    EXPECT_NE(mime.find("Subject: Support query\r\n"), std::string::npos);
    EXPECT_NE(mime.find("Date: Tue, 15 Jun 2027 14:05:09 +0300\r\n"), std::string::npos);
    EXPECT_NE(mime.find("filename=\"TolvaneGrain.ini\""), std::string::npos);
    const auto parts = decodedParts(mime, boundary);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], "MK №7 запущен.\r\n\r\nR: 1\t2\t\r\n");
    EXPECT_EQ(parts[1], ini.substr(0, size));
    EXPECT_TRUE(mime.ends_with("--" + boundary + "--\r\n"));
  }
}

TEST(SupportMailMessage, SenderNamesThatNeedEncoding) {
  struct Case {
    const char* id;
    const char* decodedName;
  };
  const Case cases[] = {
      {"К-9", "MK #К-9"},
      {"7\"x", "MK #7\"x"},
      {"A\r\nBcc: x@y", "MK #A\r\nBcc: x@y"},
      {"Машина-номер-длинное-имя-которое-не-влезает-в-одно-слово",
       "MK #Машина-номер-длинное-имя-которое-не-влезает-в-одно-слово"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const auto message = supportMessage(c.id, "s@example.org", "", {}, std::nullopt);
    const std::string from = message.headers.front().second;
    ASSERT_TRUE(from.starts_with("=?UTF-8?B?")) << from;
    ASSERT_TRUE(from.ends_with("?= <s@example.org>")) << from;
    // Only folding breaks the header; every word stays within 75 characters.
    std::string decoded;
    std::size_t at = 0;
    while ((at = from.find("=?UTF-8?B?", at)) != std::string::npos) {
      const std::size_t end = from.find("?=", at + 10);
      ASSERT_NE(end, std::string::npos);
      EXPECT_LE(end + 2 - at, 75u);
      decoded += base64Decode(from.substr(at + 10, end - at - 10));
      at = end + 2;
    }
    EXPECT_EQ(decoded, c.decodedName);
    for (std::size_t i = from.find('\r'); i != std::string::npos; i = from.find('\r', i + 1)) {
      EXPECT_EQ(from.substr(i, 3), "\r\n ");
    }
  }
}

TEST(SupportMailMessage, PreviewShowsHeadersBodyAndAttachment) {
  const auto with = supportMessage("007", "s@example.org", "", {"line one", "line two"},
                                   MailAttachment{"TolvaneGrain.ini", std::string(1234, 'x')});
  EXPECT_EQ(previewLines(with),
            (std::vector<std::string>{"From: \"MK #007\" <s@example.org>", "To: <s@example.org>",
                                      "Subject: Support query", "MIME-Version: 1.0", "", "line one",
                                      "line two", "", "Вложение: TolvaneGrain.ini, 1234 байт"}));
  const auto without = supportMessage("007", "s@example.org", "", {}, std::nullopt);
  EXPECT_EQ(previewLines(without).back(), "Вложения нет: файл настроек не прочитан");
  EXPECT_EQ(decodedParts(mimeText(without, "b"), "b").size(), 1u);
}

TEST(SupportMailClock, LocalTimeTextsWhateverTheLocale) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "MSK-3", 1);
  ::tzset();
  const MailClock clock = mailClockAt(1700000000);  // 2023-11-14 22:13:20 UTC
  EXPECT_EQ(mailDateTimeText(clock), "15.11.2023 01:13:20");
  EXPECT_EQ(clock.dateHeader, "Wed, 15 Nov 2023 01:13:20 +0300");
  ::setenv("TZ", "UTC+5", 1);
  ::tzset();
  EXPECT_EQ(mailClockAt(1700000000).dateHeader, "Tue, 14 Nov 2023 17:13:20 -0500");
  if (old) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST(SupportMailHost, AddressIsDottedIpv4AndNameFitsTheLimit) {
  const std::string address = localIpv4Address();
  int a = -1, b = -1, c = -1, d = -1;
  char rest = 0;
  EXPECT_EQ(std::sscanf(address.c_str(), "%d.%d.%d.%d%c", &a, &b, &c, &d, &rest), 4) << address;
  EXPECT_LE(computerName().size(), 256u);
}

}  // namespace
}  // namespace tolvane
