#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "engine/engine_state.h"
#include "engine/line_classifier.h"
#include "settings/machine_settings.h"
#include "settings/preset_setups.h"

namespace tolvane {
namespace {

// The two line-mode presets on a single-tone line: the plate and good product on the plate's side of
// the level count nothing, an inclusion past the level fires its ejector.
class PresetLineModeTest : public ::testing::Test {
 protected:
  PresetLineModeTest() {
    for (int j = 1; j <= kEjectorSlots; ++j) {
      state->ejection.EjectorZones[j] = {40 * (j - 1) + 1, 40 * j + 1, 40 * (j - 1) + 5, 40 * j + 5};
    }
  }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  std::unique_ptr<CameraLineState> cam = std::make_unique<CameraLineState>(0);
  SorterSettings sorter;
  MachineSettings machine;
};

TEST_F(PresetLineModeTest, OnlyInclusionsPastTheLevelFire) {
  struct Case {
    const char* what;
    std::size_t preset;
    std::uint8_t plate, goodProduct, inclusion;
  };
  const Case cases[] = {
      {"dark plate: dark product, light inclusion", 8, 20, 45, 120},
      {"light plate: light product, dark inclusion", 9, 240, 225, 90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConditionSwitches board;
    board.load(sorter);
    applyPreset(c.preset, sorter, board);
    ASSERT_TRUE(sorter.enFast);
    buildPixelEjector(*cam, state->ejection, machine);
    setWorkingRange(*cam, state->ejection, machine);
    prepareClassifier(*cam, *state, sorter, machine);

    cam->LineMono.fill(c.plate);
    for (int p = 81; p <= 120; ++p) cam->LineMono[static_cast<std::size_t>(p)] = c.goodProduct;  // zone 3
    for (int p = 161; p <= 171; ++p) cam->LineMono[static_cast<std::size_t>(p)] = c.inclusion;   // zone 5
    for (int p = 201; p <= 210; ++p) cam->LineMono[static_cast<std::size_t>(p)] = c.inclusion;   // zone 6
    std::array<std::int32_t, kEjectorSlots + 1> zones{};
    classifyLine(*cam, LinePath::kLineMode, false, zones.data());

    EXPECT_EQ(zones[1], 0) << "plate";
    EXPECT_EQ(zones[3], 0) << "good product";
    EXPECT_EQ(zones[5], 11);
    EXPECT_GT(zones[5], sorter.ifFast) << "11 points fire";
    EXPECT_EQ(zones[6], 10);
    EXPECT_LE(zones[6], sorter.ifFast) << "10 points do not";
  }
}

}  // namespace
}  // namespace tolvane
