#include "platform/line_latency_probe.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace tolvane {
namespace {

// The probe whose camera 1 is read on this thread.
thread_local const LineLatencyProbe* tCamera1Probe = nullptr;

std::int64_t toNs(LineLatencyProbe::Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

LatencyHistogram::LatencyHistogram() : steps_(new std::atomic<std::uint32_t>[kSteps]) {
  for (std::size_t i = 0; i < kSteps; ++i) steps_[i].store(0, std::memory_order_relaxed);
}

void LatencyHistogram::record(std::int64_t ns) {
  ns = std::max<std::int64_t>(ns, 0);
  const std::size_t step = static_cast<std::size_t>(std::min(ns, kRangeNs) / kStepNs);
  steps_[step].fetch_add(1, std::memory_order_relaxed);
  count_.fetch_add(1, std::memory_order_relaxed);
  std::int64_t seen = max_.load(std::memory_order_relaxed);
  while (ns > seen && !max_.compare_exchange_weak(seen, ns, std::memory_order_relaxed)) {
  }
}

std::int64_t LatencyHistogram::percentileNs(double fraction) const {
  const std::uint64_t total = count();
  if (total == 0) return 0;
  fraction = std::clamp(fraction, 0.0, 1.0);
  const auto wanted =
      std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(fraction * double(total))));
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < kSteps; ++i) {
    sum += steps_[i].load(std::memory_order_relaxed);
    if (sum >= wanted) {
      // The last step also holds everything beyond the range, so only the maximum bounds it.
      if (i + 1 == kSteps) return maxNs();
      return std::min(static_cast<std::int64_t>(i + 1) * kStepNs, maxNs());
    }
  }
  return maxNs();
}

class LineLatencyProbe::Camera : public CameraDriver {
 public:
  explicit Camera(LineLatencyProbe& probe) : probe_(probe), inner_(probe.cameras_) {}

  CcdResult CCD_Init(void* windowHandle, std::int32_t reserved, std::int32_t* cameraIndex) override {
    return inner_.CCD_Init(windowHandle, reserved, cameraIndex);
  }
  CcdResult CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter, float value) override {
    return inner_.CCD_SetParameter(cameraIndex, parameter, value);
  }
  CcdResult CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter, float* value) override {
    return inner_.CCD_GetParameter(cameraIndex, parameter, value);
  }
  CcdResult CCD_HitTest(std::int32_t cameraIndex) override { return inner_.CCD_HitTest(cameraIndex); }
  CcdResult CCD_InitMeasuring(std::int32_t cameraIndex) override {
    return inner_.CCD_InitMeasuring(cameraIndex);
  }
  CcdResult CCD_StartMeasuring(std::int32_t cameraIndex) override {
    if (cameraIndex != 0 && cameraIndex != 1) return inner_.CCD_StartMeasuring(cameraIndex);
    probe_.startMeasuring();
    const CcdResult result = inner_.CCD_StartMeasuring(cameraIndex);
    if (ccdSucceeded(result)) {
      // The camera's own line clock, not the time around the call: a call that waits for the
      // simulator's lock would otherwise shift every line's due time by the wait.
      const ProductStreamSimulator::CameraLineStats stats = inner_.lineStats(cameraIndex);
      CameraTimes& t = probe_.times_[static_cast<std::size_t>(cameraIndex)];
      const std::int64_t lineZeroNs =
          toNs(stats.anchorTime) - std::llround(static_cast<double>(stats.anchorLine) * probe_.periodNs_);
      t.startNs.store(lineZeroNs, std::memory_order_relaxed);
      t.started.store(true, std::memory_order_release);
    }
    return result;
  }
  CcdResult CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) override {
    const CcdResult result = inner_.CCD_GetDataByte(cameraIndex, lineBuffer);
    if (ccdSucceeded(result) && (cameraIndex == 0 || cameraIndex == 1))
      probe_.lineRead(cameraIndex, Clock::now());
    return result;
  }
  CcdResult CCD_CameraReset(std::int32_t cameraIndex) override { return inner_.CCD_CameraReset(cameraIndex); }
  int linesPerFrame(std::int32_t cameraIndex) override { return inner_.linesPerFrame(cameraIndex); }
  // A frame counts as read when it arrives; its last line is the one timed.
  CcdResult readFrame(std::int32_t cameraIndex, CameraFrame* frame) override {
    const CcdResult result = inner_.readFrame(cameraIndex, frame);
    if (ccdSucceeded(result) && (cameraIndex == 0 || cameraIndex == 1))
      probe_.lineRead(cameraIndex, Clock::now());
    return result;
  }

 private:
  LineLatencyProbe& probe_;
  ProductStreamSimulator& inner_;
};

