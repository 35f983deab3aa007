#include "engine/object_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "engine_test_rig.h"

namespace tolvane {
namespace {

using testing_rig::kPlate;
using testing_rig::kProduct;
using testing_rig::kSpot;
using testing_rig::Rig;

class ObjectTrackerTest : public ::testing::Test {
 protected:
  Rig rig;
};

// ---------------------------------------------------------------------------------------------
// Runs

TEST_F(ObjectTrackerTest, ThreePixelsMakeAnObjectWithItsStartValues) {
  rig.machine.Delay = 20;
  rig.cam[0]->LineCounter = 7;
  rig.state->BackgroundFill = {250, 251, 252};
  rig.feedMono(0, {{100, 102}});
  ASSERT_EQ(rig.count(), 1);
  const ObjectRecord& r = rig.rec(1);
  EXPECT_EQ(r.Open, 1);
  EXPECT_EQ(r.InUse, 1);
  EXPECT_EQ(r.Done, 0);
  EXPECT_EQ(r.Camera, 0);
  EXPECT_EQ(r.RunMin, 100);
  EXPECT_EQ(r.RunMax, 103);  // the background pixel after the run
  EXPECT_EQ(r.XMin, 100);
  EXPECT_EQ(r.XMax, 103);
  EXPECT_EQ(r.XCentre, 101);
  EXPECT_EQ(r.ImageLeft, 51);
  EXPECT_EQ(r.FirstLine, 7);
  EXPECT_EQ(r.LastLine, 7);
  EXPECT_EQ(r.CreatedAt, 7);
  EXPECT_EQ(r.DueAt, 27);
  EXPECT_EQ(r.Mass, 0);  // the creating run is not added
  EXPECT_EQ(r.SumWeight, 1);
  EXPECT_EQ(r.MeanX, 50);
  EXPECT_EQ(r.ImgXMin, 50);
  EXPECT_EQ(r.ImgXMax, 50);
  EXPECT_EQ(r.ImgRows, 1);
  EXPECT_EQ(r.SampleSlot, -1);
  EXPECT_EQ(r.Length, 1);
  EXPECT_EQ(r.Width, 1);
  for (int c : {1, 50, 100}) {
    EXPECT_EQ(readImagePixel(r, c, 1), (RgbPixel{250, 251, 252}));
    EXPECT_EQ(readImagePixel(r, c, 50), (RgbPixel{250, 251, 252}));
    EXPECT_EQ(readImagePixel(r, c, 51), (RgbPixel{0, 0, 0}));
    EXPECT_EQ(readImagePixel(r, c, 100), (RgbPixel{0, 0, 0}));
  }
}

TEST_F(ObjectTrackerTest, TwoPixelsMakeNothingButCountWithTheNextRun) {
  rig.feedMono(0, {{100, 101}});
  EXPECT_EQ(rig.count(), 0);
  // 2 pixels, gap, 1 pixel: n = 3 at the background after the single pixel.
  rig.feedMono(0, {{200, 201}, {210, 210}});
  ASSERT_EQ(rig.count(), 1);
  EXPECT_EQ(rig.rec(1).RunMin, 208);
  EXPECT_EQ(rig.rec(1).RunMax, 211);
}

TEST_F(ObjectTrackerTest, LongRunsMakeNoObjectAndTheSingleToneCounterRestartsAfter201) {
  rig.feedMono(0, {{300, 498}});  // 199 pixels: passed
  EXPECT_EQ(rig.count(), 1);
  rig.idle(0, 10);
  rig.state->ObjectCount = 0;
  rig.feedMono(0, {{300, 499}});  // 200 pixels: not passed
  EXPECT_EQ(rig.count(), 0);
  // 205 pixels: the counter restarts after the 201st, the last 4 form a run.
  rig.feedMono(0, {{600, 804}});
  ASSERT_EQ(rig.count(), 1);
  EXPECT_EQ(rig.rec(1).RunMin, 801);
  EXPECT_EQ(rig.rec(1).RunMax, 805);
}

TEST_F(ObjectTrackerTest, ColourCounterNeverRestartsSoALongRunBlocksTheRestOfTheLine) {
  rig.state->singleToneCamera = false;
  rig.state->sectorTables[0].background.push_back(ColorSector{true, -1, 1, 0, 360, 0, 255, 200, 255});
  CameraLineState& cam = rig.camera(0);
  auto paint = [&](int from, int to, std::uint8_t v) {
    for (int p = from; p <= to; ++p) {
      std::uint8_t* px = cam.rgb(p);
      px[0] = px[1] = px[2] = v;
    }
  };
  cam.LineRGB.fill(kPlate);
  paint(600, 804, kProduct);  // 205: never passed
  paint(900, 905, kProduct);  // added to the same count, still too long
  rig.feed(0, false);
  EXPECT_EQ(rig.count(), 0);
  cam.LineRGB.fill(kPlate);
  paint(900, 905, kProduct);
  rig.feed(0, false);
  EXPECT_EQ(rig.count(), 1);
}

TEST_F(ObjectTrackerTest, RunsAtTheEdgesOfTheWorkingRange) {
  // Working range 1..1921. A run from the first pixel is passed; one reaching the last is not.
  rig.feedMono(0, {{1, 5}, {1915, 1921}});
  ASSERT_EQ(rig.count(), 1);
  EXPECT_EQ(rig.rec(1).RunMin, 1);
  EXPECT_EQ(rig.rec(1).XMin, 1);
  // Ending one pixel before the last: the last pixel is its background end.
  rig.feedMono(0, {{1914, 1920}});
  ASSERT_EQ(rig.count(), 2);
  EXPECT_EQ(rig.rec(2).RunMax, 1921);
  // A narrower working range cuts runs at its ends the same way.
  rig.machine.EGA_Min = 3;  // from pixel 81
  rig.machine.EGA_Max = 4;  // to pixel 161
  rig.idle(0, 10);
  rig.state->ObjectCount = 0;
  rig.feedMono(0, {{70, 90}, {150, 170}});
  ASSERT_EQ(rig.count(), 1);
  EXPECT_EQ(rig.rec(1).RunMin, 81);
  EXPECT_EQ(rig.rec(1).RunMax, 91);
}

TEST_F(ObjectTrackerTest, UncalibratedZonesFormNoObject) {
  rig.state->ejection.EjectorZones = {};
  rig.feedMono(0, {{0, 2000}});
  rig.feedMono(0, {{0, 2000}});
  EXPECT_EQ(rig.count(), 0);
}

// ---------------------------------------------------------------------------------------------
// Object step

TEST_F(ObjectTrackerTest, ContinuingRunsAddPixelsClassesAndImageRows) {
  rig.cam[0]->LineCounter = 100;
  rig.feedMono(0, {{100, 104}});  // creates: XCentre 102, x = i - 102 + 50
  rig.feedMono(0, {{99, 101, kProduct}, {102, 103, kSpot}});
  ASSERT_EQ(rig.count(), 1);
  const ObjectRecord& r = rig.rec(1);
  // Pixels 99..104 (104 is the background end): three colour 1, two colour 2, one background.
  EXPECT_EQ(r.ClassCount[1], 6);
  EXPECT_EQ(r.ClassCount[2], 4);
  EXPECT_EQ(r.ClassCount[0], 2);
  EXPECT_EQ(r.Mass, 10);
  EXPECT_EQ(r.SumWeight, 13);
  // x = 47..52: 50 + 2 * (47 + ... + 52); d = 1: 6 * (4 + 1).
  EXPECT_EQ(r.MeanX, 50 + 2 * 297);
  EXPECT_EQ(r.MeanY, 30);
  EXPECT_EQ(r.XMin, 99);
  EXPECT_EQ(r.XMax, 105);
  EXPECT_EQ(r.RunMin, 99);
  EXPECT_EQ(r.RunMax, 105);
  EXPECT_EQ(r.LastLine, 101);
  EXPECT_EQ(r.ImgXMin, 47);
  EXPECT_EQ(r.ImgXMax, 52);
  EXPECT_EQ(r.ImgRows, 2);
  EXPECT_EQ(readImagePixel(r, 47, 2), (RgbPixel{kProduct, kProduct, kProduct}));
  EXPECT_EQ(readImagePixel(r, 50, 2), (RgbPixel{kSpot, kSpot, kSpot}));
  EXPECT_EQ(readImagePixel(r, 52, 2), (RgbPixel{kPlate, kPlate, kPlate}));
  EXPECT_EQ(readImagePixel(r, 53, 2), (RgbPixel{255, 255, 255}));  // prefill
  EXPECT_EQ(readImagePixel(r, 50, 1), (RgbPixel{255, 255, 255}));  // the creating line
}

TEST_F(ObjectTrackerTest, PixelsBeyondTheHundredColumnsLandInTheEdgeColumns) {
  rig.feedMono(0, {{500, 504}});  // XCentre 502: column 1 is pixel 453, column 100 pixel 552
  rig.monoLine(0, {{440, 452, 40}, {453, 453, 50}, {454, 560, kProduct}});
  rig.camera(0).LineMono[551] = 60;
  rig.camera(0).LineMono[560] = 70;
  rig.feed(0);
  const ObjectRecord& r = rig.rec(1);
  EXPECT_EQ(readImagePixel(r, 1, 2).r, 50);  // the last pixel at or left of column 1
  EXPECT_EQ(readImagePixel(r, 99, 2).r, 60);
  EXPECT_EQ(readImagePixel(r, 100, 2).r, kPlate);  // the background end (561) came last
  EXPECT_EQ(r.ImgXMin, 440 - 502 + 50);
  EXPECT_EQ(r.ImgXMax, 561 - 502 + 50);
}

TEST_F(ObjectTrackerTest, MatchingAllowsOnePixelOfToleranceInSingleTone) {
  rig.feedMono(0, {{100, 104}});  // RunMin 100, RunMax 105
  rig.feedMono(0, {{106, 110}});  // starts at RunMax + 1: continues
  EXPECT_EQ(rig.count(), 1);
  rig.feedMono(0, {{113, 120}});  // starts at RunMax(111) + 2: new object
  EXPECT_EQ(rig.count(), 2);
  rig.feedMono(0, {{90, 98}});  // ends (99) at RunMin(100) - 1: continues object 1
  EXPECT_EQ(rig.count(), 2);
  EXPECT_EQ(rig.rec(1).RunMin, 90);
}

TEST_F(ObjectTrackerTest, ARunTouchingTwoObjectsExtendsBoth) {
  rig.feedMono(0, {{100, 110}, {120, 130}});
  ASSERT_EQ(rig.count(), 2);
  rig.feedMono(0, {{105, 125}});
  EXPECT_EQ(rig.count(), 2);
  EXPECT_EQ(rig.rec(1).LastLine, 1);
  EXPECT_EQ(rig.rec(2).LastLine, 1);
  EXPECT_EQ(rig.rec(1).RunMax, 126);
  EXPECT_EQ(rig.rec(2).RunMin, 105);
}

TEST_F(ObjectTrackerTest, ObjectsOfTheOtherCameraAreNotContinued) {
  rig.feedMono(0, {{100, 110}});
  rig.feedMono(1, {{100, 110}});
  EXPECT_EQ(rig.count(), 2);
  EXPECT_EQ(rig.rec(2).Camera, 1);
}

TEST_F(ObjectTrackerTest, FullTableLosesTheRunAndDoneRecordsAreReusedLowestFirst) {
  rig.machine.MaxObject = 10;
  std::vector<Rig::Span> spans;
  for (int i = 0; i < 11; ++i) spans.push_back({100 + 20 * i, 105 + 20 * i});
  rig.feedMono(0, spans);
  EXPECT_EQ(rig.count(), 10);
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(rig.rec(k).RunMin, 100 + 20 * (k - 1));

  rig.rec(3).Done = 1;
  rig.rec(7).Done = 1;
  rig.feedMono(0, {{1500, 1505}});
  EXPECT_EQ(rig.count(), 10);
  EXPECT_EQ(rig.rec(3).RunMin, 1500);
  EXPECT_EQ(rig.rec(3).Done, 0);
  rig.feedMono(0, {{1600, 1605}});
  EXPECT_EQ(rig.rec(7).RunMin, 1600);
  rig.feedMono(0, {{1700, 1705}});  // nothing left: lost
  EXPECT_EQ(rig.count(), 10);
  for (int k = 1; k <= 10; ++k) EXPECT_NE(rig.rec(k).RunMin, 1700);
}

TEST_F(ObjectTrackerTest, RecordThousandIsNeverHandedOutWhateverMaxObjectSays) {
  rig.machine.MaxObject = 5000;
  for (int k = 1; k <= 999; ++k) {
    rig.rec(k).InUse = 1;
    rig.rec(k).Camera = 1;  // busy records of the other camera
  }
  rig.state->ObjectCount = 999;
  rig.feedMono(0, {{100, 110}});
  EXPECT_EQ(rig.count(), 999);
  EXPECT_EQ(rig.rec(1000).InUse, 0);
  EXPECT_EQ(rig.rec(1000).RunMin, 0);
}

// ---------------------------------------------------------------------------------------------
// Closing

TEST_F(ObjectTrackerTest, ClosesAfterMoreThanThreeLinesWithoutGrowth) {
  rig.feedMono(0, {{100, 110}});  // line 0
  rig.feedMono(0, {{100, 112}});  // line 1
  rig.idle(0, 3);                 // lines 2..4: 3 lines since growth
  EXPECT_EQ(rig.rec(1).Open, 1);
  rig.idle(0);  // line 5: 4 > 3
  const ObjectRecord& r = rig.rec(1);
  EXPECT_EQ(r.Open, 0);
  // 14 pixels at x = 45..58 (XCentre 105): (50 + 2 * 721) / 29 = 51.45 -> 51; (14 * 5) / 29 -> 2.
  EXPECT_EQ(r.MeanX, 51);
  EXPECT_EQ(r.MeanY, 2);
  EXPECT_EQ(r.XCentre, 100 + (113 - 100) / 2);
  // No shape condition: no measures.
  EXPECT_EQ(r.Length, 1);
  EXPECT_EQ(r.Angle, 0.0);
}

TEST_F(ObjectTrackerTest, AnObjectGrowingFor95LinesIsClosedAndTheRestStartsANewOne) {
  for (int line = 0; line <= 95; ++line) rig.feedMono(0, {{400, 420}});
  EXPECT_EQ(rig.count(), 1);
  EXPECT_EQ(rig.rec(1).Open, 0);
  EXPECT_EQ(rig.rec(1).ImgRows, 96);
  EXPECT_EQ(readImagePixel(rig.rec(1), 50, 99), (RgbPixel{0, 0, 0}));  // only rows up to the line seen
  rig.feedMono(0, {{400, 420}});
  EXPECT_EQ(rig.count(), 2);
  EXPECT_EQ(rig.rec(2).Open, 1);
  EXPECT_EQ(rig.rec(2).FirstLine, 96);
}

TEST_F(ObjectTrackerTest, ImageRowsStopAt99AndRowsCountStopsAt100) {
  // The colour analysis has no 95-line limit; a tall object shows the image bounds.
  rig.state->singleToneCamera = false;
  rig.state->sectorTables[0].background.push_back(ColorSector{true, -1, 1, 0, 360, 0, 255, 200, 255});
  CameraLineState& cam = rig.camera(0);
  for (int line = 0; line < 110; ++line) {
    cam.LineRGB.fill(kPlate);
    for (int p = 400; p <= 420; ++p) cam.rgb(p)[0] = cam.rgb(p)[1] = cam.rgb(p)[2] = kProduct;
    rig.feed(0, false);
  }
  const ObjectRecord& r = rig.rec(1);
  EXPECT_EQ(r.Open, 1);
  EXPECT_EQ(r.ImgRows, 100);
  EXPECT_EQ(readImagePixel(r, 50, 99).r, kProduct);
  EXPECT_EQ(readImagePixel(r, 50, 100).r, 0);
}

TEST_F(ObjectTrackerTest, LineCounterPassing2To31KeepsObjectsWorking) {
  rig.cam[0]->LineCounter = (std::int64_t{1} << 31) - 2;
  rig.feedMono(0, {{100, 110}});
  rig.feedMono(0, {{100, 110}});
  rig.feedMono(0, {{100, 110}});  // crosses 2^31
  EXPECT_EQ(rig.rec(1).ImgRows, 3);
  EXPECT_EQ(readImagePixel(rig.rec(1), 50, 3).r, kProduct);
  rig.idle(0, 3);
  EXPECT_EQ(rig.rec(1).Open, 1);
  rig.idle(0);
  EXPECT_EQ(rig.rec(1).Open, 0);
  EXPECT_EQ(rig.count(), 1);
}

TEST_F(ObjectTrackerTest, ColourObjectsCloseWhenFewerThanTwoClassPixelsRemainUnderThem) {
  rig.state->singleToneCamera = false;
  rig.state->sectorTables[0].background.push_back(ColorSector{true, -1, 1, 0, 360, 0, 255, 200, 255});
  CameraLineState& cam = rig.camera(0);
  auto line = [&](std::vector<int> pixels) {
    cam.LineRGB.fill(kPlate);
    for (int p : pixels) cam.rgb(p)[0] = cam.rgb(p)[1] = cam.rgb(p)[2] = kProduct;
    rig.feed(0, false);
  };
  line({100, 101, 102, 103});  // creates, extent 100..104
  line({103, 104, 108});       // two class pixels under it: stays open (no run passed)
  EXPECT_EQ(rig.rec(1).Open, 1);
  line({104, 108});
  EXPECT_EQ(rig.rec(1).Open, 0);
  // Measures are always taken in the colour analysis: an empty image tips to 45 degrees.
  EXPECT_DOUBLE_EQ(rig.rec(1).Angle, std::numbers::pi / 4);
}

TEST_F(ObjectTrackerTest, ColourMatchingHasNoTolerance) {
  rig.state->singleToneCamera = false;
  rig.state->sectorTables[0].background.push_back(ColorSector{true, -1, 1, 0, 360, 0, 255, 200, 255});
  CameraLineState& cam = rig.camera(0);
  auto line = [&](std::vector<std::pair<int, int>> spans) {
    cam.LineRGB.fill(kPlate);
    for (auto [from, to] : spans) {
      for (int p = from; p <= to; ++p) cam.rgb(p)[0] = cam.rgb(p)[1] = cam.rgb(p)[2] = kProduct;
    }
    rig.feed(0, false);
  };
  line({{100, 104}});              // RunMax 105
  line({{100, 104}, {106, 110}});  // the second run starts one past RunMax: a new object
  EXPECT_EQ(rig.count(), 2);
  // The single-tone analysis takes the same second run into the first object.
  Rig mono;
  mono.feedMono(0, {{100, 104}});
  mono.feedMono(0, {{100, 104}, {106, 110}});
  EXPECT_EQ(mono.count(), 1);
}

TEST_F(ObjectTrackerTest, ColourPrefillIsTheBackgroundValueInBrightnessMode) {
  rig.state->singleToneCamera = false;
  rig.state->BrightMode = true;
  rig.sorter.FonMax = {0x1F3, 17};  // low byte of camera 1's value
  CameraLineState& cam = rig.camera(0);
  cam.LineRGB.fill(kPlate);
  for (int p = 100; p <= 104; ++p) cam.rgb(p)[0] = kProduct;
  rig.feed(0, false);
  ASSERT_EQ(rig.count(), 1);
  EXPECT_EQ(readImagePixel(rig.rec(1), 10, 10), (RgbPixel{0xF3, 0xF3, 0xF3}));
}

// ---------------------------------------------------------------------------------------------
// Judging for samples

TEST_F(ObjectTrackerTest, OneLineObjectsHaveNoMassAndAreDroppedWhenMinVesIsSet) {
  rig.machine.MinVes = 1;
  rig.feedMono(0, {{100, 110}});
  rig.idle(0, 4);
  EXPECT_EQ(rig.rec(1).Open, 0);
  EXPECT_EQ(rig.rec(1).Mass, 0);
  EXPECT_EQ(rig.rec(1).Done, 1);
}

TEST_F(ObjectTrackerTest, WithoutMinVesAZeroMassBecomesOneAtJudging) {
  rig.feedMono(0, {{100, 110}});
  rig.idle(0, 4);
  EXPECT_EQ(rig.rec(1).Done, 0);
  EXPECT_EQ(rig.rec(1).Mass, 1);
  EXPECT_EQ(rig.rec(1).SampleTried, 0);  // judged again on later lines
}

void makeObject(Rig& rig, int camera, int from) {
  rig.feedMono(camera, {{from, from + 10}});
  rig.feedMono(camera, {{from, from + 10}});
}

TEST_F(ObjectTrackerTest, SamplesGoToTheCamerasSlotsUntilTheyAreFull) {
  rig.state->ScanExamSwitch = true;
  rig.state->SampleNormButton = true;  // OR mode without conditions: every object is kept
  for (int i = 0; i < 7; ++i) makeObject(rig, 0, 100 + 30 * i);
  for (int i = 0; i < 2; ++i) makeObject(rig, 1, 100 + 30 * i);
  rig.idle(0, 5);
  rig.idle(1, 5);
  for (int s = 0; s < 6; ++s) {
    EXPECT_EQ(rig.state->SampleTable[s].InUse, 1) << s;
    EXPECT_EQ(rig.state->SampleTable[s].Camera, 0) << s;
  }
  EXPECT_EQ(rig.state->SampleTable[6].Camera, 1);
  EXPECT_EQ(rig.state->SampleTable[7].Camera, 1);
  EXPECT_EQ(rig.state->SampleTable[8].InUse, 0);
  EXPECT_EQ(rig.state->SamplesCaptured[0].load(), 6u);
  EXPECT_EQ(rig.state->SamplesCaptured[1].load(), 2u);

  // Slots in object order; the seventh object found no slot but was tried.
  EXPECT_EQ(rig.rec(1).SampleSlot, 0);
  EXPECT_EQ(rig.state->SampleTable[0].RunMin, rig.rec(1).RunMin);
  EXPECT_EQ(rig.state->SampleTable[0].SampleSlot, -1);  // copied before the slot was noted
  EXPECT_EQ(rig.rec(7).SampleSlot, -1);
  EXPECT_EQ(rig.rec(7).SampleTried, 1);
  EXPECT_EQ(std::memcmp(rig.state->SampleTable[0].Image, rig.rec(1).Image, sizeof rig.rec(1).Image), 0);

  // A slot the operator frees is filled by the next capture.
  rig.state->SampleTable[3].InUse = 0;
  makeObject(rig, 0, 800);
  rig.idle(0, 5);
  EXPECT_EQ(rig.state->SampleTable[3].RunMin, 800);
}

TEST_F(ObjectTrackerTest, OnlyWantedVerdictsAreCapturedAndOnlyWhileScanning) {
  rig.state->SampleBrakButton = true;  // rejects only; OR mode without conditions rejects nothing
  rig.state->ScanExamSwitch = true;
  makeObject(rig, 0, 100);
  rig.idle(0, 5);
  EXPECT_EQ(rig.state->SampleTable[0].InUse, 0);
  EXPECT_EQ(rig.rec(1).SampleTried, 0);
  rig.sorter.ifAND = true;  // AND mode without conditions rejects everything
  rig.idle(0);
  EXPECT_EQ(rig.state->SampleTable[0].InUse, 1);
  EXPECT_EQ(rig.rec(1).SampleTried, 1);

  rig.state->ScanExamSwitch = false;
  makeObject(rig, 0, 300);
  rig.idle(0, 5);
  EXPECT_EQ(rig.state->SampleTable[1].InUse, 0);
}

// ---------------------------------------------------------------------------------------------
// Measures

// A record whose image holds a filled shape of product grey on plate, with the means of its pixels.
std::unique_ptr<ObjectRecord> shapeRecord(bool (*inside)(int c, int r)) {
  auto rec = std::make_unique<ObjectRecord>();
  std::memset(static_cast<void*>(rec.get()), 0, sizeof(ObjectRecord));
  long sumX = 0;
  long sumY = 0;
  long n = 0;
  rec->ImgXMin = 100;
  rec->ImgXMax = 1;
  for (int c = 1; c <= 100; ++c) {
    for (int r = 1; r <= 100; ++r) {
      const bool in = inside(c, r);
      writeImagePixel(*rec, c, r,
                      in ? RgbPixel{kProduct, kProduct, kProduct} : RgbPixel{kPlate, kPlate, kPlate});
      if (in) {
        sumX += 2 * c;
        sumY += 4 * r - 1;  // the half-lines 2r - 1 and 2r of the moment step
        n += 2;
        rec->ImgXMin = std::min(rec->ImgXMin, c);
        rec->ImgXMax = std::max(rec->ImgXMax, c);
        rec->ImgRows = std::max(rec->ImgRows, r);
      }
    }
  }
  if (n > 0) {
    rec->MeanX = static_cast<std::int32_t>(std::lround(static_cast<double>(sumX) / n));
    rec->MeanY = static_cast<std::int32_t>(std::lround(static_cast<double>(sumY) / n));
  }
  return rec;
}

// The pictures above are plate outside the shape; row 0 and column 0 read as the same.
constexpr FillColour kPlateFill{kPlate, kPlate, kPlate};

ClassifierInputs greyInputs() {
  ClassifierInputs in;
  in.ranges.FonBlack = 10;  // black is background
  return in;
}

TEST(ShapeMeasuresTest, WideRectangleLiesAlongTheColumns) {
  // 40 columns by 5 rows = 10 half-lines.
  auto rec = shapeRecord([](int c, int r) { return c >= 31 && c <= 70 && r >= 11 && r <= 15; });
  shapeMeasures(*rec, greyInputs(), kPlateFill);
  EXPECT_NEAR(rec->Angle, 0.0, 0.05);
  // Mean distance along about a quarter of 40 (x4 in LengthMean), across about a quarter of 10.
  EXPECT_NEAR(rec->LengthMean, 40, 3);
  EXPECT_NEAR(rec->WidthMean, 10, 3);
  EXPECT_NEAR(rec->Length, 20, 1);
  EXPECT_NEAR(rec->Width, 5, 1);
  EXPECT_NEAR(rec->Eks, 40.0, 5.0);  // 10 x length-to-width ratio
  EXPECT_EQ(rec->BoxCentreX, 50);
  EXPECT_EQ(rec->HalfRows, 7);
}

TEST(ShapeMeasuresTest, TallRectangleLiesAlongTheLines) {
  // 6 columns by 20 rows = 40 half-lines.
  auto rec = shapeRecord([](int c, int r) { return c >= 48 && c <= 53 && r >= 5 && r <= 24; });
  shapeMeasures(*rec, greyInputs(), kPlateFill);
  EXPECT_NEAR(std::abs(rec->Angle), std::numbers::pi / 2, 0.05);
  EXPECT_NEAR(rec->Length, 20, 1);
  EXPECT_NEAR(rec->Width, 3, 1);
  EXPECT_NEAR(rec->Eks, 10.0 * 40 / 6, 8.0);
}

TEST(ShapeMeasuresTest, DiscInMixedUnitsIsRound) {
  // Radius 12 columns and 12 half-lines (6 rows): a circle in the measuring units.
  auto rec = shapeRecord([](int c, int r) {
    const double dx = c - 50.5;
    const double dy = (2 * r - 0.5) - 40.5;
    return dx * dx + dy * dy <= 144.0;
  });
  shapeMeasures(*rec, greyInputs(), kPlateFill);
  EXPECT_NEAR(rec->Eks, 10.0, 1.5);
  EXPECT_NEAR(rec->LengthMean, rec->WidthMean, 3);
  EXPECT_NEAR(rec->Length, 12, 1.5);
  EXPECT_NEAR(rec->Width, 12, 1.5);
}

TEST(ShapeMeasuresTest, EmptyImageGivesTheStartValues) {
  auto rec = shapeRecord([](int, int) { return false; });
  rec->ImgXMin = 50;
  rec->ImgXMax = 50;
  rec->ImgRows = 1;
  shapeMeasures(*rec, greyInputs(), kPlateFill);
  EXPECT_EQ(rec->Length, 1);
  EXPECT_EQ(rec->Width, 1);
  EXPECT_EQ(rec->LengthMean, 0);
  EXPECT_EQ(rec->Eks, 0.0);
  EXPECT_DOUBLE_EQ(rec->Angle, std::numbers::pi / 4);  // the 1/12 added to h tips an empty box to 45 degrees
}

TEST(ShapeMeasuresTest, DamagedRecordsAreMeasuredWithoutFault) {
  auto rec = std::make_unique<ObjectRecord>();
  std::memset(static_cast<void*>(rec.get()), 0x7F, sizeof(ObjectRecord));
  rec->Angle = std::nan("");
  shapeMeasures(*rec, greyInputs(), kPlateFill);
  EXPECT_EQ(rec->ImgXMin, 100);
  EXPECT_EQ(rec->ImgRows, 100);
  EXPECT_GE(rec->Length, 1);
  std::memset(static_cast<void*>(rec.get()), 0x80, sizeof(ObjectRecord));
  shapeMeasures(*rec, greyInputs(), kPlateFill);
  EXPECT_EQ(rec->ImgXMin, 0);
  EXPECT_GE(rec->Width, 1);
}

TEST_F(ObjectTrackerTest, SquareOfTenPixelsStandsUpInMixedUnits) {
  rig.sorter.enLength = true;  // a shape condition asks for the measures
  for (int line = 0; line < 11; ++line) rig.feedMono(0, {{500, 509}});
  rig.idle(0, 4);
  const ObjectRecord& r = rig.rec(1);
  ASSERT_EQ(r.Open, 0);
  EXPECT_NEAR(std::abs(r.Angle), std::numbers::pi / 2, 0.2);  // an axis: -pi/2 is the same
  // 10 lines are 20 half-lines across 10 columns: about 10 times a ratio of 2.
  EXPECT_GT(r.Eks, 14.0);
  EXPECT_LT(r.Eks, 26.0);
}

TEST(SamplePictureTest, RowsOneToFiftyEachDrawnTwice) {
  auto rec = std::make_unique<ObjectRecord>();
  std::memset(static_cast<void*>(rec.get()), 0, sizeof(ObjectRecord));
  writeImagePixel(*rec, 1, 1, {1, 2, 3});
  writeImagePixel(*rec, 100, 50, {4, 5, 6});
  writeImagePixel(*rec, 7, 51, {9, 9, 9});
  std::vector<std::uint8_t> picture(100 * 100 * 3, 77);
  renderSamplePicture(*rec, picture.data());
  auto at = [&](int x, int y) { return &picture[static_cast<std::size_t>(3 * (y * 100 + x))]; };
  EXPECT_EQ(at(0, 0)[0], 1);
  EXPECT_EQ(at(0, 1)[2], 3);
  EXPECT_EQ(at(99, 98)[0], 4);
  EXPECT_EQ(at(99, 99)[1], 5);
  EXPECT_EQ(at(6, 99)[0], 0);  // row 51 is not shown
}

}  // namespace
}  // namespace tolvane
