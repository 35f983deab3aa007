#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane {

// Line buffer sizes the driver may write into: 1 byte per pixel for single-tone cameras, R, G, B per
// pixel for colour cameras.
inline constexpr std::size_t kMaxLinePixels = 4096;
inline constexpr std::size_t kLineMonoBytes = kMaxLinePixels;
inline constexpr std::size_t kLineRgbBytes = 3 * kMaxLinePixels;

// Every driver call answers with a value of which only the low byte counts: non-zero is success.
using CcdResult = std::int32_t;
inline constexpr CcdResult kCcdFailure = 0;
inline constexpr CcdResult kCcdSuccess = 1;
constexpr bool ccdSucceeded(CcdResult result) { return (result & 0xFF) != 0; }

// A whole frame of lines handed over at once by a camera that packs lines into frames. The data stays
// valid until the next readFrame, CCD_GetDataByte or CCD_CameraReset for that camera.
struct CameraFrame {
  const std::uint8_t* data = nullptr;  // lineCount lines, bytesPerLine apart, laid out as CCD_GetDataByte's
  std::size_t bytesPerLine = 0;
  int lineCount = 0;
  // Lines of this measuring run lost just before this frame (missing, failed or dropped frames, or
  // lines the reader was too late for): the line clock moves on by them.
  std::int64_t lostLinesBefore = 0;
  // Steady-clock time (std::chrono::steady_clock, ns since its epoch) at which the frame's last line
  // was taken; 0 when the driver cannot tell (then the arrival time stands in).
  std::int64_t lastLineTimeNs = 0;
  // The line period the camera was set to, ns; 0 when unknown.
  std::int64_t linePeriodNs = 0;
};

// The eight calls of the line-scan camera driver with their arguments. The camera index comes first
// (0 = camera 1, 1 = camera 2); CCD_Init takes it through a pointer as its third argument.
//
// Call order per camera thread: CCD_SetParameter (single-tone cameras), CCD_GetParameter for 7, 8, 4,
// CCD_HitTest, CCD_InitMeasuring, CCD_StartMeasuring, CCD_GetDataByte in a loop, CCD_CameraReset.
// CCD_Init runs on the main thread at start-up; every other call for camera i runs only on camera i's
// own thread, so an implementation must allow the two cameras to be used from two threads at once.
//
// CCD_GetDataByte writes one line: with a single-tone camera 1 byte per pixel (buffer of kLineMonoBytes),
// with a colour camera R, G, B per pixel (buffer of kLineRgbBytes). The caller's buffer must be of the
// kind that matches the camera. Implementations may throw from any call; callers drop such failures.
class CameraDriver {
 public:
  virtual ~CameraDriver() = default;

  // Success means the camera is present. windowHandle is opaque and may be null; reserved is 0.
  virtual CcdResult CCD_Init(void* windowHandle, std::int32_t reserved, std::int32_t* cameraIndex) = 0;
  virtual CcdResult CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter, float value) = 0;
  virtual CcdResult CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter, float* value) = 0;
  // Success means the camera answers.
  virtual CcdResult CCD_HitTest(std::int32_t cameraIndex) = 0;
  virtual CcdResult CCD_InitMeasuring(std::int32_t cameraIndex) = 0;
  // Success means lines will be delivered.
  virtual CcdResult CCD_StartMeasuring(std::int32_t cameraIndex) = 0;
  // Success when a new line was copied into lineBuffer, failure when none was available.
  virtual CcdResult CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) = 0;
  virtual CcdResult CCD_CameraReset(std::int32_t cameraIndex) = 0;

  // Frame delivery, beyond the eight calls. Lines per frame of a measuring camera; 1 (the default)
  // means lines come one per CCD_GetDataByte only. Asked after CCD_StartMeasuring succeeded.
  virtual int linesPerFrame(std::int32_t /*cameraIndex*/) { return 1; }
  // Success when the next frame was handed over in *frame (at least one line); failure when none came
  // within the driver's wait. Only called when linesPerFrame(cameraIndex) > 1.
  virtual CcdResult readFrame(std::int32_t /*cameraIndex*/, CameraFrame* /*frame*/) { return kCcdFailure; }
};

}  // namespace tolvane
