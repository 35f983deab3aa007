#include "ejection/run_control.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <vector>

#include "ejection/stop_side_files.h"
#include "engine/object_table_guard.h"

namespace tolvane {

namespace {

constexpr std::string_view kRunningText = "работает";
constexpr std::string_view kStoppedText = "остановлена";
constexpr std::string_view kNotFoundText = "не найдена!";
constexpr std::string_view kNotEndingText = "не отвечает!";

// Percentage of part in whole, truncated toward zero.
long long percentOf(std::int64_t part, std::int64_t whole) {
  return static_cast<long long>(std::trunc(static_cast<double>(part) / static_cast<double>(whole) * 100.0));
}

void showNotFound(CameraIndicator& indicator, int camera) {
  indicator.redLamp = false;
  indicator.greenLamp = false;
  indicator.blueLamp = true;
  indicator.label = cameraText(camera, kNotFoundText);
}

}  // namespace

std::string cameraText(int camera, std::string_view what) {
  std::string text = "Камера ";
  text += std::to_string(camera + 1);
  text += '\n';
  text += what;
  return text;
}

std::string brakLabelText(const EngineCounterTable& counters) {
  const std::int64_t seenA = std::max<std::int64_t>(counters.seen(kSideA), 1);
  const std::int64_t seenB = std::max<std::int64_t>(counters.seen(kSideB), 1);
  return "1%: " + std::to_string(percentOf(counters.accepted(kSideA), seenA)) + "/" +
         std::to_string(percentOf(counters.rejected(kSideA), seenA)) +
         "     2%: " + std::to_string(percentOf(counters.accepted(kSideB), seenB)) + "/" +
         std::to_string(percentOf(counters.rejected(kSideB), seenB));
}

std::string normaLabelText(const EngineCounterTable& counters) {
  // Summed in 64 bits: each counter may be near the 32-bit limit.
  const std::int64_t seen =
      std::max<std::int64_t>(std::int64_t{counters.seen(kSideA)} + counters.seen(kSideB), 1);
  const std::int64_t accepted = std::int64_t{counters.accepted(kSideA)} + counters.accepted(kSideB);
  const std::int64_t rejected = std::int64_t{counters.rejected(kSideA)} + counters.rejected(kSideB);
  return "% НОРМА / БРАК = " + std::to_string(percentOf(accepted, seen)) + " / " +
         std::to_string(percentOf(rejected, seen));
}

void stepGauge(LoadGaugeState& gauge) {
  if (gauge.target > gauge.position && gauge.position < gauge.scale) {
    ++gauge.position;
  } else if (gauge.target < gauge.position && gauge.position > 0) {
    --gauge.position;
  }
  if (gauge.position < 0) gauge.position = 0;
}

RunControl::RunControl(RunControlDeps deps) : deps_(std::move(deps)), valveOutput_(deps_.board) {}

RunControl::~RunControl() { stopAndJoinCameraThreads(); }

TCameraThread* RunControl::cameraThread(int camera) const {
  if (camera < 0 || camera >= kCameraCount) return nullptr;
  return threads_[static_cast<std::size_t>(camera)].get();
}

int RunControl::stopAndJoinCameraThreads() {
  for (auto& thread : threads_) {
    if (thread) thread->requestStop();
  }
  int left = 0;
  for (int camera = 0; camera < kCameraCount; ++camera) {
    std::unique_ptr<TCameraThread>& slot = threads_[static_cast<std::size_t>(camera)];
    if (!slot || stopAndJoin(camera)) continue;
    ++left;
    ++threadsLeftRunning_;
    // Never destroyed: the stuck thread still runs on the object. Kept reachable on purpose.
    static auto* const leftThreads = new std::vector<TCameraThread*>();
    leftThreads->push_back(slot.release());
  }
  return left;
}

bool RunControl::stopAndJoin(int camera) {
  TCameraThread& thread = *threads_[static_cast<std::size_t>(camera)];
  thread.requestStop();
  if (thread.joinFor(deps_.cameraJoinBound)) return true;
  std::fprintf(stderr, "Camera %d: its thread did not end within %lld ms and is left running\n", camera + 1,
               static_cast<long long>(deps_.cameraJoinBound.count()));
  CameraIndicator& indicator = view_.cameras[static_cast<std::size_t>(camera)];
  indicator.label = cameraText(camera, kNotEndingText);
  indicator.redLamp = true;
  indicator.greenLamp = false;
  indicator.blueLamp = false;
  // The stuck thread may be camera 1's, the one that writes the valves.
  closeValvesAndBlock(deps_.board, deps_.engine.ejection);
  return false;
}

void RunControl::applyRunPriority(int mode) {
  if (deps_.setRunPriority) {
    deps_.setRunPriority(mode);
  } else {
    SetRunPriority(mode);
  }
}

bool RunControl::touchPuskSwitch() {
  if (!view_.puskSwitchEnabled) return false;
  setPuskSwitch(!view_.puskSwitchOn);
  PuskSwitchClick();
  return true;
}

void RunControl::setPuskSwitch(bool on) {
  if (view_.puskSwitchOn == on) return;
  view_.puskSwitchOn = on;
  if (on) {
    PuskSwitchOn();
  } else {
    PuskSwitchOff();
  }
}

void RunControl::PuskSwitchOn() {
  view_.programListEnabled = false;
  std::lock_guard lock(deps_.engine.engineLock);
  deps_.engine.ejection.EngineCounters.clear();
}

void RunControl::PuskSwitchOff() { view_.programListEnabled = true; }

void RunControl::PuskSwitchClick() {
  setWaitModeButton(false, nullptr);
  if (view_.puskSwitchOn) {
    start();
  } else {
    stop();
  }
  view_.puskSwitchEnabled = false;
}

void RunControl::start() {
  deps_.engine.ejection.OutputsBlocked.store(false, std::memory_order_release);
  applyRunPriority(1);
  if (deps_.sorter.onCamera1) startCamera(0);
  if (deps_.sorter.onCamera2) startCamera(1);
}

void RunControl::startCamera(int camera) {
  const auto c = static_cast<std::size_t>(camera);
  std::unique_ptr<TCameraThread>& slot = threads_[c];
  if (slot) {
    // A thread that still delivers lines keeps its camera. One that is ending, has ended or has
    // gone silent is waited for first: two threads must never drive one camera, and the old one's
    // final reset would stop the new one's measuring.
    if (slot->running() && !slot->stopRequested() &&
        deps_.engine.LineSeen[c].load(std::memory_order_acquire)) {
      return;
    }
    if (!stopAndJoin(camera)) return;  // the camera stays with its stuck thread
    slot.reset();
  }

  slot = std::make_unique<TCameraThread>(camera, deps_.cameras, deps_.engine, deps_.sorter, deps_.machine,
                                         table_, camera == 0 ? &valveOutput_ : nullptr, deps_.threadOptions);
  ++threadsCreated_;
  {
    std::lock_guard lock(deps_.engine.engineLock);
    prepareCameraForRun(slot->line(), deps_.engine, deps_.machine);
  }
  slot->Resume();

  CameraIndicator& indicator = view_.cameras[c];
  indicator.label = cameraText(camera, kRunningText);
  indicator.redLamp = false;
  indicator.greenLamp = true;
  indicator.blueLamp = false;
  if (!deps_.engine.CameraFound[c].load(std::memory_order_relaxed)) showNotFound(indicator, camera);
}

void RunControl::stop() {
  applyRunPriority(0);
  for (auto& thread : threads_) {
    if (thread) thread->requestStop();
  }
  closeValvesAndBlock(deps_.board, deps_.engine.ejection);
  {
    std::lock_guard lock(deps_.engine.engineLock);
    deps_.engine.ObjectCount = 0;
  }
  writeSideFilesAtStop();
}

void RunControl::writeSideFilesAtStop() {
  // Copied under the lock, written without it: camera 1's last pass may still count.
  ShotsPerOutputTable shots;
  auto stats = std::make_unique<DailyStatsTable>();
  {
    std::lock_guard lock(deps_.engine.engineLock);
    shots = deps_.engine.ejection.ShotsPerOutput;
    *stats = deps_.engine.ejection.DailyStats;
  }
  // Each file is tried on its own: a failed ".shots" must not cost the day's statistics.
  writeStopSideFiles(deps_.programFile, std::as_bytes(std::span(&shots, 1)),
                     std::as_bytes(std::span(stats.get(), 1)));
}

std::optional<std::string> RunControl::touchWaitModeButton() {
  std::optional<std::string> message;
  setWaitModeButton(!view_.waitModeButtonOn, &message);
  return message;
}

void RunControl::setWaitModeButton(bool on, std::optional<std::string>* message) {
  if (view_.waitModeButtonOn == on) return;
  view_.waitModeButtonOn = on;
  if (on) {
    std::optional<std::string> refused = WaitModeButtonOn();
    if (message != nullptr) *message = std::move(refused);
  } else {
    WaitModeButtonOff();
  }
}

std::optional<std::string> RunControl::WaitModeButtonOn() {
  if (view_.puskSwitchOn) {
    setWaitModeButton(false, nullptr);
    return std::string(kWaitModeRefusedText);
  }
  waitMode_ = true;
  return std::nullopt;
}

void RunControl::WaitModeButtonOff() { waitMode_ = false; }

void RunControl::FineTimerButtonOn() { deps_.engine.FineTimer.store(true, std::memory_order_relaxed); }

void RunControl::FineTimerButtonOff() { deps_.engine.FineTimer.store(false, std::memory_order_relaxed); }

void RunControl::Timer5sekTimer() {
  EngineState& engine = deps_.engine;
  ++supervisionTick_;
  view_.puskSwitchEnabled = true;

  if (supervisionTick_ == kCaptionTick) {
    view_.windowCaption = std::string(kCaptionPrefix) + deps_.machine.MachineId;
    view_.mainCaption = view_.windowCaption;
  }

  bool anySeen = false;
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const auto c = static_cast<std::size_t>(camera);
    if (engine.LineSeen[c].load(std::memory_order_acquire)) {
      anySeen = true;
      continue;
    }
    CameraIndicator& indicator = view_.cameras[c];
    indicator.label = cameraText(camera, kStoppedText);
    indicator.redLamp = true;
    indicator.greenLamp = false;
    indicator.blueLamp = false;
    if (!engine.CameraFound[c].load(std::memory_order_relaxed)) showNotFound(indicator, camera);
  }
  // Both cameras silent: the switch falls back without the stop sequence.
  if (!anySeen) setPuskSwitch(false);
  for (auto& seen : engine.LineSeen) seen.store(false, std::memory_order_release);

