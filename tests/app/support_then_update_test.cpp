// "Отправить|настройки" on the assembled window against real servers on loopback: the support mail
// reaches the SMTP server, then the server update brings a new program that is started.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>

#include "app/page_simple_work.h"
#include "app/update_controller.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"
#include "tests/netio/smtp_test_server.h"
#include "tests/update/update_test_server.h"

namespace tolvane {
namespace {

TEST(SupportThenUpdate, TheMailArrivesAndTheNewProgramIsStarted) {
  const std::string python = test::pythonWithAiosmtpd();
  if (python.empty()) GTEST_SKIP() << "python3 with aiosmtpd is not installed";
  test::TempDir mail;
  test::SmtpTestServer smtp(python, mail.path(), "m@example.org", "pw", "plain");
  ASSERT_NE(smtp.port(), 0);
  test::UpdateTestServer http;
  std::string reason;
  ASSERT_TRUE(http.start(reason)) << reason;
  const std::string program = test::programBytes(5000);
  test::writeBytes(http.folder() / "TolvaneGrain", program);
  test::Route route;
  route.bodyFile = http.folder() / "TolvaneGrain";
  http.route("/updates/MK-0042/TolvaneGrain", route);

  test::RigOptions options;
  options.links.mailServer = "smtp://127.0.0.1:" + std::to_string(smtp.port());
  options.links.mailUser = "m@example.org";
  options.links.mailPassword = "pw";
  options.links.mailTls = MailTls::kNone;
  options.links.updateServer = http.base();
  test::WindowRig rig(options);
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  test::stopTimers(form);
  UpdateController::Sources sources;
  sources.pauseMs = 50;
  form.updateController().setSources(sources);
  QSignalSpy finished(&form.updateController(), &UpdateController::downloadFinished);
  form.show();

  ASSERT_TRUE(test::AccessibleDriver(&form).pressByDescription(QStringLiteral("SupportButton")));
  QElapsedTimer clock;
  clock.start();
  while (finished.isEmpty() && clock.elapsed() < 30000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_FALSE(finished.isEmpty());
  EXPECT_TRUE(finished.front().front().toBool());

  EXPECT_NE(test::readBytes(mail / "mail-1.eml").find("Subject: Support query"), std::string::npos);
  EXPECT_EQ(test::readBytes(rig.file("TolvaneGrain_")), program);
  ASSERT_EQ(rig.launcher.launches().size(), 1u);
  EXPECT_EQ(rig.launcher.launches()[0].programFile, rig.file("TolvaneGrain_"));
  EXPECT_TRUE(form.tabSimpleWork()->DownloadPanel->isHidden());
}

}  // namespace
}  // namespace tolvane
