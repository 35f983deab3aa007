#include "app/unhandled_error.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_restart.h"
#include "app/qt_message_pump.h"
#include "platform/program_launcher.h"
#include "platform/restart_guard.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// Records what the handler did, in order, instead of ending the test process.
struct Trace {
  std::vector<std::string> steps;
  std::vector<int> exitCodes;

  UnhandledErrorHandler::Terminator terminator() {
    return [this](int code) {
      steps.push_back("exit");
      exitCodes.push_back(code);
    };
  }
  UnhandledErrorHandler::Hook hook(std::string name) {
    return [this, name] { steps.push_back(name); };
  }
};

// The restart history lives in the environment, where a restarted instance would inherit it; every
// test starts without one and leaves the test process's own as it was.
class UnhandledError : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* value = std::getenv(kVariable.c_str());
    saved_ = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    ::unsetenv(kVariable.c_str());
  }
  void TearDown() override {
    if (saved_) {
      ::setenv(kVariable.c_str(), saved_->c_str(), 1);
    } else {
      ::unsetenv(kVariable.c_str());
    }
  }

  static std::optional<std::string> history() {
    const char* value = std::getenv(kVariable.c_str());
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
  }

  inline static const std::string kVariable{kRestartHistoryVariable};

 private:
  std::optional<std::string> saved_;
};

class ThrowingObject : public QObject {
 public:
  static inline const QEvent::Type kBoom = static_cast<QEvent::Type>(QEvent::registerEventType());
  static inline const QEvent::Type kPlain = static_cast<QEvent::Type>(QEvent::registerEventType());
  int plainEvents = 0;

  bool event(QEvent* e) override {
    if (e->type() == kBoom) throw std::runtime_error("boom in a handler");
    if (e->type() == kPlain) {
      ++plainEvents;
      return true;
    }
    return QObject::event(e);
  }
};

TEST_F(UnhandledError, StopsTheCamerasRestartsAndEndsAtOnce) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.setBeforeExit(trace.hook("store write"));
  handler.setCloseValves(trace.hook("close valves"));  // set last, runs first
  handler.setProgram("/opt/machine/TolvaneGrain", "/opt/machine");
  handler.setClock([] { return std::int64_t{500000}; });

  handler.handle("something broke");

  ASSERT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(launcher.launches()[0].programFile, "/opt/machine/TolvaneGrain");
  EXPECT_EQ(launcher.launches()[0].workingFolder, "/opt/machine");
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"close valves", "stop cameras", "store write", "exit"}));
  EXPECT_EQ(history(), "500000");  // what the new instance inherits
  EXPECT_EQ(trace.exitCodes, std::vector<int>{UnhandledErrorHandler::kRestartExitCode});
  EXPECT_EQ(handler.handledCount(), 1);
  EXPECT_EQ(handler.failedRestarts(), 0);
}

TEST_F(UnhandledError, WithoutAProgramSetTheRunningFileIsStartedInItsFolder) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.handle("x");
  ASSERT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(launcher.launches()[0].programFile, runningProgramFile());
  EXPECT_EQ(launcher.launches()[0].workingFolder, runningProgramFile().parent_path());
  EXPECT_EQ(trace.steps, std::vector<std::string>{"exit"});  // no hooks set yet
}

TEST_F(UnhandledError, KeepsRunningWhenNoNewInstanceCanBeStarted) {
  RecordingProgramLauncher launcher;
  launcher.setError(ENOENT);
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.setBeforeExit(trace.hook("store write"));
  handler.setCloseValves(trace.hook("close valves"));

  handler.handle("something broke");

  EXPECT_TRUE(trace.steps.empty());  // cameras keep sorting, valves untouched, the process goes on
  EXPECT_EQ(handler.handledCount(), 1);
  EXPECT_EQ(handler.failedRestarts(), 1);
  EXPECT_EQ(history(), std::nullopt);  // no restart happened, none is recorded

  // An inherited history stays as it came.
  ::setenv(kVariable.c_str(), "7,8", 1);
  handler.handle("again");
  EXPECT_TRUE(trace.steps.empty());
  EXPECT_EQ(history(), "7,8");
}

