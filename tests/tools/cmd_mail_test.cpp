#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/ejection_state.h"
#include "service/dw_time.h"
#include "tests/netio/smtp_test_server.h"
#include "tests/settings/settings_test_util.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

using test::TempDir;
using test::writeBytes;

struct MailRun {
  int code;
  std::vector<std::string> lines;
  std::string out;
};

MailRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  MailRun r{code, {}, out.str()};
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) r.lines.push_back(line);
  return r;
}

bool has(const MailRun& r, const std::string& line) {
  return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
}

void writeMachineFolder(const TempDir& dir, const std::string& platform) {
  writeBytes(dir / "TolvaneGrain.ini",
             "[options]\r\npath=\"\xCA-9\"\r\nEGA_Min=2\r\nEGA_Max=3\r\nEGB_Min=7\r\nEGB_Max=7\r\n");
  auto stats = std::make_unique<DailyStatsTable>();
  *stats->count(DayNumber(), kSideA, 3) = 42;
  writeBytes(dir / "TolvaneGrain.stat",
             std::string_view(reinterpret_cast<const char*>(stats.get()), sizeof(DailyStatsTable)));
  writeBytes(dir / "TolvaneGrain.platform", platform);
}

TEST(MailTool, PreviewShowsTheWholeMessageWithoutThePassword) {
  TempDir dir;
  writeMachineFolder(dir,
                     "mail_user = m@example.org\nmail_password = secret\nmail_server = smtp://127.0.0.1:1\n");
  const MailRun r = run({"mail", "preview", dir.path().string()});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(has(r, "From: =?UTF-8?B?TUsgI9CaLTk=?= <m@example.org>")) << r.out;  // "MK #К-9"
  EXPECT_TRUE(has(r, "To: <m@example.org>"));
  EXPECT_TRUE(has(r, "Subject: Support query"));
  EXPECT_TRUE(r.out.find("\nMK №К-9 запущен. " + DateText(Today())) != std::string::npos) << r.out;
  EXPECT_TRUE(has(r, "2: \t0\t0\t0\t0\t0\t0\t0\t"));
  EXPECT_TRUE(has(r, "3: \t0\t0\t0\t0\t0\t0\t42\t"));
  EXPECT_FALSE(has(r, "4: \t0\t0\t0\t0\t0\t0\t0\t"));
  EXPECT_TRUE(has(r, "7: \t0\t0\t0\t0\t0\t0\t0\t"));
  EXPECT_TRUE(has(r, "Вложение: TolvaneGrain.ini, 67 байт")) << r.out;
  EXPECT_TRUE(has(r, "Изображение с камер: камер нет, значения нулевые"));
  EXPECT_EQ(r.out.find("secret"), std::string::npos);
}

TEST(MailTool, PreviewOfAnEmptyFolderSaysWhatIsMissing) {
  TempDir dir;
  const MailRun r = run({"mail", "preview", dir.path().string()});
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(has(r, "TolvaneGrain.ini не прочитан: идентификатор 000, ряды эжекторов по умолчанию"));
  EXPECT_TRUE(has(r, "TolvaneGrain.stat не прочитан: статистика нулевая"));
  EXPECT_TRUE(has(r, "From: \"MK #000\" <>"));
  EXPECT_TRUE(has(r, "Вложения нет: файл настроек не прочитан"));
  EXPECT_TRUE(has(r, "48: \t0\t0\t0\t0\t0\t0\t0\t"));
}

TEST(MailTool, SendOutcomesAndUsage) {
  TempDir dir;
  struct Case {
    const char* platform;
    int code;
    const char* lastLinePrefix;
  };
  const Case cases[] = {
      {"", 1, "Связь отсутствует."},
      {"mail_user = m@example.org\n", 1, "Связь отсутствует."},
      {"mail_tls = maybe\n", 1, "TolvaneGrain.platform: mail_tls \"maybe\" неизвестно"},
      {"mail_server = smtp://127.0.0.1:1\nmail_user = m@example.org\nmail_password = secret\n", 1,
       "Запрос не отправлен: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.platform);
    writeMachineFolder(dir, c.platform);
    const MailRun r = run({"mail", "send", dir.path().string()});
    EXPECT_EQ(r.code, c.code);
    ASSERT_FALSE(r.lines.empty());
    EXPECT_TRUE(r.lines.back().starts_with(c.lastLinePrefix)) << r.out;
    EXPECT_EQ(r.out.find("secret"), std::string::npos);
  }
  EXPECT_EQ(run({"mail", "send", (dir / "nothing").string()}).code, 1);
  EXPECT_EQ(run({"mail", "send"}).code, 2);
  EXPECT_EQ(run({"mail", "post", dir.path().string()}).code, 2);
}

TEST(MailTool, SendReachesARealServer) {
  const std::string python = test::pythonWithAiosmtpd();
  if (python.empty()) GTEST_SKIP() << "python3 with aiosmtpd is not installed";
  TempDir dir, mail;
  test::SmtpTestServer server(python, mail.path(), "m@example.org", "secret", "plain");
  ASSERT_NE(server.port(), 0);
  writeMachineFolder(dir, "mail_server = smtp://127.0.0.1:" + std::to_string(server.port()) +
                              "\nmail_user = m@example.org\nmail_password = secret\nmail_tls = none\n");
  const MailRun r = run({"mail", "send", dir.path().string()});
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.lines, (std::vector<std::string>{"Отправка запроса...", "Запрос отправлен."}));
  const std::string stored = test::readBytes(mail / "mail-1.eml");
  EXPECT_NE(stored.find("Subject: Support query"), std::string::npos);
  EXPECT_NE(stored.find("filename=\"TolvaneGrain.ini\""), std::string::npos);
}

}  // namespace
}  // namespace tolvane::tool
