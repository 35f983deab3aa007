// The rules of the samples page: where a capture lands, the marking cycle, what a touch on a list
// item hits, clearing, the counts of a mask redraw, and the pictures drawn from a sample.
#include "colour_tools/sample_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "tests/engine/engine_test_rig.h"

namespace tolvane {
namespace {

using testing_rig::Rig;

// Grey values of the ranges below: 230 background, 100 colour 1, 170 colour 2, 210 other colour.
ClassifierInputs greyInputs() {
  ClassifierInputs in;
  in.singleTone = true;
  in.ranges = {.FonBlack = 10,
               .FonLight = 255,
               .FonMin = 220,
               .FonMax = 255,
               .P1Min = 0,
               .P1Max = 150,
               .P2Min = 151,
               .P2Max = 200};
  return in;
}

void setGrey(ObjectRecord& rec, int column, int row, std::uint8_t grey) {
  writeImagePixel(rec, column, row, {grey, grey, grey});
}

// Slots occupied as listed, then one object caught on `camera`.
struct CaptureCase {
  std::string name;
  int camera;
  std::vector<int> occupied;
  int expectedSlot;  // -1: nothing caught
};

class LowestFreeSlot : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(LowestFreeSlot, CaptureLandsThere) {
  const CaptureCase& tc = GetParam();
  Rig rig;
  EngineState& st = *rig.state;
  for (int slot : tc.occupied) {
    st.SampleTable[slot].InUse = 1;
    st.SampleTable[slot].Verdict = 2;  // an operator's marking that a capture must not overwrite
  }
  EXPECT_EQ(lowestFreeSampleSlot(st.SampleTable.get(), tc.camera), tc.expectedSlot);

  st.ScanExamSwitch = true;
  st.SampleNormButton = true;
  st.SampleBrakButton = true;
  for (int line = 0; line < 6; ++line) rig.feedMono(tc.camera, {{300, 320}});
  rig.idle(tc.camera, 6);

