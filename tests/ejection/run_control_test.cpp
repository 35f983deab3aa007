// Run control with real camera threads on the recording camera driver and the product-stream
// simulator, the recording digital board, the simulated UPS, recorded power-off and side files in a
// temporary folder. The run priority is recorded instead of applied, so no test thread turns real-time.
#include "ejection/run_control.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/object_table_guard.h"
#include "platform/product_stream_simulator.h"
#include "platform/recording_camera_driver.h"
#include "platform/recording_digital_board.h"
#include "platform/simulated_power.h"
#include "tests/thread_test_support.h"

namespace tolvane {

void PrintTo(const CameraIndicator& c, std::ostream* os) {
  *os << "{\"" << c.label << "\", red " << c.redLamp << ", green " << c.greenLamp << ", blue " << c.blueLamp
      << "}";
}

namespace {

namespace fs = std::filesystem;
using Call = RecordingDigitalBoard::Call;
using Function = RecordingDigitalBoard::Function;
constexpr std::uint32_t kBase = 0xE000;

using test::threadCountOfProcess;
using test::waitFor;

std::vector<char> fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads wait while the gate is closed: a camera that has gone silent without its thread ending.
class GatedCameraDriver : public CameraDriver {
 public:
  explicit GatedCameraDriver(CameraDriver& inner) : inner_(inner) {}

  void setOpen(bool open) {
    {
      std::lock_guard lock(mutex_);
      open_ = open;
    }
    changed_.notify_all();
  }
  int waitingReaders() const {
    std::lock_guard lock(mutex_);
    return waiting_;
  }

  CcdResult CCD_Init(void* w, std::int32_t r, std::int32_t* i) override { return inner_.CCD_Init(w, r, i); }
  CcdResult CCD_SetParameter(std::int32_t i, std::int32_t p, float v) override {
    return inner_.CCD_SetParameter(i, p, v);
  }
  CcdResult CCD_GetParameter(std::int32_t i, std::int32_t p, float* v) override {
    return inner_.CCD_GetParameter(i, p, v);
  }
  CcdResult CCD_HitTest(std::int32_t i) override { return inner_.CCD_HitTest(i); }
  CcdResult CCD_InitMeasuring(std::int32_t i) override { return inner_.CCD_InitMeasuring(i); }
  CcdResult CCD_StartMeasuring(std::int32_t i) override { return inner_.CCD_StartMeasuring(i); }
  CcdResult CCD_GetDataByte(std::int32_t i, std::uint8_t* buffer) override {
    {
      std::unique_lock lock(mutex_);
      ++waiting_;
      changed_.wait(lock, [&] { return open_; });
      --waiting_;
    }
    return inner_.CCD_GetDataByte(i, buffer);
  }
  CcdResult CCD_CameraReset(std::int32_t i) override { return inner_.CCD_CameraReset(i); }

