#include "app/unhandled_error.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_restart.h"
#include "app/qt_message_pump.h"
#include "platform/program_launcher.h"
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

TEST(UnhandledErrorHandler, StopsTheCamerasRestartsAndEndsAtOnce) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.setBeforeExit(trace.hook("store write"));
  handler.setProgram("/opt/machine/TolvaneGrain", "/opt/machine");

  handler.handle("something broke");

  ASSERT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(launcher.launches()[0].programFile, "/opt/machine/TolvaneGrain");
  EXPECT_EQ(launcher.launches()[0].workingFolder, "/opt/machine");
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"stop cameras", "store write", "exit"}));
  EXPECT_EQ(trace.exitCodes, std::vector<int>{UnhandledErrorHandler::kRestartExitCode});
  EXPECT_EQ(handler.handledCount(), 1);
  EXPECT_EQ(handler.failedRestarts(), 0);
}

TEST(UnhandledErrorHandler, WithoutAProgramSetTheRunningFileIsStartedInItsFolder) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.handle("x");
  ASSERT_EQ(launcher.launches().size(), 1u);
  EXPECT_EQ(launcher.launches()[0].programFile, runningProgramFile());
  EXPECT_EQ(launcher.launches()[0].workingFolder, runningProgramFile().parent_path());
  EXPECT_EQ(trace.steps, std::vector<std::string>{"exit"});  // no hooks set yet
}

TEST(UnhandledErrorHandler, KeepsRunningWhenNoNewInstanceCanBeStarted) {
  RecordingProgramLauncher launcher;
  launcher.setError(ENOENT);
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setStopCameraThreads(trace.hook("stop cameras"));
  handler.setBeforeExit(trace.hook("store write"));

  handler.handle("something broke");

  EXPECT_TRUE(trace.steps.empty());  // cameras keep sorting, the process goes on
  EXPECT_EQ(handler.handledCount(), 1);
  EXPECT_EQ(handler.failedRestarts(), 1);
}

TEST(UnhandledErrorHandler, FailingHooksDoNotStopTheRestart) {
  RecordingProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setStopCameraThreads([] { throw std::runtime_error("camera thread gone"); });
  handler.setBeforeExit([] { throw 42; });
  handler.handle("x");
  EXPECT_EQ(trace.steps, std::vector<std::string>{"exit"});
  EXPECT_EQ(launcher.launches().size(), 1u);
}

TEST(UnhandledErrorHandler, AnExceptionFromAnEventHandlerIsCaughtAtDelivery) {
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

TEST(UnhandledErrorHandler, RealRestartStartsTheProgramInItsFolder) {
  TempDir dir;
  const fs::path program = dir / "TolvaneGrain";
  writeBytes(program, "#!/bin/sh\npwd > mark\nmv mark restarted\n");
  fs::permissions(program, fs::perms::owner_all);
  SpawnProgramLauncher launcher;
  Trace trace;
  UnhandledErrorHandler handler(launcher, trace.terminator());
  handler.setProgram(program, dir.path());

  handler.handle("x");

  ASSERT_EQ(trace.steps, std::vector<std::string>{"exit"});
  for (int i = 0; i < 1000 && !fs::exists(dir / "restarted"); ++i) ::usleep(10000);
  EXPECT_EQ(readBytes(dir / "restarted"), fs::canonical(dir.path()).string() + "\n");
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
