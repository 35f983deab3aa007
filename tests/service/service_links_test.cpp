#include "service/service_links.h"

#include <gtest/gtest.h>

#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

struct LinkCase {
  const char* line;
  bool accepted;
  const char* updateServer;
  const char* mailServer;
  const char* password;
  MailTls tls;
};

TEST(ServiceLinks, EveryKeyFromItsLine) {
  const LinkCase cases[] = {
      {"update_server = http://updates.example:8080", true, "http://updates.example:8080", "", "",
       MailTls::kStartTls},
      {"update_server = https://updates.example/", true, "https://updates.example", "", "",
       MailTls::kStartTls},
      {"update_server =", true, "", "", "", MailTls::kStartTls},
      {"update_server = ftp://updates.example", false, "", "", "", MailTls::kStartTls},
      {"update_server = http://host/updates", false, "", "", "", MailTls::kStartTls},
      {"update_server = http://", false, "", "", "", MailTls::kStartTls},
      {"update_server = http://user@host", false, "", "", "", MailTls::kStartTls},
      {"mail_server = smtps://mail.example:465", true, "", "smtps://mail.example:465", "",
       MailTls::kStartTls},
      {"mail_server = http://mail.example", false, "", "", "", MailTls::kStartTls},
      {"mail_password = ab#cd # the supplier's", true, "", "", "ab#cd", MailTls::kStartTls},
      {"mail_tls = required", true, "", "", "", MailTls::kRequired},
      {"mail_tls = none", true, "", "", "", MailTls::kNone},
      {"mail_tls = maybe", false, "", "", "", MailTls::kStartTls},
  };
  for (const LinkCase& c : cases) {
    SCOPED_TRACE(c.line);
    test::TempDir dir;
    test::writeBytes(dir / "TolvaneGrain.platform", std::string("hardware = simulated\n") + c.line + "\n");
    std::string error;
    const ServiceLinks links = readServiceLinks(dir / "TolvaneGrain.platform", error);
    EXPECT_EQ(error.empty(), c.accepted) << error;
    EXPECT_EQ(links.updateServer, c.updateServer);
    EXPECT_EQ(links.mailServer, c.mailServer);
    EXPECT_EQ(links.mailPassword, c.password);
    EXPECT_EQ(links.mailTls, c.tls);
  }
}

TEST(ServiceLinks, MissingFileMeansNoLinksAndAFolderIsAMessage) {
  test::TempDir dir;
  std::string error;
  EXPECT_TRUE(readServiceLinks(dir / "TolvaneGrain.platform", error).updateServer.empty());
  EXPECT_TRUE(error.empty());
  std::filesystem::create_directory(dir / "TolvaneGrain.platform");
  readServiceLinks(dir / "TolvaneGrain.platform", error);
  EXPECT_NE(error.find("не читается"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