  for (int slot = 0; slot < kSampleSlots; ++slot) {
    const bool wasOccupied = std::find(tc.occupied.begin(), tc.occupied.end(), slot) != tc.occupied.end();
    if (slot == tc.expectedSlot) {
      EXPECT_EQ(st.SampleTable[slot].InUse, 1) << slot;
      EXPECT_GT(st.SampleTable[slot].Mass, 0) << slot;
      EXPECT_EQ(st.SampleTable[slot].Camera, tc.camera) << slot;
    } else if (wasOccupied) {
      EXPECT_EQ(st.SampleTable[slot].Verdict, 2) << slot;
    } else {
      EXPECT_EQ(st.SampleTable[slot].InUse, 0) << slot;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LowestFreeSlot,
                         ::testing::Values(CaptureCase{"AllFree", 0, {}, 0},
                                           // Slot 3 freed by the operator while 5 is free too: the lower one.
                                           CaptureCase{"ThreeAndFiveFree", 0, {0, 1, 2, 4}, 3},
                                           CaptureCase{"OnlyLastFree", 0, {0, 1, 2, 3, 4}, 5},
                                           CaptureCase{"CameraOneFull", 0, {0, 1, 2, 3, 4, 5}, -1},
                                           // Camera 2's list is its own: camera 1's free slots are not taken.
                                           CaptureCase{"CameraTwoSkipsItsOccupied", 1, {6, 7}, 8},
                                           CaptureCase{"CameraTwoFull", 1, {6, 7, 8, 9, 10, 11}, -1}),
                         [](const auto& param) { return param.param.name; });

TEST(SamplePage, MarkingCycleAndItsBoxColours) {
  struct Row {
    std::int32_t verdict;
    std::int32_t next;
    Rgb24 fill;
    std::optional<std::string> text;
  };
  const std::vector<Row> rows{
      {0, 1, kRgbWhite, std::nullopt},
      {1, 2, {255, 159, 162}, ">> В БРАК"},
      {2, 0, {162, 255, 159}, "ОСТАВИТЬ"},
      {7, 1, kRgbWhite, std::nullopt},  // a damaged file's value reads as no marking
      {-1, 1, kRgbWhite, std::nullopt},
  };
  for (const Row& row : rows) {
    ObjectRecord sample{};
    sample.Verdict = row.verdict;
    EXPECT_EQ(nextVerdict(row.verdict), row.next) << row.verdict;
    const SampleItemView view = sampleItemView({0, 0, 114, 110}, 0, sample, false, false);
    EXPECT_EQ(view.markingFill, row.fill) << row.verdict;
    EXPECT_EQ(view.markingText ? std::optional(view.markingText->text) : std::nullopt, row.text)
        << row.verdict;
  }
  // Three touches come back to the start.
  EXPECT_EQ(nextVerdict(nextVerdict(nextVerdict(0))), 0);
}

TEST(SamplePage, ItemViewFollowsOccupancySelectionAndDecision) {
  ObjectRecord sample{};
  sample.InUse = 1;
  const SampleItemView a = sampleItemView({10, 20, 114, 110}, 4, sample, true, true);
  EXPECT_EQ(a.occupancyFill, (Rgb24{0, 128, 0}));
  EXPECT_EQ(a.frameColour, (Rgb24{255, 0, 0}));
  EXPECT_EQ(a.decision.text, "БРАК");
  EXPECT_EQ(a.number.text, "5");
  EXPECT_EQ(a.number.x, 10 + 114 - 12);
  EXPECT_TRUE(a.number.rightEdge);
  // dx = 7, dy = 5 for a 114 x 110 item.
  EXPECT_EQ(a.thumbnailX, 17);
  EXPECT_EQ(a.thumbnailY, 24);
  EXPECT_EQ(a.occupancy, (CanvasBox{12, 105, 37, 130}));
  EXPECT_EQ(a.marking, (CanvasBox{55, 105, 122, 130}));

  sample.InUse = 0;
  const SampleItemView b = sampleItemView({10, 20, 114, 110}, 4, sample, false, false);
  EXPECT_EQ(b.occupancyFill, kRgbWhite);
  EXPECT_EQ(b.frameColour, (Rgb24{128, 128, 128}));
  EXPECT_EQ(b.decision.text, "НОРМА");
}

TEST(SamplePage, TouchPartsOfAnItem) {
  // Item at (10, 20), 114 x 110: box row 105 < y < 130, occupancy 12 < x < 37, marking 55 < x < 122.
  const SampleItemRect item{10, 20, 114, 110};
  struct Row {
    int x, y;
    SampleItemPart part;
  };
  const std::vector<Row> rows{
      {20, 110, SampleItemPart::kOccupancy}, {13, 106, SampleItemPart::kOccupancy},
      {36, 129, SampleItemPart::kOccupancy}, {12, 110, SampleItemPart::kPicture},
      {37, 110, SampleItemPart::kPicture},   {20, 105, SampleItemPart::kPicture},
      {20, 130, SampleItemPart::kPicture},   {80, 110, SampleItemPart::kMarking},
      {56, 106, SampleItemPart::kMarking},   {121, 129, SampleItemPart::kMarking},
      {55, 110, SampleItemPart::kPicture},   {45, 110, SampleItemPart::kPicture},
      {80, 60, SampleItemPart::kPicture},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(sampleItemPartAt(item, row.x, row.y), row.part) << row.x << "," << row.y;
  }
}

TEST(SamplePage, ClearingEmptiesEverySlotAndFillsTheListedImages) {
  struct Row {
    std::int32_t fonMax;
    std::uint8_t byte;
  };
  for (const Row& row : {Row{240, 240}, Row{300, 44}, Row{-1, 255}}) {
    auto table = std::make_unique<ObjectRecord[]>(kSampleSlots);
    for (int slot = 0; slot < kSampleSlots; ++slot) {
      table[slot].InUse = 1;
      table[slot].Verdict = 1;
      table[slot].Mass = 40;
      setGrey(table[slot], 5, 5, 100);
    }
    clearAllSamples(table.get(), row.fonMax);
    for (int slot = 0; slot < kSampleSlots; ++slot) {
      const ObjectRecord& s = table[slot];
      EXPECT_EQ(s.InUse, 0);
      EXPECT_EQ(s.Verdict, 0);
      EXPECT_EQ(s.Mass, 0);
      const std::uint8_t expected = slot < 14 ? row.byte : 0;
      EXPECT_EQ(s.Image[0], expected) << slot;
      EXPECT_EQ(readImagePixel(s, 5, 5), (RgbPixel{expected, expected, expected})) << slot;
      EXPECT_EQ(s.Image[sizeof s.Image - 1], expected) << slot;
      EXPECT_EQ(lowestFreeSampleSlot(table.get(), 0), 0);
    }
    Rgb24Canvas thumb;
    drawClearedThumbnail(thumb, row.fonMax);
    EXPECT_EQ(thumb.pixel(0, 0), (Rgb24{row.byte, 0, 0}));
    EXPECT_EQ(thumb.pixel(99, 50), (Rgb24{row.byte, 0, 0}));
    EXPECT_EQ(thumb.pixel(50, 50), kRgbWhite);
  }
}

// A sample with 2 colour-1, 1 colour-2, 1 other and 1 background pixel among rows 1..50, one colour-1
// pixel below row 50 (not shown, not counted) and the rest black (background below FonBlack).
ObjectRecord countedSample() {
  ObjectRecord s{};
  setGrey(s, 1, 1, 100);
  setGrey(s, 2, 1, 100);
  setGrey(s, 3, 7, 170);
  setGrey(s, 50, 50, 210);
  setGrey(s, 51, 50, 230);
  setGrey(s, 60, 51, 100);
  s.Mass = 999;
  s.ClassCount[0] = 77;
  s.ClassCount[3] = 5;
  s.ClassCount[4] = 9;
  s.ClassCount[5] = 11;
  return s;
}

TEST(SamplePage, MaskRedrawCountsTheMaskColoursWhateverIsDrawn) {
  struct Row {
    const char* name;
    SampleDrawFlags flags;
    Rgb24 colourOne;  // drawn for image pixel (1, 1), grey 100
    Rgb24 other;      // drawn for (50, 50), grey 210
  };
  const std::vector<Row> rows{
      {"true colours", {}, {100, 100, 100}, {210, 210, 210}},
      {"mask", {.mask = true}, {255, 0, 0}, {204, 238, 238}},
      {"red off", {.red = false}, {0, 100, 100}, {0, 210, 210}},
      {"green and blue off", {.green = false, .blue = false}, {100, 0, 0}, {210, 0, 0}},
      // The channels change only the true-colour picture.
      {"mask, red off", {.mask = true, .red = false}, {255, 0, 0}, {204, 238, 238}},
  };
  for (const Row& row : rows) {
    ObjectRecord s = countedSample();
    const SamplePicture picture = sampleMaskRedraw(s, greyInputs(), {0, 0, 0}, row.flags);
    EXPECT_EQ(s.Mass, 8) << row.name;  // four non-white mask pixels, two each
    EXPECT_EQ(s.ClassCount[1], 4) << row.name;
    EXPECT_EQ(s.ClassCount[2], 2) << row.name;
    EXPECT_EQ(s.ClassCount[0], 0) << row.name;
    EXPECT_EQ(s.ClassCount[3], 0) << row.name;
    EXPECT_EQ(s.ClassCount[4], 0) << row.name;
    EXPECT_EQ(s.ClassCount[5], 11) << row.name;  // beyond the classes: left alone
    EXPECT_EQ(picture.at(1, 1), row.colourOne) << row.name;
    EXPECT_EQ(picture.at(50, 50), row.other) << row.name;
  }
}

TEST(SamplePage, MaskColourOfUnknownClassIsTheFillAndCountsByColour) {
  EXPECT_EQ(sampleMaskColour(3, {1, 2, 3}), (Rgb24{1, 2, 3}));
  EXPECT_EQ(sampleMaskColour(kClassBackground, {1, 2, 3}), kRgbWhite);
  // The fill is counted by the colour it has: a white fill adds no weight.
  ClassifierInputs in = greyInputs();
  ObjectRecord s{};
  for (int c = 1; c <= 100; ++c)
    for (int r = 1; r <= 50; ++r) setGrey(s, c, r, 230);
  sampleMaskRedraw(s, in, {255, 255, 255}, {});
  EXPECT_EQ(s.Mass, 0);
}

TEST(SamplePage, PicturesShowRowsOneToFiftyEnlarged) {
  ObjectRecord s{};
  writeImagePixel(s, 3, 2, {10, 20, 30});
  writeImagePixel(s, 100, 50, {40, 50, 60});
  writeImagePixel(s, 100, 51, {70, 80, 90});  // not shown

  Rgb24Canvas thumb;
  drawSampleThumbnail(s, thumb);
  ASSERT_EQ(thumb.width(), 100);
  EXPECT_EQ(thumb.pixel(2, 2), (Rgb24{10, 20, 30}));
  EXPECT_EQ(thumb.pixel(2, 3), (Rgb24{10, 20, 30}));
  EXPECT_EQ(thumb.pixel(2, 1), kRgbBlack);
  EXPECT_EQ(thumb.pixel(99, 99), (Rgb24{40, 50, 60}));

  const SamplePicture picture = sampleMaskRedraw(s, greyInputs(), {}, {});
  Rgb24Canvas big;
  drawSampleBig(big, picture);
  ASSERT_EQ(big.width(), 300);
  ASSERT_EQ(big.height(), 300);
  for (int x = 6; x < 9; ++x)
    for (int y = 6; y < 12; ++y) EXPECT_EQ(big.pixel(x, y), (Rgb24{10, 20, 30})) << x << "," << y;
  EXPECT_EQ(big.pixel(5, 6), kRgbBlack);
  EXPECT_EQ(big.pixel(299, 299), (Rgb24{40, 50, 60}));
  Rgb24Canvas small;
  drawSampleSmall(small, picture);
  EXPECT_EQ(small.pixel(2, 2), (Rgb24{10, 20, 30}));
  EXPECT_EQ(small.pixel(2, 3), (Rgb24{10, 20, 30}));
  EXPECT_EQ(small.pixel(99, 99), (Rgb24{40, 50, 60}));
}

TEST(SamplePage, PickedPointReadsTheImagePixelUnderIt) {
  struct Row {
    int x, y, column, row;
  };
  const std::vector<Row> rows{{0, 0, 1, 1},        {1, 1, 1, 1},        {3, 6, 1, 1},        {4, 7, 2, 2},
                              {299, 299, 100, 50}, {-50, 5000, 1, 100}, {100000, -7, 100, 1}};
  for (const Row& row : rows) {
    const ImagePoint p = pickedImagePoint(row.x, row.y);
    EXPECT_EQ(p.column, row.column) << row.x << "," << row.y;
    EXPECT_EQ(p.row, row.row) << row.x << "," << row.y;
  }
  ObjectRecord s{};
  writeImagePixel(s, 2, 2, {11, 22, 33});
  const PickedColour c = pickedColour(s, 4, 7);
  EXPECT_EQ(c.grey, 11);
  EXPECT_EQ(c.g, 22);
  EXPECT_EQ(c.b, 33);
}

TEST(SamplePage, OverlaysPlaceTheStripAroundTheSampleCentre) {
  ObjectRecord s{};
  s.XCentre = 120;
  s.Length = 5;
  s.MeanX = 50;
  s.MeanY = 40;
  s.ImgXMin = 40;
  s.ImgXMax = 60;
  s.ImgRows = 10;
  Rgb24Canvas big(300, 300);
  // Ejector 3 covers pixels [81, 121): on the picture from 3 * (81 - 120 + 50) = 33 to 153.
  const std::vector<EjectorSpan> ejectors{{1, 41}, {41, 81}, {81, 121}, {121, 161}, {5000, 5040}};
  const std::vector<CanvasText> texts = drawSampleOverlays(big, s, ejectors);
  EXPECT_EQ(big.pixel(40, 295), (Rgb24{170, 170, 170}));
  EXPECT_EQ(big.pixel(160, 295), (Rgb24{238, 238, 238}));
  EXPECT_EQ(big.pixel(150, 120), (Rgb24{0, 128, 128}));  // centre mark at (3 MeanX, 3 MeanY)
  EXPECT_EQ(big.pixel(160, 250), (Rgb24{128, 128, 128}));
  std::vector<std::string> words;
  for (const CanvasText& t : texts) words.push_back(t.text);
  // Ejector 1 (x -207..-87) and ejector 5 lie off the picture; 2 (-87..33) shows its end.
  EXPECT_EQ(words, (std::vector<std::string>{"2", "3", "4", ">120<", "Длина   = 05.00", "Ширина  = 00.00",
                                             "Ширина1 = 00.00", "Ширина2 = 00.00", "~ = 00.00"}));
}

TEST(SamplePage, OverlaysOfADamagedRecordStayOnThePicture) {
  ObjectRecord s{};
  s.XCentre = -2147483647 - 1;
  s.MeanX = 2147483647;
  s.MeanY = -2147483647 - 1;
  s.ImgXMax = 2147483647;
  s.ImgRows = 2147483647;
  Rgb24Canvas big(300, 300);
  const std::vector<CanvasText> texts = drawSampleOverlays(big, s, {{1, 41}, {41, 81}});
  EXPECT_EQ(texts.size(), 6u);  // no strip on the picture
}

}  // namespace
}  // namespace tolvane
