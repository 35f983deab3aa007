#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Only the plain tables of these headers are used (no engine code is linked): the statistics block
// layout and one preview point.
#include "engine/ejection_state.h"
#include "engine/object_record.h"

// The support request mail: its body lines, its MIME text and the preview the engineer tool prints.
// Everything here is plain computation over copies the caller took; sending is support_mail_sender.h.
namespace tolvane {

inline constexpr std::string_view kSupportSubject = "Support query";
inline constexpr std::string_view kSupportAttachmentName = "TolvaneGrain.ini";
// Preview points in the mail: 10, 20, ..., 1020, counting the first point as 0.
inline constexpr int kMailPreviewPoints = 102;
inline constexpr int kMailPreviewStep = 10;

// Local time of the request.
struct MailClock {
  std::chrono::year_month_day date{};
  int hour = 0;
  int minute = 0;
  int second = 0;
  std::string dateHeader;  // "Tue, 05 Jan 2027 14:05:00 +0300"
};
MailClock mailClockAt(std::time_t time);

// Who and where the machine is, and which ejectors work.
struct SupportMailFacts {
  std::string machineId = "000";  // UTF-8
  MailClock clock;
  std::string localAddress = "127.0.0.1";
  std::string computerName;
  int egaMin = 1;
  int egaMax = 0;
  int egbMin = 1;
  int egbMax = 0;
};

// The body lines in order, without line ends. Statistics lines of "today - i" show the record of that
// calendar date's day number (so the first days of January show late December of the last year, and
// 31 December shows the block it shares with 29 February). Ejector ranges are taken within 1..96;
// preview points beyond a camera's preview print 0.
std::vector<std::string> supportMailBody(const SupportMailFacts& facts, const DailyStatsTable& stats,
                                         std::span<const RgbPixel> camera1,
                                         std::span<const RgbPixel> camera2);

// "dd.mm.yyyy hh:mm:ss" of the clock.
std::string mailDateTimeText(const MailClock& clock);

// The first IPv4 address of the host's own name; "127.0.0.1" when it cannot be resolved.
std::string localIpv4Address();
// The host name (at most 256 characters); empty when it cannot be read.
std::string computerName();

struct MailAttachment {
  std::string name;
  std::string bytes;
};

// "TolvaneGrain.ini" of the folder, its bytes unchanged; nullopt when it cannot be read.
std::optional<MailAttachment> settingsFileAttachment(const std::filesystem::path& folder);

// One support message, from which both the MIME text and the preview are made.
struct SupportMessage {
  std::vector<std::pair<std::string, std::string>> headers;  // name, value as sent (ASCII)
  std::vector<std::string> body;
  std::optional<MailAttachment> attachment;
};

// From "MK #<id>" <mailUser>, To mailUser, Subject, Date, MIME-Version; non-ASCII display names are
// encoded words.
SupportMessage supportMessage(std::string_view machineId, std::string_view mailUser,
                              std::string_view dateHeader, std::vector<std::string> body,
                              std::optional<MailAttachment> attachment);

// multipart/mixed with the body as UTF-8 text/plain and the attachment as application/octet-stream,
// both base64; CR LF line ends. boundary must not be empty.
std::string mimeText(const SupportMessage& message, std::string_view boundary);
// A boundary that base64 text cannot contain.
std::string newMimeBoundary();

// What the engineer sees: the headers, an empty line, the body, then the attachment's name and size or
// a line saying there is none.
std::vector<std::string> previewLines(const SupportMessage& message);

// RFC 4648 base64; with lineLength > 0 the text is cut into lines of that many characters, CR LF after
// each line.
std::string base64Encode(std::string_view bytes, std::size_t lineLength = 0);
// The text as it may stand in a header: unchanged when it is printable ASCII, otherwise RFC 2047
// encoded words (UTF-8, base64), folded between words.
std::string encodedHeaderText(std::string_view text);

}  // namespace tolvane
