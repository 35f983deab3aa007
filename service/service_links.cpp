#include "service/service_links.h"

#include <array>
#include <sstream>

#include "settings/atomic_file.h"

namespace tolvane {

namespace {

constexpr std::array<std::string_view, 6> kKeys = {"update_server", "mail_server", "mail_user",
                                                   "mail_password", "mail_tls",    "ca_file"};

std::string trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// "scheme://host[:port]" with one of the two schemes and a host; no path, so "/updates/" or the mail
// protocol cannot be misdirected by the configuration.
bool serverAddress(std::string_view value, std::string_view plain, std::string_view secure) {
  std::string_view rest;
  if (value.starts_with(plain)) {
    rest = value.substr(plain.size());
  } else if (value.starts_with(secure)) {
    rest = value.substr(secure.size());
  } else {
    return false;
  }
  if (rest.ends_with('/')) rest.remove_suffix(1);
  if (rest.empty() || rest.front() == ':') return false;
  return rest.find_first_of("/?#@ \t") == std::string_view::npos;
}

}  // namespace

ConfigLine splitConfigLine(std::string_view line) {
  std::size_t comment = std::string_view::npos;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
      comment = i;
      break;
    }
  }
  ConfigLine result;
  result.content = trim(line.substr(0, comment));
  const auto equals = result.content.find('=');
  if (equals == std::string::npos) return result;
  result.hasEquals = true;
  result.key = trim(std::string_view(result.content).substr(0, equals));
  result.value = trim(std::string_view(result.content).substr(equals + 1));
  return result;
}

bool isServiceLinkKey(std::string_view key) {
  for (const std::string_view known : kKeys) {
    if (key == known) return true;
  }
  return false;
}

std::optional<std::string> setServiceLink(ServiceLinks& links, std::string_view key, std::string_view value) {
  const std::string what(key);
  if (key == "update_server") {
    if (!value.empty() && !serverAddress(value, "http://", "https://")) {
      return what + " \"" + std::string(value) +
             "\": нужен адрес вида http://host[:port] или https://host[:port]";
    }
    links.updateServer = std::string(value);
    if (links.updateServer.ends_with('/')) links.updateServer.pop_back();
  } else if (key == "mail_server") {
    if (!value.empty() && !serverAddress(value, "smtp://", "smtps://")) {
      return what + " \"" + std::string(value) +
             "\": нужен адрес вида smtp://host[:port] или smtps://host[:port]";
    }
    links.mailServer = std::string(value);
    if (links.mailServer.ends_with('/')) links.mailServer.pop_back();
  } else if (key == "mail_user") {
    links.mailUser = std::string(value);
  } else if (key == "mail_password") {
    links.mailPassword = std::string(value);
  } else if (key == "mail_tls") {
    if (value == "starttls") {
      links.mailTls = MailTls::kStartTls;
    } else if (value == "required") {
      links.mailTls = MailTls::kRequired;
    } else if (value == "none") {
      links.mailTls = MailTls::kNone;
    } else {
      return what + " \"" + std::string(value) +
             "\" неизвестно; возможно \"starttls\", \"required\" или \"none\"";
    }
  } else if (key == "ca_file") {
    links.caFile = std::filesystem::path(std::string(value));
  } else {
    return "неизвестный ключ \"" + what + "\"";
  }
  return std::nullopt;
}

ServiceLinks readServiceLinks(const std::filesystem::path& platformFile, std::string& error) {
  ServiceLinks links;
  const FileContents contents = readWholeFile(platformFile);
  if (contents.status == ReadStatus::kMissing) return links;
  if (contents.status != ReadStatus::kOk) {
    error = platformFile.filename().string() + ": файл не читается: " + platformFile.string();
    return links;
  }
  std::istringstream lines(contents.bytes);
  std::string line;
  while (std::getline(lines, line)) {
    const ConfigLine parsed = splitConfigLine(line);
    if (!parsed.hasEquals || !isServiceLinkKey(parsed.key)) continue;
    if (auto problem = setServiceLink(links, parsed.key, parsed.value)) {
      if (error.empty()) error = platformFile.filename().string() + ": " + *problem;
    }
  }
  return links;
}

}  // namespace tolvane
