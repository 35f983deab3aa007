// The support button on the working page: the panel, the mail sent off the UI thread, the outcome and
// the update check that follows (or not).
#include "app/support_request_controller.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/page_simple_work.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"
#include "tests/netio/smtp_test_server.h"

namespace tolvane {
namespace {

using test::stopTimers;
using test::WindowRig;

// What the controller did, in order: the status texts shown during the pause, the pauses, the update.
struct Watch {
  std::vector<std::string> events;
  bool done = false;
  MailOutcome outcome = MailOutcome::kFailed;
};

SupportRequestController::Options watched(Watch& watch, PageSimpleWork& page, ServiceLinks links) {
  SupportRequestController::Options options;
  options.links = std::move(links);
  options.wait = [&watch, &page](std::uint32_t ms) {
    watch.events.push_back("wait " + std::to_string(ms) + " " + page.ParLabel->text().toStdString() +
                           (page.DownloadPanel->isVisible() ? " (panel)" : ""));
  };
  // As the real update does: it takes the panel over and hides it when done.
  options.downloadUpdate = [&watch, &page] {
    watch.events.emplace_back("update");
    page.DownloadPanel->hide();
  };
  return options;
}

bool waitFor(const Watch& watch) {
  QElapsedTimer clock;
  clock.start();
  while (!watch.done && clock.elapsed() < 15000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return watch.done;
}

struct ControllerCase {
  const char* name;
  ServiceLinks links;
  std::vector<std::string> events;
  MailOutcome outcome;
};

TEST(SupportRequest, OutcomesDecideWhetherTheUpdateCheckRuns) {
  ServiceLinks noServer;
  ServiceLinks nobodyListening;
  nobodyListening.mailServer = "smtp://127.0.0.1:" + std::to_string(test::unusedPort());
  nobodyListening.mailUser = "m@example.org";
  const ControllerCase cases[] = {
      {"no mail server: no connection, then the update check",
       noServer,
       {"wait 3000 Связь отсутствует. (panel)", "update"},
       MailOutcome::kNoConnection},
      {"connection error: ends silently", nobodyListening, {}, MailOutcome::kFailed},
  };
  for (const ControllerCase& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig;
    TmForm& form = rig.create();
    stopTimers(form);
    PageSimpleWork& page = *form.tabSimpleWork();
    Watch watch;
    // The window's own controller stands aside for the watched one.
    QObject::disconnect(page.SupportButton, nullptr, &form.supportRequestController(), nullptr);
    SupportRequestController controller(page, rig.machine(), watched(watch, page, c.links));
    QObject::connect(&controller, &SupportRequestController::finished, [&watch](MailOutcome outcome) {
      watch.done = true;
      watch.outcome = outcome;
    });
    form.show();
    // The button as the operator touches it.
    ASSERT_TRUE(test::AccessibleDriver(&form).pressByDescription(QStringLiteral("SupportButton")));
    // The send runs on its own: the window gets control back with the panel up.
    EXPECT_TRUE(controller.busy());
    EXPECT_TRUE(page.DownloadPanel->isVisible());
    EXPECT_EQ(page.ParLabel->text(), QStringLiteral("Отправка запроса..."));
    controller.request();  // a second touch while it runs changes nothing
    ASSERT_TRUE(waitFor(watch));
    EXPECT_EQ(watch.outcome, c.outcome);
    EXPECT_EQ(watch.events, c.events);
    EXPECT_FALSE(page.DownloadPanel->isVisible());
    EXPECT_FALSE(controller.busy());
  }
}

TEST(SupportRequest, MailReachesTheServerWithTheMachinesSettingsFile) {
  const std::string python = test::pythonWithAiosmtpd();
  if (python.empty()) GTEST_SKIP() << "python3 with aiosmtpd is not installed";
  test::TempDir mail;
  test::SmtpTestServer server(python, mail.path(), "m@example.org", "pw", "plain");
  ASSERT_NE(server.port(), 0);
  WindowRig rig;
  rig.writeSettings("[options]\r\npath=\"42\"\r\nEGA_Min=3\r\nEGA_Max=4\r\nEGB_Min=1\r\nEGB_Max=1\r\n");
  TmForm& form = rig.create();
  stopTimers(form);
  {
    std::lock_guard lock(rig.machine().engine().engineLock);
    rig.machine().engine().PreviewLine[0][10] = RgbPixel{11, 22, 33};
  }
  const std::string settings = test::readBytes(rig.settingsFile());
  PageSimpleWork& page = *form.tabSimpleWork();
  ServiceLinks links;
  links.mailServer = "smtp://127.0.0.1:" + std::to_string(server.port());
  links.mailUser = "m@example.org";
  links.mailPassword = "pw";
  links.mailTls = MailTls::kNone;
  Watch watch;
  SupportRequestController controller(page, rig.machine(), watched(watch, page, links));
  QObject::connect(&controller, &SupportRequestController::finished, [&watch](MailOutcome outcome) {
    watch.done = true;
    watch.outcome = outcome;
  });
  form.show();
  controller.request();
  ASSERT_TRUE(waitFor(watch));
  EXPECT_EQ(watch.outcome, MailOutcome::kSent);
  EXPECT_EQ(watch.events, (std::vector<std::string>{"wait 3000 Запрос отправлен. (panel)", "update"}));
  const std::string stored = test::readBytes(mail / "mail-1.eml");
  EXPECT_NE(stored.find("From: \"MK #42\" <m@example.org>"), std::string::npos) << stored.substr(0, 400);
  test::TempDir parsed;
  ASSERT_EQ(test::runQuietly({python, std::string(TOLVANE_SOURCE_DIR) + "/tests/netio/read_mail.py",
                              (mail / "mail-1.eml").string(), parsed.path().string()}),
            0);
  EXPECT_EQ(test::readBytes(parsed / "attachment-TolvaneGrain.ini"), settings);
  const std::string body = test::readBytes(parsed / "body.txt");
  EXPECT_TRUE(body.starts_with("MK №42 запущен. ")) << body.substr(0, 80);
  EXPECT_NE(
      body.find("\r\nПервая камера (сработки)\r\n3: \t0\t0\t0\t0\t0\t0\t0\t\r\n4: \t0\t0\t0\t0\t0\t0\t0\t\r\n"
                "Вторая камера (сработки)\r\n1: \t"),
      std::string::npos);
  EXPECT_NE(body.find("\r\nПервая камера\r\nR: 11\t0\t"), std::string::npos);
}

TEST(SupportRequest, ClosingTheWindowWhileSendingWaitsForNothingLong) {
  // A server that accepts and never answers: the controller going away abandons the send.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  ServiceLinks links;
  links.mailServer = "smtp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  links.mailUser = "m@example.org";
  Watch watch;
  {
    SupportRequestController controller(*form.tabSimpleWork(), rig.machine(),
                                        watched(watch, *form.tabSimpleWork(), links));
    controller.request();
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
  EXPECT_TRUE(watch.events.empty());
  ::close(fd);
}

}  // namespace
}  // namespace tolvane