 private:
  CameraDriver& inner_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
  int waiting_ = 0;
};

class FixedClock : public MillisecondClock {
 public:
  std::int64_t nowMs() override { return ms.load(); }
  std::atomic<std::int64_t> ms{0};
};

class RunControlTest : public ::testing::Test {
 protected:
  RunControlTest() {
    folder = fs::temp_directory_path() / ("tolvane_run_control_" + std::to_string(::getpid()) + "_" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    programFile = folder / "TolvaneGrain";
    board.setFound(true, kBase);
    driver.setIdleWait(std::chrono::microseconds(200));
    sorter.onCamera1 = true;
    sorter.onCamera2 = true;
    machine.MachineId = "4711";
    options.applyScheduling = false;
    options.clock = &clock;
    for (int j = 1; j <= kEjectorSlots; ++j) {
      EjectorZone& z = state->ejection.EjectorZones[j];
      z.aStart = z.bStart = 40 * (j - 1) + 1;
      z.aEnd = z.bEnd = 40 * j + 1;
    }
  }
  ~RunControlTest() override {
    control.reset();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }

  RunControl& make(CameraDriver* cameras = nullptr) {
    control = std::make_unique<RunControl>(RunControlDeps{
        .cameras = cameras != nullptr ? *cameras : driver,
        .board = board,
        .engine = *state,
        .sorter = sorter,
        .machine = machine,
        .power = power,
        .powerOff = powerOff,
        .programFile = programFile,
        .saveSettings =
            [this] {
              ++saves;
              powerOffsAtSave = powerOff.requestCount();
            },
        .fullEjectorTest = [this] { ++fullTests; },
        .setRunPriority = [this](int mode) { priorities.push_back(mode); },
        .threadOptions = options,
    });
    return *control;
  }

  bool bothSeen() const { return state->LineSeen[0].load() && state->LineSeen[1].load(); }

  // Ticks until the supervision tick count reaches n.
  void tickTo(RunControl& rc, int n) {
    while (rc.SupervisionTick() < n) rc.Timer5sekTimer();
  }

  // Last value written to each of the six valve ports.
  std::array<int, 6> lastValvePortValues() const {
    std::array<int, 6> last{-1, -1, -1, -1, -1, -1};
    for (const Call& call : board.outputs()) {
      for (std::size_t i = 0; i < 6; ++i) {
        if (call.address == kBase + kValvePorts[i]) last[i] = call.value;
      }
    }
    return last;
  }

  fs::path folder;
  fs::path programFile;
  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
  RecordingCameraDriver driver;
  RecordingDigitalBoard board;
  SimulatedPower power;
  RecordingPowerOff powerOff;
  FixedClock clock;
  CameraThreadOptions options;
  int saves = 0;
  int powerOffsAtSave = -1;
  int fullTests = 0;
  std::vector<int> priorities;
  std::unique_ptr<RunControl> control;
};

TEST_F(RunControlTest, StartRunsOneThreadPerEnabledCameraAndShowsEachCamera) {
  state->CameraFound[0] = true;
  driver.setAnswer(CcdCall::kHitTest, 1, RecordingCameraDriver::Answer{.result = 0});  // camera 2 is missing
  state->ejection.OutputsBlocked = true;
  state->ejection.EngineCounters.values = {5, 4, 1, 3, 2, 1};
  RunControl& rc = make();
  EXPECT_TRUE(rc.touchPuskSwitch());

  const RunControlView& v = rc.view();
  EXPECT_TRUE(v.puskSwitchOn);
  EXPECT_FALSE(v.puskSwitchEnabled);
  EXPECT_FALSE(v.programListEnabled);
  EXPECT_EQ(priorities, std::vector<int>{1});
  EXPECT_FALSE(state->ejection.OutputsBlocked.load());
  EXPECT_EQ(state->ejection.EngineCounters.values, (std::array<std::int32_t, 6>{}));
  EXPECT_EQ(rc.threadsCreated(), 2);
  ASSERT_NE(rc.cameraThread(0), nullptr);
  ASSERT_NE(rc.cameraThread(1), nullptr);
  EXPECT_TRUE(rc.cameraThread(0)->started());

  EXPECT_EQ(v.cameras[0], (CameraIndicator{"Камера 1\nработает", false, true, false}));
  // Camera 2 was not found at start-up: its thread runs anyway, shown in blue.
  EXPECT_EQ(v.cameras[1], (CameraIndicator{"Камера 2\nне найдена!", false, false, true}));

  ASSERT_TRUE(driver.waitForCall(CcdCall::kGetDataByte, 0, std::chrono::seconds(60)));
  ASSERT_TRUE(waitFor([&] { return rc.cameraThread(1)->finished(); }));
  EXPECT_FALSE(state->CameraFound[1].load());
  // The threads were prepared before they ran: shading filled, ejector map built.
  EXPECT_EQ(rc.cameraThread(0)->line().PixelEjector[41], 2);
  EXPECT_EQ(rc.cameraThread(1)->line().ShadingMono[1], monoShading(1, 1));
}

TEST_F(RunControlTest, SecondTouchWithinOneSupervisionPeriodIsIgnored) {
  RunControl& rc = make();
  EXPECT_TRUE(rc.touchPuskSwitch());
  EXPECT_FALSE(rc.touchPuskSwitch());
  EXPECT_TRUE(rc.view().puskSwitchOn);
  EXPECT_EQ(rc.threadsCreated(), 2);
  EXPECT_EQ(priorities, std::vector<int>{1});

  ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
  rc.Timer5sekTimer();
  EXPECT_TRUE(rc.view().puskSwitchEnabled);
  EXPECT_TRUE(rc.touchPuskSwitch());
  EXPECT_FALSE(rc.view().puskSwitchOn);
  EXPECT_EQ(priorities, (std::vector<int>{1, 0}));
  EXPECT_FALSE(rc.touchPuskSwitch());
}

TEST_F(RunControlTest, StopClosesValvesBlocksOutputsEmptiesObjectsAndWritesShotsAndStat) {
  RunControl& rc = make();
  rc.touchPuskSwitch();
  ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
  {
    std::lock_guard lock(state->engineLock);
    state->ObjectCount = 7;
    state->ejection.ShotsPerOutput.count(3, 42);
    state->ejection.ShotsPerOutput.count(64, 7);
    *state->ejection.DailyStats.count(100, kSideB, 17) = 1234;
    // A pulse that would keep output 5 open long after the stop.
    state->ejection.PulseEnd[5] = std::int64_t{1} << 40;
    state->ejection.ValveStates.open(5);
  }
  rc.Timer5sekTimer();
  EXPECT_TRUE(rc.touchPuskSwitch());

  EXPECT_EQ(priorities, (std::vector<int>{1, 0}));
  EXPECT_TRUE(rc.cameraThread(0)->stopRequested());
  EXPECT_TRUE(rc.cameraThread(1)->stopRequested());
  EXPECT_TRUE(state->ejection.OutputsBlocked.load());
  EXPECT_TRUE(rc.view().programListEnabled);
  {
    std::lock_guard lock(state->engineLock);
    EXPECT_EQ(state->ObjectCount, 0);
  }

  ASSERT_TRUE(waitFor([&] { return rc.cameraThread(0)->finished() && rc.cameraThread(1)->finished(); }));
  // Whatever camera 1's last passes did to the table, the board was left closed.
  EXPECT_EQ(lastValvePortValues(), (std::array<int, 6>{}));
  EXPECT_EQ(driver.callSequence(0).back(), CcdCall::kCameraReset);
  EXPECT_EQ(driver.callSequence(1).back(), CcdCall::kCameraReset);

  const auto shots = fileBytes(programFile.parent_path() / "TolvaneGrain.shots");
  ASSERT_EQ(shots.size(), 256u);
  EXPECT_EQ(std::memcmp(shots.data(), &state->ejection.ShotsPerOutput, 256), 0);
  std::int32_t third = 0;
  std::memcpy(&third, shots.data() + 8, 4);
  EXPECT_EQ(third, 42);
  const auto stat = fileBytes(programFile.parent_path() / "TolvaneGrain.stat");
  ASSERT_EQ(stat.size(), 297840u);
  std::int32_t count = 0;
  std::memcpy(&count, stat.data() + dailyStatsOffset(100, kSideB, 17), 4);
  EXPECT_EQ(count, 1234);
}

TEST_F(RunControlTest, SideFileErrorsAreSilentAndOneDoesNotCostTheOther) {
  fs::create_directories(folder / "TolvaneGrain.shots");  // cannot be replaced by a file
  RunControl& rc = make();
  rc.touchPuskSwitch();
  ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
  rc.Timer5sekTimer();
  rc.touchPuskSwitch();
  EXPECT_TRUE(fs::is_directory(folder / "TolvaneGrain.shots"));
  EXPECT_EQ(fs::file_size(folder / "TolvaneGrain.stat"), 297840u);

  // A folder that does not exist: nothing is written, nothing is thrown.
  const fs::path missing = folder / "gone" / "TolvaneGrain";
  RunControlTest::programFile = missing;
  control.reset();
  RunControl& again = make();
  again.touchPuskSwitch();
  ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
  again.Timer5sekTimer();
  EXPECT_TRUE(again.touchPuskSwitch());
  EXPECT_TRUE(state->ejection.OutputsBlocked.load());
  EXPECT_FALSE(fs::exists(missing.parent_path()));
}

TEST_F(RunControlTest, BothCameraSwitchesOffStartsNothingAndFallsBackAtTheNextTick) {
  sorter.onCamera1 = false;
  sorter.onCamera2 = false;
  RunControl& rc = make();
  rc.touchPuskSwitch();
  EXPECT_EQ(rc.threadsCreated(), 0);
  EXPECT_TRUE(rc.view().puskSwitchOn);
  EXPECT_FALSE(rc.view().programListEnabled);

  rc.Timer5sekTimer();
  EXPECT_FALSE(rc.view().puskSwitchOn);
  EXPECT_TRUE(rc.view().programListEnabled);  // PuskSwitchOff fired
  // Only the switch fell back: no stop sequence.
  EXPECT_EQ(priorities, std::vector<int>{1});
  EXPECT_FALSE(state->ejection.OutputsBlocked.load());
  EXPECT_FALSE(fs::exists(folder / "TolvaneGrain.stat"));
  EXPECT_EQ(rc.view().cameras[0].label, "Камера 1\nне найдена!");
}

TEST_F(RunControlTest, RestartAfterFallBackKeepsACameraThreadThatDeliversLines) {
  GatedCameraDriver gated(driver);
  RunControl& rc = make(&gated);
  gated.setOpen(false);
  rc.touchPuskSwitch();
  ASSERT_TRUE(waitFor([&] { return gated.waitingReaders() == 2; }));
  TCameraThread* first = rc.cameraThread(0);
  TCameraThread* second = rc.cameraThread(1);

  // Both cameras silent for a period: the switch falls back, the threads are not told to stop.
  rc.Timer5sekTimer();
  EXPECT_FALSE(rc.view().puskSwitchOn);
  EXPECT_FALSE(first->stopRequested());
  EXPECT_EQ(rc.view().cameras[0].label, "Камера 1\nостановлена");

  // The cameras deliver again; the operator starts within the same period.
  gated.setOpen(true);
  ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
  EXPECT_TRUE(rc.touchPuskSwitch());
  EXPECT_TRUE(rc.view().puskSwitchOn);
  EXPECT_EQ(rc.threadsCreated(), 2);
  EXPECT_EQ(rc.cameraThread(0), first);
  EXPECT_EQ(rc.cameraThread(1), second);
  EXPECT_TRUE(first->running());
  const auto hits = [&] {
    int n = 0;
    for (CcdCall call : driver.callSequence(0)) n += call == CcdCall::kHitTest ? 1 : 0;
    return n;
  };
  EXPECT_EQ(hits(), 1);
  control.reset();  // the threads use the gated driver
}

TEST_F(RunControlTest, RestartAfterStopReplacesAThreadWhoseLastPassCameAfterTheTick) {
  GatedCameraDriver gated(driver);
  RunControl& rc = make(&gated);
  rc.touchPuskSwitch();
  ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
  rc.Timer5sekTimer();
  gated.setOpen(false);
  ASSERT_TRUE(waitFor([&] { return gated.waitingReaders() == 2; }));
  rc.touchPuskSwitch();  // stop while both threads wait for a line
  rc.Timer5sekTimer();   // clears LineSeen ...
  gated.setOpen(true);   // ... then each thread finishes its pass, sets LineSeen and ends
  ASSERT_TRUE(waitFor([&] { return rc.cameraThread(0)->finished() && rc.cameraThread(1)->finished(); }));
  EXPECT_TRUE(bothSeen());

  // A stopped camera must not stay without a thread just because its last line was recent.
  EXPECT_TRUE(rc.touchPuskSwitch());
  EXPECT_EQ(rc.threadsCreated(), 4);
  EXPECT_TRUE(rc.cameraThread(0)->started());
  EXPECT_FALSE(rc.cameraThread(0)->stopRequested());
  ASSERT_TRUE(waitFor([&] { return driver.readCount(0) > 0; }));
  EXPECT_EQ(rc.view().cameras[0].label, "Камера 1\nработает");
  control.reset();  // the threads use the gated driver
}

TEST_F(RunControlTest, SupervisionShowsStoppedAndMissingCamerasAndClearsLineSeen) {
  state->CameraFound[0] = true;
  RunControl& rc = make();
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().cameras[0], (CameraIndicator{"Камера 1\nостановлена", true, false, false}));
  EXPECT_EQ(rc.view().cameras[1], (CameraIndicator{"Камера 2\nне найдена!", false, false, true}));

