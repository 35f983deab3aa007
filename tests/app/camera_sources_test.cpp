// The camera1/camera2 keys of the platform configuration: which driver serves each camera index.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/machine.h"
#include "platform/aravis_camera_driver.h"
#include "platform/product_stream_simulator.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

TEST(CameraSources, KeysOfThePlatformConfiguration) {
  struct Case {
    const char* text;
    const char* camera1;
    const char* camera2;
    bool ok;
  };
  const Case cases[] = {
      {"", "simulated", "simulated", true},
      {"camera1 = aravis:192.168.1.20\n", "aravis:192.168.1.20", "simulated", true},
      {"camera2 = aravis:Basler-123456\ncamera1 = simulated\n", "simulated", "aravis:Basler-123456", true},
      {"camera1 = aravis:\n", "", "", false},
      {"camera1 = aravis:   \n", "", "", false},
      {"camera2 = usb:0\n", "", "", false},
      {"camera1 = Aravis:10.0.0.1\n", "", "", false},
      {"camera3 = simulated\n", "", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const PlatformConfigResult result = parsePlatformConfig(c.text, nullptr);
    EXPECT_EQ(result.error.empty(), c.ok) << result.error;
    if (!c.ok) continue;
    EXPECT_EQ(result.config.cameraSources[0], c.camera1);
    EXPECT_EQ(result.config.cameraSources[1], c.camera2);
  }
  const PlatformConfigResult bad = parsePlatformConfig("camera2 = usb:0\n", nullptr);
  EXPECT_NE(bad.error.find("камера 2 \"usb:0\""), std::string::npos) << bad.error;
}

TEST(CameraSources, AnAravisCameraBesideASimulatedOne) {
  test::TempDir dir;
  for (const bool colour : {false, true}) {
    SCOPED_TRACE(colour ? "colour" : "single-tone");
    PlatformConfig config;
    config.cameras = colour ? "colour" : "single-tone";
    config.cameraSources = {"aravis: 10.0.0.7", "simulated"};
    std::string error;
    std::optional<MachineParts> parts = machinePartsFromConfig(config, dir / "TolvaneGrain", error);
    ASSERT_TRUE(parts.has_value()) << error;
    const auto* pair = dynamic_cast<CameraPair*>(parts->cameras.get());
    ASSERT_NE(pair, nullptr);
    const auto* aravis = dynamic_cast<AravisCameraDriver*>(pair->driver(0));
    ASSERT_NE(aravis, nullptr);
    EXPECT_EQ(aravis->config().device, "10.0.0.7");
    EXPECT_EQ(aravis->config().colour, colour);
    const auto* simulator = dynamic_cast<ProductStreamSimulator*>(pair->driver(1));
    ASSERT_NE(simulator, nullptr);
    EXPECT_EQ(simulator->config().colour, colour);
    std::int32_t second = 1;
    EXPECT_TRUE(ccdSucceeded(parts->cameras->CCD_Init(nullptr, 0, &second)));
    EXPECT_TRUE(aravisCounters(*parts->cameras, 0).has_value());
    EXPECT_FALSE(aravisCounters(*parts->cameras, 1).has_value());
  }
  // Both simulated: the one simulator serves both, as before.
  PlatformConfig simulated;
  std::string error;
  std::optional<MachineParts> parts = machinePartsFromConfig(simulated, dir / "TolvaneGrain", error);
  ASSERT_TRUE(parts.has_value()) << error;
  EXPECT_NE(dynamic_cast<ProductStreamSimulator*>(parts->cameras.get()), nullptr);

  PlatformConfig broken;
  broken.cameraSources = {"simulated", "gige:1"};
  EXPECT_FALSE(machinePartsFromConfig(broken, dir / "TolvaneGrain", error).has_value());
  EXPECT_NE(error.find("\"gige:1\""), std::string::npos) << error;
}

TEST(CameraSources, LineRateAndLinesPerFrameKeys) {
  struct Case {
    const char* text;
    int rate;
    int simulatedFrame;  // lines per frame of a simulated and of a GenICam camera; 0: refused
    int aravisFrame;
    const char* problem;  // part of the message when refused
  };
  const Case cases[] = {
      {"", 10000, 1, 64, ""},
      {"line_rate = 19999\n", 19999, 1, 64, ""},
      {"line_rate = 20000\n", 20000, 64, 64, ""},
      {"line_rate = 100000\nlines_per_frame = 1\n", 100000, 1, 1, ""},
      {"lines_per_frame = 4096\nline_rate = 1\n", 1, 4096, 4096, ""},
      {"line_rate = 0\n", 0, 0, 0, "line_rate \"0\": возможно 1 ... 1000000 (строка 1)"},
      {"# rate\nline_rate = 1000001\n", 0, 0, 0, "line_rate \"1000001\""},
      {"line_rate = 1e5\n", 0, 0, 0, "(строка 1)"},
      {"line_rate = быстро\n", 0, 0, 0, "line_rate \"быстро\""},
      {"line_rate = 40000\nlines_per_frame = 0\n", 0, 0, 0,
       "lines_per_frame \"0\": возможно 1 ... 4096 (строка 2)"},
      {"lines_per_frame = 4097\n", 0, 0, 0, "lines_per_frame \"4097\""},
      {"lines_per_frame = 64.5\n", 0, 0, 0, "lines_per_frame"},
      {"lines_per_frame =\n", 0, 0, 0, "lines_per_frame"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const PlatformConfigResult result = parsePlatformConfig(c.text, nullptr);
    if (c.simulatedFrame == 0) {
      EXPECT_NE(result.error.find(c.problem), std::string::npos) << result.error;
      continue;
    }
    ASSERT_TRUE(result.error.empty()) << result.error;
    EXPECT_EQ(result.config.lineRate, c.rate);
    EXPECT_EQ(cameraLinesPerFrame(result.config, false), c.simulatedFrame);
    EXPECT_EQ(cameraLinesPerFrame(result.config, true), c.aravisFrame);
  }
}

TEST(CameraSources, LineRateReachesBothKindsOfCamera) {
  test::TempDir dir;
  PlatformConfig config;
  config.cameraSources = {"aravis:10.0.0.7", "simulated"};
  config.lineRate = 40000;
  std::string error;
  std::optional<MachineParts> parts = machinePartsFromConfig(config, dir / "TolvaneGrain", error);
  ASSERT_TRUE(parts.has_value()) << error;
  const auto* pair = dynamic_cast<CameraPair*>(parts->cameras.get());
  ASSERT_NE(pair, nullptr);
  const auto* aravis = dynamic_cast<AravisCameraDriver*>(pair->driver(0));
  const auto* simulator = dynamic_cast<ProductStreamSimulator*>(pair->driver(1));
  ASSERT_TRUE(aravis != nullptr && simulator != nullptr);
  EXPECT_EQ(aravis->config().lineRateHz, 40000);
  EXPECT_EQ(aravis->config().linesPerFrame, 64);
  EXPECT_EQ(simulator->config().lineRateHz, 40000);
  EXPECT_EQ(simulator->config().linesPerFrame, 64);

  // Filled in by hand beyond what the file allows: refused, nothing built.
  for (const auto& [rate, frame, key] :
       {std::tuple{0, 0, "line_rate"}, std::tuple{10000, 5000, "lines_per_frame"}}) {
    PlatformConfig bad;
    bad.lineRate = rate;
    bad.linesPerFrame = frame;
    EXPECT_FALSE(machinePartsFromConfig(bad, dir / "TolvaneGrain", error).has_value());
    EXPECT_NE(error.find(key), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tolvane
