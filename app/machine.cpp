#include "app/machine.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <span>
#include <sstream>
#include <thread>

#include "app/machine_files.h"
#include "app/network_presence.h"
#include "ejection/ejector_zones.h"
#include "engine/color_convert.h"
#include "engine/engine_constants.h"
#include "platform/aravis_camera_driver.h"
#include "platform/nut_ups_reader.h"
#include "platform/product_stream_simulator.h"
#include "platform/simulated_boards.h"
#include "platform/simulated_power.h"
#include "platform/sysfs_power_reader.h"
#include "service/dw_time.h"
#include "settings/atomic_file.h"
#include "settings/ini_file.h"
#include "settings/sector_tables.h"
#include "settings/settings_file.h"
#include "settings/side_files.h"

namespace tolvane {

namespace {

std::string trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::string configMessage(std::string_view what) {
  return std::string(kPlatformConfigName) + ": " + std::string(what);
}

bool knownPower(std::string_view power) {
  return power == "simulated" || power == "sysfs" ||
         (power.starts_with("nut:") && parseNutUpsAddress(power.substr(4)).has_value());
}

std::string readWholeFile(const std::filesystem::path& path, bool& ok) {
  // A folder or a device in the file's place must not end the start-up.
  const FileContents contents = tolvane::readWholeFile(path);
  ok = contents.status == ReadStatus::kOk;
  return ok ? contents.bytes : std::string();
}

bool knownCameraSource(std::string_view source) {
  return source == "simulated" || !aravisDevice(source).empty();
}

// line_rate and lines_per_frame: whole numbers in their range, else the message naming the key.
std::optional<std::string> cameraTimingProblem(const std::string& key, const std::string& value,
                                               PlatformConfig* config) {
  const bool rate = key == "line_rate";
  const int high = rate ? kMaxLineRate : kMaxLinesPerFrame;
  int number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || ec != std::errc() || end != value.data() + value.size() || number < 1 ||
      number > high) {
    return key + " \"" + value + "\": возможно 1 ... " + std::to_string(high);
  }
  if (config != nullptr) (rate ? config->lineRate : config->linesPerFrame) = number;
  return std::nullopt;
}

}  // namespace

int cameraLinesPerFrame(const PlatformConfig& config, bool aravis) {
  if (config.linesPerFrame > 0) return config.linesPerFrame;
  return aravis || config.lineRate >= kFramedSimulationRate ? kFramedLinesPerFrame : 1;
}

std::string aravisDevice(std::string_view source) {
  if (!source.starts_with(kAravisCameraPrefix)) return {};
  return trim(source.substr(kAravisCameraPrefix.size()));
}

