#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/camera_driver.h"

namespace tolvane {

enum class CcdCall {
  kInit,
  kSetParameter,
  kGetParameter,
  kHitTest,
  kInitMeasuring,
  kStartMeasuring,
  kGetDataByte,
  kCameraReset,
  kReadFrame,  // frame delivery, beyond the eight calls
};
std::string_view ccdCallName(CcdCall call);  // "CCD_Init", ...

// Test double of the camera driver. Every call is logged with its camera index and arguments; answers
// are scripted per call and per camera, lines are scripted per camera. Thread-safe: the two camera
// threads and the test may use it at once.
//
// Answers: a queued answer for (call, camera) is used first; after that the standing answer, which is
// success unless set otherwise. CCD_GetDataByte without a queued answer succeeds exactly when a scripted
// line is waiting; a successful read takes the next scripted line and copies it into the buffer.
// Frames: with setLinesPerFrame(camera, n > 1) the camera reports frame delivery, and readFrame
// (logged as kReadFrame, counted as a read) hands over the next scripted frame in the same way.
class RecordingCameraDriver : public CameraDriver {
 public:
  struct Answer {
    CcdResult result = kCcdSuccess;
    bool throws = false;  // the call throws std::runtime_error instead of answering
  };

  struct CallRecord {
    CcdCall call;
    std::int32_t camera = -1;      // -1 when CCD_Init got a null index pointer
    std::int32_t parameter = 0;    // Set/GetParameter
    float value = 0;               // value set, or value handed back by GetParameter
    void* windowHandle = nullptr;  // CCD_Init
    std::int32_t reserved = 0;     // CCD_Init
    bool nullPointer = false;      // the pointer argument was null
    CcdResult result = 0;
    bool threw = false;
  };

  // Standing answer for every later call of this kind on this camera.
  void setAnswer(CcdCall call, std::int32_t camera, Answer answer);
  // Answers used one by one, before the standing answer.
  void queueAnswers(CcdCall call, std::int32_t camera, std::vector<Answer> answers);
  // Value handed back by CCD_GetParameter (0 when not set).
  void setParameterValue(std::int32_t camera, std::int32_t parameter, float value);
  void queueLine(std::int32_t camera, std::vector<std::uint8_t> line);
  std::size_t queuedLines(std::int32_t camera) const;
  // A read that finds no line sleeps this long before answering, so a polling thread does not spin.
  void setIdleWait(std::chrono::microseconds wait);
  // Reads are counted but, when false, not logged (for long runs).
  void setLogReads(bool log);

  // A frame as readFrame hands it over; lines shorter than bytesPerLine are padded with zeros.
  struct ScriptedFrame {
    std::vector<std::vector<std::uint8_t>> lines;
    std::size_t bytesPerLine = 0;  // 0: the longest line's length
    std::int64_t lostLinesBefore = 0;
    std::int64_t lastLineTimeNs = 0;
    std::int64_t linePeriodNs = 0;
  };
  void setLinesPerFrame(std::int32_t camera, int lines);
  void queueFrame(std::int32_t camera, ScriptedFrame frame);
  std::size_t queuedFrames(std::int32_t camera) const;
  bool waitUntilFramesTaken(std::int32_t camera, std::chrono::milliseconds timeout) const;

  std::vector<CallRecord> calls() const;
  std::vector<CallRecord> calls(std::int32_t camera) const;
  // The sequence of calls for one camera, reads included only when logged.
  std::vector<CcdCall> callSequence(std::int32_t camera) const;
  std::size_t readCount(std::int32_t camera) const;
  void clearLog();

  // Bounded waits for tests with real threads; true when the condition was met in time.
  bool waitForCall(CcdCall call, std::int32_t camera, std::chrono::milliseconds timeout) const;
  bool waitUntilLinesTaken(std::int32_t camera, std::chrono::milliseconds timeout) const;

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
  using Key = std::pair<CcdCall, std::int32_t>;

  // Takes the answer for this call; the caller holds the lock.
  Answer takeAnswer(CcdCall call, std::int32_t camera, bool defaultSuccess);
  // Logs the call and throws when the answer says so; the caller holds the lock.
  CcdResult finish(std::unique_lock<std::mutex>& lock, CallRecord record, const Answer& answer);
  CcdResult simpleCall(CcdCall call, std::int32_t camera);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<Key, std::deque<Answer>> queued_;
  std::map<Key, Answer> standing_;
  std::map<std::pair<std::int32_t, std::int32_t>, float> parameters_;
  std::map<std::int32_t, std::deque<std::vector<std::uint8_t>>> lines_;
  std::map<std::int32_t, std::size_t> reads_;
  std::map<std::int32_t, int> linesPerFrame_;
  std::map<std::int32_t, std::deque<ScriptedFrame>> frames_;
  // The frame handed over last, kept until the camera's next read (as a driver keeps its buffer).
  std::map<std::int32_t, std::vector<std::uint8_t>> current_;
  std::vector<CallRecord> log_;
  std::chrono::microseconds idleWait_{0};
  bool logReads_ = true;
};

}  // namespace tolvane
