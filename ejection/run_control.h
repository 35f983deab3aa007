#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ejection/valve_outputs.h"
#include "engine/camera_thread.h"
#include "engine/engine_state.h"
#include "platform/camera_driver.h"
#include "platform/digital_board.h"
#include "platform/power_off.h"
#include "platform/power_status.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

inline constexpr std::string_view kWaitModeRefusedText =
    "Режим ожидания возможен только при выключенном сканировании.\n"
    "Нажмите кнопку \"СТОП\" на вкладке \"РАБОТА\".";
inline constexpr std::string_view kCaptionPrefix = "Markavel v2.11R   id=";
inline constexpr std::string_view kPowerOnMainsText = "Питание подключено";
inline constexpr std::string_view kPowerOnBatteryText = "Питание ОТКЛЮЧЕНО, ИБП=";
inline constexpr std::string_view kQuestionTitle = "Вопрос...";
inline constexpr std::string_view kPowerOffQuestion = "Выключить машину?";
inline constexpr std::string_view kUnloadQuestion = "Выгрузить программу?";

// Flags of ShutdownWindows: power off, forced. The only request the program makes.
inline constexpr int kShutdownPowerOffForced = 12;
// The battery charge at or below which the machine saves and switches off while on battery.
inline constexpr int kPowerOffBatteryPercent = 90;
inline constexpr int kSupervisionTicksPerMinute = 12;
inline constexpr int kSupervisionTicksPer10Minutes = 120;
inline constexpr int kCaptionTick = 3;

// Lamps and label of one camera on the working page (Proc0Label with c1LEDred, c1LEDgreen, c1LEDblue;
// camera 2: Proc1Label, c2LED...).
struct CameraIndicator {
  std::string label;
  bool redLamp = false;
  bool greenLamp = false;
  bool blueLamp = false;
  bool operator==(const CameraIndicator&) const = default;
};

// A load gauge (AnalogGauge1, AnalogGauge2, caption "НАГРУЗКА").
struct LoadGaugeState {
  int scale = 100;
  int bandFrom = 70;  // indicator band
  int bandTo = 90;
  int x = 40;
  bool visible = true;
  int position = 0;
  int target = 0;
};

// Everything the run control shows, as data. A window copies it into its widgets after each call.
struct RunControlView {
  bool puskSwitchOn = false;
  bool puskSwitchEnabled = true;
  bool programListEnabled = true;
  bool waitModeButtonOn = false;
  std::array<CameraIndicator, kCameraCount> cameras;
  std::string windowCaption;  // empty until the caption tick
  std::string mainCaption;
  std::string powerLabel;  // unchanged while the power status is unknown
  std::string brakLabel;
  // Timer1.
  std::array<std::string, kCameraCount> fpsLabels;  // FPS1, FPS2
  std::string countLabel;
  std::array<PreviewPoints, kCameraCount> previewStrips{};  // PaintC1, PaintC2: bar x = point index
  // Timer2.
  std::string normaLabel;
  std::string cntLabel;
  std::array<LoadGaugeState, kCameraCount> gauges;
  bool lineModePanelVisible = false;
  bool regulatorPanelVisible = true;
  // What the valve board says about its link (a network valve terminal), for the board label `DASP1`;
  // empty for a board in the machine. Refreshed by Timer1.
  std::string boardLinkLabel;
};

// What the run control works with. Everything referred to must outlive the RunControl.
struct RunControlDeps {
  CameraDriver& cameras;
  DigitalBoard& board;
  EngineState& engine;
  const SorterSettings& sorter;    // changed only on the main thread, under the engine lock
  const MachineSettings& machine;  // as sorter
  PowerStatusReader& power;
  PowerOff& powerOff;
  std::filesystem::path programFile;  // side files are written beside it
  // "СОХРАНИТЬ|НАСТРОЙКИ": saves the settings before an automatic power-off.
  std::function<void()> saveSettings;
  // The full ejector test, run every 10 minutes in standby.
  std::function<void()> fullEjectorTest;
  // SetRunPriority(mode); empty: the platform's SetRunPriority with its real 3 x 50 ms wait.
  std::function<void(int mode)> setRunPriority;
  CameraThreadOptions threadOptions{};
  // How long a stop or restart waits for a camera thread to end before leaving it to run on.
  std::chrono::milliseconds cameraJoinBound{1000};
};