PlatformConfigResult parsePlatformConfig(std::string_view text, const char* hardwareEnv) {
  PlatformConfigResult result;
  std::istringstream lines{std::string(text)};
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const ConfigLine parsed = splitConfigLine(line);
    if (parsed.content.empty()) continue;
    if (!parsed.hasEquals) {
      result.error = configMessage("строка " + std::to_string(number) + " без \"=\": " + parsed.content);
      return result;
    }
    const std::string& key = parsed.key;
    const std::string& value = parsed.value;
    if (key == "hardware") {
      result.config.hardware = value;
    } else if (key == "cameras") {
      result.config.cameras = value;
    } else if (key == "power") {
      result.config.power = value;
    } else if (key == "poweroff") {
      result.config.powerOff = value;
    } else if (key == "valves") {
      result.config.valves = value;
    } else if (key == "valves_coil_base") {
      result.config.valvesCoilBase = value;
    } else if (key == "valves_coil_order") {
      result.config.valvesCoilOrder = value;
    } else if (key == "valves_timeout_ms") {
      result.config.valvesTimeoutMs = value;
    } else if (key == "camera1" || key == "camera2") {
      result.config.cameraSources[key == "camera1" ? 0 : 1] = value;
    } else if (key == "line_rate" || key == "lines_per_frame") {
      if (auto problem = cameraTimingProblem(key, value, &result.config)) {
        result.error = configMessage(*problem + " (строка " + std::to_string(number) + ")");
        return result;
      }
    } else if (isServiceLinkKey(key)) {
      if (auto problem = setServiceLink(result.config.links, key, value)) {
        result.error = configMessage(*problem + " (строка " + std::to_string(number) + ")");
        return result;
      }
    } else {
      result.error =
          configMessage("неизвестный ключ \"" + key + "\" (строка " + std::to_string(number) + ")");
      return result;
    }
  }
  if (hardwareEnv != nullptr && *hardwareEnv != '\0') result.config.hardware = trim(hardwareEnv);

  if (result.config.hardware != "simulated") {
    result.error = configMessage("оборудование \"" + result.config.hardware +
                                 "\" не поддерживается; возможно только \"simulated\" (камеры и клапаны "
                                 "выбирают ключи camera1, camera2, valves)");
  } else if (result.config.cameras != kSingleToneCameras && result.config.cameras != kColourCameras) {
    result.error = configMessage("камеры \"" + result.config.cameras +
                                 "\" неизвестны; возможно \"single-tone\" или \"colour\"");
  } else if (!knownPower(result.config.power)) {
    result.error = configMessage("источник питания \"" + result.config.power +
                                 "\" неизвестен; возможно \"simulated\", \"sysfs\" или \"nut:<ups>@<host>\"");
  } else if (!knownCameraSource(result.config.cameraSources[0]) ||
             !knownCameraSource(result.config.cameraSources[1])) {
    const int bad = knownCameraSource(result.config.cameraSources[0]) ? 1 : 0;
    result.error = configMessage("камера " + std::to_string(bad + 1) + " \"" +
                                 result.config.cameraSources[static_cast<std::size_t>(bad)] +
                                 "\" неизвестна; возможно \"simulated\" или \"aravis:<камера>\"");
  } else if (result.config.powerOff != "record" && result.config.powerOff != "system") {
    result.error = configMessage("выключение \"" + result.config.powerOff +
                                 "\" неизвестно; возможно \"record\" или \"system\"");
  } else {
    valveTerminalConfig(result.config, result.error);
  }
  return result;
}

std::optional<ModbusValveConfig> valveTerminalConfig(const PlatformConfig& config, std::string& error) {
  error.clear();
  constexpr std::string_view kModbus = "modbus:";
  ModbusValveConfig terminal;
  const auto number = [](const std::string& text, int low, int high) -> std::optional<int> {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
        value > high) {
      return std::nullopt;
    }
    return value;
  };
  const auto address = config.valves.starts_with(kModbus)
                           ? parseModbusAddress(std::string_view(config.valves).substr(kModbus.size()))
                           : std::nullopt;
  const auto base = number(config.valvesCoilBase, 0, ModbusValveConfig::kMaxCoilBase);
  const auto order = parseCoilOrder(config.valvesCoilOrder);
  const auto timeout = number(config.valvesTimeoutMs, 100, 600000);
  const bool simulated = config.valves == "simulated";
  if (!address && !simulated) {
    error = configMessage("клапаны \"" + config.valves +
                          "\" неизвестны; возможно \"simulated\" или \"modbus:<адрес>[:порт][/устройство]\"");
  } else if (!base) {
    error = configMessage("valves_coil_base \"" + config.valvesCoilBase + "\": возможно 0 ... " +
                          std::to_string(ModbusValveConfig::kMaxCoilBase));
  } else if (!order) {
    error =
        configMessage("valves_coil_order \"" + config.valvesCoilOrder + "\": возможно \"1-48\" или \"48-1\"");
  } else if (!timeout) {
    error = configMessage("valves_timeout_ms \"" + config.valvesTimeoutMs + "\": возможно 100 ... 600000");
  }
  // The layout keys are checked for simulated valves too: a mistake there would surprise later.
  if (!error.empty() || simulated) return std::nullopt;
  terminal.address = *address;
  terminal.coilBase = *base;
  terminal.order = *order;
  terminal.giveUpAfter = std::chrono::milliseconds(*timeout);
  return terminal;
}

