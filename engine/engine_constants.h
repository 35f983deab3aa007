#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/build_constants.h"

namespace tolvane {

// Build-time configuration of the vision engine. Nothing changes these at run time.
// kSingleToneCamera and kEjectorsPerSide live with the settings (settings/build_constants.h)
// because program loading depends on them too.

inline constexpr int kPixelsPerLine = 2048;     // pixels per line handled by the engine
inline constexpr int kLineBufferPixels = 4096;  // capacity of every per-camera line buffer
// Element count of the per-pixel buffers: pixel p (1..4096) sits at element p. Element 0 is the
// position an uncalibrated working range points at; it belongs to no pixel and stays 0 unless the
// analysis of such a range classifies it.
inline constexpr std::size_t kLineElements = kLineBufferPixels + 1;
inline constexpr double kPreviewStep = 2.04;       // pixel step between the points of a line preview
inline constexpr int kPreviewPoints = 1000;        // points per line preview
inline constexpr bool kSummaryOutput = false;      // one output mirrors "any valve open"
inline constexpr bool kImmediateEjection = false;  // fire closed objects at once, no delay/pulse
inline constexpr bool kSensorSetupTool = false;    // standby switch starts the sensor set-up program
inline constexpr bool kCameraSimulator = false;    // camera thread makes synthetic lines

inline constexpr int kCameraCount = 2;
inline constexpr int kObjectTableSize = 1000;  // records 1..1000; 1000 is the sample scratch record
inline constexpr int kScratchRecord = 1000;
inline constexpr int kSampleSlots = 21;          // slots 0..20; the .samples file
inline constexpr int kSampleSlotsPerCamera = 6;  // camera 1: slots 0..5, camera 2: slots 6..11
inline constexpr int kStripWidth = kPixelsPerLine;
inline constexpr int kStripHeight = 4000;  // rows of the strip image
inline constexpr int kDumpRows = 800;      // rows of the line dump picture
inline constexpr int kDumpWidth = kPixelsPerLine;
inline constexpr int kDumpPixels = 2550;  // pixels of a line drawn into the dump

// LineCounter wraps to 1 when the incremented value reaches this.
inline constexpr std::int64_t kLineCounterWrap = INT64_MAX - 1;

}  // namespace tolvane
