// The update buttons and the server update on the simulated machine: media questions, rollback, the
// copy's caption, and a download from a real HTTP server with the panel moving while it runs.
#include "app/update_controller.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/page_settings.h"
#include "app/page_simple_work.h"
#include "app/page_work.h"
#include "tests/app/main_window_rig.h"
#include "tests/update/update_test_server.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::stopTimers;
using test::TempDir;
using test::touch;
using test::WindowRig;
using test::writeBytes;

std::string text(const QString& s) { return s.toStdString(); }

// Whether part is a subsequence of whole.
bool inOrder(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
  std::size_t at = 0;
  for (const std::string& item : whole) {
    if (at < part.size() && part[at] == item) ++at;
  }
  return at == part.size();
}

// The window over simulated hardware with an update controller whose endings are recorded.
struct UpdateRig {
  WindowRig rig;
  TempDir system;  // mount table, block devices and media
  int ended = 0;
  int restarted = 0;
  int frozen = 0;
  std::unique_ptr<UpdateController> controller;

  explicit UpdateRig(std::string_view settings = test::kTwoCameraSettings) {
    rig.writeSettings(settings);
    TmForm& form = rig.create();
    stopTimers(form);
    UpdateController::Actions actions;
    actions.ask = [this](const QString& title, const QString& question) {
      rig.questions.push_back(text(title + QStringLiteral(" / ") + question));
      if (rig.answers.empty()) return false;
      const bool answer = rig.answers.front();
      rig.answers.pop_front();
      return answer;
    };
    actions.tell = [this](const QString& message) { rig.messages.push_back(text(message)); };
    actions.freezeSettingsFile = [this] { ++frozen; };
    actions.endProgram = [this] { ++ended; };
    actions.restart = [this] {
      ++restarted;
      return true;
    };
    // The window's own controller stands aside for this one, whose endings are recorded.
    for (TasSwitch* button : {form.tabWork()->CheckUpdateButton, form.tabWork()->UpdateUnableButton}) {
      QObject::disconnect(button, nullptr, &form.updateController(), nullptr);
    }
    controller = std::make_unique<UpdateController>(*form.tabWork(), *form.tabSettings(),
                                                    *form.tabSimpleWork(), rig.machine(), actions);
    fs::create_directories(system / "block" / "sdb");
    writeBytes(system / "block" / "sdb" / "removable", "1\n");
    writeBytes(system / "mounts", "");
    UpdateController::Sources sources;
    sources.mountTable = system / "mounts";
    sources.blockRoot = system / "block";
    sources.pauseMs = 300;
    controller->setSources(sources);
  }

  ~UpdateRig() {
    controller.reset();
    rig.form.reset();
  }

  // Media "a" and "b" on removable devices, each holding an update.
  void twoMedia() {
    std::string table;
    for (const char* name : {"b", "a"}) {
      fs::create_directories(system / name);
      writeBytes(system / name / "TolvaneGrain.update", std::string("program from ") + name);
      table += (name[0] == 'a' ? "/dev/sr0 " : "/dev/sdb ") + (system / name).string() + " vfat rw 0 0\n";
    }
    writeBytes(system / "mounts", table);
  }

  TasSwitch* checkButton() { return rig.form->tabWork()->CheckUpdateButton; }
  std::vector<fs::path> launched() {
    std::vector<fs::path> files;
    for (const auto& launch : rig.launcher.launches()) files.push_back(launch.programFile);
    return files;
  }
};

TEST(MediaUpdateButton, NoOnTheFirstMediumAsksTheSecondAndYesInstallsIt) {
  UpdateRig u;
  u.twoMedia();
  u.rig.answers = {false, true};

  touch(u.checkButton());

  const std::string a = (u.system / "a").string() + "/";
  const std::string b = (u.system / "b").string() + "/";
  EXPECT_EQ(u.rig.questions,
            (std::vector<std::string>{"Вопрос... / Найдено обновление по адресу " + a + ". Установить?",
                                      "Вопрос... / Найдено обновление по адресу " + b + ". Установить?"}));
  EXPECT_EQ(readBytes(u.rig.file("TolvaneGrain_")), "program from b");
  EXPECT_EQ(u.launched(), std::vector<fs::path>{u.rig.file("TolvaneGrain_")});
  EXPECT_EQ(u.ended, 1);
  EXPECT_EQ(text(u.checkButton()->caption()), "Проверка|обновления");
  EXPECT_FALSE(u.checkButton()->stateOn());
  EXPECT_FALSE(u.rig.form->tabSettings()->UpdateGauge->isVisible());
}