  // A camera that delivered keeps its label and lamps; the flags are cleared for the next period.
  state->LineSeen[1] = true;
  RunControlView before = rc.view();
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().cameras[1], before.cameras[1]);
  EXPECT_FALSE(state->LineSeen[1].load());
  EXPECT_FALSE(state->LineSeen[0].load());
}

TEST_F(RunControlTest, CaptionAppearsAtTheThirdTick) {
  RunControl& rc = make();
  rc.Timer5sekTimer();
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().windowCaption, "");
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().windowCaption, "Markavel v2.11R   id=4711");
  EXPECT_EQ(rc.view().mainCaption, rc.view().windowCaption);
}

TEST_F(RunControlTest, PowerOnMainsAndAt91PercentOnlyShowsTheState) {
  RunControl& rc = make();
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().powerLabel, "Питание подключено");
  power.setOnBattery(91);
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().powerLabel, "Питание ОТКЛЮЧЕНО, ИБП=91%");
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(powerOff.requestCount(), 0);
}

TEST_F(RunControlTest, PowerAt90PercentSavesThenPowersOffOnEveryTick) {
  RunControl& rc = make();
  power.setOnBattery(90);
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().powerLabel, "Питание ОТКЛЮЧЕНО, ИБП=90%");
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(powerOffsAtSave, 0);  // saved before the power-off request
  EXPECT_EQ(powerOff.requestCount(), 1);
  powerOff.setAccepting(false);
  rc.Timer5sekTimer();
  EXPECT_EQ(saves, 2);
  EXPECT_EQ(powerOff.requestCount(), 2);
  power.setOnMains();
  rc.Timer5sekTimer();
  EXPECT_EQ(powerOff.requestCount(), 2);
}