TEST_F(UnhandledError, FailingHooksDoNotStopTheRestart) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setCloseValves([] { throw std::runtime_error("board gone"); });
  handler.setStopCameraThreads([] { throw std::runtime_error("camera thread gone"); });
  handler.setBeforeExit([] { throw 42; });
  handler.handle("x");
  EXPECT_EQ(trace.steps, std::vector<std::string>{"exit"});
  EXPECT_EQ(launcher.launches().size(), 1u);

  // A failing valve hook still lets the cameras stop.
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.handle("y");
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"exit", "stop cameras", "exit"}));
}

// Each handle() here stands for one instance failing: its restart history is left in the environment
// exactly as the next instance would inherit it.
TEST_F(UnhandledError, GivesUpAfterThreeRestartsWithinAMinuteWithTheValvesClosed) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  std::int64_t now = 0;
  handler.setClock([&now] { return now; });
  handler.setCloseValves(trace.hook("close valves"));
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.setBeforeExit(trace.hook("store write"));

  for (const std::int64_t at : {100000, 104000, 108000, 112000}) {
    now = at;
    handler.handle("no display");
  }

  EXPECT_EQ(launcher.launches().size(), 3u);
  EXPECT_EQ(
      trace.exitCodes,
      (std::vector<int>{UnhandledErrorHandler::kRestartExitCode, UnhandledErrorHandler::kRestartExitCode,
                        UnhandledErrorHandler::kRestartExitCode, UnhandledErrorHandler::kGiveUpExitCode}));
  // Giving up closes the valves as a restart does.
  const std::vector<std::string> oneEnd{"close valves", "stop cameras", "store write", "exit"};
  std::vector<std::string> fourEnds;
  for (int i = 0; i < 4; ++i) fourEnds.insert(fourEnds.end(), oneEnd.begin(), oneEnd.end());
  EXPECT_EQ(trace.steps, fourEnds);
  EXPECT_EQ(handler.gaveUp(), 1);
  EXPECT_EQ(handler.failedRestarts(), 0);
  EXPECT_EQ(handler.handledCount(), 4);
}

TEST_F(UnhandledError, RestartsSpreadOverMoreThanAMinuteGoOn) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  std::int64_t now = 0;
  handler.setClock([&now] { return now; });

  for (int i = 0; i < 10; ++i) {
    now = 100000 + i * 25000;
    handler.handle("rare fault");
  }

  EXPECT_EQ(launcher.launches().size(), 10u);
  EXPECT_EQ(trace.exitCodes, std::vector<int>(10, UnhandledErrorHandler::kRestartExitCode));
  EXPECT_EQ(handler.gaveUp(), 0);
  EXPECT_EQ(history(), "275000,300000,325000");  // older restarts are forgotten
}

TEST_F(UnhandledError, ADamagedInheritedHistoryDoesNotPreventARestart) {
  ::setenv(kVariable.c_str(), "garbage,,-1,99999999999999999999", 1);
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setClock([] { return std::int64_t{70000}; });
  handler.handle("x");
  EXPECT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(history(), "70000");
}

TEST_F(UnhandledError, ClearedHooksAreNotRun) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setCloseValves(trace.hook("close valves"));
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.setBeforeExit(trace.hook("store write"));
  handler.clearHooks();
  handler.handle("window creation failed");
  EXPECT_EQ(trace.steps, std::vector<std::string>{"exit"});
  EXPECT_EQ(launcher.launches().size(), 1u);
}