PlatformConfigResult readPlatformConfig(const std::filesystem::path& programFile) {
  const std::filesystem::path path = programFile.parent_path() / kPlatformConfigName;
  std::string text;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    bool ok = false;
    text = readWholeFile(path, ok);
    if (!ok) {
      PlatformConfigResult result;
      result.error = configMessage("файл не читается: " + path.string());
      return result;
    }
  }
  return parsePlatformConfig(text, std::getenv(std::string(kHardwareEnvironment).c_str()));
}

MachineParts simulatedMachineParts(const std::filesystem::path& programFile, bool singleToneCamera) {
  MachineParts parts;
  parts.programFile = programFile;
  parts.singleToneCamera = singleToneCamera;
  ProductStreamConfig stream;
  stream.colour = !singleToneCamera;
  parts.cameras = std::make_unique<ProductStreamSimulator>(stream);
  parts.digitalBoard = std::make_unique<SimulatedDigitalBoard>();
  parts.analogBoard = std::make_unique<SimulatedAnalogBoard>();
  parts.power = std::make_unique<SimulatedPower>();
  parts.powerOff = std::make_unique<RecordingPowerOff>();
  return parts;
}

std::optional<MachineParts> machinePartsFromConfig(const PlatformConfig& config,
                                                   const std::filesystem::path& programFile,
                                                   std::string& error) {
  if (config.hardware != "simulated") {
    error = configMessage("оборудование \"" + config.hardware + "\" не поддерживается");
    return std::nullopt;
  }
  if (config.cameras != kSingleToneCameras && config.cameras != kColourCameras) {
    error = configMessage("камеры \"" + config.cameras + "\" неизвестны");
    return std::nullopt;
  }
  // A configuration filled in by hand may hold what the file would have refused.
  auto timing = cameraTimingProblem("line_rate", std::to_string(config.lineRate), nullptr);
  if (!timing && config.linesPerFrame != 0)
    timing = cameraTimingProblem("lines_per_frame", std::to_string(config.linesPerFrame), nullptr);
  if (timing) {
    error = configMessage(*timing);
    return std::nullopt;
  }
  MachineParts parts = simulatedMachineParts(programFile, config.cameras == kSingleToneCameras);
  parts.links = config.links;
  {
    ProductStreamConfig stream;
    stream.colour = !parts.singleToneCamera;
    stream.lineRateHz = config.lineRate;
    stream.linesPerFrame = cameraLinesPerFrame(config, false);
    parts.cameras = std::make_unique<ProductStreamSimulator>(stream);
  }
  // GenICam cameras: each index gets its own driver; a simulated one beside it keeps the simulator.
  std::array<std::unique_ptr<CameraDriver>, 2> cameraDrivers;
  bool anyAravis = false;
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string& source = config.cameraSources[i];
    if (source == "simulated") continue;
    const std::string device = aravisDevice(source);
    if (device.empty()) {
      error = configMessage("камера " + std::to_string(i + 1) + " \"" + source + "\" неизвестна");
      return std::nullopt;
    }
    AravisCameraConfig camera;
    camera.device = device;
    camera.colour = !parts.singleToneCamera;
    camera.pixelsPerLine = kPixelsPerLine;
    camera.lineRateHz = config.lineRate;
    camera.linesPerFrame = cameraLinesPerFrame(config, true);
    cameraDrivers[i] = std::make_unique<AravisCameraDriver>(camera, static_cast<std::int32_t>(i));
    anyAravis = true;
  }
  if (anyAravis) {
    for (auto& driver : cameraDrivers) {
      if (!driver) driver = std::move(parts.cameras);  // at most one index is simulated here
    }
    parts.cameras = std::make_unique<CameraPair>(std::move(cameraDrivers[0]), std::move(cameraDrivers[1]));
  }
  if (config.power == "sysfs") {
    parts.power = std::make_unique<SysfsPowerReader>();
  } else if (config.power.starts_with("nut:")) {
    const auto address = parseNutUpsAddress(std::string_view(config.power).substr(4));
    if (!address) {
      error = configMessage("адрес ИБП \"" + config.power + "\" не разобран");
      return std::nullopt;
    }
    parts.power = std::make_unique<NutUpsReader>(*address);
  } else if (config.power != "simulated") {
    error = configMessage("источник питания \"" + config.power + "\" неизвестен");
    return std::nullopt;
  }
  if (config.powerOff == "system") {
    parts.powerOff = std::make_unique<SystemPowerOff>();
  } else if (config.powerOff != "record") {
    error = configMessage("выключение \"" + config.powerOff + "\" неизвестно");
    return std::nullopt;
  }
  if (auto terminal = valveTerminalConfig(config, error)) {
    parts.digitalBoard = std::make_unique<ModbusValveTerminal>(*terminal);
  } else if (!error.empty()) {
    return std::nullopt;
  }
  return parts;
}

