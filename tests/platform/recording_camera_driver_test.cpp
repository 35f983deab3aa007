#include "platform/recording_camera_driver.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace tolvane {
namespace {

using Answer = RecordingCameraDriver::Answer;

TEST(RecordingCameraDriverTest, AnswersSucceedUnlessScripted) {
  RecordingCameraDriver driver;
  std::int32_t index = 1;
  EXPECT_EQ(driver.CCD_Init(nullptr, 0, &index), kCcdSuccess);
  EXPECT_EQ(driver.CCD_HitTest(0), kCcdSuccess);
  EXPECT_EQ(driver.CCD_StartMeasuring(1), kCcdSuccess);

  // Queued answers come first and only for their call and camera, then the standing answer.
  driver.queueAnswers(CcdCall::kHitTest, 1, {Answer{0}, Answer{0x100}, Answer{0x101}});
  driver.setAnswer(CcdCall::kHitTest, 1, Answer{kCcdFailure});
  EXPECT_EQ(driver.CCD_HitTest(0), kCcdSuccess);
  EXPECT_EQ(driver.CCD_HitTest(1), 0);
  EXPECT_EQ(driver.CCD_HitTest(1), 0x100);  // low byte zero: a failure for the caller
  EXPECT_FALSE(ccdSucceeded(0x100));
  EXPECT_EQ(driver.CCD_HitTest(1), 0x101);
  EXPECT_EQ(driver.CCD_HitTest(1), kCcdFailure);
  EXPECT_EQ(driver.CCD_HitTest(1), kCcdFailure);
  EXPECT_EQ(driver.CCD_HitTest(0), kCcdSuccess);
}

TEST(RecordingCameraDriverTest, ScriptedLinesAreDeliveredInOrderPerCamera) {
  RecordingCameraDriver driver;
  std::vector<std::uint8_t> buffer(kLineMonoBytes, 0);
  EXPECT_EQ(driver.CCD_GetDataByte(0, buffer.data()), kCcdFailure);  // nothing scripted

  driver.queueLine(0, std::vector<std::uint8_t>(kLineMonoBytes, 11));
  driver.queueLine(0, std::vector<std::uint8_t>(kLineMonoBytes, 22));
  driver.queueLine(1, std::vector<std::uint8_t>(kLineMonoBytes, 99));
  EXPECT_EQ(driver.queuedLines(0), 2u);
  EXPECT_EQ(driver.CCD_GetDataByte(0, buffer.data()), kCcdSuccess);
  EXPECT_EQ(buffer[0], 11);
  EXPECT_EQ(buffer[4095], 11);

  // A scripted failure leaves the line for the next read.
  driver.queueAnswers(CcdCall::kGetDataByte, 0, {Answer{kCcdFailure}});
  EXPECT_EQ(driver.CCD_GetDataByte(0, buffer.data()), kCcdFailure);
  EXPECT_EQ(buffer[0], 11);
  EXPECT_EQ(driver.CCD_GetDataByte(0, buffer.data()), kCcdSuccess);
  EXPECT_EQ(buffer[0], 22);
  EXPECT_EQ(driver.CCD_GetDataByte(0, buffer.data()), kCcdFailure);
  EXPECT_EQ(driver.queuedLines(1), 1u);
  EXPECT_EQ(driver.readCount(0), 5u);
  EXPECT_EQ(driver.readCount(1), 0u);
}

TEST(RecordingCameraDriverTest, ScriptedExceptionsAreThrownAndLogged) {
  RecordingCameraDriver driver;
  driver.queueLine(0, {1, 2, 3});
  driver.queueAnswers(CcdCall::kGetDataByte, 0, {Answer{kCcdSuccess, true}});
  std::vector<std::uint8_t> buffer(kLineMonoBytes, 0);
  EXPECT_THROW(driver.CCD_GetDataByte(0, buffer.data()), std::runtime_error);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(driver.queuedLines(0), 1u);
  EXPECT_EQ(driver.CCD_GetDataByte(0, buffer.data()), kCcdSuccess);
  EXPECT_EQ(buffer[2], 3);
  const auto calls = driver.calls(0);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].threw);
  EXPECT_FALSE(calls[1].threw);
}