  const PowerStatus power = deps_.power.read();
  if (power.known) {
    if (power.onMains) {
      view_.powerLabel = std::string(kPowerOnMainsText);
    } else {
      // An unreported charge shows 255, as the system reports it.
      const int charge = power.batteryKnown() ? power.batteryPercent : 255;
      view_.powerLabel = std::string(kPowerOnBatteryText) + std::to_string(charge) + "%";
    }
    const bool batteryLow =
        power.batteryKnown() ? power.batteryPercent <= kPowerOffBatteryPercent : power.lowBattery;
    if (!power.onMains && batteryLow) {
      if (deps_.saveSettings) deps_.saveSettings();
      ShutdownWindows(kShutdownPowerOffForced);
    }
  }

  if (supervisionTick_ % kSupervisionTicksPerMinute == 0) {
    std::lock_guard lock(engine.engineLock);
    // Dropping the whole table here cost every object in flight, defects included.
    if (objectsInUse(engine) > deps_.machine.MaxObject - 5) {
      objectsRetiredByGuard_ += retireStuckObjects(engine, deps_.machine.MaxTime);
    }
  }

  if (supervisionTick_ % kSupervisionTicksPer10Minutes == 0) {
    {
      std::lock_guard lock(engine.engineLock);
      EngineCounterTable& counters = engine.ejection.EngineCounters;
      view_.brakLabel = brakLabelText(counters);
      counters.clear();
    }
    if (waitMode_ && deps_.fullEjectorTest) deps_.fullEjectorTest();
  }
}

