// The machine's camera kind from its platform configuration to the engine, the program load and the
// pages; the picture fill of a single-tone machine following the background levels; camera 1's line
// copied out for the UI.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/page_one_chanal.h"
#include "app/page_one_chanal_controller.h"
#include "app/page_simple_work.h"
#include "app/page_work.h"
#include "app/page_work_controller.h"
#include "tests/app/main_window_rig.h"
#include "ui/tas_switch.h"

namespace tolvane {
namespace {

using test::touch;
using test::WindowRig;

TEST(MachineKind, CamerasKeyOfThePlatformConfiguration) {
  struct Case {
    const char* text;
    const char* cameras;  // expected value, or null when the text is refused
    const char* named;    // what the message names
  };
  const Case cases[] = {
      {"", "single-tone", ""},
      {"cameras = colour\n", "colour", ""},
      {"cameras=single-tone # as delivered\n", "single-tone", ""},
      {"hardware = simulated\ncameras = colour\npower = sysfs\n", "colour", ""},
      {"cameras = color\n", nullptr, "\"color\""},
      {"cameras = Colour\n", nullptr, "\"Colour\""},
      {"cameras =\n", nullptr, "\"\""},
      {"camera = colour\n", nullptr, "\"camera\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const PlatformConfigResult result = parsePlatformConfig(c.text, nullptr);
    if (c.cameras != nullptr) {
      EXPECT_TRUE(result.error.empty()) << result.error;
      EXPECT_EQ(result.config.cameras, c.cameras);
    } else {
      EXPECT_NE(result.error.find(c.named), std::string::npos) << result.error;
      EXPECT_NE(result.error.find("TolvaneGrain.platform"), std::string::npos) << result.error;
    }
  }
}

TEST(MachineKind, PartsAndSimulatedCamerasFollowTheKind) {
  test::TempDir dir;
  for (const bool colour : {false, true}) {
    PlatformConfig config;
    config.cameras = colour ? "colour" : "single-tone";
    std::string error;
    std::optional<MachineParts> parts = machinePartsFromConfig(config, dir / "TolvaneGrain", error);
    ASSERT_TRUE(parts.has_value()) << error;
    EXPECT_EQ(parts->singleToneCamera, !colour);
    const auto* simulator = dynamic_cast<ProductStreamSimulator*>(parts->cameras.get());
    ASSERT_NE(simulator, nullptr);
    EXPECT_EQ(simulator->config().colour, colour);

    Machine machine(std::move(*parts));
    EXPECT_EQ(machine.singleToneCamera(), !colour);
    EXPECT_EQ(machine.engine().singleToneCamera, !colour);
  }
  PlatformConfig odd;
  odd.cameras = "both";
  std::string error;
  EXPECT_FALSE(machinePartsFromConfig(odd, dir / "TolvaneGrain", error).has_value());
  EXPECT_NE(error.find("\"both\""), std::string::npos);
}

// A program's own BrightMode reaches the engine and the page only with colour cameras.
TEST(MachineKind, BrightModeSwitchAndChannelSwitchesByKind) {
  struct Case {
    bool singleTone;
    const char* brightMode;  // as the program holds it
    bool on;
    bool enabled;
    const char* caption;
    bool channelsShown;
  };
  const Case cases[] = {
      {true, "0", true, false, "Монохромная|камера", false},
      {true, "1", true, false, "Монохромная|камера", false},
      {false, "0", false, true, "Однотонный|режим", true},
      {false, "1", true, true, "Однотонный|режим", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.singleTone ? "single-tone" : "colour") + ", BrightMode=" + c.brightMode);
    WindowRig rig({.singleToneCamera = c.singleTone});
    rig.writeSettings(std::string(test::kTwoCameraSettings) + "BrightMode=" + c.brightMode + "\r\nOCG=1\r\n");
    TmForm& form = rig.create();
    test::stopTimers(form);
    EXPECT_EQ(rig.machine().engine().singleToneCamera, c.singleTone);
    EXPECT_EQ(rig.machine().sorter().BrightMode, c.on);
    EXPECT_EQ(rig.machine().engine().BrightMode.load(), c.on);
    TasSwitch* bright = form.tabWork()->BrightModeButton;
    EXPECT_EQ(bright->stateOn(), c.on);
    EXPECT_EQ(bright->isEnabled(), c.enabled);
    EXPECT_EQ(bright->caption().toStdString(), c.caption);
    PageOneChanal* page = form.tabOneChanal();
    for (TasSwitch* channel : {page->OC_R_Button, page->OC_G_Button, page->OC_B_Button}) {
      EXPECT_EQ(channel->isHidden(), !c.channelsShown);
    }
    EXPECT_TRUE(page->OC_G_Button->stateOn());
    EXPECT_EQ(rig.machine().engine().SingleChannel.load(), 2);

    // A second load (the same program again) gives the same picture.
    ASSERT_FALSE(rig.machine().switchProgram(0).has_value());
    form.workController().showProgram();
    EXPECT_EQ(bright->stateOn(), c.on);
    EXPECT_EQ(bright->isEnabled(), c.enabled);
  }
}

FillColour fillOf(Machine& machine) {
  std::lock_guard lock(machine.engine().engineLock);
  return machine.engine().BackgroundFill;
}

// The picture fill of a single-tone machine follows camera 1's levels from the start and at every
// step, here and on the working page, without any background sector; a colour machine's fill follows
// its background sectors only.
TEST(MachineKind, SingleToneFillFollowsTheBackgroundLevels) {
  constexpr FillColour kWhite{255, 255, 255};
  constexpr FillColour kBlack{0, 0, 0};
  for (const bool singleTone : {true, false}) {
    SCOPED_TRACE(singleTone ? "single-tone" : "colour");
    WindowRig rig({.singleToneCamera = singleTone});
    // 255 - 200 = 55: not less than FonBlack 55, so white (a light plate).
    rig.writeSettings(std::string(test::kTwoCameraSettings) + "FonBlack=55\r\nFonLight=200\r\n");
    TmForm& form = rig.create();
    test::stopTimers(form);
    form.oneChanalController().bindWorkingPageLevels(*form.tabSimpleWork());
    const FillColour start = fillOf(rig.machine());
    if (singleTone) {
      EXPECT_EQ(start, kWhite);
    }

    struct Step {
      TasSwitch* arrow;
      FillColour fill;  // single-tone
    };
    PageOneChanal* page = form.tabOneChanal();
    PageSimpleWork* work = form.tabSimpleWork();
    const Step steps[] = {
        {page->ranges[0].fonBlack.right, kBlack},  // FonBlack 56
        {work->blackLevels[0].left, kWhite},       // 55 again, from the working page
        {page->ranges[0].fonLight.right, kBlack},  // FonLight 201: 54 < 55
        {work->lightLevels[0].left, kWhite},       // 200
        {page->ranges[1].fonBlack.right, kWhite},  // camera 2's levels play no part
        {work->blackLevels[0].right, kBlack},      // 56
    };
    for (const Step& step : steps) {
      touch(step.arrow);
      EXPECT_EQ(fillOf(rig.machine()), singleTone ? step.fill : start)
          << step.arrow->objectName().toStdString();
    }
  }
}

TEST(MachineKind, ReadoutLineCopiesCameraOnesCurrentLine) {
  for (const bool singleTone : {true, false}) {
    SCOPED_TRACE(singleTone ? "single-tone" : "colour");
    WindowRig rig({.singleToneCamera = singleTone});
    rig.writeSettings(test::kTwoCameraSettings);
    TmForm& form = rig.create();
    test::stopTimers(form);
    std::vector<std::uint8_t> line{7};
    EXPECT_FALSE(rig.machine().copyReadoutLine(line));
    EXPECT_EQ(line, std::vector<std::uint8_t>{7}) << "unchanged while nothing was published";

    touch(form.tabSimpleWork()->PuskSwitch);
    ASSERT_TRUE(rig.machine().run().view().puskSwitchOn);
    QTRY_VERIFY_WITH_TIMEOUT(rig.machine().copyReadoutLine(line), 20000);
    ASSERT_EQ(line.size(), kLineElements * 3);
    // The simulated plate: grey 230 on single-tone cameras, blue-ish (60, 90, 200) on colour ones.
    int plate = 0;
    for (int p = 1; p <= kPixelsPerLine; ++p) {
      const std::uint8_t* px = line.data() + 3 * static_cast<std::size_t>(p);
      if (singleTone) {
        ASSERT_TRUE(px[0] == px[1] && px[1] == px[2]) << "pixel " << p;
        plate += px[0] >= 220 ? 1 : 0;
      } else {
        plate += px[2] > px[0] + 100 ? 1 : 0;
      }
    }
    EXPECT_GT(plate, kPixelsPerLine / 2);
  }
}

}  // namespace
}  // namespace tolvane
