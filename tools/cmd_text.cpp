// Date and text helpers for engineers: day numbers of the statistics, date texts, case folding of
// 8-bit file names, quoted values of settings lines and the lenient number reader.

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "service/dw_time.h"
#include "settings/text_helpers.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

struct Date {
  int year;
  int month;
  int day;
};

Date parseDate(const std::string& text) {
  // YYYY-MM-DD, digits only, and a date that exists.
  const bool shaped = text.size() == 10 && text[4] == '-' && text[7] == '-';
  bool digits = shaped;
  for (std::size_t i = 0; digits && i < text.size(); ++i) {
    digits = (i == 4 || i == 7) || (text[i] >= '0' && text[i] <= '9');
  }
  if (!digits) {
    throw UsageError("date must be YYYY-MM-DD, got \"" + text + "\"");
  }
  const Date date{std::stoi(text.substr(0, 4)), std::stoi(text.substr(5, 2)), std::stoi(text.substr(8, 2))};
  if (DayNumber(date.year, date.month, date.day) == 0) {
    throw UsageError("no such date: \"" + text + "\"");
  }
  return date;
}

void expectArgs(const std::vector<std::string>& args, std::size_t count, const std::string& usage) {
  if (args.size() != count) {
    throw UsageError("usage: " + usage);
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string bytesFromHex(const std::string& hex) {
  if (hex.size() % 2 != 0) {
    throw UsageError("hex text must have an even number of digits, got \"" + hex + "\"");
  }
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexValue(hex[i]);
    const int low = hexValue(hex[i + 1]);
    if (high < 0 || low < 0) {
      throw UsageError("not a hex digit in \"" + hex + "\"");
    }
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

std::string hexFromBytes(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

constexpr const char* kDayNumberUsage = "day-number YYYY-MM-DD   leap-calendar day number 1..366 of the date";
constexpr const char* kDateTextUsage = "date-text YYYY-MM-DD    the date as dd.mm.yyyy";
constexpr const char* kUpperUsage =
    "upper [--dos] HEX       upper-case bytes (Windows-1251, or DOS 866 with --dos), given and shown as hex";
constexpr const char* kQuotedUsage =
    "quoted get KEY LINE | quoted set KEY LINE VALUE   quoted value of KEY in a settings line";
constexpr const char* kValUsage = "val TEXT                the integer at the start of TEXT (lenient)";

int dayNumberCommand(const std::vector<std::string>& args, ToolIo& io) {
  expectArgs(args, 1, kDayNumberUsage);
  const Date date = parseDate(args[0]);
  io.out << DayNumber(date.year, date.month, date.day) << '\n';
  return 0;
}

int dateTextCommand(const std::vector<std::string>& args, ToolIo& io) {
  expectArgs(args, 1, kDateTextUsage);
  const Date date = parseDate(args[0]);
  io.out << DateText(date.year, date.month, date.day) << '\n';
  return 0;
}

int upperCommand(const std::vector<std::string>& args, ToolIo& io) {
  const bool dos = !args.empty() && args[0] == "--dos";
  expectArgs(args, dos ? 2 : 1, kUpperUsage);
  io.out << hexFromBytes(UpperText(bytesFromHex(args.back()), dos)) << '\n';
  return 0;
}

int quotedCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.empty() || (args[0] != "get" && args[0] != "set")) {
    throw UsageError(std::string("usage: ") + kQuotedUsage);
  }
  const bool set = args[0] == "set";
  expectArgs(args, set ? 4 : 3, kQuotedUsage);
  const std::string& key = args[1];
  const std::string& line = args[2];
  if (!FindQuotedValue(key, line)) {
    io.err << "no quoted value of \"" << key << "\" in the line\n";
    return 1;
  }
  io.out << (set ? WriteQuotedValue(key, line, args[3]) : ReadQuotedValue(key, line)) << '\n';
  return 0;
}

int valCommand(const std::vector<std::string>& args, ToolIo& io) {
  expectArgs(args, 1, kValUsage);
  io.out << ValLoose(args[0]) << '\n';
  return 0;
}

TOLVANE_TOOL_COMMAND("day-number", kDayNumberUsage, dayNumberCommand);
TOLVANE_TOOL_COMMAND("date-text", kDateTextUsage, dateTextCommand);
TOLVANE_TOOL_COMMAND("upper", kUpperUsage, upperCommand);
TOLVANE_TOOL_COMMAND("quoted", kQuotedUsage, quotedCommand);
TOLVANE_TOOL_COMMAND("val", kValUsage, valCommand);

}  // namespace
}  // namespace tolvane::tool