// Starting and stopping sorting and the supervision timers of the main window, without any toolkit:
// a window wires its switches and timers to these calls and shows view().
//
// Start (a touch on PuskSwitch that turns it on): unblocks the valve outputs, raises the run
// priority and starts one TCameraThread per enabled camera (onCamera1/onCamera2) unless that camera's
// thread is alive and delivered a line this supervision period. Stop: lowers the priority, asks both
// threads to stop, closes all valves and blocks the outputs, empties the object table and writes the
// ".shots" and ".stat" files. The switch then takes no touch until the next Timer5sekTimer.
//
// A camera whose previous thread is ending, has ended or went silent for a whole period gets a new
// thread only after the old one has ended (two threads must never drive one camera), so a start
// waits for that thread's current read, at most cameraJoinBound. A thread that does not end in that
// time is reported (stderr and the camera's label), the valves are closed and blocked, and it is left
// to run on: a start gives that camera no new thread, a final stop (stopAndJoinCameraThreads) leaves
// the object alive for good, since the stuck thread still uses it.
//
// Threads: every call runs on the main thread. Engine data is read and changed under the engine
// lock. The destructor asks the camera threads to stop and waits for them.
//
// To run both cameras: the camera driver must have found them (probeCamera), the ejector zones and
// settings must be in place, then touchPuskSwitch() starts and, after a Timer5sekTimer(), stops.
class RunControl {
 public:
  explicit RunControl(RunControlDeps deps);
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // A touch on PuskSwitch. Ignored (false) while the switch is disabled; otherwise the switch
  // toggles, PuskSwitchOn or PuskSwitchOff fires, then PuskSwitchClick runs.
  bool touchPuskSwitch();
  void PuskSwitchOn();
  void PuskSwitchOff();
  void PuskSwitchClick();

  // A touch on WaitModeButton ("Режим|ожидания"). Returns the message to show when standby is refused
  // because sorting runs (the switch is then off again).
  std::optional<std::string> touchWaitModeButton();
  std::optional<std::string> WaitModeButtonOn();
  void WaitModeButtonOff();
  bool WaitMode() const { return waitMode_; }

  void FineTimerButtonOn();
  void FineTimerButtonOff();

  // Every 5 s: supervision of cameras, power, object table, reject rates, standby test.
  void Timer5sekTimer();
  // Every 1 s: line rates, object count, preview strips, the valve board's link. Sorting stops (as by a
  // touch on the switch) when the board reports its valves untrusted.
  void Timer1Timer();
  // Every 0.5 s: good/reject ratio, per-camera counts, load gauges.
  void Timer2Timer();
  // The working page is shown: gauge scales and panels for line or object mode.
  void TabSimpleWorkShow();

  // "ВЫКЛЮЧЕНИЕ": ask(title, question) -> yes. Yes to the first question powers off without saving;
  // otherwise yes to the second calls closeWindow (the normal close, which saves).
  void PowerOffButtomClick(const std::function<bool(std::string_view, std::string_view)>& ask,
                           const std::function<void()>& closeWindow);
  // Only kShutdownPowerOffForced is supported; anything else is refused. Returns whether the
  // request was accepted.
  bool ShutdownWindows(int flags);

  const RunControlView& view() const { return view_; }
  std::int32_t SupervisionTick() const { return supervisionTick_; }
  // Records the object-table guard retired as stuck since construction.
  std::int64_t objectsRetiredByGuard() const { return objectsRetiredByGuard_; }
  // The camera's thread, or null before its first start.
  TCameraThread* cameraThread(int camera) const;
  // Camera threads created since construction.
  int threadsCreated() const { return threadsCreated_; }
  // Stops made because the valve board's link stayed down.
  int valveLinkStops() const { return valveLinkStops_; }
  // Asks both camera threads to stop and waits for them, each at most cameraJoinBound (tools, tests,
  // shutdown). Returns how many were left running.
  int stopAndJoinCameraThreads();
  // Threads a final stop has left running since construction. Whatever they use (drivers, engine
  // state, settings, boards) must then outlive the program.
  int threadsLeftRunning() const { return threadsLeftRunning_; }

 private:
  void start();
  void stop();
  void startCamera(int camera);
  // Stops the camera's thread and waits for it, bounded; false (reported, valves closed) when left.
  bool stopAndJoin(int camera);
  void setPuskSwitch(bool on);
  void setWaitModeButton(bool on, std::optional<std::string>* message);
  void writeSideFilesAtStop();
  void applyRunPriority(int mode);

  RunControlDeps deps_;
  BoardValveOutput valveOutput_;
  CameraThreadTable table_;
  std::array<std::unique_ptr<TCameraThread>, kCameraCount> threads_;
  RunControlView view_;
  std::int32_t supervisionTick_ = 0;
  std::int64_t objectsRetiredByGuard_ = 0;
  bool waitMode_ = false;
  std::array<std::int64_t, kCameraCount> previousSeen_{};
  int threadsCreated_ = 0;
  int threadsLeftRunning_ = 0;
  int valveLinkStops_ = 0;
};

// "Камера 1\nработает" and the other camera texts.
std::string cameraText(int camera, std::string_view what);
// BrakLabel for the counters: "1%: a/b     2%: c/d".
std::string brakLabelText(const EngineCounterTable& counters);
// NormaLabel for the counters.
std::string normaLabelText(const EngineCounterTable& counters);
// Moves a gauge one unit towards its target.
void stepGauge(LoadGaugeState& gauge);

}  // namespace tolvane
