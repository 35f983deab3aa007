#include "platform/aravis_camera_driver.h"

#include <arv.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <utility>

namespace tolvane {

namespace {

constexpr std::int32_t kParameterCount = 32;
// GigE Vision 1.x block ids are 16 bits and skip 0 when they wrap.
constexpr std::uint64_t kShortFrameIdLimit = 0xFFFF;

// Takes the message out of an Aravis error and frees it; true when there was one.
bool takeError(GError*& error, std::string& message) {
  if (error == nullptr) return false;
  message = error->message != nullptr ? error->message : "Aravis error";
  g_clear_error(&error);
  return true;
}

}  // namespace

struct AravisCameraDriver::Device {
  ArvCamera* camera = nullptr;
  ArvStream* stream = nullptr;
  ArvBuffer* current = nullptr;  // the frame being handed out, popped from the stream
  const std::uint8_t* frameData = nullptr;
  int nextRow = 0;
  gulong controlLostHandler = 0;
  std::atomic<bool> controlLost{false};
  bool measuring = false;
  bool haveFrameId = false;
  std::uint64_t lastFrameId = 0;
  std::uint64_t lastStampNs = 0;  // the camera's time stamp of the last frame, 0 none
  double framePeriodNs = 0;       // from the rate the camera took
  std::size_t frameBytes = 0;
  std::chrono::steady_clock::time_point lastFrameTime{};
  std::int64_t frameTimeNs = 0;        // steady-clock time the current frame began to arrive
  std::uint64_t lostSinceHandout = 0;  // lines lost since the last frame handed out whole

