// Simulated sorting run for engineers: both camera threads on the product-stream simulator with the
// simulated boards, a virtual ejector bar scoring what the valves blew out, and the line rates and
// latencies the run reached.

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
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
#include "platform/ejector_bar_scorer.h"
#include "platform/line_latency_probe.h"
#include "platform/power_off.h"
#include "platform/product_stream_simulator.h"
#include "platform/simulated_boards.h"
#include "platform/simulated_power.h"
#include "settings/ini_file.h"
#include "settings/sector_tables.h"
#include "settings/settings_file.h"
#include "settings/stored_controls.h"
#include "tools/sorting_geometry.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kSimulateUsage =
    "simulate [--seconds S | --lines N] [--rate HZ] [--defects PERCENT] [--product PERCENT] [--colour] "
    "[--settings FILE [--program N]] [--seed N] [--bar-lines N] [--gap N] [--fifo LINES] [--lines-per-frame "
    "N] "
    "[--no-realtime] | "
    "simulate --write-settings FILE   simulated sorting run (both cameras, simulated boards): name=value "
    "lines";

// From this rate the simulated cameras pack 64 lines into a frame unless told otherwise.
constexpr double kFramedRate = 20'000;
constexpr int kFramedLinesPerFrame = 64;
constexpr int kMaxLinesPerFrame = 4096;
constexpr double kDefaultSeconds = 5;
constexpr double kDefaultRate = 10'000;
constexpr double kDefaultDefectPercent = 5;
// Free lines and pixels between items. An object closes only after more than three lines without
// growth, so items closer than four lines above each other would merge into one object.
constexpr int kDefaultGap = 4;
// The colour program of the built-in settings; without --colour the active program runs.
constexpr int kColourProgram = 1;
// How often the run collects ground truth and valve edges for the bar.
constexpr auto kScorePeriod = std::chrono::milliseconds(10);
// Edges reach the trace a little after their time stamp; items are scored only this long after
// they left the bar.
constexpr std::int64_t kTraceSettleNs = 5'000'000;
constexpr auto kSupervisionPeriod = std::chrono::seconds(5);

// A folder for the run's side files, removed afterwards.
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvane-simulate-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot create a folder for the side files");
    path = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
};

// The settings file of the simulated machine (machine/simulated.ini in the source tree, which a
// test keeps identical to this text). Lines are joined with CR LF.
constexpr std::string_view kBuiltInSettings[] = {
#include "tools/simulated_machine_ini.inc"
};

std::string builtInSettingsText() {
  std::string text;
  for (std::string_view line : kBuiltInSettings) {
    text += line;
    text += "\r\n";
  }
  return text;
}

struct SimulateOptions {
  double seconds = kDefaultSeconds;
  long long lines = 0;  // 0: run for `seconds`
  double rate = kDefaultRate;
  double defectPercent = kDefaultDefectPercent;
  double productPercent = -1;  // below 0: the simulator's own share
  bool colour = false;
  std::string settingsFile;
  int program = -1;
  std::uint64_t seed = 1;
  double barLines = -1;  // below 0: kDefaultBarLines at the run's geometry
  int gap = kDefaultGap;
  int fifoLines = 0;      // 0: the simulator's own
  int linesPerFrame = 0;  // 0: by the rate
  bool realtime = true;
};

double parseNumber(const std::vector<std::string>& args, std::size_t& i, const std::string& what) {
  if (i + 1 >= args.size()) throw UsageError(what + " needs a value");
  return parseNumberArgument(args[++i], what);
}

long long parseInteger(const std::vector<std::string>& args, std::size_t& i, const std::string& what) {
  if (i + 1 >= args.size()) throw UsageError(what + " needs a value");
  return parseIntArgument(args[++i], what);
}

