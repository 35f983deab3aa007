// The support mail against a real SMTP server on loopback (aiosmtpd), read back with Python's email.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "service/dw_time.h"
#include "service/support_mail.h"
#include "service/support_mail_sender.h"
#include "tests/netio/smtp_test_server.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::readBytes;
using test::TempDir;

constexpr const char* kUser = "support@example.org";
constexpr const char* kPassword = "qwerty";

std::vector<std::string> splitLines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t next; (next = text.find(end, at)) != std::string::npos; at = next + end.size()) {
    lines.push_back(text.substr(at, next - at));
  }
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

std::size_t filesNamed(const std::filesystem::path& folder, const std::string& extension) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == extension) ++count;
  }
  return count;
}

struct SendCase {
  const char* name;
  const char* scheme;
  MailTls tls;
  bool withCa;
  const char* password;
  MailOutcome outcome;
  const char* authLog;  // what the server logged of AUTH for this send ("" none)
  int tlsUsed;          // whether the stored mail came over TLS; -1: nothing stored
};

class SupportMailSend : public ::testing::Test {
 protected:
  void SetUp() override {
    python_ = test::pythonWithAiosmtpd();
    if (python_.empty()) GTEST_SKIP() << "python3 with aiosmtpd is not installed";
    if (!test::makeTestCertificate(certs_.path())) GTEST_SKIP() << "openssl cannot make a test certificate";
    // A settings file with 1251 bytes, CR LF and a NUL: the attachment must carry them unchanged.
    settings_ =
        std::string("[options]\r\npath=\"\xCA-7\"\r\nActiveProg=3\r\n") + std::string(1, '\0') + "end\r\n";
    auto stats = std::make_unique<DailyStatsTable>();
    facts_.machineId = "К-7";
    facts_.clock = mailClockAt(1781500000);
    facts_.egaMin = 3;
    facts_.egaMax = 5;
    facts_.egbMin = 1;
    facts_.egbMax = 2;
    *stats->count(DayNumber(facts_.clock.date), kSideA, 4) = 77;
    body_ = supportMailBody(facts_, *stats, {}, {});
    const SupportMessage message = supportMessage(facts_.machineId, kUser, facts_.clock.dateHeader, body_,
                                                  MailAttachment{"TolvaneGrain.ini", settings_});
    mime_ = mimeText(message, newMimeBoundary());
  }

  ServiceLinks links(const std::string& scheme, int port, MailTls tls, bool withCa,
                     const std::string& password = kPassword) const {
    ServiceLinks l;
    l.mailServer = scheme + "://127.0.0.1:" + std::to_string(port);
    l.mailUser = kUser;
    l.mailPassword = password;
    l.mailTls = tls;
    if (withCa) l.caFile = certs_ / "cert.pem";
    return l;
  }

  // Reads mail-1.eml of folder with Python's email package into out.
  void readBack(const std::filesystem::path& folder, const std::filesystem::path& out) const {
    ASSERT_EQ(test::runQuietly({python_, std::string(TOLVANE_SOURCE_DIR) + "/tests/netio/read_mail.py",
                                (folder / "mail-1.eml").string(), out.string()}),
              0);
  }

  void runCases(const char* mode, const std::vector<SendCase>& cases);

  std::string python_;
  TempDir certs_;
  std::string settings_;
  SupportMailFacts facts_;
  std::vector<std::string> body_;
  std::string mime_;
};

// One server of the mode for all cases; each case looks at what its own send added.
void SupportMailSend::runCases(const char* mode, const std::vector<SendCase>& cases) {
  TempDir mail;
  test::SmtpTestServer server(python_, mail.path(), kUser, kPassword, mode, certs_.path());
  ASSERT_NE(server.port(), 0) << "the SMTP server did not start";
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t authBefore = readBytes(mail / "auth.log").size();
    const std::size_t mailsBefore = filesNamed(mail.path(), ".eml");
    const MailResult result = sendMail(links(c.scheme, server.port(), c.tls, c.withCa, c.password), mime_);
    EXPECT_EQ(result.outcome, c.outcome) << result.detail;
    EXPECT_EQ(result.detail.find(c.password), std::string::npos) << result.detail;
    // The server writes before it answers, so what the send caused is on disk now.
    EXPECT_EQ(readBytes(mail / "auth.log").substr(authBefore), c.authLog);
    const std::size_t mails = filesNamed(mail.path(), ".eml");
    EXPECT_EQ(mails, mailsBefore + (c.tlsUsed < 0 ? 0u : 1u));
    if (c.tlsUsed >= 0) {
      EXPECT_EQ(readBytes(mail / ("mail-" + std::to_string(mails) + ".meta")),
                "tls=" + std::to_string(c.tlsUsed) + "\nfrom=support@example.org\nto=support@example.org\n");
    }
  }
}