  ~Device() {
    if (camera == nullptr) return;
    if (controlLostHandler != 0) {
      if (ArvDevice* device = arv_camera_get_device(camera)) {
        g_signal_handler_disconnect(device, controlLostHandler);
      }
    }
    g_object_unref(camera);
  }
};

namespace {

// When a popped frame began to arrive, on the steady clock. A camera sends a frame right after its
// last line; the whole frame is in only a transfer time later (about 0.5 ms for 64 KB on gigabit),
// which would make every valve that much late. Aravis stamps the frame's first packet on the system
// clock; both clocks read together carry it over. Without that stamp: the pop time.
std::int64_t frameArrivalNs(guint64 systemStampNs, std::chrono::steady_clock::time_point popped) {
  const std::int64_t poppedNs =
      std::chrono::duration_cast<std::chrono::nanoseconds>(popped.time_since_epoch()).count();
  if (systemStampNs == 0) return poppedNs;
  const std::int64_t sinceNs = g_get_real_time() * 1000 - static_cast<std::int64_t>(systemStampNs);
  // A stamp from the future or from long ago (the system clock was set meanwhile) is not believed.
  if (sinceNs < 0 || sinceNs > 1'000'000'000) return poppedNs;
  return poppedNs - sinceNs;
}

// The control channel's "control-lost" signal; Aravis emits it from its heartbeat thread.
void onControlLost(ArvDevice* /*device*/, gpointer data) {
  static_cast<std::atomic<bool>*>(data)->store(true);
}

}  // namespace

AravisCameraDriver::AravisCameraDriver(AravisCameraConfig config, std::int32_t cameraIndex)
    : config_(std::move(config)), cameraIndex_(cameraIndex) {}

AravisCameraDriver::~AravisCameraDriver() {
  releaseStream();
  device_.reset();
}

int AravisCameraDriver::poolBuffers(const AravisCameraConfig& config) {
  if (!(config.lineRateHz > 0) || config.linesPerFrame <= 0 || !(config.poolSeconds > 0)) return kMinBuffers;
  const double frames = std::ceil(config.lineRateHz * config.poolSeconds / config.linesPerFrame);
  if (!(frames < kMaxBuffers)) return kMaxBuffers;
  return std::max(kMinBuffers, static_cast<int>(frames));
}

int AravisCameraDriver::socketBufferBytes(const AravisCameraConfig& config) {
  const double bytesPerLine = std::max(config.pixelsPerLine, 1) * (config.colour ? 3.0 : 1.0);
  const double stream = config.lineRateHz > 0 ? config.lineRateHz * bytesPerLine * kSocketBufferSeconds : 0;
  const double frames = 2.0 * bytesPerLine * std::max(config.linesPerFrame, 1);
  const double bytes = std::max(stream, frames);
  if (!(bytes < kMaxSocketBuffer)) return kMaxSocketBuffer;
  return std::max(kMinSocketBuffer, static_cast<int>(bytes));
}

std::uint64_t AravisCameraDriver::missingFrames(std::uint64_t previousId, std::uint64_t id) {
  if (id > previousId) return id - previousId - 1;
  // A 16-bit id that wrapped: 65535 is followed by 1. A repeated or restarted id tells nothing.
  const bool wrapped =
      previousId <= kShortFrameIdLimit && id >= 1 && previousId - id > kShortFrameIdLimit / 2;
  return wrapped ? (kShortFrameIdLimit - previousId) + (id - 1) : 0;
}

std::size_t AravisCameraDriver::bytesPerLine() const {
  return static_cast<std::size_t>(config_.pixelsPerLine) * (config_.colour ? 3U : 1U);
}

AravisStreamCounters AravisCameraDriver::counters() const {
  AravisStreamCounters counters;
  counters.completedFrames = completed_.load();
  counters.failedFrames = failed_.load();
  counters.mismatchedFrames = mismatched_.load();
  counters.underrunFrames = underrunsBefore_.load() + underruns_.load();
  counters.lostLines = lostLines_.load();
  counters.deliveredLines = delivered_.load();
  counters.lost = lost_.load();
  return counters;
}

CcdResult AravisCameraDriver::CCD_Init(void* /*windowHandle*/, std::int32_t /*reserved*/,
                                       std::int32_t* cameraIndex) {
  if (cameraIndex == nullptr || !serves(*cameraIndex)) return kCcdFailure;
  if (config_.device.empty() || config_.pixelsPerLine <= 0 ||
      static_cast<std::size_t>(config_.pixelsPerLine) > kMaxLinePixels || config_.linesPerFrame <= 0) {
    lastError_ = "unusable camera configuration";
    return kCcdFailure;
  }
  releaseStream();
  device_.reset();
  lost_ = false;
  GError* error = nullptr;
  ArvCamera* camera = arv_camera_new(config_.device.c_str(), &error);
  if (takeError(error, lastError_) || camera == nullptr) {
    if (camera != nullptr) g_object_unref(camera);
    return kCcdFailure;
  }
  device_ = std::make_unique<Device>();
  device_->camera = camera;
  if (ArvDevice* device = arv_camera_get_device(camera)) {
    device_->controlLostHandler =
        g_signal_connect(device, "control-lost", G_CALLBACK(onControlLost), &device_->controlLost);
  }
  parameters_.fill(0.0F);
  parameters_[4] = static_cast<float>(config_.pixelsPerLine);
  parameters_[7] = static_cast<float>(config_.pixelsPerLine);
  parameters_[8] = 1.0F;
  return kCcdSuccess;
}

CcdResult AravisCameraDriver::CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter,
                                               float value) {
  if (!serves(cameraIndex) || !device_ || parameter < 0 || parameter >= kParameterCount) return kCcdFailure;
  parameters_[static_cast<std::size_t>(parameter)] = value;
  return kCcdSuccess;
}

CcdResult AravisCameraDriver::CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter,
                                               float* value) {
  if (!serves(cameraIndex) || !device_ || value == nullptr || parameter < 0 || parameter >= kParameterCount)
    return kCcdFailure;
  *value = parameters_[static_cast<std::size_t>(parameter)];
  return kCcdSuccess;
}