TEST_F(UnhandledError, AnExceptionFromAnEventHandlerIsCaughtAtDelivery) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  ThrowingObject target;

  // Through the application's own delivery, as the guarded application's notify() does it.
  QEvent boom(ThrowingObject::kBoom);
  const bool handled =
      deliverGuarded([&] { return QCoreApplication::instance()->notify(&target, &boom); }, handler);
  EXPECT_TRUE(handled);
  EXPECT_EQ(handler.handledCount(), 1);
  EXPECT_EQ(trace.steps, std::vector<std::string>{"exit"});

  // An ordinary event reaches its receiver and is no error.
  QEvent plain(ThrowingObject::kPlain);
  EXPECT_TRUE(deliverGuarded([&] { return QCoreApplication::instance()->notify(&target, &plain); }, handler));
  EXPECT_EQ(target.plainEvents, 1);
  EXPECT_EQ(handler.handledCount(), 1);
  EXPECT_FALSE(deliverGuarded([] { return false; }, handler));  // the delivery's own answer stands

  EXPECT_TRUE(deliverGuarded([]() -> bool { throw 7; }, handler));
  EXPECT_EQ(handler.handledCount(), 2);
}

TEST(UnhandledErrorHandler, OnlyTheGuardedApplicationHasAHandler) {
  // The test executable runs a plain QApplication.
  EXPECT_EQ(GuardedApplication::current(), nullptr);
}

TEST_F(UnhandledError, RealRestartStartsTheProgramInItsFolder) {
  TempDir dir;
  const fs::path program = dir / "TolvaneGrain";
  writeBytes(program, "#!/bin/sh\n{ pwd; echo \"$TOLVANE_RESTARTS\"; } > mark\nmv mark restarted\n");
  fs::permissions(program, fs::perms::owner_all);
  ::setenv(kVariable.c_str(), "41000,45000", 1);  // as this instance inherited it
  SpawnProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setProgram(program, dir.path());
  handler.setClock([] { return std::int64_t{50000}; });

  handler.handle("x");

  ASSERT_EQ(trace.steps, std::vector<std::string>{"exit"});
  for (int i = 0; i < 1000 && !fs::exists(dir / "restarted"); ++i) ::usleep(10000);
  EXPECT_EQ(readBytes(dir / "restarted"), fs::canonical(dir.path()).string() + "\n41000,45000,50000\n");
}

// A window that counts the close requests it gets.
class CountingWindow : public QWidget {
 public:
  int closeRequests = 0;

 protected:
  void closeEvent(QCloseEvent* event) override {
    ++closeRequests;
    QWidget::closeEvent(event);
  }
};

TEST(ProgramRestart, StartsTheProgramAndLeavesTheEventLoopWithoutClosingWindows) {
  RecordingProgramLauncher launcher;
  CountingWindow window;
  window.show();
  bool restarted = false;
  QTimer::singleShot(0, [&] { restarted = restartProgram(launcher, "/m/TolvaneGrain", "/m"); });
  QTimer guard;  // ends the loop only if the restart did not
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(10000);

  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(restarted);
  ASSERT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(launcher.launches()[0].programFile, "/m/TolvaneGrain");
  EXPECT_EQ(launcher.launches()[0].workingFolder, "/m");
  QCoreApplication::processEvents();
  EXPECT_EQ(window.closeRequests, 0);  // the closing sequence does not run
  EXPECT_TRUE(window.isVisible());
}

TEST(ProgramRestart, AFailedStartLeavesTheProgramRunning) {
  RecordingProgramLauncher launcher;
  launcher.setError(EACCES);
  bool restarted = true;
  QTimer::singleShot(0, [&] {
    restarted = restartProgram(launcher, "/m/TolvaneGrain", "/m");
    QTimer::singleShot(0, [] { QCoreApplication::exit(5); });
  });
  EXPECT_EQ(QCoreApplication::exec(), 5);
  EXPECT_FALSE(restarted);
  EXPECT_EQ(launcher.launches().size(), 1u);
}

TEST(QtMessagePump, ProcessesPendingEventsAndTimersWhileWaiting) {
  int fired = 0;
  QTimer::singleShot(0, [&] { ++fired; });
  qtMessagePump()(0);
  EXPECT_EQ(fired, 1);

  // A timer that comes due during a wait is served by the wait.
  QTimer::singleShot(20, [&] { ++fired; });
  WaitMs(200, qtMessagePump());
  EXPECT_EQ(fired, 2);
}

}  // namespace
}  // namespace tolvane
