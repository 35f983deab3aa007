// Engine throughput on one core: synthetic product-curtain lines of 2048 pixels through the object
// analysis (or line mode) of camera 1 and the ejection pass with its valve write, as camera 1's thread
// runs them; and the ejection pass alone over a full object table. Items per second are lines (or
// passes) per second.

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "ejection/ejector_zones.h"
#include "ejection/valve_outputs.h"
#include "engine/camera_line_state.h"
#include "engine/color_convert.h"
#include "engine/ejection_step.h"
#include "engine/engine_state.h"
#include "engine/line_classifier.h"
#include "engine/object_tracker.h"
#include "engine/product_curtain.h"
#include "settings/color_sector.h"
#include "settings/sector_tables.h"

namespace tolvane {
namespace {

constexpr int kRecordedLines = 2048;  // the curtain repeats after this many lines

// Keeps the last byte written to each port, as a board would hold it.
class PortImageBoard : public DigitalBoard {
 public:
  PortImageBoard() { setFound(true, 0); }
  void PIODIO_DriverInit() override {}
  std::uint16_t PIODIO_SearchCard(std::uint16_t* found, std::uint32_t) override {
    *found = 1;
    return 0;
  }
  std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t, std::uint32_t* base, std::uint16_t*,
                                             std::uint16_t*, std::uint16_t*, std::uint16_t*, std::uint16_t*,
                                             std::uint16_t*) override {
    *base = 0;
    return 0;
  }
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override {
    ports_[port & 0xFF] = static_cast<std::uint8_t>(value);
    return 0;
  }
  std::uint16_t PIODIO_DriverClose() override { return 0; }

 private:
  std::array<std::uint8_t, 256> ports_{};
};

// A calibrated machine: four blocks over pixels 1..2048 on both sides.
void calibrate(MachineSettings& machine) {
  for (int n = 0; n < 4; ++n) {
    machine.EgecA[static_cast<std::size_t>(n)] = machine.EgecB[static_cast<std::size_t>(n)] = 1 + 512 * n;
    machine.EgecAx[static_cast<std::size_t>(n)] = machine.EgecBx[static_cast<std::size_t>(n)] =
        1 + 512 * (n + 1);
  }
}

FillColour fillOf(int32_t h, int32_t s, int32_t v) {
  const RgbValues c = HsvToRgb(h, s, v);
  return {static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g), static_cast<std::uint8_t>(c.b)};
}

struct Bench {
  explicit Bench(bool mono) : camera(0) {
    state->singleToneCamera = mono;
    calibrate(machine);
    // Room for every item in flight, so that no run is dropped for a full table.
    machine.MaxObject = 200;
    if (!mono) {
      // Six active sectors: the blue plate, three yellows for colour 1, two greens for colour 2.
      const std::array<ColorSector, 6> sectors{{
          {true, kSectorBackground, 1, 190, 260, 0, 255, 0, 255},
          {true, kSectorRed, 2, 20, 34, 60, 255, 60, 255},
          {true, kSectorRed, 3, 35, 47, 60, 255, 60, 255},
          {true, kSectorRed, 4, 48, 60, 60, 255, 60, 255},
          {true, kSectorBlue, 5, 61, 85, 60, 255, 40, 255},
          {true, kSectorBlue, 6, 86, 110, 60, 255, 40, 255},
      }};
      for (const ColorSector& s : sectors) sorter.Sectors[0].push_back(formatSectorLine(s));
    } else {
      sorter.BrightMode = true;
    }
    rebuildSectorTables(sorter, mono, fillOf, state->sectorTables, state->BackgroundFill);
    state->BrightMode = sorter.BrightMode;
    computeEjectorZones(machine, state->ejection.EjectorZones);
    prepareCameraForRun(camera, *state, machine);

    CurtainOptions options;
    options.seed = 2024;
    ProductCurtain curtain(options);
    const std::size_t stride = mono ? kLineElements : 3 * kLineElements;
    lines.resize(stride * kRecordedLines);
    for (int i = 0; i < kRecordedLines; ++i) {
      std::span<std::uint8_t> line(lines.data() + stride * static_cast<std::size_t>(i), stride);
      if (mono) {
        curtain.nextMonoLine(line);
      } else {
        curtain.nextRgbLine(line);
      }
    }
    // Pixels past the line are the same on every line; copy them once.
    std::memcpy(mono ? camera.LineMono.data() : camera.LineRGB.data(), lines.data(), stride);
  }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  CameraLineState camera;
  SorterSettings sorter;
  MachineSettings machine;
  std::vector<std::uint8_t> lines;
};