CcdResult AravisCameraDriver::CCD_HitTest(std::int32_t cameraIndex) {
  if (!serves(cameraIndex) || !device_ || lost_ || device_->controlLost) return kCcdFailure;
  // A register read proves the camera answers now, not only that it was found at start-up.
  GError* error = nullptr;
  arv_camera_get_integer(device_->camera, "Width", &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  return kCcdSuccess;
}

CcdResult AravisCameraDriver::CCD_InitMeasuring(std::int32_t cameraIndex) {
  if (!serves(cameraIndex) || !device_ || lost_) return kCcdFailure;
  releaseStream();
  ArvCamera* camera = device_->camera;
  GError* error = nullptr;
  arv_camera_set_acquisition_mode(camera, ARV_ACQUISITION_MODE_CONTINUOUS, &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  arv_camera_set_pixel_format(
      camera, config_.colour ? ARV_PIXEL_FORMAT_RGB_8_PACKED : ARV_PIXEL_FORMAT_MONO_8, &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  arv_camera_set_integer(camera, "Width", config_.pixelsPerLine, &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  arv_camera_set_integer(camera, "Height", config_.linesPerFrame, &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  // Line-scan cameras have a line rate; area-scan cameras (and Aravis's fake camera) a frame rate.
  const bool lineRate = arv_camera_is_feature_available(camera, "AcquisitionLineRate", &error) != FALSE;
  if (takeError(error, lastError_)) return kCcdFailure;
  if (lineRate) {
    arv_camera_set_float(camera, "AcquisitionLineRate", config_.lineRateHz, &error);
  } else if (arv_camera_is_feature_available(camera, "AcquisitionFrameRate", nullptr) != FALSE) {
    arv_camera_set_float(camera, "AcquisitionFrameRate", config_.lineRateHz / config_.linesPerFrame, &error);
  }
  if (takeError(error, lastError_)) return kCcdFailure;
  // A camera may round or limit the rate (exposure, bandwidth): the frame period is the one it took.
  double rate = config_.lineRateHz;
  if (lineRate) {
    const double taken = arv_camera_get_float(camera, "AcquisitionLineRate", &error);
    if (!takeError(error, lastError_) && taken > 0) rate = taken;
  } else if (arv_camera_is_feature_available(camera, "AcquisitionFrameRate", nullptr) != FALSE) {
    const double taken = arv_camera_get_float(camera, "AcquisitionFrameRate", &error);
    if (!takeError(error, lastError_) && taken > 0) rate = taken * config_.linesPerFrame;
  }
  device_->framePeriodNs = 1e9 * config_.linesPerFrame / std::max(rate, 1.0);

  device_->frameBytes = bytesPerLine() * static_cast<std::size_t>(config_.linesPerFrame);
  const guint payload = arv_camera_get_payload(camera, &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  if (payload < device_->frameBytes) {
    lastError_ = "camera payload smaller than a frame of the set size";
    return kCcdFailure;
  }
  // Aravis's packet socket (used when the process may open one) hands packets over in 2 MB blocks,
  // or when a block has waited 5 ms: a frame smaller than a block reaches the reader 0-5 ms late,
  // after its valve times. The ordinary socket hands each packet over as it comes.
  if (arv_camera_is_gv_device(camera) != FALSE)
    arv_camera_gv_set_stream_options(camera, ARV_GV_STREAM_OPTION_PACKET_SOCKET_DISABLED);
  ArvStream* stream = arv_camera_create_stream(camera, nullptr, nullptr, &error);
  if (takeError(error, lastError_) || stream == nullptr) {
    if (stream != nullptr) g_object_unref(stream);
    return kCcdFailure;
  }
  device_->stream = stream;
  if (ARV_IS_GV_STREAM(stream)) {
    g_object_set(stream, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_FIXED, "socket-buffer-size",
                 socketBufferBytes(config_), nullptr);
  }
  const int buffers = poolBuffers(config_);
  for (int i = 0; i < buffers; ++i) arv_stream_push_buffer(stream, arv_buffer_new(payload, nullptr));
  device_->haveFrameId = false;
  device_->lastStampNs = 0;
  device_->lostSinceHandout = 0;
  device_->nextRow = config_.linesPerFrame;
  return kCcdSuccess;
}

CcdResult AravisCameraDriver::CCD_StartMeasuring(std::int32_t cameraIndex) {
  if (!serves(cameraIndex) || !device_ || device_->stream == nullptr || lost_) return kCcdFailure;
  GError* error = nullptr;
  arv_camera_start_acquisition(device_->camera, &error);
  if (takeError(error, lastError_)) return kCcdFailure;
  device_->measuring = true;
  device_->lastFrameTime = std::chrono::steady_clock::now();
  return kCcdSuccess;
}

void AravisCameraDriver::markLost() {
  lost_ = true;
  lastError_ = "camera stopped answering";
}

void AravisCameraDriver::countLost(std::uint64_t lines) {
  lostLines_ += lines;
  device_->lostSinceHandout += lines;
}

bool AravisCameraDriver::nextFrame(bool* popped) {
  Device& d = *device_;
  if (popped != nullptr) *popped = false;
  if (d.current != nullptr) {
    arv_stream_push_buffer(d.stream, d.current);
    d.current = nullptr;
    d.frameData = nullptr;
  }
  int timeoutUs = config_.readTimeoutUs;
  if (timeoutUs <= 0) {
    const double framePeriodUs = 1e6 * config_.linesPerFrame / std::max(config_.lineRateHz, 1.0);
    timeoutUs = static_cast<int>(std::clamp(2.0 * framePeriodUs, 1000.0, 50000.0));
  }
  ArvBuffer* buffer = arv_stream_timeout_pop_buffer(d.stream, static_cast<guint64>(timeoutUs));
  const auto now = std::chrono::steady_clock::now();
  if (buffer == nullptr) {
    if (d.controlLost || now - d.lastFrameTime > std::chrono::milliseconds(config_.lostAfterMs)) markLost();
    return false;
  }
  if (popped != nullptr) *popped = true;
  d.lastFrameTime = now;
  d.frameTimeNs = frameArrivalNs(arv_buffer_get_system_timestamp(buffer), now);
  guint64 completed = 0, failures = 0, underruns = 0;
  arv_stream_get_statistics(d.stream, &completed, &failures, &underruns);
  underruns_ = underruns;

  // Frames that never came are taken to be of the set height; their size is not known.
  const auto setLines = static_cast<std::uint64_t>(config_.linesPerFrame);
  const std::uint64_t id = arv_buffer_get_frame_id(buffer);
  const std::uint64_t missing = d.haveFrameId ? missingFrames(d.lastFrameId, id) : 0;
  countLost(missing * setLines);
  d.haveFrameId = true;
  d.lastFrameId = id;
  // A camera that drops frames without a gap in the ids (or a camera that stalled) leaves a gap in
  // its time stamps: the curtain fell on meanwhile, so the line clock moves on by the frames missed.
  const std::uint64_t stampNs = arv_buffer_get_timestamp(buffer);
  if (missing == 0 && d.lastStampNs != 0 && stampNs > d.lastStampNs && d.framePeriodNs > 0) {
    const double periods = static_cast<double>(stampNs - d.lastStampNs) / d.framePeriodNs;
    if (periods >= kStampGapPeriods)
      countLost(static_cast<std::uint64_t>(std::llround(periods) - 1) * setLines);
  }
  d.lastStampNs = stampNs;

  const ArvBufferStatus status = arv_buffer_get_status(buffer);
  std::size_t size = 0;
  const void* data = arv_buffer_get_data(buffer, &size);
  const bool image = arv_buffer_get_payload_type(buffer) == ARV_BUFFER_PAYLOAD_TYPE_IMAGE;
  bool usable = false;
  std::uint64_t droppedLines = setLines;
  if (status == ARV_BUFFER_STATUS_SIZE_MISMATCH) {
    ++mismatched_;
  } else if (status != ARV_BUFFER_STATUS_SUCCESS) {
    ++failed_;
  } else if (data == nullptr || size < d.frameBytes || !image ||
             arv_buffer_get_image_width(buffer) != config_.pixelsPerLine ||
             arv_buffer_get_image_height(buffer) != config_.linesPerFrame) {
    ++mismatched_;  // never half-read: its lines would land at the wrong places
    // A whole image of another height held that many camera lines: the line clock moves on by them.
    const int height = image ? arv_buffer_get_image_height(buffer) : 0;
    if (height > 0 && arv_buffer_get_image_width(buffer) == config_.pixelsPerLine)
      droppedLines = static_cast<std::uint64_t>(height);
  } else {
    usable = true;
  }
  if (!usable) {
    countLost(droppedLines);
    arv_stream_push_buffer(d.stream, buffer);
    return false;
  }
  ++completed_;
  d.current = buffer;
  d.frameData = static_cast<const std::uint8_t*>(data);
  d.nextRow = 0;
  return true;
}

bool AravisCameraDriver::readable(std::int32_t cameraIndex) {
  if (!serves(cameraIndex) || !device_ || !device_->measuring || lost_) return false;
  if (device_->controlLost) {
    markLost();
    return false;
  }
  return true;
}

int AravisCameraDriver::linesPerFrame(std::int32_t cameraIndex) {
  return serves(cameraIndex) && device_ && device_->measuring ? config_.linesPerFrame : 1;
}

CcdResult AravisCameraDriver::readFrame(std::int32_t cameraIndex, CameraFrame* frame) {
  if (frame == nullptr || !readable(cameraIndex)) return kCcdFailure;
  Device& d = *device_;
  // The rest of a frame begun line by line is skipped: its lines are lost to this reader.
  if (d.current != nullptr && d.nextRow < config_.linesPerFrame)
    countLost(static_cast<std::uint64_t>(config_.linesPerFrame - d.nextRow));
  // Dropped frames come back at once; try the next buffer, but never more than the pool holds.
  bool popped = false;
  bool got = nextFrame(&popped);
  for (int tries = poolBuffers(config_); !got && popped && tries > 0; --tries) got = nextFrame(&popped);
  if (!got) return kCcdFailure;
  d.nextRow = config_.linesPerFrame;  // handed out whole: a line read pops the next frame
  frame->data = d.frameData;
  frame->bytesPerLine = bytesPerLine();
  frame->lineCount = config_.linesPerFrame;
  frame->lostLinesBefore = static_cast<std::int64_t>(d.lostSinceHandout);
  d.lostSinceHandout = 0;
  frame->lastLineTimeNs = d.frameTimeNs;
  frame->linePeriodNs =
      config_.lineRateHz > 0 ? static_cast<std::int64_t>(std::llround(1e9 / config_.lineRateHz)) : 0;
  delivered_ += static_cast<std::uint64_t>(config_.linesPerFrame);
  return kCcdSuccess;
}

CcdResult AravisCameraDriver::CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) {
  if (lineBuffer == nullptr || !readable(cameraIndex)) return kCcdFailure;
  if (device_->nextRow >= config_.linesPerFrame && !nextFrame()) return kCcdFailure;
  device_->lostSinceHandout = 0;  // line by line, no frame carries the loss
  const std::size_t lineBytes = bytesPerLine();
  std::memcpy(lineBuffer, device_->frameData + static_cast<std::size_t>(device_->nextRow) * lineBytes,
              lineBytes);
  ++device_->nextRow;
  ++delivered_;
  return kCcdSuccess;
}

void AravisCameraDriver::releaseStream() {
  if (!device_) return;
  Device& d = *device_;
  if (d.measuring && !lost_) {  // a lost camera would only time out
    GError* error = nullptr;
    arv_camera_stop_acquisition(d.camera, &error);
    takeError(error, lastError_);
  }
  d.measuring = false;
  if (d.stream != nullptr) {
    if (d.current != nullptr) {
      arv_stream_push_buffer(d.stream, d.current);
      d.current = nullptr;
      d.frameData = nullptr;
    }
    guint64 completed = 0, failures = 0, underruns = 0;
    arv_stream_get_statistics(d.stream, &completed, &failures, &underruns);
    underrunsBefore_ += underruns;
    underruns_ = 0;
    g_object_unref(d.stream);  // frees the pool with it
    d.stream = nullptr;
  }
  d.nextRow = config_.linesPerFrame;
}

CcdResult AravisCameraDriver::CCD_CameraReset(std::int32_t cameraIndex) {
  if (!serves(cameraIndex) || !device_) return kCcdFailure;
  releaseStream();
  return kCcdSuccess;
}

CameraPair::CameraPair(std::unique_ptr<CameraDriver> first, std::unique_ptr<CameraDriver> second)
    : drivers_{std::move(first), std::move(second)} {}

CameraDriver* CameraPair::driver(std::int32_t cameraIndex) const {
  if (cameraIndex < 0 || cameraIndex > 1) return nullptr;
  return drivers_[static_cast<std::size_t>(cameraIndex)].get();
}

CcdResult CameraPair::CCD_Init(void* windowHandle, std::int32_t reserved, std::int32_t* cameraIndex) {
  CameraDriver* d = cameraIndex != nullptr ? driver(*cameraIndex) : nullptr;
  return d != nullptr ? d->CCD_Init(windowHandle, reserved, cameraIndex) : kCcdFailure;
}
CcdResult CameraPair::CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter, float value) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_SetParameter(cameraIndex, parameter, value) : kCcdFailure;
}
CcdResult CameraPair::CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter, float* value) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_GetParameter(cameraIndex, parameter, value) : kCcdFailure;
}
CcdResult CameraPair::CCD_HitTest(std::int32_t cameraIndex) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_HitTest(cameraIndex) : kCcdFailure;
}
CcdResult CameraPair::CCD_InitMeasuring(std::int32_t cameraIndex) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_InitMeasuring(cameraIndex) : kCcdFailure;
}
CcdResult CameraPair::CCD_StartMeasuring(std::int32_t cameraIndex) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_StartMeasuring(cameraIndex) : kCcdFailure;
}
int CameraPair::linesPerFrame(std::int32_t cameraIndex) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->linesPerFrame(cameraIndex) : 1;
}