TEST_F(SupportMailSend, ServerOfferingStartTls) {
  runCases("starttls", {
                           {"starttls offered and used", "smtp", MailTls::kStartTls, true, kPassword,
                            MailOutcome::kSent, "LOGIN support@example.org ok tls=1\n", 1},
                           {"required", "smtp", MailTls::kRequired, true, kPassword, MailOutcome::kSent,
                            "LOGIN support@example.org ok tls=1\n", 1},
                           {"wrong password", "smtp", MailTls::kStartTls, true, "qwertz",
                            MailOutcome::kFailed, "LOGIN support@example.org denied tls=1\n", -1},
                           {"untrusted certificate", "smtp", MailTls::kStartTls, false, kPassword,
                            MailOutcome::kFailed, "", -1},
                       });
}

TEST_F(SupportMailSend, ServerWithoutTls) {
  runCases("plain", {
                        {"required: refused, nothing in the clear", "smtp", MailTls::kRequired, true,
                         kPassword, MailOutcome::kFailed, "", -1},
                        {"starttls not offered: plain", "smtp", MailTls::kStartTls, false, kPassword,
                         MailOutcome::kSent, "LOGIN support@example.org ok tls=0\n", 0},
                        {"none", "smtp", MailTls::kNone, false, kPassword, MailOutcome::kSent,
                         "LOGIN support@example.org ok tls=0\n", 0},
                    });
}

TEST_F(SupportMailSend, ServerWithTlsFromTheStart) {
  runCases("smtps", {
                        {"smtps with ca_file", "smtps", MailTls::kStartTls, true, kPassword,
                         MailOutcome::kSent, "LOGIN support@example.org ok tls=1\n", 1},
                        {"smtps, mail_tls none", "smtps", MailTls::kNone, true, kPassword, MailOutcome::kSent,
                         "LOGIN support@example.org ok tls=1\n", 1},
                        {"smtps without ca_file", "smtps", MailTls::kStartTls, false, kPassword,
                         MailOutcome::kFailed, "", -1},

                    });
}

TEST_F(SupportMailSend, NobodyListening) {
  const MailResult result = sendMail(links("smtp", test::unusedPort(), MailTls::kStartTls, true), mime_);
  EXPECT_EQ(result.outcome, MailOutcome::kFailed);
  EXPECT_FALSE(result.detail.empty());
}

TEST_F(SupportMailSend, ReceivedMailHoldsTheBodyLinesAndTheSettingsFile) {
  TempDir mail;
  TempDir parsed;
  {
    test::SmtpTestServer server(python_, mail.path(), kUser, kPassword, "starttls", certs_.path());
    ASSERT_NE(server.port(), 0);
    const MailResult result = sendMail(links("smtp", server.port(), MailTls::kRequired, true), mime_);
    ASSERT_EQ(result.outcome, MailOutcome::kSent) << result.detail;
  }
  readBack(mail.path(), parsed.path());
  EXPECT_EQ(splitLines(readBytes(parsed / "headers.txt"), "\n"),
            (std::vector<std::string>{"MK #К-7", kUser, kUser, "Support query", "text/plain", "utf-8"}));
  EXPECT_EQ(splitLines(readBytes(parsed / "body.txt"), "\r\n"), body_);
  EXPECT_EQ(readBytes(parsed / "attachment-TolvaneGrain.ini"), settings_);
  const auto lines = splitLines(readBytes(parsed / "body.txt"), "\r\n");
  ASSERT_GT(lines.size(), 24u);
  EXPECT_EQ(lines[23], "3: \t0\t0\t0\t0\t0\t0\t0\t");
  EXPECT_EQ(lines[24], "4: \t0\t0\t0\t0\t0\t0\t77\t");
}

TEST(SupportMailNoServer, NoServerOrMailboxMeansNoConnection) {
  const MailOutcome none = MailOutcome::kNoConnection;
  ServiceLinks l;
  EXPECT_EQ(sendMail(l, "x").outcome, none);
  l.mailServer = "smtp://127.0.0.1:1";
  EXPECT_EQ(sendMail(l, "x").outcome, none);  // no mailbox
  l.mailUser = "a b@example.org";
  EXPECT_EQ(sendMail(l, "x").outcome, MailOutcome::kFailed);
  l.mailUser = "a@example.org>\r\nRCPT TO:<b@example.org";
  EXPECT_EQ(sendMail(l, "x").outcome, MailOutcome::kFailed);
  EXPECT_EQ(mailStatusText(MailOutcome::kSent), "Запрос отправлен.");
  EXPECT_EQ(mailStatusText(MailOutcome::kNoConnection), "Связь отсутствует.");
  EXPECT_EQ(mailStatusText(MailOutcome::kFailed), "");
}

TEST(SupportMailNoServer, ACancelledSendStops) {
  // A listener that accepts and never answers: without the cancel the send would wait for its timeout.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  ServiceLinks l;
  l.mailServer = "smtp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  l.mailUser = kUser;
  std::atomic<bool> cancel{true};
  EXPECT_EQ(sendMail(l, "x", &cancel).outcome, MailOutcome::kFailed);
  ::close(fd);
}

}  // namespace
}  // namespace tolvane