void RunControl::Timer1Timer() {
  // Valves that may not follow the table would blow out good product or let rejects pass.
  if (view_.puskSwitchOn && deps_.board.outputsUntrusted()) {
    ++valveLinkStops_;
    setPuskSwitch(false);
    PuskSwitchClick();
  }
  try {
    view_.boardLinkLabel = deps_.board.linkStatus();
    std::int32_t objectCount = 0;
    {
      std::lock_guard lock(deps_.engine.engineLock);
      objectCount = objectsInUse(deps_.engine);
      view_.previewStrips = deps_.engine.PreviewLine;
    }
    for (int camera = 0; camera < kCameraCount; ++camera) {
      const TCameraThread* thread = threads_[static_cast<std::size_t>(camera)].get();
      if (thread == nullptr) continue;
      const std::uint32_t ms = thread->MsPer1000Lines();
      if (ms == 0) continue;
      view_.fpsLabels[static_cast<std::size_t>(camera)] = std::to_string(1000000U / ms) + " fps; ";
      view_.countLabel = std::to_string(objectCount);
    }
  } catch (...) {
    // A display tick may be lost; the next one shows fresh values.
  }
}

void RunControl::Timer2Timer() {
  EngineCounterTable counters;
  std::int32_t objectCount = 0;
  {
    std::lock_guard lock(deps_.engine.engineLock);
    counters = deps_.engine.ejection.EngineCounters;
    objectCount = objectsInUse(deps_.engine);
  }
  view_.normaLabel = normaLabelText(counters);
  view_.cntLabel = "Камера 1 = " + std::to_string(counters.seen(kSideA)) + "\n" +
                   "Камера 2 = " + std::to_string(counters.seen(kSideB));

  const std::int64_t seenA = counters.seen(kSideA);
  const std::int64_t seenB = counters.seen(kSideB);
  if (deps_.sorter.enFast) {
    // Two ticks a second: twice the growth per tick is objects per second.
    const auto rate = [](std::int64_t now, std::int64_t before) {
      return static_cast<int>(std::clamp<std::int64_t>(2 * (now - before), INT32_MIN, INT32_MAX));
    };
    view_.gauges[0].target = rate(seenA, previousSeen_[0]);
    view_.gauges[1].target = rate(seenB, previousSeen_[1]);
    stepGauge(view_.gauges[0]);
    stepGauge(view_.gauges[1]);
  } else {
    view_.gauges[0].target = objectCount;
    stepGauge(view_.gauges[0]);
  }
  previousSeen_ = {seenA, seenB};
}

