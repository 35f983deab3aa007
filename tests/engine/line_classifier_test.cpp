#include "engine/line_classifier.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <random>

#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "wide_vectors_guard.h"

namespace tolvane {
namespace {

class LineClassifierTest : public ::testing::Test {
 protected:
  LineClassifierTest() {
    for (int j = 1; j <= kEjectorSlots; ++j) {
      state->ejection.EjectorZones[j] = {40 * (j - 1) + 1, 40 * j + 1, 40 * (j - 1) + 5, 40 * j + 5};
    }
  }
  void prepare(CameraLineState& c) {
    setWorkingRange(c, state->ejection, machine);
    prepareClassifier(c, *state, sorter, machine);
  }

  // Classifies cam's line the fast way and twin's the direct way: classes, shaded lines and zone
  // counts must agree.
  testing::AssertionResult fastEqualsDirect(CameraLineState& twin, LinePath path, bool shading) {
    std::array<std::int32_t, kEjectorSlots + 1> zonesFast{};
    std::array<std::int32_t, kEjectorSlots + 1> zonesDirect{};
    classifyLine(*cam, path, shading, zonesFast.data());
    classifyLineDirect(twin, path, shading, classifierInputs(*state, sorter, 0),
                       backgroundShortcuts(sorter, machine, 0), zonesDirect.data());
    if (cam->ClassMap != twin.ClassMap) return testing::AssertionFailure() << "classes differ";
    if (cam->LineRGB != twin.LineRGB) return testing::AssertionFailure() << "colour lines differ";
    if (cam->LineMono != twin.LineMono) return testing::AssertionFailure() << "grey lines differ";
    if (zonesFast != zonesDirect) return testing::AssertionFailure() << "zone counts differ";
    return testing::AssertionSuccess();
  }