bool defaultRoutePresent(const std::filesystem::path& routeTable) {
  std::ifstream in(routeTable);
  std::string line;
  if (!std::getline(in, line)) return false;  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags;
    if (!(fields >> iface >> destination >> gateway >> flags)) continue;
    if (destination != "00000000") continue;
    const unsigned long value = std::strtoul(flags.c_str(), nullptr, 16);
    if ((value & 0x1UL) != 0) return true;  // RTF_UP
  }
  return false;
}

std::string cameraProbeText(int camera, bool found) {
  return "Камера " + std::to_string(camera + 1) + (found ? " ok" : " не найдена");
}

Machine::Machine(MachineParts parts)
    : programFile_(std::move(parts.programFile)),
      engine_(std::make_unique<EngineState>()),
      cameras_(std::move(parts.cameras)),
      digitalBoard_(std::move(parts.digitalBoard)),
      analogBoard_(std::move(parts.analogBoard)),
      power_(std::move(parts.power)),
      powerOff_(std::move(parts.powerOff)),
      launcher_(parts.launcher != nullptr ? parts.launcher : &systemProgramLauncher()),
      testWait_(std::move(parts.testWait)),
      networkPresent_(std::move(parts.networkPresent)),
      links_(std::move(parts.links)) {
  // The kind decides the analysis paths and the camera buffers: it is in place before anything loads.
  engine_->singleToneCamera = parts.singleToneCamera;
  applySingleToneFill(*engine_, sorter_);
  if (!cameras_) {
    ProductStreamConfig stream;
    stream.colour = !parts.singleToneCamera;
    cameras_ = std::make_unique<ProductStreamSimulator>(stream);
  }
  if (!digitalBoard_) digitalBoard_ = std::make_unique<SimulatedDigitalBoard>();
  if (!analogBoard_) analogBoard_ = std::make_unique<SimulatedAnalogBoard>();
  if (!power_) power_ = std::make_unique<SimulatedPower>();
  if (!powerOff_) powerOff_ = std::make_unique<RecordingPowerOff>();
  ioBoards_ = std::make_unique<IoBoards>(*digitalBoard_, *analogBoard_, engine_->ejection);

  RunControlDeps deps{
      .cameras = *cameras_,
      .board = *digitalBoard_,
      .engine = *engine_,
      .sorter = sorter_,
      .machine = machine_,
      .power = *power_,
      .powerOff = *powerOff_,
      .programFile = programFile_,
      .saveSettings =
          [this] {
            if (saveSettings_) saveSettings_();
          },
      .fullEjectorTest =
          [this] {
            if (fullEjectorTest_) fullEjectorTest_();
          },
      .setRunPriority = std::move(parts.setRunPriority),
      .threadOptions = parts.threadOptions,
  };
  runControl_ = std::make_unique<RunControl>(std::move(deps));
}

