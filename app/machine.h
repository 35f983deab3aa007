#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ejection/io_boards.h"
#include "ejection/operating_statistics.h"
#include "ejection/run_control.h"
#include "engine/camera_thread.h"
#include "engine/engine_state.h"
#include "platform/analog_board.h"
#include "platform/camera_driver.h"
#include "platform/digital_board.h"
#include "platform/modbus_valve_terminal.h"
#include "platform/power_off.h"
#include "platform/power_status.h"
#include "platform/program_launcher.h"
#include "service/service_links.h"
#include "settings/build_constants.h"
#include "settings/machine_settings.h"
#include "settings/settings_file_check.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// The platform configuration beside the program file: "TolvaneGrain.platform", lines "key = value",
// "#" starts a comment. Without the file everything is simulated and harmless.
//   hardware = simulated                cameras and boards (the only choice until real drivers exist)
//   camera1  = simulated | aravis:<device>   camera 1 (camera2: camera 2): the product-stream simulator
//                                       or a GenICam camera by Aravis device id or IP address
//   cameras  = single-tone | colour     the kind of the machine's cameras (single-tone when not given)
//   power    = simulated | sysfs | nut:<ups>[@host[:port]]   where the mains/UPS state is read
//   poweroff = record | system          record the request only, or really switch the machine off
//   valves   = simulated | modbus:<host>[:port][/unit]   the valve outputs (port 502, unit 1 when not
//              given); a Modbus terminal takes valves_coil_base = N (first coil, 0),
//              valves_coil_order = 1-48 | 48-1 (1-48) and valves_timeout_ms = N (how long the link may be
//              down before sorting stops, 2000)
//   line_rate = N (10000)              lines per second of both cameras, 1 ... 1000000
//   lines_per_frame = N                lines packed into one frame, 1 ... 4096 (default: 64 for GenICam
//                                       cameras; for simulated cameras 64 from 20000 lines/s, else 1)
//   update_server, mail_server, mail_user, mail_password, mail_tls, ca_file: service/service_links.h
// The environment variable TOLVANE_HARDWARE overrides "hardware".
inline constexpr std::string_view kPlatformConfigName = "TolvaneGrain.platform";
inline constexpr std::string_view kHardwareEnvironment = "TOLVANE_HARDWARE";

inline constexpr std::string_view kSingleToneCameras = "single-tone";
inline constexpr std::string_view kColourCameras = "colour";

inline constexpr int kDefaultLineRate = 10'000;
inline constexpr int kMaxLineRate = 1'000'000;
inline constexpr int kMaxLinesPerFrame = 4096;
inline constexpr int kFramedLinesPerFrame = 64;
// From this rate a simulated camera packs frames unless told otherwise: line by line, the camera
// threads would wake once per line.
inline constexpr int kFramedSimulationRate = 20'000;

struct PlatformConfig {
  std::string hardware = "simulated";
  std::string cameras = std::string(kSingleToneCamera ? kSingleToneCameras : kColourCameras);
  std::string power = "simulated";
  std::string powerOff = "record";
  std::string valves = "simulated";
  std::string valvesCoilBase = "0";
  std::string valvesCoilOrder = "1-48";
  std::string valvesTimeoutMs = "2000";
  // camera1, camera2: "simulated" or "aravis:<device>".
  std::array<std::string, 2> cameraSources{"simulated", "simulated"};
  ServiceLinks links;
  // line_rate, lines_per_frame (0: by the camera kind and the rate, cameraLinesPerFrame).
  int lineRate = kDefaultLineRate;
  int linesPerFrame = 0;
};

// Lines per frame of a simulated or a GenICam camera under the configuration.
int cameraLinesPerFrame(const PlatformConfig& config, bool aravis);

// The Modbus valve terminal the configuration asks for; nullopt with error set when a valve key cannot
// be served, nullopt with error empty for simulated valves.
std::optional<ModbusValveConfig> valveTerminalConfig(const PlatformConfig& config, std::string& error);

inline constexpr std::string_view kAravisCameraPrefix = "aravis:";
// The device of an "aravis:<device>" camera source; empty for any other value.
std::string aravisDevice(std::string_view source);

