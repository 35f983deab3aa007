// Two camera threads and a UI thread on one engine, as the program runs them: each camera analyses
// its own line under the engine lock, camera 1 also runs the ejection step, and the UI flips flags,
// polls counters and saves the line dump without the lock. Meant for ThreadSanitizer runs.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "engine/ejection_step.h"
#include "engine/object_tracker.h"
#include "engine/product_curtain.h"
#include "engine_test_rig.h"

namespace tolvane {
namespace {

using testing_rig::Rig;

TEST(EngineThreadsTest, CamerasAndUiShareTheEngineUnderTheLock) {
  Rig rig;
  rig.machine.MaxObject = 200;
  rig.state->ScanExamSwitch = true;
  rig.state->SampleNormButton = true;
  rig.state->CheckBox5 = true;
  {
    std::lock_guard guard(rig.state->engineLock);
    rig.state->lineDump.enable();
  }
  const auto folder =
      std::filesystem::temp_directory_path() / ("tolvane_threads_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);

  constexpr int kLines = 2500;
  std::atomic<int> camerasDone{0};
  auto camera = [&](int c) {
    CurtainOptions options;
    options.seed = 40 + static_cast<std::uint64_t>(c);
    ProductCurtain curtain(options);
    CameraLineState& cs = rig.camera(c);
    for (int line = 0; line < kLines; ++line) {
      // The thread owns its buffers while it reads a line.
      curtain.nextMonoLine(cs.LineMono);
      {
        std::lock_guard guard(rig.state->engineLock);
        analyseLine(*rig.state, cs, rig.sorter, rig.machine, rig.cam[0]->LineCounter.load());
        cs.countLine();
        if (c == 0) {
          objectModeEjectionStep(*rig.state, rig.sorter, rig.machine, cs.LineCounter.load());
        }
      }
      rig.state->LineSeen[static_cast<std::size_t>(c)].store(true);
    }
    camerasDone.fetch_add(1);
  };

  std::thread one(camera, 0);
  std::thread two(camera, 1);
  std::uint64_t samplesSeen = 0;
  int dumpsSaved = 0;
  int round = 0;
  while (camerasDone.load() < 2) {
    ++round;
    samplesSeen = rig.state->SamplesCaptured[0].load() + rig.state->SamplesCaptured[1].load();
    rig.state->ColorTune.store(round % 2 == 0);
    if (rig.state->lineDump.saveWaiting(folder)) {
      ++dumpsSaved;
    }
    {
      std::lock_guard guard(rig.state->engineLock);
      if (round % 50 == 0) {
        // Supervision empties an overfull table; the operator frees sample slots.
        if (rig.state->ObjectCount > rig.machine.MaxObject - 5) rig.state->ObjectCount = 0;
        for (int s = 0; s < 12; ++s) rig.state->SampleTable[s].InUse = 0;
      }
    }
    std::this_thread::yield();
  }
  one.join();
  two.join();
  if (rig.state->lineDump.saveWaiting(folder)) {
    ++dumpsSaved;
  }

  EXPECT_EQ(rig.cam[0]->LineCounter.load(), kLines);
  EXPECT_EQ(rig.cam[1]->LineCounter.load(), kLines);
  EXPECT_GT(rig.state->SamplesCaptured[0].load() + rig.state->SamplesCaptured[1].load(), 0u);
  EXPECT_GE(rig.state->SamplesCaptured[0].load() + rig.state->SamplesCaptured[1].load(), samplesSeen);
  EXPECT_GE(dumpsSaved, 1);  // 5000 lines with runs fill the 800-row picture several times
  EXPECT_TRUE(rig.state->LineSeen[0].load());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tolvane