TEST(RecordingCameraDriverTest, LogKeepsCameraAndArguments) {
  RecordingCameraDriver driver;
  int window = 0;
  std::int32_t index = 1;
  driver.setParameterValue(1, 7, 2048.0f);
  driver.CCD_Init(&window, 0, &index);
  driver.CCD_Init(nullptr, 5, nullptr);
  driver.CCD_SetParameter(1, 10, 4.0f);
  float value = -1;
  driver.CCD_GetParameter(1, 7, &value);
  EXPECT_EQ(value, 2048.0f);
  driver.CCD_GetParameter(1, 8, &value);
  EXPECT_EQ(value, 0.0f);
  driver.CCD_GetParameter(1, 4, nullptr);
  driver.CCD_CameraReset(1);

  const auto calls = driver.calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0].call, CcdCall::kInit);
  EXPECT_EQ(calls[0].camera, 1);
  EXPECT_EQ(calls[0].windowHandle, &window);
  EXPECT_EQ(calls[1].camera, -1);
  EXPECT_TRUE(calls[1].nullPointer);
  EXPECT_EQ(calls[1].reserved, 5);
  EXPECT_EQ(calls[2].parameter, 10);
  EXPECT_EQ(calls[2].value, 4.0f);
  EXPECT_EQ(calls[3].parameter, 7);
  EXPECT_EQ(calls[3].value, 2048.0f);
  EXPECT_EQ(calls[4].parameter, 8);
  EXPECT_TRUE(calls[5].nullPointer);
  EXPECT_EQ(calls[6].call, CcdCall::kCameraReset);
  EXPECT_EQ(driver.callSequence(1),
            (std::vector<CcdCall>{CcdCall::kInit, CcdCall::kSetParameter, CcdCall::kGetParameter,
                                  CcdCall::kGetParameter, CcdCall::kGetParameter, CcdCall::kCameraReset}));
  EXPECT_EQ(ccdCallName(CcdCall::kGetDataByte), "CCD_GetDataByte");

  driver.clearLog();
  EXPECT_TRUE(driver.calls().empty());
}

TEST(RecordingCameraDriverTest, ReadsCanBeCountedWithoutLogging) {
  RecordingCameraDriver driver;
  driver.setLogReads(false);
  std::vector<std::uint8_t> buffer(kLineMonoBytes);
  for (int i = 0; i < 5; ++i) driver.CCD_GetDataByte(0, buffer.data());
  driver.CCD_CameraReset(0);
  EXPECT_EQ(driver.readCount(0), 5u);
  EXPECT_EQ(driver.callSequence(0), std::vector<CcdCall>{CcdCall::kCameraReset});
}

// Two camera threads at once, as in a run; each camera's calls stay in the order it made them.
TEST(RecordingCameraDriverTest, TwoThreadsShareOneDriver) {
  RecordingCameraDriver driver;
  driver.setIdleWait(std::chrono::microseconds(50));
  constexpr int kLines = 300;
  for (int i = 0; i < kLines; ++i) {
    driver.queueLine(0, std::vector<std::uint8_t>(16, static_cast<std::uint8_t>(i)));
    driver.queueLine(1, std::vector<std::uint8_t>(16, static_cast<std::uint8_t>(i)));
  }
  const auto cameraThread = [&](std::int32_t camera, std::vector<int>& seen) {
    driver.CCD_HitTest(camera);
    driver.CCD_InitMeasuring(camera);
    driver.CCD_StartMeasuring(camera);
    std::vector<std::uint8_t> buffer(kLineMonoBytes);
    while (static_cast<int>(seen.size()) < kLines) {
      if (ccdSucceeded(driver.CCD_GetDataByte(camera, buffer.data()))) seen.push_back(buffer[0]);
    }
    driver.CCD_CameraReset(camera);
  };
  std::vector<int> seen0, seen1;
  std::thread t0(cameraThread, 0, std::ref(seen0));
  std::thread t1(cameraThread, 1, std::ref(seen1));
  EXPECT_TRUE(driver.waitUntilLinesTaken(0, std::chrono::seconds(20)));
  EXPECT_TRUE(driver.waitForCall(CcdCall::kCameraReset, 1, std::chrono::seconds(20)));
  t0.join();
  t1.join();

  for (int i = 0; i < kLines; ++i) {
    ASSERT_EQ(seen0[static_cast<std::size_t>(i)], i % 256);
    ASSERT_EQ(seen1[static_cast<std::size_t>(i)], i % 256);
  }
  for (std::int32_t camera : {0, 1}) {
    const std::vector<CcdCall> sequence = driver.callSequence(camera);
    ASSERT_EQ(sequence.size(), kLines + 4u);
    EXPECT_EQ(sequence[0], CcdCall::kHitTest);
    EXPECT_EQ(sequence[2], CcdCall::kStartMeasuring);
    EXPECT_EQ(sequence.back(), CcdCall::kCameraReset);
  }
  EXPECT_EQ(driver.calls().size(), 2 * (kLines + 4u));
  EXPECT_FALSE(driver.waitForCall(CcdCall::kInit, 0, std::chrono::milliseconds(1)));
}

}  // namespace
}  // namespace tolvane