void BM_SingleToneObjectAnalysisWithEjection(benchmark::State& st) {
  auto b = std::make_unique<Bench>(true);
  PortImageBoard board;
  BoardValveOutput output(board);
  const std::size_t copied = kPixelsPerLine + 1;
  std::size_t i = 0;
  for (auto _ : st) {
    std::memcpy(b->camera.LineMono.data(), b->lines.data() + kLineElements * i, copied);
    i = i + 1 == kRecordedLines ? 0 : i + 1;
    const std::int64_t now = b->camera.LineCounter.load(std::memory_order_relaxed);
    analyseLine(*b->state, b->camera, b->sorter, b->machine, now);
    b->camera.countLine();
    runEjectionPass(*b->state, b->sorter, b->machine, b->camera.LineCounter.load(std::memory_order_relaxed),
                    false, &output);
  }
  st.SetItemsProcessed(st.iterations());
  const auto& counters = b->state->ejection.EngineCounters;
  st.counters["objects_per_kline"] =
      benchmark::Counter(1000.0 * counters.seen(kSideA) / static_cast<double>(st.iterations()));
}
BENCHMARK(BM_SingleToneObjectAnalysisWithEjection);

void BM_ColourObjectAnalysisSixSectorsWithEjection(benchmark::State& st) {
  auto b = std::make_unique<Bench>(false);
  PortImageBoard board;
  BoardValveOutput output(board);
  const std::size_t stride = 3 * kLineElements;
  const std::size_t copied = 3 * (kPixelsPerLine + 1);
  std::size_t i = 0;
  for (auto _ : st) {
    std::memcpy(b->camera.LineRGB.data(), b->lines.data() + stride * i, copied);
    i = i + 1 == kRecordedLines ? 0 : i + 1;
    const std::int64_t now = b->camera.LineCounter.load(std::memory_order_relaxed);
    analyseLine(*b->state, b->camera, b->sorter, b->machine, now);
    b->camera.countLine();
    // Without the pass, judged objects would never be done and the table would fill up.
    runEjectionPass(*b->state, b->sorter, b->machine, b->camera.LineCounter.load(std::memory_order_relaxed),
                    false, &output);
  }
  st.SetItemsProcessed(st.iterations());
  const auto& counters = b->state->ejection.EngineCounters;
  st.counters["objects_per_kline"] =
      benchmark::Counter(1000.0 * counters.seen(kSideA) / static_cast<double>(st.iterations()));
}
BENCHMARK(BM_ColourObjectAnalysisSixSectorsWithEjection);

// Line mode: classification with the zone counts and pulse scheduling, then the line-mode ejection
// pass with its valve write. Argument 1: single-tone build, 0: colour build with six sectors.
void BM_LineModeAnalysisWithEjection(benchmark::State& st) {
  const bool mono = st.range(0) != 0;
  auto b = std::make_unique<Bench>(mono);
  b->sorter.enFast = true;
  PortImageBoard board;
  BoardValveOutput output(board);
  const std::size_t stride = mono ? kLineElements : 3 * kLineElements;
  const std::size_t copied = mono ? kPixelsPerLine + 1 : 3 * (kPixelsPerLine + 1);
  std::uint8_t* line = mono ? b->camera.LineMono.data() : b->camera.LineRGB.data();
  std::size_t i = 0;
  for (auto _ : st) {
    std::memcpy(line, b->lines.data() + stride * i, copied);
    i = i + 1 == kRecordedLines ? 0 : i + 1;
    const std::int64_t now = b->camera.LineCounter.load(std::memory_order_relaxed);
    analyseLineModeLine(*b->state, b->camera, b->sorter, b->machine, now);
    b->camera.countLine();
    runEjectionPass(*b->state, b->sorter, b->machine, b->camera.LineCounter.load(std::memory_order_relaxed),
                    false, &output);
  }
  st.SetItemsProcessed(st.iterations());
  st.SetLabel(mono ? "single-tone" : "colour, six sectors");
  // Zones scheduled per thousand lines, to show the lines did real work.
  st.counters["zones_per_kline"] = benchmark::Counter(
      1000.0 * b->state->ejection.EngineCounters.seen(kSideA) / static_cast<double>(st.iterations()));
}
BENCHMARK(BM_LineModeAnalysisWithEjection)->Arg(1)->Arg(0);

// A table of tracked objects as sorting keeps it: a sixth still growing, the rest closed and waiting
// for their due time, one falling due on every pass; both cameras, centres spread over the line,
// masses mixed so that some are rejects.
struct TrackedObjects {
  static constexpr int kWaitLines = 600;  // one record per pass of this many: 600 records