SimulateOptions parseOptions(const std::vector<std::string>& args) {
  SimulateOptions o;
  bool haveSeconds = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--seconds") {
      o.seconds = parseNumber(args, i, "--seconds");
      if (!(o.seconds > 0 && o.seconds <= 86'400))
        throw UsageError("--seconds must be above 0 and at most 86400");
      haveSeconds = true;
    } else if (a == "--lines") {
      o.lines = parseInteger(args, i, "--lines");
      if (o.lines < 1 || o.lines > 1'000'000'000'000LL) throw UsageError("--lines must be 1 or more");
    } else if (a == "--rate") {
      o.rate = parseNumber(args, i, "--rate");
      if (!(o.rate >= 1 && o.rate <= 1e6)) throw UsageError("--rate must be 1 ... 1000000 lines per second");
    } else if (a == "--defects") {
      o.defectPercent = parseNumber(args, i, "--defects");
      if (!(o.defectPercent >= 0 && o.defectPercent <= 100))
        throw UsageError("--defects must be 0 ... 100 percent");
    } else if (a == "--product") {
      o.productPercent = parseNumber(args, i, "--product");
      if (!(o.productPercent >= 0 && o.productPercent <= 60))
        throw UsageError("--product must be 0 ... 60 percent");
    } else if (a == "--colour" || a == "--color") {
      o.colour = true;
    } else if (a == "--settings") {
      if (i + 1 >= args.size()) throw UsageError("--settings needs a file");
      o.settingsFile = args[++i];
    } else if (a == "--program") {
      const long long n = parseInteger(args, i, "--program");
      if (n < 0 || n >= kProgramCount) throw UsageError("--program must be 0 ... 9");
      o.program = static_cast<int>(n);
    } else if (a == "--seed") {
      const long long n = parseInteger(args, i, "--seed");
      if (n < 0) throw UsageError("--seed must be 0 or more");
      o.seed = static_cast<std::uint64_t>(n);
    } else if (a == "--bar-lines") {
      o.barLines = parseNumber(args, i, "--bar-lines");
      if (!(o.barLines >= 0 && o.barLines <= 100'000)) throw UsageError("--bar-lines must be 0 ... 100000");
    } else if (a == "--gap") {
      const long long n = parseInteger(args, i, "--gap");
      if (n < 0 || n > 100) throw UsageError("--gap must be 0 ... 100");
      o.gap = static_cast<int>(n);
    } else if (a == "--fifo") {
      const long long n = parseInteger(args, i, "--fifo");
      if (n < 1 || n > 1'000'000) throw UsageError("--fifo must be 1 ... 1000000 lines");
      o.fifoLines = static_cast<int>(n);
    } else if (a == "--lines-per-frame") {
      const long long n = parseInteger(args, i, "--lines-per-frame");
      if (n < 1 || n > kMaxLinesPerFrame) throw UsageError("--lines-per-frame must be 1 ... 4096");
      o.linesPerFrame = static_cast<int>(n);
    } else if (a == "--no-realtime") {
      o.realtime = false;
    } else {
      throw UsageError("unknown argument \"" + a + "\"; usage: " + kSimulateUsage);
    }
  }
  if (haveSeconds && o.lines > 0) throw UsageError("give --seconds or --lines, not both");
  if (o.linesPerFrame == 0) o.linesPerFrame = o.rate >= kFramedRate ? kFramedLinesPerFrame : 1;
  if (o.fifoLines > 0 && o.linesPerFrame > o.fifoLines)
    throw UsageError("--fifo must hold at least one frame (--lines-per-frame)");
  return o;
}

// The machine as at the start of sorting: settings loaded, zones computed, boards found.
struct Machine {
  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
};

// Returns the program loaded.
int loadSettings(const IniDocument& doc, int program, bool colour, Machine& m, ToolIo& io) {
  readStoredControls(doc, m.machine);
  ReadMachineSettings(doc, m.machine);
  const int chosen = program >= 0 ? program : (colour ? kColourProgram : m.machine.ActiveProg);
  EngineState& state = *m.state;
  state.singleToneCamera = !colour;
  ReadProgramSection(doc, chosen, m.sorter, m.machine, state.singleToneCamera);
  state.BrightMode = m.sorter.BrightMode;
  state.SingleChannel = m.sorter.SingleChannel;
  state.ColorTune = m.machine.ColorTuneButton_StateOn;
  state.FineTimer = m.machine.FineTimerButton_StateOn;
  const auto bad = rebuildSectorTables(m.sorter, state.singleToneCamera, hsvFillColour, state.sectorTables,
                                       state.BackgroundFill);
  if (!bad.empty()) io.err << describeBadSectorLines(bad);
  computeEjectorZones(m.machine, state.ejection.EjectorZones);
  return chosen;
}

// Side A zones of the working ejectors, by the output each drives.
std::vector<BarValveZone> barZones(const Machine& m) {
  std::vector<BarValveZone> zones;
  const EjectionState& e = m.state->ejection;
  for (int j = 1; j <= kEjectorsPerSide; ++j) {
    const int output = e.EjectorOutputMap[j];
    if (output < 1 || output > SimulatedDigitalBoard::kValves) continue;
    zones.push_back({output, e.EjectorZones[j].aStart, e.EjectorZones[j].aEnd});
  }
  return zones;
}

double micros(std::int64_t ns) { return static_cast<double>(ns) / 1000.0; }

int writeSettingsCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() != 2) throw UsageError(std::string("usage: ") + kSimulateUsage);
  const std::string text = builtInSettingsText();
  std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    io.err << "tolvane-tool simulate: cannot write " << args[1] << '\n';
    return 1;
  }
  return 0;
}

int simulateCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (!args.empty() && args[0] == "--write-settings") return writeSettingsCommand(args, io);
  const SimulateOptions o = parseOptions(args);

  Machine m;
  IniDocument doc;
  if (o.settingsFile.empty()) {
    doc = IniDocument::parse(builtInSettingsText());
  } else {
    std::error_code ec;
    // A missing file would silently give the defaults; say so instead.
    if (!std::filesystem::is_regular_file(o.settingsFile, ec) ||
        !std::ifstream(o.settingsFile, std::ios::binary)) {
      io.err << "tolvane-tool simulate: cannot read settings file " << o.settingsFile << '\n';
      return 1;
    }
    doc = IniDocument::load(o.settingsFile);
  }
  const int program = loadSettings(doc, o.program, o.colour, m, io);
  EngineState& state = *m.state;
  const double scale = geometryScale(o.rate);
  const double barLines = o.barLines >= 0 ? o.barLines : kDefaultBarLines * scale;

  ProductStreamConfig stream;
  stream.colour = o.colour;
  stream.pixelsPerLine = kPixelsPerLine;
  stream.lineRateHz = o.rate;
  stream.defectShare = o.defectPercent / 100.0;
  if (o.productPercent >= 0) stream.productShare = o.productPercent / 100.0;
  stream.seed = o.seed;
  stream.minGap = o.gap;
  if (o.fifoLines > 0) stream.fifoLines = o.fifoLines;
  stream.linesPerFrame = o.linesPerFrame;
  stream.linesPerPixel *= scale;
  ProductStreamSimulator cameras(stream);

  SimulatedDigitalBoard::Config boardConfig;
  boardConfig.edgeCapacity = std::size_t{1} << 20;
  SimulatedDigitalBoard digital(boardConfig);
  SimulatedAnalogBoard analog;
  LineLatencyProbe probe(cameras, digital);
  IoBoards boards(probe.board(), analog, state.ejection);
  boards.InitIoBoards();

  // Valves must act when an item reaches the bar, whichever way the camera thread reads.
  const int latencyLines = valveLatencyLines(o.linesPerFrame, probe.camera().linesPerFrame(0) > 1, o.rate);
  // The settings' own timing stands for the 10 000 lines/s geometry line by line.
  if (o.barLines >= 0 || scale != 1 || latencyLines != 0) {
    fitEjectionTiming(m.machine, barLines, latencyLines, scale);
    if (barLines + kDelayBeyondBar < latencyLines)
      io.err << "tolvane-tool simulate: the bar is nearer than the valves' latency of " << latencyLines
             << " lines; they act late\n";
  }

  BarGeometry geometry;
  geometry.lineRateHz = o.rate;
  geometry.barDistanceLines = barLines;
  EjectorBarScorer bar(barZones(m), geometry);

  // Both cameras run, whatever the program's camera switches say.
  m.sorter.onCamera1 = true;
  m.sorter.onCamera2 = true;
  for (int c = 0; c < kCameraCount; ++c) probeCamera(probe.camera(), state, c);

  // Run control starts and stops sorting as the start switch does; its stop writes the side files,
  // which go to a folder of their own.
  const TempFolder sideFiles;
  SimulatedPower power;
  RecordingPowerOff powerOff;
  CameraThreadOptions threadOptions;
  threadOptions.applyScheduling = o.realtime;
  RunControl run(RunControlDeps{
      .cameras = probe.camera(),
      .board = probe.board(),
      .engine = state,
      .sorter = m.sorter,
      .machine = m.machine,
      .power = power,
      .powerOff = powerOff,
      .programFile = sideFiles.path / "TolvaneGrain",
      .saveSettings = {},
      .fullEjectorTest = {},
      .setRunPriority = o.realtime ? std::function<void(int)>{} : [](int) {},
      .threadOptions = threadOptions,
  });

  std::vector<ValveEdge> edges;
  std::vector<BarValveEdge> barEdges;
  std::uint64_t pulses = 0;
  std::uint64_t truthMissed = 0;
  const auto collect = [&](std::int64_t settleUntilNs) {
    edges.clear();
    digital.takeValveEdges(edges);
    barEdges.clear();
    for (const ValveEdge& e : edges) {
      if (e.open) ++pulses;
      barEdges.push_back({e.output, e.open, probe.sinceStreamStart(e.time)});
    }
    bar.addEdges(barEdges);
    const std::vector<ProductItem> items = cameras.itemsFrom(bar.lastItemId() + 1);
    // The simulator keeps a bounded history; items it dropped before we saw them go unscored.
    if (!items.empty() && items.front().id > bar.lastItemId() + 1)
      truthMissed += items.front().id - bar.lastItemId() - 1;
    bar.addItems(items);
    bar.settle(settleUntilNs);
  };
  // Supervision zeroes the object counters every 10 minutes; the run adds them up.
  EngineCounterTable counters;
  const auto takeCounters = [&] {
    std::lock_guard lock(state.engineLock);
    for (std::size_t i = 0; i < counters.values.size(); ++i)
      counters.values[i] += state.ejection.EngineCounters.values[i];
    state.ejection.EngineCounters.clear();
  };
  const auto supervise = [&] {
    if ((run.SupervisionTick() + 1) % kSupervisionTicksPer10Minutes == 0) takeCounters();
    run.Timer5sekTimer();
  };

  const auto started = std::chrono::steady_clock::now();
  run.touchPuskSwitch();
  const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(o.seconds));
  auto nextSupervision = started + kSupervisionPeriod;
  const auto running = [&] {
    for (int c = 0; c < kCameraCount; ++c) {
      if (const TCameraThread* t = run.cameraThread(c); t != nullptr && !t->finished()) return true;
    }
    return false;
  };
  while (running() && run.view().puskSwitchOn) {
    std::this_thread::sleep_for(kScorePeriod);
    const auto now = std::chrono::steady_clock::now();
    if (probe.started(0)) collect(probe.sinceStreamStart(now) - kTraceSettleNs);
    if (now >= nextSupervision) {
      supervise();
      nextSupervision += kSupervisionPeriod;
    }
    if (o.lines > 0) {
      if (cameras.lineStats(0).lastLine + 1 >= o.lines) break;
      // A camera that never starts must not hold the run forever.
      if (!probe.started(0) && now - started > std::chrono::seconds(10)) break;
    } else if (now >= deadline) {
      break;
    }
  }

  // The stop: the switch takes one touch per supervision period, so the operator waits for it.
  const auto stopAt = std::chrono::steady_clock::now();
  // The rates count the lines up to the stop; the threads read on while the stop lowers the priority.
  const std::array<ProductStreamSimulator::CameraLineStats, kCameraCount> atStop{cameras.lineStats(0),
                                                                                 cameras.lineStats(1)};
  if (run.view().puskSwitchOn) {
    if (!run.view().puskSwitchEnabled) supervise();
    run.touchPuskSwitch();
  }
  run.stopAndJoinCameraThreads();
  const double runSeconds = std::chrono::duration<double>(stopAt - started).count();
  if (probe.started(0)) collect(probe.sinceStreamStart(stopAt));
  takeCounters();
  std::array<ThreadSchedulingReport, kCameraCount> scheduling{};
  for (int c = 0; c < kCameraCount; ++c) {
    if (const TCameraThread* t = run.cameraThread(c))
      scheduling[static_cast<std::size_t>(c)] = t->scheduling();
  }

  std::ostringstream out;
  out << std::fixed << std::setprecision(2);
  out << "program=" << program << '\n';
  out << "colour=" << (o.colour ? 1 : 0) << '\n';
  out << "rate_hz=" << o.rate << '\n';
  out << "product_pct=" << stream.productShare * 100 << '\n';
  out << "defects_pct=" << stream.defectShare * 100 << '\n';
  out << "camera_fifo_lines=" << stream.fifoLines << '\n';
  out << "lines_per_frame=" << o.linesPerFrame << '\n';
  out << "bar_lines=" << barLines << '\n';
  out << "valve_latency_lines=" << latencyLines << '\n';
  out << "delay=" << m.machine.Delay << '\n';
  out << "time=" << m.machine.Time << '\n';
  out << "run_s=" << runSeconds << '\n';
  out << "guard_retired=" << run.objectsRetiredByGuard() << '\n';
  for (int c = 0; c < kCameraCount; ++c) {
    const ProductStreamSimulator::CameraLineStats s = cameras.lineStats(c);
    const double measured =
        probe.started(c) ? std::chrono::duration<double>(stopAt - probe.measuringStarted(c)).count() : 0;
    const std::string name = "camera" + std::to_string(c + 1);
    out << name << "_realtime=" << (scheduling[static_cast<std::size_t>(c)].realTime ? 1 : 0) << '\n';
    out << name << "_lines=" << s.delivered << '\n';
    const double linesAtStop = static_cast<double>(atStop[static_cast<std::size_t>(c)].delivered);
    out << name << "_lines_per_s=" << (measured > 0 ? linesAtStop / measured : 0.0) << '\n';
    out << name << "_lines_lost=" << s.skipped << '\n';
    out << name << "_frames_lost=" << s.skippedFrames << '\n';
    out << name << "_lines_late=" << probe.linesLate(c) << '\n';
    out << name << "_lateness_p50_us=" << micros(probe.lineLateness(c).percentileNs(0.50)) << '\n';
    out << name << "_lateness_p99_us=" << micros(probe.lineLateness(c).percentileNs(0.99)) << '\n';
    out << name << "_lateness_max_us=" << micros(probe.lineLateness(c).maxNs()) << '\n';
  }
  for (int side = kSideA; side <= kSideB; ++side) {
    const char* s = side == kSideA ? "a" : "b";
    out << "objects_seen_" << s << '=' << counters.seen(side) << '\n';
    out << "objects_accepted_" << s << '=' << counters.accepted(side) << '\n';
    out << "objects_rejected_" << s << '=' << counters.rejected(side) << '\n';
  }
  const BarScore& score = bar.score();
  out << "valve_pulses=" << pulses << '\n';
  out << "valve_edges_lost=" << digital.lostValveEdges() << '\n';
  out << "items_defective=" << score.defective << '\n';
  out << "items_good=" << score.good << '\n';
  out << "items_unreachable=" << score.unreachable << '\n';
  out << "items_pending=" << score.pending << '\n';
  out << "items_unscored=" << truthMissed << '\n';
  out << "defects_removed=" << score.defectsRemoved << '\n';
  out << "good_lost=" << score.goodLost << '\n';
  out << "defects_removed_pct=" << score.defectsRemovedPct() << '\n';
  out << "good_lost_pct=" << score.goodLostPct() << '\n';
  const LatencyHistogram& latency = probe.valveLatency();
  out << "latency_samples=" << latency.count() << '\n';
  out << "latency_p50_us=" << micros(latency.percentileNs(0.50)) << '\n';
  out << "latency_p99_us=" << micros(latency.percentileNs(0.99)) << '\n';
  out << "latency_max_us=" << micros(latency.maxNs()) << '\n';
  io.out << out.str();
  return 0;
}

TOLVANE_TOOL_COMMAND("simulate", kSimulateUsage, simulateCommand);

}  // namespace
}  // namespace tolvane::tool