TEST(MediaUpdateButton, NothingFoundAndAllDeclined) {
  UpdateRig u;
  touch(u.checkButton());
  EXPECT_EQ(u.rig.messages, std::vector<std::string>{"Обновление не найдено."});
  EXPECT_TRUE(u.rig.questions.empty());
  EXPECT_FALSE(u.checkButton()->stateOn());

  u.twoMedia();
  u.rig.answers = {false, false};
  touch(u.checkButton());
  EXPECT_EQ(u.rig.questions.size(), 2u);
  EXPECT_EQ(u.rig.messages.size(), 1u);
  EXPECT_FALSE(fs::exists(u.rig.file("TolvaneGrain_")));
  EXPECT_TRUE(u.launched().empty());
  EXPECT_EQ(u.ended, 0);
}

TEST(MediaUpdateButton, FailedCopyStartsNothingAndShowsTheFailure) {
  UpdateRig u;
  u.twoMedia();
  // A left-over "TolvaneGrain_" that cannot be deleted: a folder with something in it.
  fs::create_directories(u.rig.file("TolvaneGrain_") / "inside");
  u.rig.answers = {true};

  u.controller->checkMediaUpdate();

  EXPECT_TRUE(u.launched().empty());
  EXPECT_EQ(u.ended, 0);
  EXPECT_EQ(text(u.checkButton()->caption()), "Сбой|обновления");
  EXPECT_FALSE(u.checkButton()->stateOn());
}

TEST(RollbackButton, NoPointQuestionAndExchange) {
  UpdateRig u;
  TasSwitch* button = u.rig.form->tabWork()->UpdateUnableButton;
  touch(button);
  EXPECT_EQ(u.rig.messages, std::vector<std::string>{"Точек отката нет."});
  EXPECT_TRUE(u.rig.questions.empty());

  writeBytes(u.rig.file("TolvaneGrain.bak"), "previous version");
  writeBytes(u.rig.file("TolvaneGrain_"), "left over");
  u.rig.answers = {false};
  touch(button);
  EXPECT_EQ(u.rig.questions,
            std::vector<std::string>{"Вопрос... / Найдена точка отката. Вернуть старую версию программы?"});
  EXPECT_EQ(readBytes(u.rig.file("TolvaneGrain_")), "left over");
  EXPECT_TRUE(u.launched().empty());

  u.rig.answers = {true};
  touch(button);
  EXPECT_EQ(readBytes(u.rig.file("TolvaneGrain_")), "previous version");
  EXPECT_EQ(u.launched(), std::vector<fs::path>{u.rig.file("TolvaneGrain_")});
  EXPECT_EQ(u.ended, 1);
}

class ServerUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::onPath("python3")) GTEST_SKIP() << "python3 is not installed";
    std::string reason;
    if (!server.start(reason)) GTEST_SKIP() << reason;
    ServiceLinks links;
    links.updateServer = server.base();
    u.controller->setServiceLinks(links);
  }

  void serve(const std::string& file, const std::string& bytes, long chunk = 0) {
    writeBytes(server.folder() / file, bytes);
    test::Route route;
    route.bodyFile = server.folder() / file;
    route.chunk = chunk;
    route.delay = chunk > 0 ? 0.05 : 0;
    server.route("/updates/MK-0042/" + file, route);
  }

  // Runs the event loop until the download ends, noting every text ParLabel showed and the panel's
  // visibility meanwhile.
  bool waitForEnd(QSignalSpy& finished) {
    QElapsedTimer clock;
    clock.start();
    while (finished.isEmpty() && clock.elapsed() < 20000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      QTest::qWait(5);
      const std::string shown = text(u.rig.form->tabSimpleWork()->ParLabel->text());
      if (labels.empty() || labels.back() != shown) labels.push_back(shown);
      panelSeen = panelSeen || !u.rig.form->tabSimpleWork()->DownloadPanel->isHidden();
      barMaximum = std::max(barMaximum, u.rig.form->tabSimpleWork()->PBar->maximum());
      barValue = std::max(barValue, u.rig.form->tabSimpleWork()->PBar->value());
    }
    return !finished.isEmpty();
  }

  UpdateRig u;
  test::UpdateTestServer server;
  std::vector<std::string> labels;
  bool panelSeen = false;
  int barMaximum = 0;
  int barValue = 0;
};

const std::string kServedSettings =
    "[options]\r\nActiveProg=1\r\npath=\"MK-0042\"\r\n" + std::string(1500, ';');