  TrackedObjects() {
    state->singleToneCamera = true;
    calibrate(machine);
    machine.MaxObject = kObjectTableSize - 1;
    machine.MaxTime = 600;  // the longest expiry: nothing expires before its due time
    computeEjectorZones(machine, state->ejection.EjectorZones);
    sorter.enMassa = true;  // OR mode: Mass above ifMassa is a reject
    sorter.ifMassa = 400;
    sorter.enTripleShot = true;
    std::uint64_t random = 77;
    auto next = [&random](int below) {
      random = random * 6364136223846793005ULL + 1442695040888963407ULL;
      return static_cast<int>((random >> 33) % static_cast<std::uint64_t>(below));
    };
    for (int k = 1; k <= records; ++k) {
      ObjectRecord& r = state->ObjectTable[k];
      r.InUse = 1;
      r.Open = k % 6 == 0 ? 1 : 0;
      r.Camera = k % 2;
      r.XMin = 1 + next(2000);
      r.XMax = r.XMin + 5 + next(35);
      r.Mass = 20 + next(500);
      r.SampleSlot = -1;
      r.DueAt = k;  // record k falls due at pass k
    }
    state->ObjectCount = records;
  }

  // After the pass at now: record k, due at now, is put back as a new object due kWaitLines later
  // (an open one stays open), so that every pass finds the same amount of work.
  void rearm(std::int64_t now) {
    ObjectRecord& r = state->ObjectTable[static_cast<int>((now - 1) % kWaitLines) + 1];
    r.Done = 0;
    r.DueAt = static_cast<std::int32_t>(now + kWaitLines);
    state->ObjectCount = records;
  }

  int records = kWaitLines;
  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
};

// The ejection pass of camera 1's thread with its valve write, over 600 tracked objects.
// Argument 1: object mode; 0: line mode (which looks at no object) with pulses scheduled on many zones.
void BM_EjectionPass600Objects(benchmark::State& st) {
  const bool objectMode = st.range(0) != 0;
  TrackedObjects t;
  t.sorter.enFast = !objectMode;
  if (!objectMode) {
    for (int j = 1; j <= kEjectorSlots; j += 2) {
      t.state->ejection.LineModeOn[j].store(j * 7, std::memory_order_relaxed);
      t.state->ejection.LineModeOff[j].store(j * 7 + 12, std::memory_order_relaxed);
    }
  }
  PortImageBoard board;
  BoardValveOutput output(board);
  std::int64_t now = 1;
  for (auto _ : st) {
    runEjectionPass(*t.state, t.sorter, t.machine, now, false, &output);
    if (objectMode) t.rearm(now);
    ++now;
  }
  st.SetItemsProcessed(st.iterations());
  st.SetLabel(objectMode ? "object mode" : "line mode");
  const auto& counters = t.state->ejection.EngineCounters;
  st.counters["fired_per_kpass"] =
      benchmark::Counter(1000.0 * (counters.rejected(kSideA) + counters.rejected(kSideB)) /
                         static_cast<double>(st.iterations()));
}
BENCHMARK(BM_EjectionPass600Objects)->Arg(1)->Arg(0);

// Classification alone, to see what share of a line's analysis it takes.
void BM_LineClassification(benchmark::State& st) {
  const bool mono = st.range(0) != 0;
  auto b = std::make_unique<Bench>(mono);
  const std::size_t stride = mono ? kLineElements : 3 * kLineElements;
  const std::size_t copied = mono ? kPixelsPerLine + 1 : 3 * (kPixelsPerLine + 1);
  std::uint8_t* line = mono ? b->camera.LineMono.data() : b->camera.LineRGB.data();
  std::size_t i = 0;
  for (auto _ : st) {
    std::memcpy(line, b->lines.data() + stride * i, copied);
    i = i + 1 == kRecordedLines ? 0 : i + 1;
    setWorkingRange(b->camera, b->state->ejection, b->machine);
    prepareClassifier(b->camera, *b->state, b->sorter, b->machine);
    classifyLine(b->camera, mono ? LinePath::kMonoObject : LinePath::kColourObject, false, nullptr);
    benchmark::DoNotOptimize(b->camera.ClassMap.data());
  }
  st.SetItemsProcessed(st.iterations());
  st.SetLabel(mono ? "single-tone" : "colour, six sectors");
}
BENCHMARK(BM_LineClassification)->Arg(1)->Arg(0);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