TEST_F(RunControlTest, UnknownPowerStatusNeverPowersOff) {
  RunControl& rc = make();
  rc.Timer5sekTimer();
  power.setUnknown();
  for (int i = 0; i < 3; ++i) rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().powerLabel, "Питание подключено");  // no news keeps the last state shown
  power.setStatus(PowerStatus{.known = false, .onMains = false, .lowBattery = true, .batteryPercent = 0});
  rc.Timer5sekTimer();
  EXPECT_EQ(saves, 0);
  EXPECT_EQ(powerOff.requestCount(), 0);

  // On battery with the charge not reported: shown as 255, switched off only when the UPS says low.
  power.setStatus(PowerStatus{.known = true, .onMains = false, .lowBattery = false, .batteryPercent = -1});
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().powerLabel, "Питание ОТКЛЮЧЕНО, ИБП=255%");
  EXPECT_EQ(powerOff.requestCount(), 0);
  power.setStatus(PowerStatus{.known = true, .onMains = false, .lowBattery = true, .batteryPercent = -1});
  rc.Timer5sekTimer();
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(powerOff.requestCount(), 1);
}

TEST_F(RunControlTest, ObjectTableGuardRetiresOnlyStuckRecordsOncePerMinute) {
  machine.MaxObject = 30;
  machine.MaxTime = 300;
  RunControl& rc = make();
  // The ejection clock stands at line 10000. Records 1..26 are in use: the odd ones are live
  // (due soon), the even ones were left behind 1000 lines ago (line mode took over).
  state->ejection.lastPassFineTimer = 0;
  state->ejection.lastPassClock = 10000;
  for (int k = 1; k <= 26; ++k) {
    state->ObjectTable[k].Done = 0;
    state->ObjectTable[k].DueAt = k % 2 == 1 ? 10040 : 9000;
  }
  state->ObjectCount = 26;  // MaxObject - 4 in use
  tickTo(rc, 11);
  EXPECT_EQ(objectsInUse(*state), 26);
  rc.Timer5sekTimer();
  EXPECT_EQ(objectsInUse(*state), 13);
  EXPECT_EQ(rc.objectsRetiredByGuard(), 13);
  for (int k = 1; k <= 25; k += 2)
    EXPECT_EQ(state->ObjectTable[k].Done, 0) << "live object " << k << " dropped";
  EXPECT_EQ(state->ObjectCount, 25);

  // A table that is high but mostly free is no reason to act: only records in use count.
  for (int k = 1; k <= 24; ++k) state->ObjectTable[k].Done = 1;
  state->ObjectTable[25].DueAt = 9000;
  state->ObjectCount = 29;
  for (int k = 26; k <= 29; ++k) {
    state->ObjectTable[k].Done = 0;
    state->ObjectTable[k].DueAt = 9000;
  }
  tickTo(rc, 24);
  EXPECT_EQ(objectsInUse(*state), 5);
  EXPECT_EQ(rc.objectsRetiredByGuard(), 13);
}

