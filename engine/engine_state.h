#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "engine/ejection_state.h"
#include "engine/engine_constants.h"
#include "engine/engine_lock.h"
#include "engine/line_dump.h"
#include "engine/object_index.h"
#include "engine/object_record.h"
#include "settings/sector_tables.h"
#include "settings/side_files.h"

namespace tolvane {

// One point of a line preview.
using PreviewPoints = std::array<RgbPixel, kPreviewPoints>;

// The engine's shared working data: object and sample tables, flags the operator sets, previews,
// the strip capture and the ejection tables. One instance lives for the whole run of the program.
//
// Threads: everything that is not an atomic is read and written only while holding engineLock
// (the analysis of a line, the ejection step, and every UI handler that changes what the engine
// reads). Atomics may be read by UI timers without the lock.
struct EngineState {
  EngineState();
  EngineState(const EngineState&) = delete;
  EngineState& operator=(const EngineState&) = delete;

  // The engine lock: held by a camera thread for the analysis of one line and for the ejection
  // step, and by UI handlers while they change engine data.
  EngineLock engineLock;

  // The machine's camera kind: single-tone analysis paths when set, colour paths otherwise. The
  // machine sets it from its platform configuration before anything loads, and it never changes
  // while cameras run; tests of the colour paths switch it off before feeding lines.
  bool singleToneCamera = kSingleToneCamera;

  // Camera presence and per-pass liveness, by camera index.
  std::array<std::atomic<bool>, kCameraCount> CameraFound{};
  std::array<std::atomic<bool>, kCameraCount> LineSeen{};

  // Records 1..1000 (element 0 is unused so that ObjectTable[k] is record k). Record 1000 is the
  // scratch record of sample evaluation and never holds a live object.
  std::unique_ptr<ObjectRecord[]> ObjectTable;
  // Records 1..ObjectCount are in use.
  std::int32_t ObjectCount = 0;
  // Slots 0..20; slots 0..5 take camera 1, 6..11 camera 2. The whole table is the .samples file.
  std::unique_ptr<ObjectRecord[]> SampleTable;

  // Active colour sectors of each camera, read by the colour test; rebuilt (rebuildSectorTables)
  // under the engine lock.
  std::array<SectorTables, kCameraCount> sectorTables;
  // Colour that prefills the upper half of a new object's image; set with the sector tables and by
  // the sample switches.
  FillColour BackgroundFill{};

  // Latest 1000-point preview of each camera's line.
  std::array<PreviewPoints, kCameraCount> PreviewLine{};

  // A copy of camera 1's whole current line for the UI (the driver writes the camera's own buffer
  // outside the lock), in the layout of CameraLineState::LineRGB: pixel p at bytes 3p, 3p+1, 3p+2 = R,
  // G, B. Single-tone lines have R = G = B. Written by camera 1's thread once per 1000 lines under
  // the lock; ReadoutLineValid is set once the first line was copied in.
  std::array<std::uint8_t, kLineElements * 3> ReadoutLine{};
  std::atomic<bool> ReadoutLineValid{false};

  // Strip capture of consecutive camera-1 lines. The picture is allocated by the first request
  // (UI thread) and never freed; rows are R, G, B, kStripWidth pixels each.
  std::unique_ptr<std::uint8_t[]> StripImage;
  std::atomic<std::int32_t> StripRows{0};  // rows filled, 0..kStripHeight
  std::atomic<bool> StripCaptureOn{false};

  // Lines during which test marks are painted into camera-1 lines.
  std::atomic<std::int32_t> TestMarkCountdown{0};

  // Operator flags and switches the engine reads.
  std::atomic<bool> ColorTune{false};          // apply shading
  std::atomic<bool> FineTimer{false};          // clock in milliseconds instead of camera-1 lines
  std::atomic<bool> BrightMode{false};         // brightness test instead of the colour test
  std::atomic<std::int32_t> SingleChannel{1};  // 1 R, 2 G, 3 B for the brightness test
  std::atomic<bool> MaskSwitch{false};         // previews show the class map
  std::atomic<bool> ScanExamSwitch{false};     // sample capture on
  std::atomic<bool> SampleNormButton{false};   // capture accepted objects
  std::atomic<bool> SampleBrakButton{false};   // capture rejects
  std::atomic<bool> CheckBox5{false};          // line dump on

  // Incremented after a sample was copied into SampleTable, per camera; the UI polls these and
  // repaints the sample box of the camera when one changes.
  std::array<std::atomic<std::uint64_t>, kCameraCount> SamplesCaptured{};

  // Valve table, timing tables, ejector zones and counters.
  EjectionState ejection;

  // Where the object analysis keeps track of open and closed records.
  ObjectIndex objectIndex;

  // The line dump picture (switch CheckBox5).
  LineDump lineDump;

  // Program start: zero the object table, the sample table and ObjectCount (and forget the index).
  // Called on the main thread before any camera thread runs, or under the engine lock.
  void clearTables();

  // Allocates the strip picture on first use and starts a new capture.
  // Called on the UI thread.
  void requestStripCapture();
};

// In a single-tone machine sets BackgroundFill from camera 1's background levels
// (singleToneBackgroundFill); a colour machine keeps its fill, which follows the background sectors.
// Wanted whenever FonBlack[0] or FonLight[0] may have changed.
// Called under the engine lock.
void applySingleToneFill(EngineState& state, const SorterSettings& sorter);

// The .samples file is the whole SampleTable.
static_assert(kSamplesFileSize == kSampleSlots * kObjectRecordSize);

// Replaces the file crash-safely with the whole table. Returns false when it cannot be written
// (the caller drops the failure silently, as for every side file).
// Called on the main thread under the engine lock.
bool saveSampleTable(const EngineState& state, const std::filesystem::path& path);

// Reads the file into the table: a missing or unreadable file leaves the table as it is, a short
// file fills the beginning and leaves the rest. Returns the number of bytes taken.
// Called on the main thread under the engine lock.
std::size_t loadSampleTable(EngineState& state, const std::filesystem::path& path);

}  // namespace tolvane
