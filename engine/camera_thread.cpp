#include "engine/camera_thread.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <span>

#include "engine/color_convert.h"
#include "engine/object_tracker.h"
#include "engine/shots_ahead.h"

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

// Lost lines beyond any real gap: a driver's nonsense count must not overflow the line counter.
constexpr std::int64_t kMostLostLines = std::int64_t{1} << 40;

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

int TCameraThread::pendingValveImages() const {
  const TimedValveQueue* queue = publishedQueue_.load(std::memory_order_acquire);
  return queue != nullptr ? queue->pending() : 0;
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
      const std::int32_t index = line_->CameraIndex;
      int linesPerFrame = 1;
      try {
        linesPerFrame = driver_.linesPerFrame(index);
      } catch (...) {
        linesPerFrame = 1;  // a driver that cannot tell delivers single lines
      }
      if (linesPerFrame > 1) {
        frameLoop(times, linesPerFrame);
      } else {
        do {
          driverPass(times);
        } while (!line_->StopRequested.load(std::memory_order_acquire));
      }
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
    const std::chrono::microseconds pause = readMissed(times);
    if (!times.cameraLost) state_.LineSeen[cam].store(true, std::memory_order_release);
    std::this_thread::sleep_for(pause);
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
    if (!times.cameraLost || readOk) state_.LineSeen[cam].store(true, std::memory_order_release);
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
    readSucceeded(times);
  } else {
    // Camera 1 still ran its ejection pass above, so valves close on time while it waits.
    std::this_thread::sleep_for(readMissed(times));
  }
}

std::chrono::microseconds TCameraThread::readMissed(PassTimes& times) {
  const std::chrono::microseconds pause = times.backoff.miss();
  if (pause < ReadBackoff::kLongest || times.cameraLost) return pause;
  if (++times.silentAtLongest < kSilentReadsBeforeHitTest) return pause;
  times.silentAtLongest = 0;
  const std::int32_t index = line_->CameraIndex;
  if (!succeeded([&] { return driver_.CCD_HitTest(index); })) {
    times.cameraLost = true;
    state_.CameraFound[static_cast<std::size_t>(index)].store(false, std::memory_order_relaxed);
  }
  return pause;
}

void TCameraThread::readSucceeded(PassTimes& times) {
  times.backoff.hit();
  times.silentAtLongest = 0;
  if (times.cameraLost) {
    times.cameraLost = false;
    state_.CameraFound[static_cast<std::size_t>(line_->CameraIndex)].store(true, std::memory_order_relaxed);
  }
}

struct TCameraThread::FrameMode {
  struct TaggedImage {
    std::int64_t line = 0;
    ValveImage image;
  };
  // The images of one hold's ejection passes, each with the line whose pass left it. A pass writes at
  // most two; should more come, the newest replaces the last.
  class Collector : public ValveOutput {
   public:
    static constexpr int kCapacity = 2 * kLinesPerHold;
    void write(EjectionState& state) override { add(ValveImage::of(state.ValveStates)); }
    void writeImage(EjectionState&, const ValveImage& image) override { add(image); }
    void add(const ValveImage& image) {
      if (count == kCapacity) --count;
      images[static_cast<std::size_t>(count++)] = TaggedImage{line, image};
    }
    std::int64_t line = 0;
    std::array<TaggedImage, kCapacity> images{};
    int count = 0;
  };

  int linesPerFrame = 1;
  ValveQueueClock* clock = nullptr;
  LineTimeline timeline;
  TimedValveQueue* queue = nullptr;  // camera 1 with valves only
  std::unique_ptr<ShotsAhead> ahead;  // with the queue
  Collector collected;
};