TEST_F(RunControlTest, TenMinuteRejectRatesThenCountersReset) {
  RunControl& rc = make();
  tickTo(rc, 119);
  EXPECT_EQ(rc.view().brakLabel, "");
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().brakLabel, "1%: 0/0     2%: 0/0");

  state->ejection.EngineCounters.values = {200, 150, 50, 3, 1, 2};
  tickTo(rc, 239);
  EXPECT_EQ(state->ejection.EngineCounters.seen(kSideA), 200);
  rc.Timer5sekTimer();
  EXPECT_EQ(rc.view().brakLabel, "1%: 75/25     2%: 33/66");
  EXPECT_EQ(state->ejection.EngineCounters.values, (std::array<std::int32_t, 6>{}));
}

TEST_F(RunControlTest, StandbyRunsTheFullTestEveryTenMinutesAndIsRefusedWhileSorting) {
  RunControl& rc = make();
  EXPECT_EQ(rc.touchWaitModeButton(), std::nullopt);
  EXPECT_TRUE(rc.WaitMode());
  tickTo(rc, 119);
  EXPECT_EQ(fullTests, 0);
  rc.Timer5sekTimer();
  EXPECT_EQ(fullTests, 1);

  // A touch on the start switch ends standby.
  rc.touchPuskSwitch();
  EXPECT_FALSE(rc.WaitMode());
  EXPECT_FALSE(rc.view().waitModeButtonOn);

  const auto message = rc.touchWaitModeButton();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(*message,
            "Режим ожидания возможен только при выключенном сканировании.\n"
            "Нажмите кнопку \"СТОП\" на вкладке \"РАБОТА\".");
  EXPECT_FALSE(rc.view().waitModeButtonOn);
  EXPECT_FALSE(rc.WaitMode());
  tickTo(rc, 240);
  EXPECT_EQ(fullTests, 1);
}

TEST_F(RunControlTest, FineTimerButtonSetsTheEngineFlag) {
  RunControl& rc = make();
  rc.FineTimerButtonOn();
  EXPECT_TRUE(state->FineTimer.load());
  rc.FineTimerButtonOff();
  EXPECT_FALSE(state->FineTimer.load());
}

