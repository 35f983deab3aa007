#pragma once

// A sorting run over the real GigE Vision protocol: Aravis's fake camera sends the product-stream
// simulator's lines, camera 1's thread reads them through the Aravis driver, the simulated valve board
// records the valve edges and the virtual ejector bar scores what was blown out. Camera 2 stays absent:
// every fake camera answers on the one GigE Vision control port of the loopback address.
// Header-only so the GenICam tests run the very same path as the tool.

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ejection/ejector_zones.h"
#include "ejection/io_boards.h"
#include "ejection/run_control.h"
#include "engine/camera_thread.h"
#include "engine/color_convert.h"
#include "engine/engine_state.h"
#include "platform/aravis_camera_driver.h"
#include "platform/ejector_bar_scorer.h"
#include "platform/power_off.h"
#include "platform/simulated_boards.h"
#include "platform/simulated_power.h"
#include "settings/ini_file.h"
#include "settings/sector_tables.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"
#include "tools/fake_gige_camera.h"
#include "tools/sorting_geometry.h"

namespace tolvane {

struct FakeCameraRunOptions {
  bool colour = false;  // RGB8 and the colour program of the built-in settings; else Mono8
  double lineRateHz = 1000;
  double seconds = 3;
  int linesPerFrame = 2;
  double defectShare = 0.05;
  std::uint64_t seed = 1;
  double barLines = -1;  // below 0: the simulated machine's bar at this rate (sorting_geometry.h)
  bool realtime = false;
};

struct FakeCameraRunResult {
  std::string error;  // empty when the run took place
  double runSeconds = 0;
  double linesPerSecond = 0;  // delivered by the driver
  AravisStreamCounters counters;
  std::uint64_t framesSent = 0;
  std::uint64_t valvePulses = 0;
  BarScore score;
};

namespace fake_run_detail {

inline constexpr std::string_view kBuiltInSettings[] = {
#include "tools/simulated_machine_ini.inc"
};
inline constexpr int kColourProgram = 1;

inline std::string builtInSettings() {
  std::string text;
  for (std::string_view line : kBuiltInSettings) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace fake_run_detail

// Runs for options.seconds of camera time; nothing throws out of it (failures come back in error).
inline FakeCameraRunResult runFakeCamera(const FakeCameraRunOptions& options) {
  FakeCameraRunResult result;
  auto state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
  const IniDocument doc = IniDocument::parse(fake_run_detail::builtInSettings());
  readStoredControls(doc, machine);
  ReadMachineSettings(doc, machine);
  state->singleToneCamera = !options.colour;
  ReadProgramSection(doc, options.colour ? fake_run_detail::kColourProgram : machine.ActiveProg, sorter,
                     machine, state->singleToneCamera);
  state->BrightMode = sorter.BrightMode;
  state->SingleChannel = sorter.SingleChannel;
  state->ColorTune = machine.ColorTuneButton_StateOn;
  state->FineTimer = machine.FineTimerButton_StateOn;
  if (!rebuildSectorTables(sorter, state->singleToneCamera, hsvFillColour, state->sectorTables,
                           state->BackgroundFill)
           .empty()) {
    result.error = "built-in settings have bad sector lines";
    return result;
  }
  computeEjectorZones(machine, state->ejection.EjectorZones);
  std::vector<BarValveZone> zones;
  for (int j = 1; j <= kEjectorsPerSide; ++j) {
    const int output = state->ejection.EjectorOutputMap[j];
    if (output < 1 || output > SimulatedDigitalBoard::kValves) continue;
    zones.push_back({output, state->ejection.EjectorZones[j].aStart, state->ejection.EjectorZones[j].aEnd});
  }

  // The same fall at any rate; the camera thread takes frames, so valves act one frame after their line.
  const double scale = geometryScale(options.lineRateHz);
  const double barLines = options.barLines >= 0 ? options.barLines : kDefaultBarLines * scale;
  fitEjectionTiming(machine, barLines, valveLatencyLines(options.linesPerFrame, true, options.lineRateHz),
                    scale);

  ProductStreamConfig streamConfig;
  streamConfig.colour = options.colour;
  streamConfig.pixelsPerLine = kPixelsPerLine;
  streamConfig.lineRateHz = options.lineRateHz;
  streamConfig.waitForLineTime = false;
  streamConfig.defectShare = options.defectShare;
  streamConfig.seed = options.seed;
  streamConfig.linesPerPixel *= scale;
  streamConfig.minGap = 4;  // items closer than four lines would merge into one object
  test::FakeStream stream(streamConfig);
  stream.stampLineNumbers = false;
  stream.skipStalledLines = true;
  test::FakeGigeCamera fake(stream);
  if (!fake.running()) {
    result.error = "the fake GigE Vision camera cannot bind 127.0.0.1";
    return result;
  }

  AravisCameraConfig cameraConfig;
  cameraConfig.device = "127.0.0.1";
  cameraConfig.colour = options.colour;
  cameraConfig.pixelsPerLine = kPixelsPerLine;
  cameraConfig.lineRateHz = options.lineRateHz;
  cameraConfig.linesPerFrame = options.linesPerFrame;
  auto* aravis = new AravisCameraDriver(cameraConfig, 0);
  CameraPair cameras(std::unique_ptr<CameraDriver>(aravis), nullptr);

  SimulatedDigitalBoard::Config boardConfig;
  boardConfig.edgeCapacity = std::size_t{1} << 20;
  SimulatedDigitalBoard digital(boardConfig);
  SimulatedAnalogBoard analog;
  IoBoards boards(digital, analog, state->ejection);
  boards.InitIoBoards();
  for (int c = 0; c < kCameraCount; ++c) probeCamera(cameras, *state, c);
  if (!state->CameraFound[0]) {
    result.error = "the Aravis driver did not find the fake camera: " + aravis->lastError();
    return result;
  }
  sorter.onCamera1 = true;
  sorter.onCamera2 = false;

  BarGeometry geometry;
  geometry.lineRateHz = options.lineRateHz;
  geometry.barDistanceLines = barLines;
  EjectorBarScorer bar(zones, geometry);
  const double periodNs = 1e9 / options.lineRateHz;
  // Valve edges go onto the stream's time axis through the send times of the frames, so the fake
  // camera's own pace does not skew the score.
  const auto streamNs = [&](std::chrono::steady_clock::time_point t) {
    return static_cast<std::int64_t>(stream.lineAt(t) * periodNs);
  };

  // The stop writes side files beside the program file: a folder of their own, removed afterwards.
  std::string folder = (std::filesystem::temp_directory_path() / "tolvane-fake-run-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    result.error = "cannot create a folder for the side files";
    return result;
  }
  const std::filesystem::path sideFiles = folder;
  struct RemoveFolder {
    std::filesystem::path path;
    ~RemoveFolder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } removeFolder{sideFiles};
  SimulatedPower power;
  RecordingPowerOff powerOff;
  CameraThreadOptions threadOptions;
  threadOptions.applyScheduling = options.realtime;
  std::optional<RunControl> run;
  run.emplace(RunControlDeps{
      .cameras = cameras,
      .board = digital,
      .engine = *state,
      .sorter = sorter,
      .machine = machine,
      .power = power,
      .powerOff = powerOff,
      .programFile = sideFiles / "TolvaneGrain",
      .saveSettings = {},
      .fullEjectorTest = {},
      .setRunPriority = [](int) {},
      .threadOptions = threadOptions,
  });

  std::vector<ValveEdge> edges;
  std::vector<BarValveEdge> barEdges;
  const auto collect = [&](std::int64_t settleNs) {
    edges.clear();
    digital.takeValveEdges(edges);
    barEdges.clear();
    for (const ValveEdge& e : edges) {
      if (e.open) ++result.valvePulses;
      barEdges.push_back({e.output, e.open, streamNs(e.time)});
    }
    bar.addEdges(barEdges);
    bar.addItems(stream.simulator.itemsFrom(bar.lastItemId() + 1));
    bar.settle(settleNs);
  };
  // Items are scored once they are this far past the bar, so the edges that move them are in.
  const auto settleMarginNs = static_cast<std::int64_t>(4 * options.linesPerFrame * periodNs) + 5'000'000;

  const auto started = std::chrono::steady_clock::now();
  run->touchPuskSwitch();
  const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(options.seconds));
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    collect(streamNs(std::chrono::steady_clock::now()) - settleMarginNs);
  }
  const auto stopAt = std::chrono::steady_clock::now();
  const AravisStreamCounters atStop = aravis->counters();
  run->Timer5sekTimer();
  if (run->view().puskSwitchOn) run->touchPuskSwitch();
  run->stopAndJoinCameraThreads();
  collect(streamNs(stopAt) - settleMarginNs);
  run.reset();
  fake.stop();

  result.runSeconds = std::chrono::duration<double>(stopAt - started).count();
  result.counters = aravis->counters();
  result.linesPerSecond =
      result.runSeconds > 0 ? static_cast<double>(atStop.deliveredLines) / result.runSeconds : 0;
  result.framesSent = static_cast<std::uint64_t>(stream.frames.load());
  result.score = bar.score();
  return result;
}

}  // namespace tolvane
