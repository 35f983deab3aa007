#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/camera_driver.h"

namespace tolvane {

// One GenICam line-scan camera (GigE Vision or USB3 Vision) reached through Aravis.
struct AravisCameraConfig {
  std::string device;        // Aravis device id ("<vendor>-<serial>") or the camera's IP address
  bool colour = false;       // false: Mono8, 1 byte per pixel; true: RGB8, R, G, B per pixel
  int pixelsPerLine = 2048;  // Width, at most kMaxLinePixels
  double lineRateHz = 10000;
  int linesPerFrame = 64;  // Height: lines the camera packs into one frame
  // The buffer pool holds this much time of lines (at least kMinBuffers frames), so a reader held
  // up for a moment falls behind instead of causing underruns.
  double poolSeconds = 0.5;
  // How long one read waits for the next frame; 0: two frame periods, between 1 and 50 ms.
  int readTimeoutUs = 0;
  // No frame for this long while measuring, or the control channel lost: the camera is gone.
  int lostAfterMs = 1000;
};

// What the stream did since the driver was made; readable from any thread.
struct AravisStreamCounters {
  std::uint64_t completedFrames = 0;   // good frames handed out (whole or line by line)
  std::uint64_t failedFrames = 0;      // popped with a status other than success
  std::uint64_t mismatchedFrames = 0;  // popped whole but of another size than set: dropped
  std::uint64_t underrunFrames = 0;    // frames the camera sent while no buffer was free
  std::uint64_t lostLines = 0;         // lines of failed, mismatched and missing frames
  std::uint64_t deliveredLines = 0;
  bool lost = false;  // the camera stopped answering while measuring
};

// A CameraDriver over one Aravis camera, serving camera index `cameraIndex` only (a second camera
// gets its own driver; CameraPair puts two drivers behind one interface).
//
// CCD_Init opens the camera (main thread), CCD_InitMeasuring sets width, pixel format, line rate and
// lines per frame and builds the stream and its buffer pool, CCD_StartMeasuring starts acquisition,
// CCD_GetDataByte hands out the current frame one line at a time and waits for the next frame at most
// the read timeout, CCD_CameraReset stops acquisition and frees the stream. Parameters 4 and 7 read
// as the pixels per line, 8 as 1; parameters 0..31 can be set and are kept.
//
// Every popped buffer goes back to the stream whatever its status. A frame whose size differs from
// the one set is dropped whole. Missing frames (frame id gaps) count as lost lines. A camera that
// stops delivering for lostAfterMs or loses its control channel is reported lost: reads and the hit
// test fail from then on, until a new CCD_Init finds it again. Frames missing without a gap in the ids
// show as a gap in the camera's time stamps and count as lost as well.
class AravisCameraDriver : public CameraDriver {
 public:
  static constexpr int kMinBuffers = 4;
  static constexpr int kMaxBuffers = 512;
  // Aravis sizes a stream's socket for one frame: a receiver held up for two frames loses packets,
  // and with them whole frames. This much time of the stream rides out such a moment.
  static constexpr double kSocketBufferSeconds = 0.05;
  static constexpr int kMinSocketBuffer = 1 << 20;
  static constexpr int kMaxSocketBuffer = 64 << 20;
  // Two frames' time stamps this many frame periods apart have lost the frames between them.
  static constexpr double kStampGapPeriods = 1.6;

  AravisCameraDriver(AravisCameraConfig config, std::int32_t cameraIndex);
  ~AravisCameraDriver() override;
  AravisCameraDriver(const AravisCameraDriver&) = delete;
  AravisCameraDriver& operator=(const AravisCameraDriver&) = delete;

  // Buffers of the pool for a line rate: poolSeconds of frames, within [kMinBuffers, kMaxBuffers].
  static int poolBuffers(const AravisCameraConfig& config);
  // Receive buffer of a GigE Vision stream's socket: kSocketBufferSeconds of the stream, at least two
  // frames, within [kMinSocketBuffer, kMaxSocketBuffer]. The system caps it (net.core.rmem_max).
  static int socketBufferBytes(const AravisCameraConfig& config);
  // Frames missing between two delivered frame ids (GigE Vision ids run 1..65535 and skip 0).
  static std::uint64_t missingFrames(std::uint64_t previousId, std::uint64_t id);