TEST_F(RunControlTest, SecondTimerShowsRatesCountAndPreviews) {
  RunControl& rc = make();
  rc.Timer1Timer();
  EXPECT_EQ(rc.view().fpsLabels[0], "");  // no camera thread yet
  EXPECT_EQ(rc.view().countLabel, "");

  sorter.onCamera2 = false;
  clock.ms = 4;  // the first line's mark: 4 ms since the clock's start
  std::vector<std::uint8_t> line(kLineMonoBytes, 230);
  for (int p = 300; p <= 400; ++p) line[static_cast<std::size_t>(p - 1)] = 17;
  driver.queueLine(0, line);
  rc.touchPuskSwitch();
  ASSERT_TRUE(waitFor([&] { return rc.cameraThread(0)->LineCounter() == 1; }));
  {
    std::lock_guard lock(state->engineLock);
    state->ObjectCount = 3;
  }
  rc.Timer1Timer();
  EXPECT_EQ(rc.view().fpsLabels[0], "250000 fps; ");
  EXPECT_EQ(rc.view().fpsLabels[1], "");
  EXPECT_EQ(rc.view().countLabel, "3");
  const PreviewPoints& strip = rc.view().previewStrips[0];
  EXPECT_EQ(strip[0], (RgbPixel{230, 230, 230}));
  EXPECT_EQ(strip[170], (RgbPixel{17, 17, 17}));  // pixel 348
  EXPECT_EQ(previewPixel(170), 348);
}

TEST_F(RunControlTest, HalfSecondTimerRatiosCountsAndObjectModeGauge) {
  machine.MaxObject = 3;
  RunControl& rc = make();
  rc.Timer2Timer();
  EXPECT_EQ(rc.view().normaLabel, "% НОРМА / БРАК = 0 / 0");
  EXPECT_EQ(rc.view().cntLabel, "Камера 1 = 0\nКамера 2 = 0");

  state->ejection.EngineCounters.values = {2, 1, 1, 1, 0, 1};
  state->ObjectCount = 5;
  rc.TabSimpleWorkShow();
  rc.Timer2Timer();
  EXPECT_EQ(rc.view().normaLabel, "% НОРМА / БРАК = 33 / 66");
  EXPECT_EQ(rc.view().cntLabel, "Камера 1 = 2\nКамера 2 = 1");
  EXPECT_EQ(rc.view().gauges[0].target, 5);
  EXPECT_EQ(rc.view().gauges[0].position, 1);  // one unit per tick
  for (int i = 0; i < 5; ++i) rc.Timer2Timer();
  EXPECT_EQ(rc.view().gauges[0].position, 3);  // held at the scale
  EXPECT_EQ(rc.view().gauges[1].position, 0);  // left alone in object mode
  state->ObjectCount = 0;
  rc.Timer2Timer();
  EXPECT_EQ(rc.view().gauges[0].position, 2);

  // Counters near the 32-bit limit do not overflow the sum.
  state->ejection.EngineCounters.values = {INT32_MAX, INT32_MAX, 0, INT32_MAX, 0, INT32_MAX};
  rc.Timer2Timer();
  EXPECT_EQ(rc.view().normaLabel, "% НОРМА / БРАК = 50 / 50");
}

TEST_F(RunControlTest, HalfSecondTimerLineModeGaugesFollowObjectsPerSecond) {
  sorter.enFast = true;
  RunControl& rc = make();
  rc.TabSimpleWorkShow();
  state->ejection.EngineCounters.seen(kSideA) = 2;
  state->ejection.EngineCounters.seen(kSideB) = 1;
  rc.Timer2Timer();
  EXPECT_EQ(rc.view().gauges[0].target, 4);
  EXPECT_EQ(rc.view().gauges[1].target, 2);
  EXPECT_EQ(rc.view().gauges[0].position, 1);
  EXPECT_EQ(rc.view().gauges[1].position, 1);
  rc.Timer2Timer();  // no growth since the last tick
  EXPECT_EQ(rc.view().gauges[0].target, 0);
  EXPECT_EQ(rc.view().gauges[0].position, 0);
  state->ejection.EngineCounters.clear();  // the 10-minute reset makes the growth negative
  rc.Timer2Timer();
  EXPECT_EQ(rc.view().gauges[1].target, -2);
  EXPECT_EQ(rc.view().gauges[1].position, 0);
}

TEST(LoadGaugeTest, StepsOneUnitWithinTheScale) {
  LoadGaugeState g{.scale = 10, .position = -3, .target = -5};
  stepGauge(g);
  EXPECT_EQ(g.position, 0);
  g.target = 20;
  for (int i = 0; i < 15; ++i) stepGauge(g);
  EXPECT_EQ(g.position, 10);
  g.target = 9;
  stepGauge(g);
  stepGauge(g);
  EXPECT_EQ(g.position, 9);
}

