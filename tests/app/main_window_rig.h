#pragma once

// A main window over simulated hardware in a temporary program folder, with the operator's dialogs
// answered by the test and nothing that could start a program, change priorities or power off.

#include <QApplication>
#include <QString>
#include <QTest>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/machine.h"
#include "app/main_window.h"
#include "app/operating_statistics_controller.h"
#include "platform/power_off.h"
#include "platform/product_stream_simulator.h"
#include "platform/program_launcher.h"
#include "platform/simulated_boards.h"
#include "platform/simulated_power.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane::test {

struct RigOptions {
  bool camerasPresent = true;
  bool boardPresent = true;
  bool network = true;
  double lineRateHz = 4000;
  bool singleToneCamera = true;  // false: a colour machine with colour cameras
  // The running program file's name; the update hand-over runs as "TolvaneGrain_".
  std::string programName = "TolvaneGrain";
  ServiceLinks links{};  // update server and mail account
};

class WindowRig {
 public:
  explicit WindowRig(RigOptions options = {}) : options_(options) {}
  ~WindowRig() { form.reset(); }

  std::filesystem::path programFile() const { return dir / options_.programName; }
  std::filesystem::path settingsFile() const { return dir / "TolvaneGrain.ini"; }
  std::filesystem::path file(std::string_view name) const { return dir / name; }

  void writeSettings(std::string_view text) { writeBytes(settingsFile(), text); }

  // Builds the window; its start-up sequence runs in the constructor.
  TmForm& create() {
    MachineParts parts;
    parts.programFile = programFile();
    parts.singleToneCamera = options_.singleToneCamera;
    ProductStreamConfig stream;
    stream.colour = !options_.singleToneCamera;
    stream.cameraPresent = {options_.camerasPresent, options_.camerasPresent};
    stream.lineRateHz = options_.lineRateHz;
    auto cams = std::make_unique<ProductStreamSimulator>(stream);
    cameras = cams.get();
    parts.cameras = std::move(cams);
    auto digital = std::make_unique<SimulatedDigitalBoard>(
        SimulatedDigitalBoard::Config{.present = options_.boardPresent});
    board = digital.get();
    parts.digitalBoard = std::move(digital);
    parts.analogBoard = std::make_unique<SimulatedAnalogBoard>(options_.boardPresent);
    auto ups = std::make_unique<SimulatedPower>();
    power = ups.get();
    parts.power = std::move(ups);
    auto off = std::make_unique<RecordingPowerOff>();
    powerOff = off.get();
    parts.powerOff = std::move(off);
    parts.launcher = &launcher;
    parts.threadOptions.applyScheduling = false;
    parts.setRunPriority = [this](int mode) { priorities.push_back(mode); };
    parts.testWait = [this](int ms) { waited.push_back(ms); };
    const bool network = options_.network;
    parts.networkPresent = [network] { return network; };
    parts.links = options_.links;

    form = std::make_unique<TmForm>(std::make_unique<Machine>(std::move(parts)));
    form->setDialogs(
        [this](const QString& title, const QString& question) {
          questions.push_back((title + QStringLiteral(" / ") + question).toStdString());
          if (answers.empty()) return false;
          const bool answer = answers.front();
          answers.pop_front();
          return answer;
        },
        [this](const QString& text) { messages.push_back(text.toStdString()); });
    return *form;
  }

  Machine& machine() { return form->machine(); }

  TempDir dir;
  RecordingProgramLauncher launcher;
  std::unique_ptr<TmForm> form;
  ProductStreamSimulator* cameras = nullptr;
  SimulatedDigitalBoard* board = nullptr;
  SimulatedPower* power = nullptr;
  RecordingPowerOff* powerOff = nullptr;
  std::vector<int> priorities;
  std::vector<int> waited;
  std::deque<bool> answers;
  std::vector<std::string> questions;
  std::vector<std::string> messages;

 private:
  RigOptions options_;
};

// Tests drive the timers' handlers themselves.
inline void stopTimers(TmForm& form) {
  form.statisticsController().inetTimer()->stop();
  form.timer1()->stop();
  form.timer2()->stop();
  form.timer5sek()->stop();
}

// A touch (press and release) in the middle of a widget, or at a point inside it.
inline void touch(QWidget* widget, QPoint at = {}) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

// Settings of a machine whose program 1 uses both cameras: four blocks of 12 ejectors over the line.
inline constexpr std::string_view kTwoCameraSettings =
    "\xEF\xBB\xBF[options]\r\n"
    "ActiveProg=0\r\n"
    "EgecA0=0\r\nEgecAx0=512\r\nEgecA1=512\r\nEgecAx1=1024\r\nEgecA2=1024\r\nEgecAx2=1536\r\n"
    "EgecA3=1536\r\nEgecAx3=2048\r\nEgecA4=2048\r\nEgecAx4=2048\r\n"
    "EgecB0=0\r\nEgecBx0=512\r\nEgecB1=512\r\nEgecBx1=1024\r\nEgecB2=1024\r\nEgecBx2=1536\r\n"
    "EgecB3=1536\r\nEgecBx3=2048\r\nEgecB4=2048\r\nEgecBx4=2048\r\n"
    "ProgramName0=Пшеница\r\nProgramName1=Овёс\r\n"
    "MaxObjectLabel_Caption=200\r\n"
    "path=\"MK-0042\"\r\n"
    "\r\n"
    "[program0]\r\n"
    "FonMin=200\r\nFonMax=255\r\nP1Min=101\r\nP1Max=199\r\nP2Min=0\r\nP2Max=100\r\n"
    "C2FonMin=200\r\nC2FonMax=255\r\nC2P1Min=101\r\nC2P1Max=199\r\nC2P2Min=0\r\nC2P2Max=100\r\n"
    "enP2=1\r\nifP2=10\r\nonCamera1=1\r\nonCamera2=1\r\nRegulator=50\r\n";

}  // namespace tolvane::test