// The configuration from the file's text and the environment's hardware value (null: not set).
// Unknown keys and values the program cannot serve give a message that names them.
struct PlatformConfigResult {
  PlatformConfig config;
  std::string error;  // empty when the configuration can be served
};
PlatformConfigResult parsePlatformConfig(std::string_view text, const char* hardwareEnv);
// Reads the file beside programFile (a missing file is the default configuration).
PlatformConfigResult readPlatformConfig(const std::filesystem::path& programFile);

// What the machine is built from. Tests fill it with fakes; the program builds it from the platform
// configuration.
struct MachineParts {
  std::filesystem::path programFile;  // settings and side files lie beside it
  // The cameras' kind: single-tone (one byte per pixel, BrightMode forced on) or colour. The machine
  // puts it into EngineState::singleToneCamera before anything loads.
  bool singleToneCamera = kSingleToneCamera;
  std::unique_ptr<CameraDriver> cameras;
  std::unique_ptr<DigitalBoard> digitalBoard;
  std::unique_ptr<AnalogBoard> analogBoard;
  std::unique_ptr<PowerStatusReader> power;
  std::unique_ptr<PowerOff> powerOff;
  ProgramLauncher* launcher = nullptr;  // null: the system launcher
  ServiceLinks links;                   // update server and mail account
  CameraThreadOptions threadOptions{};
  std::function<void(int mode)> setRunPriority;  // empty: the platform's SetRunPriority
  std::function<void(int ms)> testWait;          // valve test waits; empty: sleep
  std::function<bool()> networkPresent;          // empty: the system's report (app/network_presence.h)
};

// Simulated cameras (product stream, colour lines for a colour machine), boards, UPS on mains and a
// recorded power-off.
MachineParts simulatedMachineParts(const std::filesystem::path& programFile,
                                   bool singleToneCamera = kSingleToneCamera);
// The parts the configuration asks for, or nullopt with the reason in error.
std::optional<MachineParts> machinePartsFromConfig(const PlatformConfig& config,
                                                   const std::filesystem::path& programFile,
                                                   std::string& error);

// Whether the kernel's routing table has a default route (the network lamp "СЕТЬ").
bool defaultRoutePresent(const std::filesystem::path& routeTable = "/proc/net/route");

// "Камера 1 ok", "Камера 2 не найдена".
std::string cameraProbeText(int camera, bool found);

// What reading the side files found, for the start-up report.
struct SideFilesRead {
  std::optional<std::size_t> samples;  // bytes placed; nullopt: missing or unreadable
  std::optional<std::size_t> stat;
  std::optional<std::size_t> shots;
};

// The machine behind the main window: engine state, settings, cameras, boards, power and run control,
// and the non-visual steps of start-up and closing. It knows no widgets; the window shows what it
// returns.
//
// Threads: every call runs on the main thread. Engine data is changed under the engine lock.
class Machine {
 public:
  explicit Machine(MachineParts parts);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // --- Start-up steps, in the order the window runs them ---
  void setDayIndex();
  // Probes camera index 0, then 1; sets CameraFound.
  void probeCameras();
  // The boards: finds and opens them and closes every valve. Returns the text of DASP1.
  std::string_view initIoBoards();
  // ZoneDefects, PulseEnd, LineModeOn and LineModeOff of ejectors 1..96 to zero.
  void clearEjectorTiming();
  // ActiveProg, calibration points and program names, then the active program is loaded without
  // saving the (still default) values first. Errors are dropped.
  void readMachineSettingsAndLoadActive();
  // Object and sample tables zeroed.
  void clearEngineTables();
  // ".samples", ".stat", ".shots", each on its own; a missing file leaves its table zero.
  SideFilesRead readSideFiles();
  // Ejector zones from the calibration points, then ActiveProg and the points back into the file.
  void computeZonesAndWriteState();
  // The machine identifier from the settings file's "path" line.
  void readMachineId();

  // --- Programs ---
  // The program list's switch: saves the active program and writes index as ActiveProg in one
  // replacement of the file (unless loading at start-up), then makes index active and loads it,
  // rebuilding the sector tables. Returns the message "Unable to write to <file>" when the save fails;
  // nothing is written then and the active program stays as it was.
  std::optional<std::string> switchProgram(int index);
  // The colour sector lines of the last load that were left out, one per line; empty when none.
  const std::string& sectorReport() const { return sectorReport_; }
  // Writes ProgramName0 ... ProgramName8. Returns the names that were not written: those the file
  // cannot hold, or all nine when the file could not be written.
  std::vector<int> writeProgramNames();
  // Writes the ".samples" file from a copy of the sample table; false when it could not be written.
  // The engine lock is held only for the copy.
  bool writeSamplesFile();
  // Whether the settings file is there, holds settings and can be saved.
  SettingsFileCheck checkSettingsFileAtStart() const;
  // Called before the settings or samples file is written by a switch or a save (tests watch the
  // engine lock and the cameras there).
  void setBeforeFileWrite(std::function<void(const std::filesystem::path&)> hook) {
    beforeFileWrite_ = std::move(hook);
  }