TEST_F(RunControlTest, WorkingPageConfiguresGaugesForLineOrObjectMode) {
  machine.MaxObject = 40;
  RunControl& rc = make();
  rc.TabSimpleWorkShow();
  const RunControlView& v = rc.view();
  EXPECT_EQ(v.gauges[0].scale, 40);
  EXPECT_EQ(v.gauges[0].bandFrom, 35);
  EXPECT_EQ(v.gauges[0].bandTo, 38);
  EXPECT_EQ(v.gauges[0].x, 164);
  EXPECT_FALSE(v.gauges[1].visible);
  EXPECT_EQ(v.gauges[1].scale, 40);
  EXPECT_EQ(v.gauges[1].bandTo, 38);
  EXPECT_TRUE(v.regulatorPanelVisible);
  EXPECT_FALSE(v.lineModePanelVisible);

  sorter.enFast = true;
  rc.TabSimpleWorkShow();
  EXPECT_EQ(v.gauges[0].scale, 100);
  EXPECT_EQ(v.gauges[0].bandFrom, 70);
  EXPECT_EQ(v.gauges[0].bandTo, 90);
  EXPECT_EQ(v.gauges[0].x, 40);
  EXPECT_TRUE(v.gauges[1].visible);
  EXPECT_EQ(v.gauges[1].scale, 100);
  EXPECT_EQ(v.gauges[1].bandFrom, 70);
  EXPECT_FALSE(v.regulatorPanelVisible);
  EXPECT_TRUE(v.lineModePanelVisible);
}

TEST_F(RunControlTest, PowerOffButtonAsksTwoQuestions) {
  RunControl& rc = make();
  std::vector<std::string> asked;
  int closes = 0;
  auto answer = [&](std::vector<bool> answers) {
    return [&asked, answers, i = std::size_t{0}](std::string_view title, std::string_view question) mutable {
      EXPECT_EQ(title, "Вопрос...");
      asked.emplace_back(question);
      return answers[i++];
    };
  };
  rc.PowerOffButtomClick(answer({true}), [&] { ++closes; });
  EXPECT_EQ(asked, std::vector<std::string>{"Выключить машину?"});
  EXPECT_EQ(powerOff.requestCount(), 1);
  EXPECT_EQ(saves, 0);

  asked.clear();
  rc.PowerOffButtomClick(answer({false, true}), [&] { ++closes; });
  EXPECT_EQ(asked, (std::vector<std::string>{"Выключить машину?", "Выгрузить программу?"}));
  EXPECT_EQ(closes, 1);
  rc.PowerOffButtomClick(answer({false, false}), [&] { ++closes; });
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(powerOff.requestCount(), 1);

  EXPECT_FALSE(rc.ShutdownWindows(0));
  EXPECT_EQ(powerOff.requestCount(), 1);
  EXPECT_TRUE(rc.ShutdownWindows(12));
  EXPECT_EQ(powerOff.requestCount(), 2);
}

TEST_F(RunControlTest, StartStopSoakOnTheStreamSimulatorAtFullSpeed) {
  ProductStreamConfig config;
  config.waitForLineTime = false;
  ProductStreamSimulator simulator(config);
  ASSERT_TRUE(probeCamera(simulator, *state, 0));
  ASSERT_TRUE(probeCamera(simulator, *state, 1));
  // A sanitizer runtime starts its own helper thread with the first thread of the process; let it
  // start before counting.
  std::thread([] {}).join();
  const int threadsBefore = threadCountOfProcess();
  {
    RunControl& rc = make(&simulator);
    constexpr int kCycles = 200;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
      ASSERT_TRUE(rc.touchPuskSwitch());
      ASSERT_EQ(rc.threadsCreated(), 2 * (cycle + 1));
      ASSERT_EQ(rc.view().cameras[1].label, "Камера 2\nработает");
      ASSERT_TRUE(waitFor([&] { return bothSeen(); })) << cycle;
      rc.Timer5sekTimer();
      ASSERT_TRUE(rc.view().puskSwitchOn);
      if (cycle % 3 == 0) rc.Timer1Timer();
      rc.Timer2Timer();
      ASSERT_TRUE(rc.touchPuskSwitch());
      ASSERT_FALSE(rc.view().puskSwitchOn);
      rc.Timer5sekTimer();
    }
    EXPECT_GT(simulator.lineStats(0).delivered, static_cast<std::uint64_t>(kCycles));
    EXPECT_TRUE(state->ejection.OutputsBlocked.load());
    control.reset();
  }
  EXPECT_EQ(threadCountOfProcess(), threadsBefore);
  EXPECT_FALSE(simulator.lineStats(0).measuring);
  EXPECT_FALSE(simulator.lineStats(1).measuring);
  EXPECT_EQ(fs::file_size(folder / "TolvaneGrain.stat"), 297840u);
}

