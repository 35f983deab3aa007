// The 3D view redraws synchronously for every 50 ms repeat of an arrow button: clear, axes, about 3400
// mesh segments and the sector solids on the 1000 x 1000 canvas (labels are text, drawn by the widget).

#include <benchmark/benchmark.h>

#include "colour_tools/objects_3d.h"

namespace tolvane {
namespace {

SectorLines twentySectors() {
  SectorLines lines;
  for (int i = 0; i < 20; ++i) {
    const int type = i % 3 == 0 ? kSectorBackground : (i % 3 == 1 ? kSectorRed : kSectorBlue);
    lines.push_back(formatSectorLine(
        ColorSector{true, type, i, 18 * i, 18 * i + 40, 20 + 5 * i, 150 + 5 * i, 10 + 3 * i, 200 + 2 * i}));
  }
  return lines;
}

void BM_View3DRedraw(benchmark::State& state) {
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  view.rebuild(canvas, twentySectors());
  int step = 0;
  for (auto _ : state) {
    view.stepTurn(step++ % 2 == 0 ? 1 : -1);
    benchmark::DoNotOptimize(view.redraw(canvas));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_View3DRedraw)->Unit(benchmark::kMillisecond);

void BM_View3DRebuild(benchmark::State& state) {
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  const SectorLines lines = twentySectors();
  for (auto _ : state) {
    view.rebuild(canvas, lines);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_View3DRebuild)->Unit(benchmark::kMillisecond);

// The canvas's own line for comparison: the mesh alone drawn with LineTo.
void BM_View3DMeshWithCanvasLineTo(benchmark::State& state) {
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  view.redraw(canvas);
  const MeshObject3D& mesh = view.mesh();
  for (auto _ : state) {
    for (int j = 0; j < MeshObject3D::kPolylines; ++j) {
      const ScreenPoint first = projectPoint(mesh.rotatedPoint(j, 0));
      canvas.MoveTo(first.x, first.y);
      for (int k = 1; k < MeshObject3D::kPointsPerPolyline; ++k) {
        const ScreenPoint p = projectPoint(mesh.rotatedPoint(j, k));
        canvas.LineTo(p.x, p.y);
      }
      for (int k = 0; k < MeshObject3D::kPointsPerPolyline; ++k) {
        const ScreenPoint a = projectPoint(mesh.rotatedPoint(j, k));
        const ScreenPoint b = projectPoint(mesh.rotatedPoint((j + 1) % MeshObject3D::kPolylines, k));
        canvas.Line(a.x, a.y, b.x, b.y);
      }
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_View3DMeshWithCanvasLineTo)->Unit(benchmark::kMillisecond);

void BM_View3DMeshWithFastLine(benchmark::State& state) {
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  view.redraw(canvas);
  for (auto _ : state) {
    view.mesh().draw(canvas);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_View3DMeshWithFastLine)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
