#include "service/support_mail.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "service/dw_time.h"
#include "settings/atomic_file.h"

namespace tolvane {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::chrono::year_month_day daysBefore(std::chrono::year_month_day date, int days) {
  return std::chrono::year_month_day{std::chrono::sys_days(date) - std::chrono::days(days)};
}

// The record of a calendar date, or null when its day number has no block.
const DailyStatsDay* recordOf(const DailyStatsTable& stats, std::chrono::year_month_day date) {
  return stats.day(DayNumber(date));
}

std::string hourBytesLine(std::chrono::year_month_day date, const DailyStatsDay* record, bool program) {
  std::string line = DateText(date) + ": ";
  for (std::size_t h = 0; h < 24; ++h) {
    const unsigned value = record ? (program ? record->program[h] : record->runState[h]) : 0;
    line += std::to_string(value);
    line += ' ';
  }
  return line;
}

void ejectorLines(std::vector<std::string>& lines, const SupportMailFacts& facts,
                  const DailyStatsTable& stats, int side, int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, kEjectorSlots);
  for (int j = first; j <= last; ++j) {
    std::string line = std::to_string(j) + ": \t";
    for (int n = 6; n >= 0; --n) {
      const int day = DayNumber(daysBefore(facts.clock.date, n));
      line += std::to_string(static_cast<std::uint32_t>(stats.countOf(day, side, j)));
      line += '\t';
    }
    lines.push_back(std::move(line));
  }
}

void previewLinesOf(std::vector<std::string>& lines, std::span<const RgbPixel> points) {
  const char* const names[3] = {"R: ", "G: ", "B: "};
  for (int channel = 0; channel < 3; ++channel) {
    std::string line = names[channel];
    for (int k = 1; k <= kMailPreviewPoints; ++k) {
      const std::size_t point = static_cast<std::size_t>(k * kMailPreviewStep);
      unsigned value = 0;
      if (point < points.size()) {
        const RgbPixel& p = points[point];
        value = channel == 0 ? p.r : channel == 1 ? p.g : p.b;
      }
      line += std::to_string(value);
      line += '\t';
    }
    lines.push_back(std::move(line));
  }
}

bool printableAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

// Splits UTF-8 text into pieces of at most maxBytes that do not cut a character.
std::vector<std::string_view> utf8Pieces(std::string_view text, std::size_t maxBytes) {
  std::vector<std::string_view> pieces;
  while (!text.empty()) {
    std::size_t cut = std::min(maxBytes, text.size());
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    if (cut == 0) cut = std::min(maxBytes, text.size());
    pieces.push_back(text.substr(0, cut));
    text.remove_prefix(cut);
  }
  return pieces;
}

}  // namespace

MailClock mailClockAt(std::time_t time) {
  std::tm parts{};
  localtime_r(&time, &parts);
  MailClock clock;
  clock.date = LocalDate(time);
  clock.hour = parts.tm_hour;
  clock.minute = parts.tm_min;
  clock.second = parts.tm_sec;
  // RFC 5322 names, whatever the locale.
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const long offset = parts.tm_gmtoff / 60;
  const long absOffset = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[parts.tm_wday % 7],
                parts.tm_mday, kMonths[parts.tm_mon % 12], parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                parts.tm_sec, offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  clock.dateHeader = text;
  return clock;
}

std::string mailDateTimeText(const MailClock& clock) {
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", clock.hour, clock.minute, clock.second);
  return DateText(clock.date) + ' ' + time;
}

std::vector<std::string> supportMailBody(const SupportMailFacts& facts, const DailyStatsTable& stats,
                                         std::span<const RgbPixel> camera1,
                                         std::span<const RgbPixel> camera2) {
  std::vector<std::string> lines;
  lines.push_back("MK №" + facts.machineId + " запущен. " + mailDateTimeText(facts.clock));
  lines.push_back("IP: " + facts.localAddress);
  lines.push_back("CompName: " + facts.computerName);
  lines.emplace_back();
  lines.emplace_back("Статистика работы");
  for (const bool program : {false, true}) {
    lines.emplace_back(program ? "Программы" : "Работа");
    for (int i = 0; i <= 6; ++i) {
      const auto date = daysBefore(facts.clock.date, i);
      lines.push_back(hourBytesLine(date, recordOf(stats, date), program));
    }
  }
  lines.emplace_back();
  lines.emplace_back("Первая камера (сработки)");
  ejectorLines(lines, facts, stats, kSideA, facts.egaMin, facts.egaMax);
  lines.emplace_back("Вторая камера (сработки)");
  ejectorLines(lines, facts, stats, kSideB, facts.egbMin, facts.egbMax);
  lines.emplace_back();
  lines.emplace_back("Изображение с камер");
  lines.emplace_back("Первая камера");
  previewLinesOf(lines, camera1);
  lines.emplace_back("Вторая камера");
  previewLinesOf(lines, camera2);
  return lines;
}

std::string localIpv4Address() {
  std::string result = "127.0.0.1";
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) return result;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET || a->ai_addr == nullptr) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
    if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
      result = text;
      break;
    }
  }
  ::freeaddrinfo(found);
  return result;
}

