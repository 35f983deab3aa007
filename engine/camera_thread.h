#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/camera_line_state.h"
#include "engine/ejection_step.h"
#include "engine/engine_constants.h"
#include "engine/engine_state.h"
#include "engine/read_backoff.h"
#include "engine/timed_valve_queue.h"
#include "platform/camera_driver.h"
#include "platform/thread_priority.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

class TCameraThread;

// The thread of each camera, as run control keeps them, and camera 1's line clock.
//
// A camera thread ends by itself once its entry no longer points at it (cleared, or taken by a newer
// thread of the same camera). Camera 2's analysis counts time in camera 1's lines; camera 1's thread
// publishes its counter here so that camera 2 never reads a thread object that may be replaced.
//
// In frame mode camera 1's counter moves a frame at a time, so camera 2 takes camera 1's line at the
// time of its own line instead, from camera 1's line times (camera1Timeline). Both cameras run at one
// line rate; the line times make up for the two cameras starting at different moments.
struct CameraThreadTable {
  std::array<std::atomic<TCameraThread*>, kCameraCount> CameraThreads{};
  std::atomic<std::int64_t> camera1LineCounter{0};
  // Camera 1's line times in frame mode; read and written under the engine lock. Not known: camera 2
  // uses camera1LineCounter.
  LineTimeline camera1Timeline;
};

// Milliseconds for the line rate and the strip capture. Tests replace it to make them exact.
class MillisecondClock {
 public:
  virtual ~MillisecondClock() = default;
  virtual std::int64_t nowMs() = 0;
};

struct CameraThreadOptions {
  // Synthetic lines instead of the driver (no driver calls, no strip, no marks, no ejection).
  bool cameraSimulator = kCameraSimulator;
  // Preferred processor (camera index + 1) and time-critical priority. Tests that loop at full speed
  // switch this off so a real-time thread cannot take a processor from everything else.
  bool applyScheduling = true;
  // Pause between synthetic lines.
  std::chrono::microseconds simulatorPause{20};
  // Build switches of the ejection step.
  EjectionConfig ejection{};
  // Null: the monotonic clock. Must outlive the thread.
  MillisecondClock* clock = nullptr;
  // Frame mode: the clock of the line times and of the timed valve queue. Null: the steady clock.
  ValveQueueClock* valveClock = nullptr;
};

// Lines of a frame analysed per hold of the engine lock. A line takes a few microseconds, so a hold
// stays well under a tenth of a millisecond and the other camera waits at most that long, while the
// lock is not taken and released for every line.
inline constexpr int kLinesPerHold = 16;
// Lost lines for which camera 1 still runs the ejection step, so that shots scheduled among them are
// applied at their times; a longer gap first jumps the lines before these.
inline constexpr std::int64_t kLongestLostReplay = 4096;
// Consecutive empty reads at the longest pause (about a tenth of a second) before the camera is asked
// whether it is still there, and between later asks.
inline constexpr int kSilentReadsBeforeHitTest = 100;
// Frame mode: a line's valve change can be known only once its frame has come, so it takes effect one
// frame after its line, plus this margin for the frame's transfer, the reader's wake-up and the lines
// analysed before it in the frame. Delay is set for this latency.
inline constexpr std::int64_t kFrameValveMarginNs = 500'000;
inline constexpr std::int64_t frameValveLatencyNs(int linesPerFrame, std::int64_t periodNs) {
  return static_cast<std::int64_t>(linesPerFrame) * periodNs + kFrameValveMarginNs;
}

// One camera's acquisition: reads lines (or frames of lines) from the driver, analyses each under the engine
// lock on this thread, keeps the line counter, the rate and the 1000-point preview, fills the strip picture
// and paints test marks on request; camera 1's thread also runs the ejection step after every pass, with or
// without a line, and writes the valve table it left once the engine lock is released. A read without a line
// is followed by a short pause that grows while the driver stays silent (ReadBackoff), so a driver that
// answers at once never keeps the thread spinning. A camera that stays silent and no longer answers
// CCD_HitTest is lost: CameraFound turns false and LineSeen is no longer set until a line comes again.
//
// Frame mode (driver.linesPerFrame > 1): a whole frame is read without the lock, then its lines are
// analysed kLinesPerHold at a time per hold of the lock, each exactly as a single line is; camera 1
// runs the ejection step after every line with that line's clock and hands the valve images to a
// timed queue (a thread of its own, started and joined by this thread) that writes each at its line's
// time plus frameValveLatencyNs. A reject closed before its due line has its shot planned into that
// queue at once (ShotsAhead), so a frame that comes late does not delay it. Lines lost before a frame
// move the line counter on.
//
// Life: created suspended (no system thread yet) and entered into table.CameraThreads; prepare its
// line() (prepareCameraForRun) under the engine lock, then Resume(). It runs until requestStop(),
// until its table entry stops pointing at it, or until the camera fails during start. The
// destructor asks it to stop and waits, so no thread outlives its object.
//
// Everything the object refers to (driver, state, settings, table, valves) must outlive it. Settings
// are read under the engine lock; whoever changes them holds the lock.
class TCameraThread {
 public:
  // valves is used by camera 1 only and may be null (no valve write).
  TCameraThread(int cameraIndex, CameraDriver& driver, EngineState& state, const SorterSettings& sorter,
                const MachineSettings& machine, CameraThreadTable& table, ValveOutput* valves,
                CameraThreadOptions options = {});
  ~TCameraThread();
  TCameraThread(const TCameraThread&) = delete;
  TCameraThread& operator=(const TCameraThread&) = delete;