void TCameraThread::frameLoop(PassTimes& times, int linesPerFrame) {
  const bool cameraOne = line_->CameraIndex == 0;
  FrameMode mode;
  mode.linesPerFrame = linesPerFrame;
  mode.clock = options_.valveClock != nullptr ? options_.valveClock : &steadyValveClock();
  if (cameraOne) {
    std::lock_guard lock(state_.engineLock);
    table_.camera1Timeline = LineTimeline{};
  }
  if (cameraOne && valves_ != nullptr) {
    valveQueue_ = std::make_unique<TimedValveQueue>(*valves_, state_.ejection, mode.clock);
    mode.queue = valveQueue_.get();
    mode.ahead = std::make_unique<ShotsAhead>(*mode.queue, state_.ejection, sorter_, machine_);
    mode.queue->start(options_.applyScheduling);
    publishedQueue_.store(mode.queue, std::memory_order_release);
  }
  try {
    do {
      framePass(times, mode);
    } while (!line_->StopRequested.load(std::memory_order_acquire));
  } catch (...) {
    // Ends the loop; the queue's thread is joined below all the same.
  }
  if (mode.queue != nullptr) mode.queue->stop();
  if (cameraOne) {
    std::lock_guard lock(state_.engineLock);
    table_.camera1Timeline = LineTimeline{};
  }
}

void TCameraThread::framePass(PassTimes& times, FrameMode& mode) {
  CameraLineState& cs = *line_;
  const std::int32_t index = cs.CameraIndex;
  const auto cam = static_cast<std::size_t>(index);
  const bool cameraOne = index == 0;

  CameraFrame frame{};
  const bool readOk = succeeded([&] { return driver_.readFrame(index, &frame); }) && frame.data != nullptr &&
                      frame.lineCount > 0 && frame.bytesPerLine > 0;
  const std::int64_t arrivalNs = mode.clock->nowNs();
  if (!stillOwner()) requestStop();

  if (!readOk) {
    cs.LineReadOk = 0;
    const std::chrono::microseconds pause = readMissed(times);
    if (cameraOne) {
      // Valves still close on time (millisecond clock) while no frame comes.
      mode.collected.count = 0;
      {
        std::lock_guard lock(state_.engineLock);
        if (!times.cameraLost) state_.LineSeen[cam].store(true, std::memory_order_release);
        runTaggedEjectionPass(mode, cs.LineCounter.load(std::memory_order_relaxed));
      }
      handOverValveImages(mode);
    } else if (!times.cameraLost) {
      state_.LineSeen[cam].store(true, std::memory_order_release);
    }
    std::this_thread::sleep_for(pause);
    return;
  }
  readSucceeded(times);

  const std::int64_t lost = std::clamp<std::int64_t>(frame.lostLinesBefore, 0, kMostLostLines);
  const std::int64_t lastLine = cs.LineCounter.load(std::memory_order_relaxed) + lost + frame.lineCount;
  mode.timeline.frame(lastLine, frame.lastLineTimeNs, arrivalNs, frame.linePeriodNs);
  if (lost > 0) passLostLines(times, mode, lost);

  for (int first = 0; first < frame.lineCount; first += kLinesPerHold) {
    const int end = std::min(frame.lineCount, first + kLinesPerHold);
    mode.collected.count = 0;
    {
      std::lock_guard lock(state_.engineLock);
      if (cameraOne) table_.camera1Timeline = mode.timeline;
      for (int i = first; i < end; ++i) analyseFrameLine(times, mode, frame, i);
      state_.LineSeen[cam].store(true, std::memory_order_release);
    }
    handOverValveImages(mode);
  }
}

void TCameraThread::passLostLines(PassTimes& times, FrameMode& mode, std::int64_t lost) {
  CameraLineState& cs = *line_;
  const bool cameraOne = cs.CameraIndex == 0;
  const bool colourPreview = !state_.singleToneCamera;
  const std::int64_t replay = std::min(lost, kLongestLostReplay);
  if (lost > replay) {
    // The valve times of lines this far back are long gone.
    std::lock_guard lock(state_.engineLock);
    std::int64_t next = cs.LineCounter.load(std::memory_order_relaxed) + (lost - replay);
    if (next >= kLineCounterWrap) next = next - kLineCounterWrap + 1;
    cs.LineCounter.store(next, std::memory_order_relaxed);
    if (cameraOne) table_.camera1LineCounter.store(next, std::memory_order_relaxed);
  }
  // Counted line by line, so the rate marks fall as for lines that came.
  for (std::int64_t done = 0; done < replay;) {
    const std::int64_t n = std::min<std::int64_t>(kLinesPerHold, replay - done);
    mode.collected.count = 0;
    {
      std::lock_guard lock(state_.engineLock);
      for (std::int64_t k = 0; k < n; ++k) {
        if (cs.LineCounter.load(std::memory_order_relaxed) % kLinesPerMark == 0)
          markThousandLines(times, colourPreview);
        countLine();
        if (cameraOne) runTaggedEjectionPass(mode, cs.LineCounter.load(std::memory_order_relaxed));
      }
    }
    handOverValveImages(mode);
    done += n;
  }
}