  // After a factory reset, a rollback or an installed settings file the file on disk is the one the
  // next start must read: from here on nothing of this instance writes it (program saves, names,
  // ActiveProg and calibration points, the closing sequence's writes).
  void freezeSettingsFile() { settingsFrozen_ = true; }
  bool settingsFileFrozen() const { return settingsFrozen_; }

  // --- Closing ---
  // Closes the boards, writes ActiveProg and the calibration points, the three side files, then
  // saves the active program once more. Errors are dropped.
  void closeSequence();

  // --- Parts ---
  // The machine's camera kind, fixed for its whole run.
  bool singleToneCamera() const { return engine_->singleToneCamera; }
  // A copy of camera 1's latest published line (EngineState::ReadoutLine: pixel p at bytes 3p .. 3p+2,
  // R, G, B) into out, resized to kLineElements * 3; false, and out unchanged, while no line was
  // published yet. The engine lock is held only for the copy.
  bool copyReadoutLine(std::vector<std::uint8_t>& out);
  EngineState& engine() { return *engine_; }
  SorterSettings& sorter() { return sorter_; }
  MachineSettings& machine() { return machine_; }
  RunControl& run() { return *runControl_; }
  IoBoards& ioBoards() { return *ioBoards_; }
  CameraDriver& cameras() { return *cameras_; }
  DigitalBoard& digitalBoard() { return *digitalBoard_; }
  AnalogBoard& analogBoard() { return *analogBoard_; }
  PowerStatusReader& power() { return *power_; }
  PowerOff& powerOff() { return *powerOff_; }
  ProgramLauncher& launcher() { return *launcher_; }
  const std::filesystem::path& programFile() const { return programFile_; }
  std::filesystem::path programFolder() const { return programFile_.parent_path(); }
  std::filesystem::path settingsFile() const;
  bool networkPresent() const;
  // The update server and the mail account of the platform configuration.
  const ServiceLinks& serviceLinks() const { return links_; }
  // The hourly recorder's tick at the given day number and hour: the start switch's state and the active
  // program into the hour's record, DayIndex := day, then ".stat" and ".shots" from a copy taken under
  // the engine lock. Never throws; says which files were replaced.
  OperatingStatisticsWritten recordOperatingHour(int day, int hour);
  void testWait(int ms) const;

  // What "СОХРАНИТЬ|НАСТРОЙКИ" does; the window sets it. The run control calls it before an
  // automatic power-off.
  void setSaveSettings(std::function<void()> save) { saveSettings_ = std::move(save); }
  // The full ejector test of standby mode; the window sets it.
  void setFullEjectorTest(std::function<void()> test) { fullEjectorTest_ = std::move(test); }

 private:
  std::filesystem::path programFile_;
  std::unique_ptr<EngineState> engine_;
  SorterSettings sorter_;
  MachineSettings machine_;
  std::unique_ptr<CameraDriver> cameras_;
  std::unique_ptr<DigitalBoard> digitalBoard_;
  std::unique_ptr<AnalogBoard> analogBoard_;
  std::unique_ptr<PowerStatusReader> power_;
  std::unique_ptr<PowerOff> powerOff_;
  ProgramLauncher* launcher_;
  std::function<void(int)> testWait_;
  std::function<bool()> networkPresent_;
  ServiceLinks links_;
  std::function<void()> saveSettings_;
  std::function<void()> fullEjectorTest_;
  std::unique_ptr<IoBoards> ioBoards_;
  bool startupLoad_ = false;
  bool settingsFrozen_ = false;
  std::string sectorReport_;
  std::function<void(const std::filesystem::path&)> beforeFileWrite_;
  // Last: its destructor stops and joins the camera threads while everything they use still exists.
  std::unique_ptr<RunControl> runControl_;
};

}  // namespace tolvane