  // Starts the system thread; later calls do nothing.
  void Resume();
  // StopRequested: the thread ends after its current pass and resets the camera.
  void requestStop() { line_->StopRequested.store(true, std::memory_order_release); }
  bool stopRequested() const { return line_->StopRequested.load(std::memory_order_acquire); }
  bool started() const { return started_; }
  // Resumed and not yet ended.
  bool running() const { return started_ && !finished_.load(std::memory_order_acquire); }
  bool finished() const { return finished_.load(std::memory_order_acquire); }
  // Waits for the thread to end (returns at once when it was never resumed). Call requestStop first
  // unless the thread ends by itself.
  void join();
  // As join(), but waits at most bound: true when the thread ended (or never started). Otherwise the
  // thread is stuck in a driver call and is left to run on (detached); the object must then never be
  // destroyed, since that thread still uses it (see abandoned()).
  bool joinFor(std::chrono::milliseconds bound);
  // joinFor gave up on the thread.
  bool abandoned() const { return abandoned_; }

  int cameraIndex() const { return line_->CameraIndex; }
  std::uint32_t MsPer1000Lines() const { return line_->MsPer1000Lines.load(std::memory_order_relaxed); }
  std::int64_t LineCounter() const { return line_->LineCounter.load(std::memory_order_relaxed); }
  // The camera's buffers: prepare them before Resume(); afterwards only this thread and holders of
  // the engine lock may touch them (the driver writes a line without the lock).
  CameraLineState& line() { return *line_; }
  const CameraLineState& line() const { return *line_; }
  // Frame mode, camera 1: valve images waiting for their time (0 otherwise).
  int pendingValveImages() const;
  // What the scheduler granted; meaningful once the thread has started its body.
  ThreadSchedulingReport scheduling() const;

 private:
  struct PassTimes {
    std::int64_t lastMarkMs = 0;
    std::int64_t stripStartMs = 0;
    bool marked = false;  // lastMarkMs holds a mark of this run
    ReadBackoff backoff;
    int silentAtLongest = 0;  // empty reads in a row at the longest pause
    bool cameraLost = false;  // silent and not answering CCD_HitTest
  };
  struct FrameMode;

  void Execute();
  // The start sequence with the driver; false when the loop must not run. Resets the camera itself
  // on a failure after CCD_HitTest.
  bool startCamera();
  void driverPass(PassTimes& times);
  void frameLoop(PassTimes& times, int linesPerFrame);
  void framePass(PassTimes& times, FrameMode& mode);
  // Camera 1: moves the counter over lost lines, running the ejection step for the last
  // kLongestLostReplay of them. Camera 2: moves the counter only.
  void passLostLines(PassTimes& times, FrameMode& mode, std::int64_t lost);
  // Under the engine lock: one line of the frame, as driverPass analyses a line.
  void analyseFrameLine(PassTimes& times, FrameMode& mode, const CameraFrame& frame, int line);
  void runTaggedEjectionPass(FrameMode& mode, std::int64_t line);
  // After the lock: the images of the hold to the timed queue.
  void handOverValveImages(FrameMode& mode);
  // A read without a line: the pause before the next, asking CCD_HitTest when the camera stays silent.
  std::chrono::microseconds readMissed(PassTimes& times);
  void readSucceeded(PassTimes& times);
  void simulatorLoop();
  void paintTestMarks();
  void captureStripRow(PassTimes& times);
  void markThousandLines(PassTimes& times, bool colourPreview);
  // Camera 1: copies the current line into EngineState::ReadoutLine (R = G = B from LineMono unless
  // colourLine).
  void publishReadoutLine(bool colourLine);
  void countLine();
  std::int64_t engineClock() const;
  // Camera 2 in frame mode: camera 1's clock at the time of its own line (counter value line).
  std::int64_t cameraTwoFrameClock(const LineTimeline& own, std::int64_t line) const;
  std::int64_t nowMs() const;
  bool stillOwner() const;

  std::unique_ptr<CameraLineState> line_;
  CameraDriver& driver_;
  EngineState& state_;
  const SorterSettings& sorter_;
  const MachineSettings& machine_;
  CameraThreadTable& table_;
  ValveOutput* valves_;
  CameraThreadOptions options_;

  // Frame mode, camera 1: made and stopped by the thread, kept until the object goes.
  std::unique_ptr<TimedValveQueue> valveQueue_;
  std::atomic<TimedValveQueue*> publishedQueue_{nullptr};

  std::thread thread_;
  bool started_ = false;
  bool abandoned_ = false;
  std::atomic<bool> finished_{false};
  mutable std::mutex reportMutex_;
  ThreadSchedulingReport scheduling_;
};

// Pixel (from 1) shown by preview point k (0..999): round(k * PreviewStep) + 1, halves to even.
int previewPixel(int point);

// Start-up probe of one camera with CCD_Init: sets and returns CameraFound. A throwing driver counts
// as no camera.
// Called on the main thread.
bool probeCamera(CameraDriver& driver, EngineState& state, int cameraIndex);

}  // namespace tolvane