// Called on the camera's thread under the engine lock.
void TCameraThread::analyseFrameLine(PassTimes& times, FrameMode& mode, const CameraFrame& frame, int line) {
  CameraLineState& cs = *line_;
  const bool cameraOne = cs.CameraIndex == 0;
  const bool mono = state_.singleToneCamera;
  const std::span<std::uint8_t> buffer = mono ? cs.monoLineData() : cs.rgbLineData();
  // A line narrower than the buffer leaves the rest as it was, as a narrow CCD_GetDataByte does.
  std::copy_n(frame.data + static_cast<std::size_t>(line) * frame.bytesPerLine,
              std::min(frame.bytesPerLine, buffer.size()), buffer.data());
  cs.LineReadOk = 1;
  paintTestMarks();
  const std::int64_t before = cs.LineCounter.load(std::memory_order_relaxed);
  const std::int64_t clock = cameraOne ? engineClock() : cameraTwoFrameClock(mode.timeline, before + 1);
  try {
    analyseLine(state_, cs, sorter_, machine_, clock);
  } catch (...) {
    // The line is lost; the loop goes on.
  }
  if (cameraOne) captureStripRow(times);
  if (before % kLinesPerMark == 0) markThousandLines(times, !mono);
  countLine();
  if (cameraOne) runTaggedEjectionPass(mode, cs.LineCounter.load(std::memory_order_relaxed));
}

// Called on camera 1's thread under the engine lock.
void TCameraThread::runTaggedEjectionPass(FrameMode& mode, std::int64_t line) {
  mode.collected.line = line;
  const bool fineTimer = state_.FineTimer.load(std::memory_order_relaxed);
  ClosedObjectListener* closed = nullptr;
  if (mode.ahead) {
    // Shots are planned in line times, and only for what the object-mode step alone opens.
    const bool plan = !fineTimer && mode.timeline.known() && !sorter_.enFast &&
                      !options_.ejection.summaryOutput && !options_.ejection.immediateEjection;
    mode.ahead->follow(plan, mode.timeline, frameValveLatencyNs(mode.linesPerFrame, mode.timeline.periodNs()));
    if (plan) closed = mode.ahead.get();
  }
  try {
    runEjectionPass(state_, sorter_, machine_, ejectionClock(fineTimer, line), fineTimer,
                    valves_ != nullptr ? &mode.collected : nullptr, options_.ejection, closed);
  } catch (...) {
    // The next pass writes the whole valve table again.
  }
}

void TCameraThread::handOverValveImages(FrameMode& mode) {
  FrameMode::Collector& collected = mode.collected;
  if (mode.queue != nullptr) {
    // On the millisecond clock the line times mean nothing: written at once, as in line mode. The
    // queue's thread still writes them, so they cannot overtake images queued before.
    const bool timed = !state_.FineTimer.load(std::memory_order_relaxed) && mode.timeline.known();
    const std::int64_t latencyNs = frameValveLatencyNs(mode.linesPerFrame, mode.timeline.periodNs());
    const bool masked = mode.ahead && mode.ahead->planning();
    if (mode.ahead) mode.ahead->handOver();
    for (int i = 0; i < collected.count; ++i) {
      const FrameMode::TaggedImage& tagged = collected.images[static_cast<std::size_t>(i)];
      ValveImage image = tagged.image;
      if (masked) mode.ahead->mask(image, tagged.line);
      mode.queue->push(image, timed ? mode.timeline.timeOf(tagged.line) + latencyNs : 0);
    }
  }
  collected.count = 0;
}

// Called on camera 2's thread under the engine lock.
std::int64_t TCameraThread::cameraTwoFrameClock(const LineTimeline& own, std::int64_t line) const {
  const LineTimeline& one = table_.camera1Timeline;
  if (state_.FineTimer.load(std::memory_order_relaxed) || !one.known() || !own.known()) return engineClock();
  // Camera 1 analyses its line L with clock L - 1 (its counter before the line).
  return std::max<std::int64_t>(0, one.lineAt(own.timeOf(line)) - 1);
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
