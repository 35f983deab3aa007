#include "platform/recording_camera_driver.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace tolvane {

std::string_view ccdCallName(CcdCall call) {
  switch (call) {
    case CcdCall::kInit:
      return "CCD_Init";
    case CcdCall::kSetParameter:
      return "CCD_SetParameter";
    case CcdCall::kGetParameter:
      return "CCD_GetParameter";
    case CcdCall::kHitTest:
      return "CCD_HitTest";
    case CcdCall::kInitMeasuring:
      return "CCD_InitMeasuring";
    case CcdCall::kStartMeasuring:
      return "CCD_StartMeasuring";
    case CcdCall::kGetDataByte:
      return "CCD_GetDataByte";
    case CcdCall::kCameraReset:
      return "CCD_CameraReset";
    case CcdCall::kReadFrame:
      return "readFrame";
  }
  return "?";
}

void RecordingCameraDriver::setAnswer(CcdCall call, std::int32_t camera, Answer answer) {
  std::lock_guard lock(mutex_);
  standing_[{call, camera}] = answer;
}

void RecordingCameraDriver::queueAnswers(CcdCall call, std::int32_t camera, std::vector<Answer> answers) {
  std::lock_guard lock(mutex_);
  auto& queue = queued_[{call, camera}];
  queue.insert(queue.end(), answers.begin(), answers.end());
}

void RecordingCameraDriver::setParameterValue(std::int32_t camera, std::int32_t parameter, float value) {
  std::lock_guard lock(mutex_);
  parameters_[{camera, parameter}] = value;
}

void RecordingCameraDriver::queueLine(std::int32_t camera, std::vector<std::uint8_t> line) {
  std::lock_guard lock(mutex_);
  lines_[camera].push_back(std::move(line));
}

std::size_t RecordingCameraDriver::queuedLines(std::int32_t camera) const {
  std::lock_guard lock(mutex_);
  const auto it = lines_.find(camera);
  return it == lines_.end() ? 0 : it->second.size();
}

void RecordingCameraDriver::setIdleWait(std::chrono::microseconds wait) {
  std::lock_guard lock(mutex_);
  idleWait_ = wait;
}

void RecordingCameraDriver::setLogReads(bool log) {
  std::lock_guard lock(mutex_);
  logReads_ = log;
}

std::vector<RecordingCameraDriver::CallRecord> RecordingCameraDriver::calls() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<RecordingCameraDriver::CallRecord> RecordingCameraDriver::calls(std::int32_t camera) const {
  std::lock_guard lock(mutex_);
  std::vector<CallRecord> result;
  for (const CallRecord& record : log_) {
    if (record.camera == camera) result.push_back(record);
  }
  return result;
}

std::vector<CcdCall> RecordingCameraDriver::callSequence(std::int32_t camera) const {
  std::vector<CcdCall> result;
  for (const CallRecord& record : calls(camera)) result.push_back(record.call);
  return result;
}

std::size_t RecordingCameraDriver::readCount(std::int32_t camera) const {
  std::lock_guard lock(mutex_);
  const auto it = reads_.find(camera);
  return it == reads_.end() ? 0 : it->second;
}

void RecordingCameraDriver::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  reads_.clear();
}

bool RecordingCameraDriver::waitForCall(CcdCall call, std::int32_t camera,
                                        std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return std::any_of(log_.begin(), log_.end(),
                       [&](const CallRecord& r) { return r.call == call && r.camera == camera; });
  });
}

bool RecordingCameraDriver::waitUntilLinesTaken(std::int32_t camera,
                                                std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    const auto it = lines_.find(camera);
    return it == lines_.end() || it->second.empty();
  });
}

RecordingCameraDriver::Answer RecordingCameraDriver::takeAnswer(CcdCall call, std::int32_t camera,
                                                                bool defaultSuccess) {
  const Key key{call, camera};
  if (auto it = queued_.find(key); it != queued_.end() && !it->second.empty()) {
    const Answer answer = it->second.front();
    it->second.pop_front();
    return answer;
  }
  if (auto it = standing_.find(key); it != standing_.end()) return it->second;
  return Answer{defaultSuccess ? kCcdSuccess : kCcdFailure, false};
}

CcdResult RecordingCameraDriver::finish(std::unique_lock<std::mutex>& lock, CallRecord record,
                                        const Answer& answer) {
  record.result = answer.throws ? 0 : answer.result;
  record.threw = answer.throws;
  const bool read = record.call == CcdCall::kGetDataByte || record.call == CcdCall::kReadFrame;
  if (read) ++reads_[record.camera];
  if (!read || logReads_) log_.push_back(record);
  lock.unlock();
  changed_.notify_all();
  if (answer.throws) throw std::runtime_error(std::string(ccdCallName(record.call)) + " failed (scripted)");
  return answer.result;
}

CcdResult RecordingCameraDriver::simpleCall(CcdCall call, std::int32_t camera) {
  std::unique_lock lock(mutex_);
  const Answer answer = takeAnswer(call, camera, true);
  return finish(lock, CallRecord{.call = call, .camera = camera}, answer);
}

CcdResult RecordingCameraDriver::CCD_Init(void* windowHandle, std::int32_t reserved,
                                          std::int32_t* cameraIndex) {
  std::unique_lock lock(mutex_);
  CallRecord record{.call = CcdCall::kInit, .windowHandle = windowHandle, .reserved = reserved};
  record.nullPointer = cameraIndex == nullptr;
  record.camera = cameraIndex ? *cameraIndex : -1;
  const Answer answer = takeAnswer(CcdCall::kInit, record.camera, true);
  return finish(lock, record, answer);
}