TEST_F(RunControlTest, ValveLinkDownBeyondItsTimeStopsSortingOnceAndIsShown) {
  struct Case {
    const char* name;
    bool sorting;
    bool untrusted;
    bool expectStop;
  };
  const Case cases[] = {{"sorting, link trusted", true, false, false},
                        {"sorting, link given up", true, true, true},
                        {"standing, link given up", false, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto& seen : state->LineSeen) seen.store(false);
    RunControl& rc = make();
    board.setLink("link text " + std::string(c.name), false);
    if (c.sorting) {
      rc.touchPuskSwitch();
      ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
    }
    board.setLink("link text " + std::string(c.name), c.untrusted);
    rc.Timer1Timer();
    EXPECT_EQ(rc.view().boardLinkLabel, "link text " + std::string(c.name));
    EXPECT_EQ(rc.valveLinkStops(), c.expectStop ? 1 : 0);
    EXPECT_EQ(rc.view().puskSwitchOn, c.sorting && !c.expectStop);
    if (c.expectStop) {
      // The full stop sequence, not only the switch.
      EXPECT_TRUE(rc.cameraThread(0)->stopRequested());
      EXPECT_TRUE(rc.cameraThread(1)->stopRequested());
      EXPECT_TRUE(state->ejection.OutputsBlocked.load());
      EXPECT_EQ(lastValvePortValues(), (std::array<int, 6>{}));
      EXPECT_EQ(priorities.back(), 0);
      rc.Timer1Timer();
      EXPECT_EQ(rc.valveLinkStops(), 1);
    }
    control.reset();
    board.clear();
  }
}

}  // namespace
}  // namespace tolvane

namespace tolvane {
namespace {

// A camera whose driver never returns from its read: stopping from the window waits a bounded time,
// reports the camera, closes the valves anyway, and leaves the thread to run on.
TEST_F(RunControlTest, AThreadStuckInItsReadIsLeftAfterTheBoundAndTheValvesCloseAnyway) {
  struct Case {
    const char* name;
    bool finalStop;  // stopAndJoinCameraThreads (window closing) or a restart of the camera
  };
  for (const Case& c : {Case{"window closes", true}, Case{"restart", false}}) {
    SCOPED_TRACE(c.name);
    GatedCameraDriver gated(driver);
    RunControl& rc = make(&gated);
    rc.touchPuskSwitch();
    ASSERT_TRUE(waitFor([&] { return bothSeen(); }));
    rc.Timer5sekTimer();                  // the switch takes touches again
    state->ejection.ValveStates.open(5);  // a shot in progress
    gated.setOpen(false);
    ASSERT_TRUE(waitFor([&] { return gated.waitingReaders() == 2; }));
    TCameraThread* stuck = rc.cameraThread(0);
    TCameraThread* stuckToo = rc.cameraThread(1);
    board.clear();

    const auto before = std::chrono::steady_clock::now();
    if (c.finalStop) {
      EXPECT_EQ(rc.stopAndJoinCameraThreads(), 2);
      EXPECT_EQ(rc.cameraThread(0), nullptr);
      EXPECT_EQ(rc.stopAndJoinCameraThreads(), 0);
      EXPECT_EQ(rc.threadsLeftRunning(), 2);  // the window's end keeps the machine for them
    } else {
      ASSERT_TRUE(rc.touchPuskSwitch());  // stop: the threads are asked to end but stay in their reads
      rc.Timer5sekTimer();
      ASSERT_FALSE(rc.view().puskSwitchOn);
      state->ejection.ValveStates.open(5);
      ASSERT_TRUE(rc.touchPuskSwitch());
      EXPECT_EQ(rc.cameraThread(0), stuck);  // no second thread on a camera still driven
      EXPECT_EQ(rc.threadsCreated(), 2);
    }
    // Generous: the bound is 1 s per camera; only a wait for the read would take longer.
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(20));
    EXPECT_TRUE(stuck->abandoned());
    EXPECT_FALSE(stuck->finished());
    EXPECT_EQ(rc.view().cameras[0].label, "Камера 1\nне отвечает!");
    EXPECT_TRUE(rc.view().cameras[0].redLamp);
    EXPECT_EQ(lastValvePortValues(), (std::array<int, 6>{0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(state->ejection.OutputsBlocked.load());

    // The driver returns at last: the left thread ends by itself and writes no valve open.
    gated.setOpen(true);
    // Both left threads must be done with the drivers before the fixture destroys them.
    ASSERT_TRUE(waitFor([&] { return stuck->finished() && stuckToo->finished(); }));
    EXPECT_EQ(lastValvePortValues(), (std::array<int, 6>{0, 0, 0, 0, 0, 0}));
    control.reset();  // the threads use the gated driver
  }
}

}  // namespace
}  // namespace tolvane
