#include "engine/camera_line_state.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/engine_state.h"
#include "settings/machine_settings.h"

namespace tolvane {
namespace {

TEST(ShadingTest, ValuesAtTheMarkedPixels) {
  for (int camera : {0, 1}) {
    EXPECT_EQ(colourShading(camera, 1), 47);
    EXPECT_EQ(colourShading(camera, 1024), -32);
    EXPECT_EQ(colourShading(camera, 1280), -35);
    EXPECT_EQ(colourShading(camera, 2048), -6);
  }
  EXPECT_EQ(monoShading(0, 1), 44);
  EXPECT_EQ(monoShading(0, 1024), 0);
  EXPECT_EQ(monoShading(0, 1280), 3);
  EXPECT_EQ(monoShading(0, 2048), 44);
  EXPECT_EQ(monoShading(1, 1), 35);
  EXPECT_EQ(monoShading(1, 1024), -35);
  EXPECT_EQ(monoShading(1, 1280), -31);
  EXPECT_EQ(monoShading(1, 2048), 35);
}

TEST(ShadingTest, ExactHalvesRoundToEven) {
  // (p - 1280)^2 / 20000 = 0.5 at p = 1180 and 1380: -34.5 -> -34.
  EXPECT_EQ(colourShading(0, 1180), -34);
  EXPECT_EQ(colourShading(0, 1380), -34);
  // The single-tone formulas have no exact halves; they are symmetric about pixel 1024.
  EXPECT_EQ(monoShading(0, 1024 - 300), monoShading(0, 1024 + 300));
}

TEST(ShadingTest, TablesHoldTheFormulaForPixels1To2048AndZeroElsewhere) {
  auto cam = std::make_unique<CameraLineState>(1);
  cam->ShadingMono.fill(99);
  cam->ShadingRGB.fill(99);
  fillShadingTables(*cam);
  EXPECT_EQ(cam->ShadingMono[0], 0);
  EXPECT_EQ(cam->ShadingMono[1], 35);
  EXPECT_EQ(cam->ShadingMono[2049], 0);
  EXPECT_EQ(cam->ShadingMono[4096], 0);
  EXPECT_EQ(cam->ShadingRGB[3 * 1024], -32);
  EXPECT_EQ(cam->ShadingRGB[3 * 1024 + 1], -32);
  EXPECT_EQ(cam->ShadingRGB[3 * 1024 + 2], -32);
  EXPECT_EQ(cam->ShadingRGB[3 * 2049], 0);
  EXPECT_EQ(cam->ShadingRGB[2], 0);
}

TEST(PixelEjectorTest, LaterEjectorsWinAndOnlyTheCamerasSideAndRangeCount) {
  auto state = std::make_unique<EngineState>();
  MachineSettings machine;
  machine.EGA_Min = 2;
  machine.EGA_Max = 3;
  machine.EGB_Min = 1;
  machine.EGB_Max = 1;
  EjectorZone& z1 = state->ejection.EjectorZones[1];
  z1 = {0, 100, 500, 600};
  EjectorZone& z2 = state->ejection.EjectorZones[2];
  z2 = {100, 200, 0, 0};
  EjectorZone& z3 = state->ejection.EjectorZones[3];
  z3 = {150, 2100, 0, 0};  // overlaps 2 and runs past the line

  auto a = std::make_unique<CameraLineState>(0);
  prepareCameraForRun(*a, *state, machine);
  EXPECT_EQ(a->PixelEjector[50], 0);  // ejector 1 is outside camera 1's range
  EXPECT_EQ(a->PixelEjector[100], 2);
  EXPECT_EQ(a->PixelEjector[149], 2);
  EXPECT_EQ(a->PixelEjector[150], 3);  // later ejector wins
  EXPECT_EQ(a->PixelEjector[2047], 3);
  EXPECT_EQ(a->PixelEjector[2048], 0);  // pixels 0..2047 only
  EXPECT_EQ(a->PixelEjector[3000], 0);

  auto b = std::make_unique<CameraLineState>(1);
  prepareCameraForRun(*b, *state, machine);
  EXPECT_EQ(b->PixelEjector[499], 0);
  EXPECT_EQ(b->PixelEjector[500], 1);  // B zone of ejector 1
  EXPECT_EQ(b->PixelEjector[599], 1);
  EXPECT_EQ(b->PixelEjector[600], 0);
}

TEST(PixelEjectorTest, DamagedRangesAndZonesStayInsideTheMap) {
  auto state = std::make_unique<EngineState>();
  MachineSettings machine;
  machine.EGA_Min = -5;
  machine.EGA_Max = 500;
  state->ejection.EjectorZones[96] = {-100, 1 << 30, 0, 0};
  auto a = std::make_unique<CameraLineState>(0);
  buildPixelEjector(*a, state->ejection, machine);
  EXPECT_EQ(a->PixelEjector[0], 96);
  EXPECT_EQ(a->PixelEjector[2047], 96);
  EXPECT_EQ(a->PixelEjector[2048], 0);
}

TEST(PrepareCameraTest, ZeroesClassMapAndZoneCountsAndAllocatesTheColourTableOnlyForColour) {
  auto state = std::make_unique<EngineState>();
  MachineSettings machine;
  auto cam = std::make_unique<CameraLineState>(0);
  cam->ClassMap.fill(4);
  state->ejection.ZoneDefects.fill(7);
  prepareCameraForRun(*cam, *state, machine);
  EXPECT_EQ(cam->ClassMap[5], 0);
  EXPECT_EQ(state->ejection.ZoneDefects[5], 0);
  EXPECT_FALSE(cam->classifier.colourTableEnabled());
  state->singleToneCamera = false;
  prepareCameraForRun(*cam, *state, machine);
  EXPECT_TRUE(cam->classifier.colourTableEnabled());
}

TEST(LineCounterTest, StartsAtZeroAndWrapsToOneBeforeTheTop) {
  CameraLineState cam(1);
  EXPECT_EQ(cam.LineCounter.load(), 0);
  EXPECT_EQ(cam.MsPer1000Lines.load(), 1u);
  EXPECT_EQ(cam.CameraIndex, 1);
  cam.countLine();
  EXPECT_EQ(cam.LineCounter.load(), 1);
  cam.LineCounter = kLineCounterWrap - 2;
  cam.countLine();
  EXPECT_EQ(cam.LineCounter.load(), kLineCounterWrap - 1);
  cam.countLine();
  EXPECT_EQ(cam.LineCounter.load(), 1);
}

TEST(LineBufferTest, DriverDataStartsAtPixelOne) {
  auto cam = std::make_unique<CameraLineState>(0);
  cam->monoLineData()[0] = 7;
  cam->rgbLineData()[0] = 8;
  EXPECT_EQ(cam->LineMono[1], 7);
  EXPECT_EQ(cam->rgb(1)[0], 8);
  EXPECT_EQ(cam->monoLineData().size(), 4096u);
  EXPECT_EQ(cam->rgbLineData().size(), 3u * 4096u);
  // The last driver byte is the last element: pixel 4096 fits.
  EXPECT_EQ(&cam->monoLineData().back(), &cam->LineMono.back());
  EXPECT_EQ(&cam->rgbLineData().back(), &cam->LineRGB.back());
}

}  // namespace
}  // namespace tolvane
