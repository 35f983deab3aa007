// The product-stream simulator's own cost: how many 2048-pixel lines a second one core can render, as
// the camera threads read them (without waiting for the line time). At a line rate of R lines per
// second per camera, the two simulated cameras take 2 R / (this rate) of a core from the engine.
// Frames of 64 lines save the per-line locking and item lookup.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/engine_constants.h"
#include "platform/product_stream_simulator.h"

namespace tolvane {
namespace {

// One single camera of the default stream, measuring, read as fast as it can.
ProductStreamConfig benchConfig(bool colour, int linesPerFrame) {
  ProductStreamConfig config;
  config.colour = colour;
  config.pixelsPerLine = kPixelsPerLine;
  config.waitForLineTime = false;
  config.cameraPresent = {true, false};
  config.minGap = 4;
  config.linesPerFrame = linesPerFrame;
  return config;
}

void startMeasuring(ProductStreamSimulator& sim) {
  std::int32_t index = 0;
  sim.CCD_Init(nullptr, 0, &index);
  sim.CCD_InitMeasuring(0);
  sim.CCD_StartMeasuring(0);
}

void BM_SimulatorLineRead(benchmark::State& st) {
  const bool colour = st.range(0) != 0;
  ProductStreamSimulator sim(benchConfig(colour, 1));
  startMeasuring(sim);
  std::vector<std::uint8_t> line(static_cast<std::size_t>(sim.bytesPerLine()));
  for (auto _ : st) {
    sim.CCD_GetDataByte(0, line.data());
    benchmark::DoNotOptimize(line.data());
  }
  st.SetItemsProcessed(st.iterations());
  st.SetLabel(colour ? "colour" : "single-tone");
}
BENCHMARK(BM_SimulatorLineRead)->Arg(0)->Arg(1);

// The same in frames of 64 lines, as a frame-reading camera thread takes them (items are lines).
void BM_SimulatorFrameRead(benchmark::State& st) {
  const bool colour = st.range(0) != 0;
  ProductStreamSimulator sim(benchConfig(colour, 64));
  startMeasuring(sim);
  CameraFrame frame;
  for (auto _ : st) {
    sim.readFrame(0, &frame);
    benchmark::DoNotOptimize(frame.data);
  }
  st.SetItemsProcessed(st.iterations() * sim.config().linesPerFrame);
  st.SetLabel(colour ? "colour" : "single-tone");
}
BENCHMARK(BM_SimulatorFrameRead)->Arg(0)->Arg(1);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
