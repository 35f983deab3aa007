#include "engine/camera_thread.h"

#include <algorithm>
#include <limits>

#include "engine/color_convert.h"
#include "engine/object_tracker.h"

namespace tolvane {

namespace {

// Driver parameters set at start on single-tone cameras, and read back on every camera.
constexpr std::int32_t kParamGain = 10;
constexpr float kParamGainValue = 4.0F;
constexpr std::int32_t kParamExposure = 5;
constexpr float kParamExposureValue = 0.5F;

// Ejectors whose side-A zones carry the test marks.
constexpr int kTestMarkEjectors[] = {1, 2, 6, 12, 13, 16, 18};
constexpr std::uint8_t kTestMarkGrey = 200;
constexpr int kTestMarkFrom = 4;  // offset from zone start + countdown
constexpr int kTestMarkTo = 9;

constexpr int kStripValvePixel = 10;  // its G byte shows output 1 open in the strip

constexpr std::int64_t kLinesPerMark = 1000;

// One driver call: non-zero low byte is success; a throw is a failure.
template <typename Call>
bool succeeded(Call call) {
  try {
    return ccdSucceeded(call());
  } catch (...) {
    return false;
  }
}

std::uint32_t elapsedMs(std::int64_t now, std::int64_t then) {
  const std::int64_t elapsed = now - then;
  if (elapsed < 1) return 1;
  return static_cast<std::uint32_t>(
      std::min<std::int64_t>(elapsed, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

int previewPixel(int point) { return static_cast<int>(roundHalfEven(point * kPreviewStep)) + 1; }

bool probeCamera(CameraDriver& driver, EngineState& state, int cameraIndex) {
  std::int32_t index = cameraIndex;
  const bool found = succeeded([&] { return driver.CCD_Init(nullptr, 0, &index); });
  state.CameraFound[static_cast<std::size_t>(cameraIndex)].store(found, std::memory_order_relaxed);
  return found;
}

TCameraThread::TCameraThread(int cameraIndex, CameraDriver& driver, EngineState& state,
                             const SorterSettings& sorter, const MachineSettings& machine,
                             CameraThreadTable& table, ValveOutput* valves, CameraThreadOptions options)
    : line_(std::make_unique<CameraLineState>(cameraIndex == 1 ? 1 : 0)),
      driver_(driver),
      state_(state),
      sorter_(sorter),
      machine_(machine),
      table_(table),
      valves_(valves),
      options_(options) {
  if (line_->CameraIndex == 0) table_.camera1LineCounter.store(0, std::memory_order_relaxed);
  table_.CameraThreads[static_cast<std::size_t>(line_->CameraIndex)].store(this, std::memory_order_release);
}

TCameraThread::~TCameraThread() {
  requestStop();
  join();
  TCameraThread* self = this;
  table_.CameraThreads[static_cast<std::size_t>(line_->CameraIndex)].compare_exchange_strong(self, nullptr);
}

void TCameraThread::Resume() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] { Execute(); });
}

void TCameraThread::join() {
  if (thread_.joinable()) thread_.join();
}

bool TCameraThread::joinFor(std::chrono::milliseconds bound) {
  // A thread left earlier counts as ended once its body has returned.
  if (!thread_.joinable()) return !abandoned_ || finished_.load(std::memory_order_acquire);
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!finished_.load(std::memory_order_acquire)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      thread_.detach();
      abandoned_ = true;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  thread_.join();  // the body has returned; only the thread's own exit is left
  return true;
}

ThreadSchedulingReport TCameraThread::scheduling() const {
  std::lock_guard lock(reportMutex_);
  return scheduling_;
}

std::int64_t TCameraThread::nowMs() const {
  return options_.clock != nullptr ? options_.clock->nowMs() : monotonicMillis();
}

bool TCameraThread::stillOwner() const {
  return table_.CameraThreads[static_cast<std::size_t>(line_->CameraIndex)].load(std::memory_order_acquire) ==
         this;
}

std::int64_t TCameraThread::engineClock() const {
  const std::int64_t camera1Lines = line_->CameraIndex == 0
                                        ? line_->LineCounter.load(std::memory_order_relaxed)
                                        : table_.camera1LineCounter.load(std::memory_order_relaxed);
  return ejectionClock(state_.FineTimer.load(std::memory_order_relaxed), camera1Lines);
}

void TCameraThread::countLine() {
  line_->countLine();
  if (line_->CameraIndex == 0) {
    table_.camera1LineCounter.store(line_->LineCounter.load(std::memory_order_relaxed),
                                    std::memory_order_relaxed);
  }
}

void TCameraThread::Execute() {
  try {
    if (options_.applyScheduling) {
      const ThreadSchedulingReport report = applyCameraThreadScheduling(line_->CameraIndex + 1);
      std::lock_guard lock(reportMutex_);
      scheduling_ = report;
    }
    if (options_.cameraSimulator) {
      simulatorLoop();
    } else if (startCamera()) {
      PassTimes times;
      do {
        driverPass(times);
      } while (!line_->StopRequested.load(std::memory_order_acquire));
      const std::int32_t index = line_->CameraIndex;
      succeeded([&] { return driver_.CCD_CameraReset(index); });
    }
  } catch (...) {
    // Nothing may escape a thread body; the thread simply ends.
  }
  finished_.store(true, std::memory_order_release);
}

bool TCameraThread::startCamera() {
  CameraLineState& cs = *line_;
  const std::int32_t index = cs.CameraIndex;
  if (state_.singleToneCamera) {
    if (!succeeded([&] { return driver_.CCD_SetParameter(index, kParamGain, kParamGainValue); }))
      return false;
    if (!succeeded([&] { return driver_.CCD_SetParameter(index, kParamExposure, kParamExposureValue); })) {
      return false;
    }
  }
  if (!succeeded([&] { return driver_.CCD_GetParameter(index, 7, &cs.CameraParam7); })) return false;
  if (!succeeded([&] { return driver_.CCD_GetParameter(index, 8, &cs.CameraParam8); })) return false;
  if (!succeeded([&] { return driver_.CCD_GetParameter(index, 4, &cs.CameraParam4); })) return false;
  cs.LineRGB.fill(0);
  cs.LineMono.fill(0);

  if (!succeeded([&] { return driver_.CCD_HitTest(index); })) return false;
  // From here every way out resets the camera.
  bool ok = succeeded([&] { return driver_.CCD_InitMeasuring(index); });
  if (ok) {
    state_.CameraFound[static_cast<std::size_t>(index)].store(true, std::memory_order_relaxed);
    ok = succeeded([&] { return driver_.CCD_StartMeasuring(index); });
  }
  if (!ok) succeeded([&] { return driver_.CCD_CameraReset(index); });
  return ok;
}

void TCameraThread::driverPass(PassTimes& times) {
  CameraLineState& cs = *line_;
  const std::int32_t index = cs.CameraIndex;
  const auto cam = static_cast<std::size_t>(index);
  const bool mono = state_.singleToneCamera;
  std::uint8_t* buffer = mono ? cs.monoLineData().data() : cs.rgbLineData().data();

  // A read that throws may have left part of a line behind: it counts as no line, so the previous
  // line is not analysed a second time.
  const bool readOk = succeeded([&] { return driver_.CCD_GetDataByte(index, buffer); });
  cs.LineReadOk = readOk ? 1 : 0;
  if (!stillOwner()) requestStop();

  const bool cameraOne = index == 0;
  if (!readOk && !cameraOne) {
    state_.LineSeen[cam].store(true, std::memory_order_release);
    std::this_thread::sleep_for(times.backoff.miss());
    return;
  }

  // The valve tables of the pass are copied under the lock and written after it: a port write may
  // take long, and camera 2 must not wait for it.
  ValveImageQueue pendingValves;
  {
    std::lock_guard lock(state_.engineLock);
    if (readOk) {
      paintTestMarks();
      try {
        analyseLine(state_, cs, sorter_, machine_, engineClock());
      } catch (...) {
        // The line is lost; the loop goes on.
      }
      if (cameraOne) captureStripRow(times);
      if (cs.LineCounter.load(std::memory_order_relaxed) % kLinesPerMark == 0)
        markThousandLines(times, !mono);
      countLine();
    }
    state_.LineSeen[cam].store(true, std::memory_order_release);
    if (cameraOne) {
      try {
        runEjectionPass(state_, sorter_, machine_, engineClock(),
                        state_.FineTimer.load(std::memory_order_relaxed),
                        valves_ != nullptr ? &pendingValves : nullptr, options_.ejection);
      } catch (...) {
        // The next pass writes the whole valve table again.
      }
    }
  }
  if (valves_ != nullptr) {
    try {
      pendingValves.flushTo(*valves_, state_.ejection);
    } catch (...) {
      // As above: the next pass writes everything again.
    }
  }
  if (readOk) {
    times.backoff.hit();
  } else {
    // Camera 1 still ran its ejection pass above, so valves close on time while it waits.
    std::this_thread::sleep_for(times.backoff.miss());
  }
}

// Called on the camera's thread under the engine lock.
void TCameraThread::paintTestMarks() {
  const std::int32_t countdown = state_.TestMarkCountdown.load(std::memory_order_relaxed);
  if (countdown <= 0) return;
  for (int j : kTestMarkEjectors) {
    const std::int64_t start = state_.ejection.EjectorZones[j].aStart;
    for (std::int64_t p = start + countdown + kTestMarkFrom; p <= start + countdown + kTestMarkTo; ++p) {
      if (p < 1 || p > kLineBufferPixels) continue;
      std::uint8_t* px = line_->rgb(static_cast<int>(p));
      px[0] = px[1] = px[2] = kTestMarkGrey;
    }
  }
  // The UI may set a new countdown meanwhile; only the value painted is counted down.
  std::int32_t expected = countdown;
  state_.TestMarkCountdown.compare_exchange_strong(expected, countdown - 1, std::memory_order_relaxed);
}

// Called on camera 1's thread under the engine lock.
void TCameraThread::captureStripRow(PassTimes& times) {
  if (!state_.StripCaptureOn.load(std::memory_order_acquire) || !state_.StripImage) return;
  const std::int32_t rows = state_.StripRows.load(std::memory_order_acquire);
  if (rows < 0 || rows >= kStripHeight) return;
  CameraLineState& cs = *line_;
  const std::int64_t now = nowMs();
  if (rows == 0) times.stripStartMs = now;
  const std::int64_t timePixel = now - times.stripStartMs;
  if (timePixel >= 1 && timePixel <= kLineBufferPixels) cs.rgb(static_cast<int>(timePixel))[0] = 255;
  if (state_.ejection.ValveStates.isOpen(1)) cs.rgb(kStripValvePixel)[1] = 255;

  std::uint8_t* row = state_.StripImage.get() + static_cast<std::size_t>(rows) * kStripWidth * 3;
  if (state_.singleToneCamera) {
    for (int k = 0; k < kStripWidth; ++k) {
      const std::uint8_t grey = cs.LineMono[static_cast<std::size_t>(k + 1)];
      row[3 * k] = row[3 * k + 1] = row[3 * k + 2] = grey;
    }
  } else {
    std::copy_n(cs.rgb(1), static_cast<std::size_t>(kStripWidth) * 3, row);
  }
  state_.StripRows.store(rows + 1, std::memory_order_release);
}

// Called on the camera's thread under the engine lock.
void TCameraThread::markThousandLines(PassTimes& times, bool colourPreview) {
  CameraLineState& cs = *line_;
  const std::int64_t now = nowMs();
  const std::uint32_t period = elapsedMs(now, times.lastMarkMs);
  cs.MsPer1000Lines.store(period, std::memory_order_relaxed);
  // The ejection converts its times with it when the clock changes unit; the first mark of a run
  // counts from the clock's start and is no period.
  if (cs.CameraIndex == 0 && times.marked)
    state_.ejection.MsPer1000Lines.store(period, std::memory_order_relaxed);

  PreviewPoints& preview = state_.PreviewLine[static_cast<std::size_t>(cs.CameraIndex)];
  const bool mask = state_.MaskSwitch.load(std::memory_order_relaxed);
  for (int k = 0; k < kPreviewPoints; ++k) {
    const int p = previewPixel(k);
    RgbPixel& point = preview[static_cast<std::size_t>(k)];
    if (mask) {
      const std::uint8_t v = cs.ClassMap[static_cast<std::size_t>(p)] != 0 ? 0 : 255;
      point = {v, v, v};
    } else if (!colourPreview) {
      const std::uint8_t v = cs.LineMono[static_cast<std::size_t>(p)];
      point = {v, v, v};
    } else {
      const std::uint8_t* px = cs.rgb(p);
      point = {px[0], px[1], px[2]};
    }
  }
  if (cs.CameraIndex == 0) publishReadoutLine(colourPreview);
  times.lastMarkMs = now;
  times.marked = true;
}

// Called on camera 1's thread under the engine lock.
void TCameraThread::publishReadoutLine(bool colourLine) {
  const CameraLineState& cs = *line_;
  auto& out = state_.ReadoutLine;
  if (colourLine) {
    out = cs.LineRGB;
  } else {
    for (std::size_t p = 0; p < kLineElements; ++p) {
      const std::uint8_t v = cs.LineMono[p];
      out[3 * p] = out[3 * p + 1] = out[3 * p + 2] = v;
    }
  }
  state_.ReadoutLineValid.store(true, std::memory_order_release);
}

void TCameraThread::simulatorLoop() {
  CameraLineState& cs = *line_;
  cs.CameraParam8 = 1.0F;
  cs.CameraParam7 = static_cast<float>(kPixelsPerLine);
  cs.CameraParam4 = static_cast<float>(kPixelsPerLine);
  constexpr std::int64_t kDarkLineEvery = 30;
  PassTimes times;
  do {
    const bool dark = cs.LineCounter.load(std::memory_order_relaxed) % kDarkLineEvery == 0;
    std::fill(cs.LineRGB.begin() + 3, cs.LineRGB.end(), std::uint8_t{100});
    for (int p = 1; p <= kPixelsPerLine; ++p) {
      std::uint8_t* px = cs.rgb(p);
      px[0] = px[1] = px[2] = dark ? 0 : static_cast<std::uint8_t>(p % 256);
    }
    // Stands in for the camera's line time: yields rather than sleeps, as a short busy wait would.
    const auto until = std::chrono::steady_clock::now() + options_.simulatorPause;
    while (std::chrono::steady_clock::now() < until) std::this_thread::yield();

    {
      std::lock_guard lock(state_.engineLock);
      try {
        analyseColourObjectLine(state_, cs, sorter_, machine_, engineClock());
      } catch (...) {
        // The line is lost; the loop goes on.
      }
      if (cs.LineCounter.load(std::memory_order_relaxed) % kLinesPerMark == 0) markThousandLines(times, true);
      countLine();
    }
    state_.LineSeen[static_cast<std::size_t>(cs.CameraIndex)].store(true, std::memory_order_release);
    if (!stillOwner()) requestStop();
    std::this_thread::yield();
  } while (!cs.StopRequested.load(std::memory_order_acquire));
}

}  // namespace tolvane