class LineLatencyProbe::Board : public DigitalBoard {
 public:
  explicit Board(LineLatencyProbe& probe) : probe_(probe), inner_(probe.board_) {}

  void PIODIO_DriverInit() override { inner_.PIODIO_DriverInit(); }
  std::uint16_t PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) override {
    return inner_.PIODIO_SearchCard(boardsFound, cardId);
  }
  std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t boardNumber, std::uint32_t* baseAddress,
                                             std::uint16_t* interruptNumber, std::uint16_t* subVendor,
                                             std::uint16_t* subDevice, std::uint16_t* subAux,
                                             std::uint16_t* slotBus, std::uint16_t* slotDevice) override {
    return inner_.PIODIO_GetConfigAddressSpace(boardNumber, baseAddress, interruptNumber, subVendor,
                                               subDevice, subAux, slotBus, slotDevice);
  }
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override {
    const std::uint16_t result = inner_.PIODIO_OutputByte(port, value);
    if (port - BoardBase() == kLastValvePort) probe_.valvePortWritten();
    return result;
  }
  std::uint16_t PIODIO_DriverClose() override { return inner_.PIODIO_DriverClose(); }

 private:
  LineLatencyProbe& probe_;
  DigitalBoard& inner_;
};

LineLatencyProbe::LineLatencyProbe(ProductStreamSimulator& cameras, DigitalBoard& board, bool syncStart)
    : cameras_(cameras),
      board_(board),
      syncStart_(syncStart),
      periodNs_(1e9 / cameras.config().lineRateHz),
      camera_(std::make_unique<Camera>(*this)),
      boardProxy_(std::make_unique<Board>(*this)) {}

LineLatencyProbe::~LineLatencyProbe() = default;

CameraDriver& LineLatencyProbe::camera() { return *camera_; }

DigitalBoard& LineLatencyProbe::board() { return *boardProxy_; }

bool LineLatencyProbe::started(int camera) const {
  return (camera == 0 || camera == 1) &&
         times_[static_cast<std::size_t>(camera)].started.load(std::memory_order_acquire);
}

LineLatencyProbe::Clock::time_point LineLatencyProbe::measuringStarted(int camera) const {
  if (!started(camera)) return {};
  return Clock::time_point(std::chrono::nanoseconds(
      times_[static_cast<std::size_t>(camera)].startNs.load(std::memory_order_relaxed)));
}

std::int64_t LineLatencyProbe::sinceStreamStart(Clock::time_point t) const {
  return toNs(t) - toNs(measuringStarted(0));
}

const LatencyHistogram& LineLatencyProbe::lineLateness(int camera) const {
  return times_[camera == 1 ? 1u : 0u].lateness;
}

std::uint64_t LineLatencyProbe::linesLate(int camera) const {
  return (camera == 0 || camera == 1)
             ? times_[static_cast<std::size_t>(camera)].late.load(std::memory_order_relaxed)
             : 0;
}

void LineLatencyProbe::startMeasuring() {
  if (!syncStart_) return;
  const auto& present = cameras_.config().cameraPresent;
  if (!present[0] || !present[1]) return;
  // Each camera arrives once per run; a second run starts the count again.
  const int arrived = arrivals_.fetch_add(1, std::memory_order_acq_rel) + 1;
  if (arrived % 2 == 0) return;
  const int target = arrived + 1;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(1);
  // Spinning keeps the two starts within microseconds of each other; a wake-up would not.
  while (arrivals_.load(std::memory_order_acquire) < target && Clock::now() < giveUp)
    std::this_thread::yield();
}

void LineLatencyProbe::lineRead(int camera, Clock::time_point at) {
  CameraTimes& t = times_[static_cast<std::size_t>(camera)];
  const std::int64_t atNs = toNs(at);
  const std::int64_t line = cameras_.lineStats(camera).lastLine;
  if (t.started.load(std::memory_order_acquire) && line >= 0) {
    const std::int64_t due =
        t.startNs.load(std::memory_order_relaxed) + std::llround(static_cast<double>(line) * periodNs_);
    const std::int64_t lateness = atNs - due;
    t.lateness.record(lateness);
    if (static_cast<double>(lateness) > periodNs_) t.late.fetch_add(1, std::memory_order_relaxed);
  }
  if (camera == 0) {
    tCamera1Probe = this;
    pendingLineNs_ = atNs;
  }
}

void LineLatencyProbe::valvePortWritten() {
  if (tCamera1Probe != this || pendingLineNs_ < 0) return;
  valveLatency_.record(toNs(Clock::now()) - pendingLineNs_);
  pendingLineNs_ = -1;
}

}  // namespace tolvane
