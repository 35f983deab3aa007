// The colour page's map redraw: the picture copied into the working map and 20 sector outlines with
// their hatching, as after every list operation and at every press and release on the map.

#include <benchmark/benchmark.h>

#include "colour_tools/hsv_map.h"
#include "colour_tools/map_redraw.h"
#include "settings/color_sector.h"

namespace tolvane {
namespace {

SectorLines twentySectors() {
  SectorLines lines;
  for (int i = 0; i < 20; ++i) {
    ColorSector s;
    s.Active = true;
    s.Type = i % 3 == 0 ? kSectorBackground : (i % 3 == 1 ? kSectorRed : kSectorBlue);
    s.ID = i;
    s.HMIN = (i * 37) % 360;
    s.HMAX = (s.HMIN + 10 + (i * 23) % 120) % 361;  // some run across 0°
    s.SMIN = (i * 13) % 120;
    s.SMAX = s.SMIN + 20 + (i * 29) % 135;
    s.VMIN = 0;
    s.VMAX = 255;
    lines.push_back(formatSectorLine(s));
  }
  return lines;
}

void BM_RedrawMapWith20Sectors(benchmark::State& state) {
  Rgb24Canvas picture;
  drawHsvMapPicture(picture);
  Rgb24Canvas working = picture;
  const SectorLines lines = twentySectors();
  for (auto _ : state) {
    auto texts = redrawSectorMap(working, picture, lines, 7);
    benchmark::DoNotOptimize(texts.data());
    benchmark::DoNotOptimize(working.data());
  }
}
BENCHMARK(BM_RedrawMapWith20Sectors)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Generated once at start.
void BM_DrawMapPicture(benchmark::State& state) {
  Rgb24Canvas picture;
  for (auto _ : state) {
    drawHsvMapPicture(picture);
    benchmark::DoNotOptimize(picture.data());
  }
}
BENCHMARK(BM_DrawMapPicture)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