  std::unique_ptr<EngineState> state = std::make_unique<EngineState>();
  std::unique_ptr<CameraLineState> cam = std::make_unique<CameraLineState>(0);
  SorterSettings sorter;
  MachineSettings machine;
};

TEST_F(LineClassifierTest, WorkingRangeFromTheFirstAndLastWorkingEjector) {
  machine.EGA_Min = 3;
  machine.EGA_Max = 10;
  machine.EGB_Min = 2;
  machine.EGB_Max = 48;
  setWorkingRange(*cam, state->ejection, machine);
  EXPECT_EQ(cam->WorkFirstPixel, 81);
  EXPECT_EQ(cam->WorkLastPixel, 401);
  CameraLineState two(1);
  setWorkingRange(two, state->ejection, machine);
  EXPECT_EQ(two.WorkFirstPixel, 45);
  EXPECT_EQ(two.WorkLastPixel, 1925);
}

TEST_F(LineClassifierTest, UncalibratedZonesGiveTheSinglePositionZero) {
  state->ejection.EjectorZones = {};
  prepare(*cam);
  EXPECT_EQ(cam->WorkFirstPixel, 0);
  EXPECT_EQ(cam->WorkLastPixel, 0);
  cam->LineMono.fill(100);
  classifyLine(*cam, LinePath::kMonoObject, false, nullptr);
  EXPECT_EQ(cam->ClassMap[0], kClassColour1);
  EXPECT_EQ(cam->ClassMap[1], 0);
}

TEST_F(LineClassifierTest, DamagedZonesAndEjectorNumbersStayInsideTheBuffers) {
  state->ejection.EjectorZones[1].aStart = -50;
  state->ejection.EjectorZones[48].aEnd = 99999;
  prepare(*cam);
  EXPECT_EQ(cam->WorkFirstPixel, 0);
  EXPECT_EQ(cam->WorkLastPixel, kLineBufferPixels);
  cam->LineMono.fill(100);
  classifyLine(*cam, LinePath::kMonoObject, true, nullptr);
  EXPECT_EQ(cam->ClassMap[kLineBufferPixels], kClassColour1);

  machine.EGA_Min = 0;
  machine.EGA_Max = 97;
  setWorkingRange(*cam, state->ejection, machine);
  EXPECT_EQ(cam->WorkFirstPixel, 0);
  EXPECT_EQ(cam->WorkLastPixel, 0);
}

TEST_F(LineClassifierTest, OnlyTheWorkingRangeIsClassifiedInclusively) {
  machine.EGA_Min = 2;
  machine.EGA_Max = 3;  // pixels 41..121
  prepare(*cam);
  cam->ClassMap.fill(9);
  cam->LineMono.fill(100);
  classifyLine(*cam, LinePath::kMonoObject, false, nullptr);
  EXPECT_EQ(cam->ClassMap[40], 9);
  EXPECT_EQ(cam->ClassMap[41], kClassColour1);
  EXPECT_EQ(cam->ClassMap[121], kClassColour1);
  EXPECT_EQ(cam->ClassMap[122], 9);
}

TEST_F(LineClassifierTest, MonoShadingIsClampedAndWrittenBack) {
  fillShadingTables(*cam);
  prepare(*cam);
  cam->LineMono.fill(190);
  cam->LineMono[1024] = 20;
  classifyLine(*cam, LinePath::kMonoObject, true, nullptr);
  EXPECT_EQ(cam->LineMono[1], 234);    // 190 + 44
  EXPECT_EQ(cam->ClassMap[1], 0);      // background once shaded
  EXPECT_EQ(cam->LineMono[1024], 20);  // + 0
  EXPECT_EQ(cam->LineMono[1280], 193);
  EXPECT_EQ(cam->ClassMap[1280], kClassColour2);
  cam->LineMono.fill(250);
  classifyLine(*cam, LinePath::kMonoObject, true, nullptr);
  EXPECT_EQ(cam->LineMono[1], 255);  // clamped
  // Without shading the line stays as read.
  cam->LineMono.fill(190);
  classifyLine(*cam, LinePath::kMonoObject, false, nullptr);
  EXPECT_EQ(cam->LineMono[1], 190);
  EXPECT_EQ(cam->ClassMap[1], kClassColour2);
}

TEST_F(LineClassifierTest, ColourShortcutsComeFirstAndShadingIsPerByte) {
  state->singleToneCamera = false;
  state->sectorTables[0].red.push_back(ColorSector{true, 1, 1, 0, 360, 0, 255, 0, 255});
  sorter.enFonBlack = true;
  machine.BlackFon = {50, 0};
  fillShadingTables(*cam);
  prepare(*cam);
  for (int p = 0; p <= kLineBufferPixels; ++p) {
    std::uint8_t* px = cam->rgb(p);
    px[0] = 200;
    px[1] = 10;
    px[2] = 10;
  }
  std::uint8_t* dark = cam->rgb(1280);
  dark[0] = 60;  // 60 - 35 = 25: 0.3 * 25 + 0.6 * 0 + 0.1 * 0 < 50 -> background
  classifyLine(*cam, LinePath::kColourObject, true, nullptr);
  EXPECT_EQ(cam->rgb(1)[0], 247);
  EXPECT_EQ(cam->rgb(1)[1], 57);
  EXPECT_EQ(cam->rgb(1280)[1], 0);
  EXPECT_EQ(cam->ClassMap[1], kClassColour1);
  EXPECT_EQ(cam->ClassMap[1280], kClassBackground);
}

TEST_F(LineClassifierTest, SingleToneLineModeClassifiesTheRawGreyLineButShadesTheColourLine) {
  fillShadingTables(*cam);
  buildPixelEjector(*cam, state->ejection, machine);
  prepare(*cam);
  cam->LineMono.fill(190);  // colour 2 unshaded, background after shading at the edges
  cam->LineRGB.fill(100);
  std::array<std::int32_t, kEjectorSlots + 1> zones{};
  classifyLine(*cam, LinePath::kLineMode, true, zones.data());
  EXPECT_EQ(cam->ClassMap[1], kClassColour2);
  EXPECT_EQ(cam->LineMono[1], 190);
  EXPECT_EQ(cam->rgb(1)[0], 147);
  EXPECT_EQ(zones[1], 40);   // pixels 1..40
  EXPECT_EQ(zones[48], 40);  // pixels 1881..1920
  EXPECT_EQ(zones[0], 1);    // pixel 1921 (end of ejector 48's zone) lies in no zone
}

TEST_F(LineClassifierTest, ZoneCountsTakeOnlyNonBackgroundPixels) {
  buildPixelEjector(*cam, state->ejection, machine);
  prepare(*cam);
  cam->LineMono.fill(230);
  for (int p = 41; p <= 51; ++p) cam->LineMono[static_cast<std::size_t>(p)] = 30;
  std::array<std::int32_t, kEjectorSlots + 1> zones{};
  classifyLine(*cam, LinePath::kLineMode, false, zones.data());
  EXPECT_EQ(zones[2], 11);
  EXPECT_EQ(zones[1], 0);
  EXPECT_EQ(zones[3], 0);
}

// The fast path against the direct one, for all three paths, both builds and shading on/off.
TEST_F(LineClassifierTest, FastPathEqualsDirectClassificationOnRandomLines) {
  state->sectorTables[0].background.push_back(ColorSector{true, -1, 1, 180, 260, 40, 255, 100, 255});
  state->sectorTables[0].red.push_back(ColorSector{true, 1, 2, 330, 50, 60, 255, 30, 255});
  state->sectorTables[0].blue.push_back(ColorSector{true, 2, 3, 50, 170, 20, 255, 20, 255});
  sorter.enFonBlue = true;
  machine.FRmin = 0;
  machine.FRmax = 40;
  machine.FGmin = 0;
  machine.FGmax = 255;
  machine.FBmin = 200;
  machine.FBmax = 255;
  sorter.enFonBlack = true;
  machine.BlackFon = {30, 30};
  sorter.FonBlack = {15, 15};
  fillShadingTables(*cam);
  buildPixelEjector(*cam, state->ejection, machine);
  auto twin = std::make_unique<CameraLineState>(0);
  fillShadingTables(*twin);
  buildPixelEjector(*twin, state->ejection, machine);
  cam->classifier.enableColourTable();

  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (const bool wide : {true, false}) {
    const WideVectorsGuard guard(wide);
    SCOPED_TRACE(wide ? "AVX2 where present" : "SSE2");
    for (int round = 0; round < 24; ++round) {
      state->singleToneCamera = round % 2 == 0;
      state->BrightMode = round % 6 == 5;
      state->SingleChannel = round % 4;
      const bool shading = round % 3 != 0;
      const auto path = static_cast<LinePath>(round % 3);
      for (std::size_t i = 0; i < cam->LineRGB.size(); ++i)
        cam->LineRGB[i] = static_cast<std::uint8_t>(byte(rng));
      for (std::size_t i = 0; i < cam->LineMono.size(); ++i)
        cam->LineMono[i] = static_cast<std::uint8_t>(byte(rng));
      twin->LineRGB = cam->LineRGB;
      twin->LineMono = cam->LineMono;

      prepare(*cam);
      setWorkingRange(*twin, state->ejection, machine);
      ASSERT_TRUE(fastEqualsDirect(*twin, path, shading)) << "round " << round;
    }
  }
}

// The block-wise brightness test against ClassifyPixel: bounds outside 0..255, extreme shading,
// ragged ends of the working range.
TEST_F(LineClassifierTest, GreyBlocksEqualDirectClassificationForRandomRangesAndShading) {
  std::mt19937 rng(23);
  std::uniform_int_distribution<int> bound(-20, 275);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> signedByte(-128, 127);
  buildPixelEjector(*cam, state->ejection, machine);
  auto twin = std::make_unique<CameraLineState>(0);
  twin->PixelEjector = cam->PixelEjector;
  for (const bool wide : {true, false}) {
    const WideVectorsGuard guard(wide);
    SCOPED_TRACE(wide ? "AVX2 where present" : "SSE2");
    for (int round = 0; round < 300; ++round) {
      for (auto* pair : {&sorter.FonBlack, &sorter.FonLight, &sorter.FonMin, &sorter.FonMax, &sorter.P1Min,
                         &sorter.P1Max, &sorter.P2Min, &sorter.P2Max}) {
        (*pair)[0] = bound(rng);
      }
      state->singleToneCamera = round % 5 != 0;
      state->BrightMode = true;
      state->SingleChannel = 1 + round % 3;
      for (auto& v : cam->LineMono) v = static_cast<std::uint8_t>(byte(rng));
      for (auto& v : cam->ShadingMono) v = static_cast<std::int8_t>(signedByte(rng));
      twin->LineMono = cam->LineMono;
      twin->ShadingMono = cam->ShadingMono;
      twin->LineRGB = cam->LineRGB;
      twin->ShadingRGB = cam->ShadingRGB;
      prepare(*cam);
      cam->WorkFirstPixel = static_cast<int>(rng() % 40);
      cam->WorkLastPixel = kLineBufferPixels - static_cast<int>(rng() % 40);
      twin->WorkFirstPixel = cam->WorkFirstPixel;
      twin->WorkLastPixel = cam->WorkLastPixel;
      const bool shading = round % 2 == 0;
      const LinePath path = round % 3 == 0 ? LinePath::kLineMode : LinePath::kMonoObject;
      ASSERT_TRUE(fastEqualsDirect(*twin, path, shading)) << "round " << round;
    }
  }
}

}  // namespace
}  // namespace tolvane