CcdResult RecordingCameraDriver::CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter,
                                                  float value) {
  std::unique_lock lock(mutex_);
  const Answer answer = takeAnswer(CcdCall::kSetParameter, cameraIndex, true);
  CallRecord record{
      .call = CcdCall::kSetParameter, .camera = cameraIndex, .parameter = parameter, .value = value};
  return finish(lock, record, answer);
}

CcdResult RecordingCameraDriver::CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter,
                                                  float* value) {
  std::unique_lock lock(mutex_);
  const Answer answer = takeAnswer(CcdCall::kGetParameter, cameraIndex, true);
  CallRecord record{.call = CcdCall::kGetParameter, .camera = cameraIndex, .parameter = parameter};
  record.nullPointer = value == nullptr;
  if (!answer.throws && ccdSucceeded(answer.result) && value != nullptr) {
    const auto it = parameters_.find({cameraIndex, parameter});
    *value = it == parameters_.end() ? 0.0f : it->second;
    record.value = *value;
  }
  return finish(lock, record, answer);
}

CcdResult RecordingCameraDriver::CCD_HitTest(std::int32_t cameraIndex) {
  return simpleCall(CcdCall::kHitTest, cameraIndex);
}

CcdResult RecordingCameraDriver::CCD_InitMeasuring(std::int32_t cameraIndex) {
  return simpleCall(CcdCall::kInitMeasuring, cameraIndex);
}

CcdResult RecordingCameraDriver::CCD_StartMeasuring(std::int32_t cameraIndex) {
  return simpleCall(CcdCall::kStartMeasuring, cameraIndex);
}

CcdResult RecordingCameraDriver::CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) {
  std::unique_lock lock(mutex_);
  auto& queue = lines_[cameraIndex];
  const Answer answer = takeAnswer(CcdCall::kGetDataByte, cameraIndex, !queue.empty());
  CallRecord record{.call = CcdCall::kGetDataByte, .camera = cameraIndex};
  record.nullPointer = lineBuffer == nullptr;
  bool copied = false;
  if (!answer.throws && ccdSucceeded(answer.result) && !queue.empty() && lineBuffer != nullptr) {
    const std::vector<std::uint8_t>& line = queue.front();
    std::memcpy(lineBuffer, line.data(), std::min(line.size(), kLineRgbBytes));
    queue.pop_front();
    copied = true;
  }
  const std::chrono::microseconds idle = copied ? std::chrono::microseconds(0) : idleWait_;
  const CcdResult result = finish(lock, record, answer);
  if (idle.count() > 0) {
    std::this_thread::sleep_for(idle);
  } else if (!copied) {
    std::this_thread::yield();
  }
  return result;
}

void RecordingCameraDriver::setLinesPerFrame(std::int32_t camera, int lines) {
  std::lock_guard lock(mutex_);
  linesPerFrame_[camera] = lines;
}

void RecordingCameraDriver::queueFrame(std::int32_t camera, ScriptedFrame frame) {
  std::lock_guard lock(mutex_);
  frames_[camera].push_back(std::move(frame));
}

std::size_t RecordingCameraDriver::queuedFrames(std::int32_t camera) const {
  std::lock_guard lock(mutex_);
  const auto it = frames_.find(camera);
  return it == frames_.end() ? 0 : it->second.size();
}

bool RecordingCameraDriver::waitUntilFramesTaken(std::int32_t camera,
                                                 std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    const auto it = frames_.find(camera);
    return it == frames_.end() || it->second.empty();
  });
}

int RecordingCameraDriver::linesPerFrame(std::int32_t cameraIndex) {
  std::lock_guard lock(mutex_);
  const auto it = linesPerFrame_.find(cameraIndex);
  return it == linesPerFrame_.end() ? 1 : it->second;
}

CcdResult RecordingCameraDriver::readFrame(std::int32_t cameraIndex, CameraFrame* frame) {
  std::unique_lock lock(mutex_);
  auto& queue = frames_[cameraIndex];
  const Answer answer = takeAnswer(CcdCall::kReadFrame, cameraIndex, !queue.empty());
  CallRecord record{.call = CcdCall::kReadFrame, .camera = cameraIndex};
  record.nullPointer = frame == nullptr;
  bool handed = false;
  if (!answer.throws && ccdSucceeded(answer.result) && !queue.empty() && frame != nullptr) {
    const ScriptedFrame& next = queue.front();
    std::size_t width = next.bytesPerLine;
    if (width == 0) {
      for (const auto& line : next.lines) width = std::max(width, line.size());
    }
    std::vector<std::uint8_t>& data = current_[cameraIndex];
    data.assign(width * next.lines.size(), 0);
    for (std::size_t i = 0; i < next.lines.size(); ++i) {
      std::copy_n(next.lines[i].begin(), std::min(width, next.lines[i].size()), data.begin() + i * width);
    }
    *frame = CameraFrame{.data = data.data(),
                         .bytesPerLine = width,
                         .lineCount = static_cast<int>(next.lines.size()),
                         .lostLinesBefore = next.lostLinesBefore,
                         .lastLineTimeNs = next.lastLineTimeNs,
                         .linePeriodNs = next.linePeriodNs};
    queue.pop_front();
    handed = true;
  }
  const std::chrono::microseconds idle = handed ? std::chrono::microseconds(0) : idleWait_;
  const CcdResult result = finish(lock, record, answer);
  if (idle.count() > 0) {
    std::this_thread::sleep_for(idle);
  } else if (!handed) {
    std::this_thread::yield();
  }
  return result;
}

CcdResult RecordingCameraDriver::CCD_CameraReset(std::int32_t cameraIndex) {
  return simpleCall(CcdCall::kCameraReset, cameraIndex);
}

}  // namespace tolvane