CcdResult CameraPair::readFrame(std::int32_t cameraIndex, CameraFrame* frame) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->readFrame(cameraIndex, frame) : kCcdFailure;
}

CcdResult CameraPair::CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_GetDataByte(cameraIndex, lineBuffer) : kCcdFailure;
}
CcdResult CameraPair::CCD_CameraReset(std::int32_t cameraIndex) {
  CameraDriver* d = driver(cameraIndex);
  return d != nullptr ? d->CCD_CameraReset(cameraIndex) : kCcdFailure;
}

std::string aravisCountersText(const AravisStreamCounters& c) {
  std::string text = "кадры " + std::to_string(c.completedFrames) + " (сбой " +
                     std::to_string(c.failedFrames) + ", размер " + std::to_string(c.mismatchedFrames) +
                     ", переполн. " + std::to_string(c.underrunFrames) + "), строки " +
                     std::to_string(c.deliveredLines) + ", потеряно " + std::to_string(c.lostLines);
  if (c.lost) text += ", НЕТ СВЯЗИ";
  return text;
}

std::optional<AravisStreamCounters> aravisCounters(const CameraDriver& cameras, std::int32_t cameraIndex) {
  const CameraDriver* driver = &cameras;
  if (const auto* pair = dynamic_cast<const CameraPair*>(driver)) driver = pair->driver(cameraIndex);
  const auto* aravis = dynamic_cast<const AravisCameraDriver*>(driver);
  if (aravis == nullptr) return std::nullopt;
  return aravis->counters();
}

}  // namespace tolvane