std::string computerName() {
  char name[257] = {};
  if (::gethostname(name, 256) != 0) return {};
  return std::string(name);
}

std::optional<MailAttachment> settingsFileAttachment(const std::filesystem::path& folder) {
  FileContents contents = readWholeFile(folder / std::string(kSupportAttachmentName));
  if (contents.status != ReadStatus::kOk) return std::nullopt;
  return MailAttachment{std::string(kSupportAttachmentName), std::move(contents.bytes)};
}

std::string base64Encode(std::string_view bytes, std::size_t lineLength) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4 + (lineLength ? bytes.size() / lineLength * 2 + 2 : 0));
  std::size_t column = 0;
  const auto put = [&](char c) {
    text += c;
    if (lineLength != 0 && ++column == lineLength) {
      text += kCrLf;
      column = 0;
    }
  };
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                            static_cast<unsigned char>(bytes[i + 2]);
    put(kBase64Alphabet[v >> 18 & 63]);
    put(kBase64Alphabet[v >> 12 & 63]);
    put(kBase64Alphabet[v >> 6 & 63]);
    put(kBase64Alphabet[v & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    put(kBase64Alphabet[v >> 18 & 63]);
    put(kBase64Alphabet[v >> 12 & 63]);
    put(rest == 2 ? kBase64Alphabet[v >> 6 & 63] : '=');
    put('=');
  }
  if (lineLength != 0 && column != 0) text += kCrLf;
  return text;
}

namespace {

// RFC 2047 encoded words (UTF-8, base64) folded between words.
std::string encodedWords(std::string_view text) {
  // 45 bytes give 60 base64 characters: each word stays within the 75 characters RFC 2047 allows.
  std::string result;
  for (const std::string_view piece : utf8Pieces(text, 45)) {
    if (!result.empty()) result += "\r\n ";
    result += "=?UTF-8?B?" + base64Encode(piece) + "?=";
  }
  return result;
}

// The CR LF before a boundary belongs to the boundary: an empty part still needs one.
void appendPartBody(std::string& text, const std::string& lines) {
  text += lines;
  if (lines.empty()) text += kCrLf;
}

}  // namespace

std::string encodedHeaderText(std::string_view text) {
  return printableAscii(text) ? std::string(text) : encodedWords(text);
}

SupportMessage supportMessage(std::string_view machineId, std::string_view mailUser,
                              std::string_view dateHeader, std::vector<std::string> body,
                              std::optional<MailAttachment> attachment) {
  const std::string name = "MK #" + std::string(machineId);
  std::string displayName;
  // A quoted string cannot carry quotes, backslashes or control bytes safely: those names are encoded.
  if (printableAscii(name) && name.find_first_of("\"\\") == std::string::npos) {
    displayName = '"' + name + '"';
  } else {
    displayName = encodedWords(name);
  }
  SupportMessage message;
  const std::string address = "<" + std::string(mailUser) + ">";
  message.headers = {
      {"From", displayName + " " + address},
      {"To", address},
      {"Subject", encodedHeaderText(kSupportSubject)},
  };
  if (!dateHeader.empty()) message.headers.emplace_back("Date", std::string(dateHeader));
  message.headers.emplace_back("MIME-Version", "1.0");
  message.body = std::move(body);
  message.attachment = std::move(attachment);
  return message;
}

std::string newMimeBoundary() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  char text[40];
  std::snprintf(text, sizeof text, "=_TolvaneGrain_%016llx", static_cast<unsigned long long>(random()));
  return text;
}

std::string mimeText(const SupportMessage& message, std::string_view boundary) {
  std::string text;
  for (const auto& [name, value] : message.headers) text += name + ": " + value + std::string(kCrLf);
  const std::string b(boundary);
  text += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n";
  text += "--" + b + "\r\n";
  text += "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  std::string body;
  for (const std::string& line : message.body) body += line + std::string(kCrLf);
  appendPartBody(text, base64Encode(body, 76));
  if (message.attachment) {
    const std::string fileName = encodedHeaderText(message.attachment->name);
    text += "--" + b + "\r\n";
    text += "Content-Type: application/octet-stream; name=\"" + fileName + "\"\r\n";
    text += "Content-Transfer-Encoding: base64\r\n";
    text += "Content-Disposition: attachment; filename=\"" + fileName + "\"\r\n\r\n";
    appendPartBody(text, base64Encode(message.attachment->bytes, 76));
  }
  text += "--" + b + "--\r\n";
  return text;
}

std::vector<std::string> previewLines(const SupportMessage& message) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : message.headers) lines.push_back(name + ": " + value);
  lines.emplace_back();
  lines.insert(lines.end(), message.body.begin(), message.body.end());
  lines.emplace_back();
  if (message.attachment) {
    lines.push_back("Вложение: " + message.attachment->name + ", " +
                    std::to_string(message.attachment->bytes.size()) + " байт");
  } else {
    lines.emplace_back("Вложения нет: файл настроек не прочитан");
  }
  return lines;
}

}  // namespace tolvane