TEST_F(ServerUpdate, ProgramAndSettingsArriveTheSettingsFreezeAndTheProgramIsStarted) {
  serve("TolvaneGrain", test::programBytes(8000), 1000);
  serve("TolvaneGrain.ini", kServedSettings);
  const std::string before = readBytes(u.rig.settingsFile());
  QSignalSpy finished(u.controller.get(), &UpdateController::downloadFinished);

  ASSERT_TRUE(u.controller->downloadUpdate());
  EXPECT_FALSE(u.controller->downloadUpdate());  // one at a time
  ASSERT_TRUE(waitForEnd(finished));

  EXPECT_TRUE(finished.front().front().toBool());
  EXPECT_TRUE(panelSeen);
  EXPECT_TRUE(u.rig.form->tabSimpleWork()->DownloadPanel->isHidden());
  // Short-lived texts may pass between two looks; what was seen came in this order, outcomes included.
  const std::vector<std::string> all = {
      "Поиск обновления...", "Обновление найдено. Загрузка...", "Файл TolvaneGrain.update ok.",
      "Поиск обновления...", "Обновление найдено. Загрузка...", "Файл TolvaneGrain.ini ok."};
  EXPECT_TRUE(inOrder(labels, all)) << ::testing::PrintToString(labels);
  EXPECT_TRUE(inOrder(
      {"Обновление найдено. Загрузка...", "Файл TolvaneGrain.update ok.", "Файл TolvaneGrain.ini ok."},
      labels))
      << ::testing::PrintToString(labels);
  EXPECT_EQ(barMaximum, 8000);
  EXPECT_EQ(barValue, 8000);
  EXPECT_EQ(readBytes(u.rig.settingsFile()), kServedSettings);
  EXPECT_EQ(readBytes(u.rig.file("TolvaneGrainINI.prev")), before);
  EXPECT_EQ(u.frozen, 1);
  EXPECT_EQ(readBytes(u.rig.file("TolvaneGrain_")), test::programBytes(8000));
  EXPECT_EQ(u.launched(), std::vector<fs::path>{u.rig.file("TolvaneGrain_")});
  EXPECT_EQ(u.ended, 1);
  EXPECT_EQ(u.restarted, 0);
  // The agent is the running program file's name.
  ASSERT_FALSE(server.requests().empty());
  EXPECT_EQ(server.requests().front(), "/updates/MK-0042/TolvaneGrain TolvaneGrain");
}

TEST_F(ServerUpdate, SettingsAloneFreezeAndRestart) {
  serve("TolvaneGrain.ini", kServedSettings);
  QSignalSpy finished(u.controller.get(), &UpdateController::downloadFinished);

  ASSERT_TRUE(u.controller->downloadUpdate());
  ASSERT_TRUE(waitForEnd(finished));

  EXPECT_FALSE(finished.front().front().toBool());
  EXPECT_EQ(u.frozen, 1);
  EXPECT_EQ(u.restarted, 1);
  EXPECT_TRUE(u.launched().empty());
  EXPECT_EQ(u.ended, 0);
  EXPECT_TRUE(inOrder({"Ошибка: TolvaneGrain.update", "Файл TolvaneGrain.ini ok."}, labels))
      << ::testing::PrintToString(labels);
}

TEST_F(ServerUpdate, NothingOnTheServerChangesNothing) {
  const std::string before = readBytes(u.rig.settingsFile());
  QSignalSpy finished(u.controller.get(), &UpdateController::downloadFinished);

  ASSERT_TRUE(u.controller->downloadUpdate());
  ASSERT_TRUE(waitForEnd(finished));

  EXPECT_EQ(u.frozen + u.restarted + u.ended, 0);
  EXPECT_TRUE(u.launched().empty());
  EXPECT_EQ(readBytes(u.rig.settingsFile()), before);
  EXPECT_FALSE(fs::exists(u.rig.file("TolvaneGrain.update")));
  EXPECT_EQ(labels.back(), "Ошибка: TolvaneGrain.ini");
}

TEST_F(ServerUpdate, ClosingDuringADownloadCancelsItAndLeavesNothing) {
  serve("TolvaneGrain", test::programBytes(400'000), 1000);
  ASSERT_TRUE(u.controller->downloadUpdate());
  QElapsedTimer clock;
  clock.start();
  while (u.rig.form->tabSimpleWork()->PBar->value() == 0 && clock.elapsed() < 10000) QTest::qWait(5);
  ASSERT_GT(u.rig.form->tabSimpleWork()->PBar->value(), 0);

  u.controller.reset();

  for (const auto& entry : fs::directory_iterator(u.rig.dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find("TolvaneGrain.update"), std::string::npos)
        << entry.path();
  }
  EXPECT_EQ(u.frozen + u.restarted + u.ended, 0);
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

TEST(DownloadPanelLook, EveryStatusTextFitsItsLabel) {
  UpdateRig u;
  PageSimpleWork& page = *u.rig.form->tabSimpleWork();
  page.DownloadPanel->show();
  for (const std::string& status :
       {std::string(kSearchingText), std::string(kFoundText), fileOkText("TolvaneGrain.update"),
        fileErrorText("TolvaneGrain.update"), fileOkText("TolvaneGrain.ini"), std::string(kNoServerText)}) {
    page.ParLabel->setText(QString::fromStdString(status));
    EXPECT_LE(page.ParLabel->fontMetrics().horizontalAdvance(page.ParLabel->text()),
              page.ParLabel->contentsRect().width())
        << status;
  }
  page.ParLabel->setText(QString::fromStdString(std::string(kFoundText)));
  page.PBar->setRange(0, 100);
  page.PBar->setValue(40);
  page.DownloadPanel->grab().save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/download_panel.png"));
}

}  // namespace
}  // namespace tolvane