  CcdResult CCD_Init(void* windowHandle, std::int32_t reserved, std::int32_t* cameraIndex) override;
  CcdResult CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter, float value) override;
  CcdResult CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter, float* value) override;
  CcdResult CCD_HitTest(std::int32_t cameraIndex) override;
  CcdResult CCD_InitMeasuring(std::int32_t cameraIndex) override;
  CcdResult CCD_StartMeasuring(std::int32_t cameraIndex) override;
  CcdResult CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) override;
  CcdResult CCD_CameraReset(std::int32_t cameraIndex) override;
  // The configured lines per frame while measuring, else 1.
  int linesPerFrame(std::int32_t cameraIndex) override;
  // The next good frame, handed out in place (the buffer goes back to the stream at the next read or
  // reset). Frames dropped or missing since the last handed-out frame, and the unread rest of a frame
  // begun line by line, are its lostLinesBefore. The time is when the frame's first packet came (Aravis's
  // system stamp carried onto the steady clock), else when it was popped.
  CcdResult readFrame(std::int32_t cameraIndex, CameraFrame* frame) override;

  const AravisCameraConfig& config() const { return config_; }
  std::size_t bytesPerLine() const;
  AravisStreamCounters counters() const;
  // The last Aravis error message, for the engineer's tool (not thread-safe against a running read).
  std::string lastError() const { return lastError_; }

 private:
  struct Device;  // the Aravis objects, kept out of this header

  bool serves(std::int32_t cameraIndex) const { return cameraIndex == cameraIndex_; }
  void releaseStream();
  void markLost();
  // Pops one buffer; true when it is a good frame, now the current one. *popped tells whether a
  // buffer came at all (a dropped frame is worth another try at once).
  bool nextFrame(bool* popped = nullptr);
  // The read checks shared by both ways of reading; false when no read may happen.
  bool readable(std::int32_t cameraIndex);
  void countLost(std::uint64_t lines);

  const AravisCameraConfig config_;
  const std::int32_t cameraIndex_;
  std::unique_ptr<Device> device_;
  std::array<float, 32> parameters_{};
  std::string lastError_;

  std::atomic<std::uint64_t> completed_{0};
  std::atomic<std::uint64_t> failed_{0};
  std::atomic<std::uint64_t> mismatched_{0};
  std::atomic<std::uint64_t> underruns_{0};
  std::atomic<std::uint64_t> underrunsBefore_{0};  // of streams already freed
  std::atomic<std::uint64_t> lostLines_{0};
  std::atomic<std::uint64_t> delivered_{0};
  std::atomic<bool> lost_{false};
};

// Two camera drivers behind one: index 0 goes to the first, index 1 to the second, each with its own
// index. A missing driver answers every call with failure (the camera is not found).
class CameraPair : public CameraDriver {
 public:
  CameraPair(std::unique_ptr<CameraDriver> first, std::unique_ptr<CameraDriver> second);

  CameraDriver* driver(std::int32_t cameraIndex) const;

  CcdResult CCD_Init(void* windowHandle, std::int32_t reserved, std::int32_t* cameraIndex) override;
  CcdResult CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter, float value) override;
  CcdResult CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter, float* value) override;
  CcdResult CCD_HitTest(std::int32_t cameraIndex) override;
  CcdResult CCD_InitMeasuring(std::int32_t cameraIndex) override;
  CcdResult CCD_StartMeasuring(std::int32_t cameraIndex) override;
  CcdResult CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) override;
  CcdResult CCD_CameraReset(std::int32_t cameraIndex) override;
  int linesPerFrame(std::int32_t cameraIndex) override;
  CcdResult readFrame(std::int32_t cameraIndex, CameraFrame* frame) override;

 private:
  std::array<std::unique_ptr<CameraDriver>, 2> drivers_;
};

// The counters as the service page and the tool show them, one line:
// "кадры 120 (сбой 0, размер 0, переполн. 0), строки 7680, потеряно 0" (completed, failed, mismatched
// and underrun frames, delivered and lost lines), ", НЕТ СВЯЗИ" after it when the camera stopped answering.
std::string aravisCountersText(const AravisStreamCounters& counters);

// The stream counters of camera `cameraIndex` when an Aravis camera serves it (directly or inside a
// CameraPair), else nullopt: what the service page and the tool show.
std::optional<AravisStreamCounters> aravisCounters(const CameraDriver& cameras, std::int32_t cameraIndex);

}  // namespace tolvane