void RunControl::TabSimpleWorkShow() {
  LoadGaugeState& one = view_.gauges[0];
  LoadGaugeState& two = view_.gauges[1];
  const bool lineMode = deps_.sorter.enFast;
  if (lineMode) {
    one.scale = 100;
    one.bandFrom = 70;
    one.bandTo = 90;
    one.x = 40;
    two.visible = true;
  } else {
    const int maxObject = deps_.machine.MaxObject;
    one.scale = maxObject;
    one.bandFrom = maxObject - 5;
    one.bandTo = maxObject - 2;
    one.x = 164;
    two.visible = false;
  }
  two.scale = one.scale;
  two.bandFrom = one.bandFrom;
  two.bandTo = one.bandTo;
  view_.lineModePanelVisible = lineMode;
  view_.regulatorPanelVisible = !lineMode;
}

void RunControl::PowerOffButtomClick(const std::function<bool(std::string_view, std::string_view)>& ask,
                                     const std::function<void()>& closeWindow) {
  if (ask(kQuestionTitle, kPowerOffQuestion)) {
    ShutdownWindows(kShutdownPowerOffForced);
  } else if (ask(kQuestionTitle, kUnloadQuestion)) {
    if (closeWindow) closeWindow();
  }
}

bool RunControl::ShutdownWindows(int flags) {
  if (flags != kShutdownPowerOffForced) return false;
  return deps_.powerOff.requestPowerOff();
}

}  // namespace tolvane
