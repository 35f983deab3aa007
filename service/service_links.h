#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// How the support mail reaches the server: starttls uses TLS when the server offers it, required never
// sends in the clear, none never asks for TLS (smtps:// is TLS from the first byte in every case).
enum class MailTls { kStartTls, kRequired, kNone };

// The machine's links to its supplier, from the platform configuration file:
//   update_server = http://host[:port] | https://host[:port]   base before "/updates/"; empty: none
//   mail_server   = smtp://host[:port] | smtps://host[:port]
//   mail_user     = the mailbox that sends and receives support mail
//   mail_password = its password (never printed, never compiled in)
//   mail_tls      = starttls | required | none
//   ca_file       = PATH    an extra trusted certificate authority for both
struct ServiceLinks {
  std::string updateServer;
  std::string mailServer;
  std::string mailUser;
  std::string mailPassword;
  MailTls mailTls = MailTls::kStartTls;
  std::filesystem::path caFile;
};

// One line of the platform configuration, "key = value". A "#" at the start of the line or after a
// blank starts a comment, so a password may hold "#".
struct ConfigLine {
  std::string content;  // the line without comment and outer blanks; empty: nothing to read
  bool hasEquals = false;
  std::string key;
  std::string value;
};
ConfigLine splitConfigLine(std::string_view line);

// Whether key is one of the keys above.
bool isServiceLinkKey(std::string_view key);

// Stores value under key. Returns a message naming the key when the value cannot be served (an address
// that is not http(s):// or smtp(s)://, an unknown TLS word); links is then unchanged.
std::optional<std::string> setServiceLink(ServiceLinks& links, std::string_view key, std::string_view value);

// The links of the platform configuration file at path; a missing file gives no links. Other keys of
// the file are left to its other readers; lines without "=" are skipped here. error gets the first
// problem found (an unreadable file, a bad value).
ServiceLinks readServiceLinks(const std::filesystem::path& platformFile, std::string& error);

}  // namespace tolvane