Machine::~Machine() {
  // The camera threads go first: they use everything else.
  runControl_.reset();
}

std::filesystem::path Machine::settingsFile() const { return machineSettingsFile(programFile_); }

bool Machine::networkPresent() const { return networkPresent_ ? networkPresent_() : systemNetworkPresent(); }

OperatingStatisticsWritten Machine::recordOperatingHour(int day, int hour) {
  const OperatingHour entry{.day = day,
                            .hour = hour,
                            .sorting = runControl_->view().puskSwitchOn,
                            .activeProgram = machine_.ActiveProg};
  return recordOperatingHourAndSave(*engine_, entry, programFile_);
}

void Machine::testWait(int ms) const {
  if (ms <= 0) return;
  if (testWait_) {
    testWait_(ms);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

bool Machine::copyReadoutLine(std::vector<std::uint8_t>& out) {
  if (!engine_->ReadoutLineValid.load(std::memory_order_acquire)) return false;
  // Sized before the lock: the copy under it allocates nothing.
  out.resize(engine_->ReadoutLine.size());
  std::lock_guard lock(engine_->engineLock);
  std::copy(engine_->ReadoutLine.begin(), engine_->ReadoutLine.end(), out.begin());
  return true;
}

void Machine::setDayIndex() { engine_->ejection.DayIndex.store(DayNumber(), std::memory_order_relaxed); }

void Machine::probeCameras() {
  for (int camera = 0; camera < kCameraCount; ++camera) probeCamera(*cameras_, *engine_, camera);
}

std::string_view Machine::initIoBoards() { return ioBoards_->InitIoBoards(); }

void Machine::clearEjectorTiming() {
  std::lock_guard lock(engine_->engineLock);
  engine_->ejection.clearTiming();
  engine_->ejection.ZoneDefects.fill(0);
}

void Machine::readMachineSettingsAndLoadActive() {
  // A settings file that cannot be read costs the values not yet read, never the start.
  try {
    const IniDocument doc = IniDocument::load(settingsFile());
    ReadMachineSettings(doc, machine_);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TolvaneGrain: settings not read: %s\n", error.what());
  }
  startupLoad_ = true;
  try {
    switchProgram(machine_.ActiveProg);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TolvaneGrain: program %d not loaded: %s\n", machine_.ActiveProg + 1, error.what());
  }
  startupLoad_ = false;
}

SettingsFileCheck Machine::checkSettingsFileAtStart() const { return checkSettingsFile(settingsFile()); }

std::optional<std::string> Machine::switchProgram(int index) {
  if (index < 0 || index >= kProgramCount) index = 0;
  const std::filesystem::path file = settingsFile();
  IniDocument doc = IniDocument::load(file);
  if (!startupLoad_ && !settingsFrozen_) {
    // The active program and the new ActiveProg go in one replacement of the file: a power cut
    // leaves the machine in the old program with its values or in the new one.
    try {
      WriteProgramSection(doc, machine_.ActiveProg, sorter_, machine_);
      doc.writeInt(kOptionsSection, "ActiveProg", index);
      if (beforeFileWrite_) beforeFileWrite_(file);
      doc.save(file);
    } catch (const std::exception& error) {
      // Nothing was written; the other program is not loaded.
      return std::string(error.what());
    }
  }
  std::vector<BadSectorLine> bad;
  {
    std::lock_guard lock(engine_->engineLock);
    machine_.ActiveProg = index;
    ReadProgramSection(doc, index, sorter_, machine_, engine_->singleToneCamera);
    bad = rebuildSectorTables(sorter_, engine_->singleToneCamera, hsvFillColour, engine_->sectorTables,
                              engine_->BackgroundFill);
    engine_->SingleChannel.store(sorter_.SingleChannel, std::memory_order_relaxed);
  }
  sectorReport_ = describeBadSectorLines(bad);
  if (!sectorReport_.empty()) {
    std::fprintf(stderr, "TolvaneGrain: program %d, colour sector lines left out:\n%s\n", index + 1,
                 sectorReport_.c_str());
  }
  return std::nullopt;
}

std::vector<int> Machine::writeProgramNames() {
  if (settingsFrozen_) return {};
  try {
    return tolvane::writeProgramNames(settingsFile(), machine_);
  } catch (...) {
    std::vector<int> all(kProgramNameCount);
    for (int n = 0; n < kProgramNameCount; ++n) all[static_cast<std::size_t>(n)] = n;
    return all;
  }
}

bool Machine::writeSamplesFile() {
  // A copy taken under the lock and written after it: the cameras never wait for a disk flush.
  auto samples = std::make_unique<ObjectRecord[]>(kSampleSlots);
  {
    std::lock_guard lock(engine_->engineLock);
    std::copy_n(engine_->SampleTable.get(), kSampleSlots, samples.get());
  }
  const std::filesystem::path file = machineSideFile(programFile_, MachineSideFile::kSamples);
  if (beforeFileWrite_) beforeFileWrite_(file);
  return writeSideFile(file, std::as_bytes(std::span(samples.get(), kSampleSlots)));
}

void Machine::clearEngineTables() {
  std::lock_guard lock(engine_->engineLock);
  engine_->clearTables();
}

SideFilesRead Machine::readSideFiles() {
  SideFilesRead read;
  std::lock_guard lock(engine_->engineLock);
  EjectionState& ejection = engine_->ejection;
  read.samples =
      readMachineSideFile(programFile_, MachineSideFile::kSamples,
                          std::as_writable_bytes(std::span(engine_->SampleTable.get(), kSampleSlots)));
  read.stat = readMachineSideFile(programFile_, MachineSideFile::kStat,
                                  std::as_writable_bytes(std::span(&ejection.DailyStats, 1)));
  read.shots = readMachineSideFile(programFile_, MachineSideFile::kShots,
                                   std::as_writable_bytes(std::span(&ejection.ShotsPerOutput, 1)));
  return read;
}

void Machine::computeZonesAndWriteState() {
  {
    std::lock_guard lock(engine_->engineLock);
    computeEjectorZones(machine_, engine_->ejection.EjectorZones);
  }
  if (settingsFrozen_) return;
  try {
    writeMachineState(settingsFile(), machine_);
  } catch (...) {
    // Written again at the next calibration step and at closing.
  }
}

void Machine::readMachineId() {
  bool ok = false;
  const std::string bytes = readWholeFile(settingsFile(), ok);
  if (ok) machine_.MachineId = tolvane::readMachineId(bytes, machine_.MachineId);
}

void Machine::closeSequence() {
  ioBoards_->CloseIoBoards();
  if (!settingsFrozen_) {
    try {
      writeMachineState(settingsFile(), machine_);
    } catch (...) {
    }
  }
  {
    // Copies taken under the lock so that a camera thread still running cannot tear them.
    auto samples = std::make_unique<ObjectRecord[]>(kSampleSlots);
    auto stat = std::make_unique<DailyStatsTable>();
    ShotsPerOutputTable shots;
    {
      std::lock_guard lock(engine_->engineLock);
      std::copy_n(engine_->SampleTable.get(), kSampleSlots, samples.get());
      *stat = engine_->ejection.DailyStats;
      shots = engine_->ejection.ShotsPerOutput;
    }
    // Each file on its own: one that cannot be written must not cost the others or the program save.
    writeMachineSideFiles(programFile_, std::as_bytes(std::span(samples.get(), kSampleSlots)),
                          std::as_bytes(std::span(stat.get(), 1)), std::as_bytes(std::span(&shots, 1)));
  }
  switchProgram(machine_.ActiveProg);
}

}  // namespace tolvane
