#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "engine/ejection_state.h"
#include "engine/engine_constants.h"
#include "engine/pixel_classifier.h"

namespace tolvane {

struct EngineState;
struct MachineSettings;

// The data of one camera's acquisition: line buffers, shading, class map, counters. The camera
// thread owns one and hands it to the analysis of each line.
//
// Threads: the buffers are written by the camera's thread while it reads a line and by the
// analysis of that line (same thread, under the engine lock). LineCounter, MsPer1000Lines and
// StopRequested are atomics because the UI and run control read or set them.
struct CameraLineState {
  explicit CameraLineState(int cameraIndex = 0);
  CameraLineState(const CameraLineState&) = delete;
  CameraLineState& operator=(const CameraLineState&) = delete;

  std::array<std::uint8_t, kLineElements> ClassMap{};      // PixelClass of pixel p
  std::array<std::uint8_t, kLineElements> PixelEjector{};  // ejector whose zone holds pixel p, 0 none
  float CameraParam8 = 0.0F;
  float CameraParam7 = 0.0F;
  float CameraParam4 = 0.0F;
  std::uint8_t LineReadOk = 0;
  std::array<std::uint8_t, kLineElements * 3> LineRGB{};     // pixel p: bytes 3p, 3p+1, 3p+2 = R, G, B
  std::array<std::int32_t, kLineElements * 3> ShadingRGB{};  // additive correction per byte of LineRGB
  std::array<std::uint8_t, kLineElements> LineMono{};        // pixel p: grey value
  std::array<std::int8_t, kLineElements> ShadingMono{};      // additive correction of LineMono
  std::int32_t CameraIndex = 0;                              // 0 camera 1, 1 camera 2
  std::atomic<bool> StopRequested{false};
  std::atomic<std::uint32_t> MsPer1000Lines{1};
  std::atomic<std::int64_t> LineCounter{0};
  std::int32_t WorkFirstPixel = 0;
  std::int32_t WorkLastPixel = 0;

  // Fast classification for this camera's lines.
  PixelClassifier classifier;

  // Where the camera driver writes a line: pixel 1 onward.
  std::span<std::uint8_t> monoLineData() { return {LineMono.data() + 1, kLineBufferPixels}; }
  std::span<std::uint8_t> rgbLineData() { return {LineRGB.data() + 3, kLineBufferPixels * 3}; }

  std::uint8_t* rgb(int pixel) { return LineRGB.data() + 3 * static_cast<std::size_t>(pixel); }

  // The line counter after a line was read; wraps to 1 before reaching 2^63 - 1.
  // Called on the camera's own thread.
  void countLine();
};

// Shading corrections per pixel p = 1..kPixelsPerLine, rounded to nearest with halves to even.
std::int32_t colourShading(int camera, int pixel);
std::int8_t monoShading(int camera, int pixel);

// Start of sorting for this camera: zero ClassMap and the line-mode zone counts, fill the shading
// tables, build PixelEjector from the camera's working ejector range (a later ejector wins where
// zones overlap) and, in the colour build, allocate the colour class table.
// Called on the main thread under the engine lock, before the camera's thread starts.
void prepareCameraForRun(CameraLineState& camera, EngineState& state, const MachineSettings& machine);

// Shading tables only (zeroed first, then pixels 1..kPixelsPerLine).
void fillShadingTables(CameraLineState& camera);

// PixelEjector only.
void buildPixelEjector(CameraLineState& camera, const EjectionState& ejection,
                       const MachineSettings& machine);

}  // namespace tolvane
