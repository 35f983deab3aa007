// SIGTERM and SIGINT as close requests, with real signals raised in the test process.
#include "app/close_request_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <array>
#include <chrono>
#include <csignal>
#include <functional>
#include <stdexcept>
#include <vector>

#include "app/page_simple_work.h"
#include "settings/ini_file.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::WindowRig;

// Processes events until done() or the timeout; whether done() came true.
bool processUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

void processFor(int ms) {
  processUntil([] { return false; }, ms);
}

void (*disposition(int signalNumber))(int) {
  struct sigaction current {};
  ::sigaction(signalNumber, nullptr, &current);
  return current.sa_handler;
}

// A signal raised without handlers would end the test program: every test leaves the dispositions
// at their defaults, whatever it did.
class CloseRequest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
  }
};

TEST_F(CloseRequest, TheFirstSignalIsDeliveredOnceAndLaterOnesAreOnlyCounted) {
  const struct {
    std::vector<int> raised;
    int delivered;
  } cases[] = {
      {{SIGTERM}, SIGTERM},
      {{SIGINT}, SIGINT},
      {{SIGINT, SIGTERM, SIGTERM}, SIGINT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raised.size());
    CloseRequestSignals requests;
    std::vector<int> calls;
    requests.setCallback([&calls](int signalNumber) { calls.push_back(signalNumber); });
    for (const int s : c.raised) ASSERT_EQ(std::raise(s), 0);
    ASSERT_TRUE(processUntil([&] { return requests.received() == static_cast<int>(c.raised.size()); }));
    processFor(50);
    EXPECT_EQ(calls, std::vector<int>{c.delivered});
    EXPECT_TRUE(requests.delivered());

    // Still counted, never delivered again.
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_TRUE(processUntil([&] { return requests.received() == static_cast<int>(c.raised.size()) + 1; }));
    EXPECT_EQ(calls.size(), 1u);
  }
}

TEST_F(CloseRequest, ARequestBeforeTheCallbackWaitsForIt) {
  CloseRequestSignals requests;
  ASSERT_EQ(std::raise(SIGTERM), 0);
  processFor(100);
  EXPECT_EQ(requests.received(), 0);  // still in the pipe: the window does not exist yet

  std::vector<int> calls;
  requests.setCallback([&calls](int signalNumber) { calls.push_back(signalNumber); });
  EXPECT_TRUE(calls.empty());  // not from inside setCallback
  ASSERT_TRUE(processUntil([&] { return !calls.empty(); }));
  EXPECT_EQ(calls, std::vector<int>{SIGTERM});
}

TEST_F(CloseRequest, ASignalDuringTheCloseIsNotASecondClose) {
  CloseRequestSignals requests;
  int calls = 0;
  requests.setCallback([&](int) {
    ++calls;
    // Another stop request arrives while the window is closing, and the close processes events.
    std::raise(SIGINT);
    processFor(100);
  });
  ASSERT_EQ(std::raise(SIGTERM), 0);
  ASSERT_TRUE(processUntil([&] { return requests.received() == 2; }));
  processFor(50);
  EXPECT_EQ(calls, 1);
}

TEST_F(CloseRequest, TheDispositionsFoundAreRestoredAndOnlyOneObjectIsInstalled) {
  std::signal(SIGINT, SIG_IGN);
  {
    CloseRequestSignals requests;
    EXPECT_NE(disposition(SIGTERM), SIG_DFL);
    EXPECT_NE(disposition(SIGINT), SIG_IGN);
    EXPECT_THROW(CloseRequestSignals second, std::runtime_error);
    // The refused second object changed nothing: the first still gets the requests.
    int calls = 0;
    requests.setCallback([&calls](int) { ++calls; });
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_TRUE(processUntil([&] { return calls == 1; }));
  }
  EXPECT_EQ(disposition(SIGTERM), SIG_DFL);
  EXPECT_EQ(disposition(SIGINT), SIG_IGN);
  // And a new one can be installed afterwards.
  EXPECT_NO_THROW(CloseRequestSignals again);
}

// The stop of a service manager while the machine sorts: the window's own close path stops sorting,
// closes the valves and saves.
TEST_F(CloseRequest, SigtermWhileSortingClosesTheValvesAndSaves) {
  WindowRig rig;
  rig.writeSettings(test::kTwoCameraSettings);
  TmForm& form = rig.create();
  form.timer1()->stop();
  form.timer2()->stop();
  form.timer5sek()->stop();
  form.show();

  CloseRequestSignals requests;
  requests.setCallback([&form](int) { form.close(); });

  QTest::mouseClick(form.tabSimpleWork()->PuskSwitch, Qt::LeftButton);
  ASSERT_TRUE(rig.machine().run().view().puskSwitchOn);
  // Valves are working when the request comes.
  std::vector<ValveEdge> edges;
  ASSERT_TRUE(processUntil([&] {
    rig.board->takeValveEdges(edges);
    return edges.size() >= 4;
  }));
  {
    std::lock_guard lock(rig.machine().engine().engineLock);
    rig.machine().sorter().ifMassa = 77;  // a change only the close saves
  }

  ASSERT_EQ(std::raise(SIGTERM), 0);
  ASSERT_EQ(std::raise(SIGTERM), 0);  // a second stop request right behind the first
  ASSERT_TRUE(processUntil([&] { return !form.isVisible(); }));
  processFor(50);
  EXPECT_EQ(requests.received(), 2);

  EXPECT_EQ(rig.board->openValves(), 0u);
  rig.board->takeValveEdges(edges);
  ASSERT_EQ(rig.board->lostValveEdges(), 0u);  // the replay below needs every edge
  std::array<bool, 49> open{};
  for (const ValveEdge& e : edges) open.at(static_cast<std::size_t>(e.output)) = e.open;
  for (int output = 1; output <= 48; ++output) EXPECT_FALSE(open[static_cast<std::size_t>(output)]) << output;
  EXPECT_TRUE(rig.machine().engine().ejection.OutputsBlocked.load());
  EXPECT_FALSE(rig.board->driverOpen());

  const IniDocument saved = IniDocument::load(rig.settingsFile());
  EXPECT_TRUE(saved.hasSection("program0"));
  EXPECT_EQ(saved.readInt("program0", "ifMassa", 0), 77);
  EXPECT_EQ(saved.readInt("options", "ActiveProg", -1), 0);
}

}  // namespace
}  // namespace tolvane
