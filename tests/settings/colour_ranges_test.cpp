// Stepping of the colour ranges, background levels, blue- and black-background values, the open
// ranges of the test program, the range bar geometry and the single-channel switches.
#include "settings/colour_ranges.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tolvane {
namespace {

constexpr auto kDown = StepDirection::kDown;
constexpr auto kUp = StepDirection::kUp;

TEST(ColourRanges, EveryPairNamesItsOwnFieldKeyAndLimits) {
  std::set<std::string> names;
  SorterSettings s;
  for (const RangeControl& c : rangeControls()) {
    // The limits are those of the program key the field is saved under.
    const KeyRange* keyRange = programKeyRange(c.key);
    ASSERT_NE(keyRange, nullptr) << c.key;
    EXPECT_EQ(c.range.min, keyRange->min) << c.key;
    EXPECT_EQ(c.range.max, keyRange->max) << c.key;
    // The field stepped is the one the key is loaded into.
    const ProgramKey* key = findProgramKey(c.key);
    ASSERT_NE(key, nullptr);
    programInt(s, *key) = 4242;
    EXPECT_EQ(rangeValue(s, c.field, c.camera), 4242) << c.key;
    programInt(s, *key) = 0;
    EXPECT_EQ(&rangeControl(c.field, c.camera), &c);
    for (const char* name : {c.label, c.left, c.right}) EXPECT_TRUE(names.insert(name).second) << name;
  }
  EXPECT_EQ(names.size(), 48u);
}

struct StepCase {
  const char* label;
  StepDirection direction;
  std::optional<int32_t> value;  // nullopt: no step, the field keeps its value
  const char* text;
};

TEST(ColourRanges, StepOfALabelWithinItsLimits) {
  const StepCase cases[] = {
      {"000", kDown, 0, "000"},        {"000", kUp, 1, "001"},         {"255", kUp, 255, "255"},
      {"255", kDown, 254, "254"},      {"120", kUp, 121, "121"},       {"300", kUp, 300, "300"},
      {"300", kDown, 299, "299"},      {"1350", kDown, 1349, "1349"},  {"-5", kUp, -4, "-04"},
      {"-5", kDown, -5, "-05"},        {"abc", kUp, std::nullopt, ""}, {"", kDown, std::nullopt, ""},
      {"12.7", kUp, std::nullopt, ""}, {" 7 ", kUp, 8, "008"},
  };
  for (const StepCase& c : cases) {
    const auto step = stepLabelText(c.label, c.direction, KeyRange{0, 255});
    ASSERT_EQ(step.has_value(), c.value.has_value()) << c.label;
    if (!step) continue;
    EXPECT_EQ(step->value, *c.value) << c.label;
    EXPECT_EQ(step->text, c.text) << c.label;
  }
}

TEST(ColourRanges, StepStoresIntoTheFieldOfItsPairOnly) {
  for (const RangeControl& c : rangeControls()) {
    SorterSettings s;
    const SorterSettings before = s;
    const auto step = stepRange(s, 0, c.field, c.camera, kUp, "254");
    ASSERT_TRUE(step);
    EXPECT_EQ(rangeValue(s, c.field, c.camera), 255) << c.key;
    // Every other value of both cameras is untouched.
    for (const RangeControl& other : rangeControls()) {
      if (&other == &c) continue;
      EXPECT_EQ(rangeValue(s, other.field, other.camera), rangeValue(before, other.field, other.camera))
          << c.key << " changed " << other.key;
    }
    // A label that is not a number changes nothing.
    EXPECT_FALSE(stepRange(s, 0, c.field, c.camera, kDown, "x12"));
    EXPECT_EQ(rangeValue(s, c.field, c.camera), 255);
  }
}

TEST(ColourRanges, LowerBoundsMayPassTheirUpperBounds) {
  SorterSettings s;
  s.FonMin[0] = 255;
  s.FonMax[0] = 100;
  ASSERT_TRUE(stepRange(s, 0, RangeField::kP1Min, 0, kUp, "200"));
  EXPECT_EQ(s.P1Min[0], 201);
  EXPECT_EQ(s.P1Max[0], 150);
  EXPECT_EQ(s.FonMin[0], 255);
}

TEST(ColourRanges, TestProgramKeepsItsRangesOpenButNotItsLabels) {
  SorterSettings s;
  // As loaded from program9: FonMin=120 shown in its label.
  s.FonMin = {120, 130};
  s.FonBlack = {20, 30};
  s.FonLight = {200, 210};
  s.P1Max = {100, 110};
  // Another program is not opened.
  EXPECT_FALSE(openTestProgramRanges(s, 8));
  EXPECT_EQ(s.FonMin[0], 120);

  // The press of FonChMinRight: opened first, then the label's number goes up and into the field.
  auto step = stepRange(s, kTestProgramIndex, RangeField::kFonMin, 0, kUp, "120");
  ASSERT_TRUE(step);
  EXPECT_EQ(step->text, "121");
  EXPECT_EQ(s.FonMin[0], 121);
  EXPECT_EQ(s.FonMin[1], 0);
  EXPECT_EQ(s.FonBlack, (SorterSettings::CameraPair{0, 0}));
  EXPECT_EQ(s.FonLight, (SorterSettings::CameraPair{255, 255}));
  EXPECT_EQ(s.P1Max, (SorterSettings::CameraPair{255, 255}));
  EXPECT_EQ(s.P2Min, (SorterSettings::CameraPair{0, 0}));
  EXPECT_EQ(s.P2Max, (SorterSettings::CameraPair{255, 255}));
  EXPECT_EQ(s.FonMax, (SorterSettings::CameraPair{255, 255}));

  // The next evaluation, through any other range button, sets FonMin back to the open 0.
  step = stepRange(s, kTestProgramIndex, RangeField::kP2Max, 1, kDown, "200");
  ASSERT_TRUE(step);
  EXPECT_EQ(s.FonMin[0], 0);
  EXPECT_EQ(s.P2Max[1], 199);

  // A background level is stepped without opening: it keeps its stepped value until the next range
  // evaluation.
  step = stepRange(s, kTestProgramIndex, RangeField::kFonBlack, 0, kUp, "020");
  ASSERT_TRUE(step);
  EXPECT_EQ(s.FonBlack[0], 21);
  EXPECT_EQ(s.P2Max[1], 199);
  EXPECT_TRUE(openTestProgramRanges(s, kTestProgramIndex));
  EXPECT_EQ(s.FonBlack[0], 0);
  EXPECT_EQ(s.P2Max[1], 255);

  // A label that is not a number still opens the ranges (the evaluation's first step) but stores
  // nothing.
  s.FonMax[0] = 17;
  EXPECT_FALSE(stepRange(s, kTestProgramIndex, RangeField::kP1Min, 0, kUp, "abc"));
  EXPECT_EQ(s.FonMax[0], 255);
  EXPECT_EQ(s.P1Min[0], 0);
}

TEST(ColourRanges, BarsFollowTheValues) {
  SorterSettings s;
  s.FonMin[1] = 200;
  s.FonMax[1] = 255;
  s.P1Min[1] = 0;
  s.P1Max[1] = 150;
  s.P2Min[1] = 150;
  s.P2Max[1] = 200;
  s.FonBlack[1] = 20;
  s.FonLight[1] = 230;
  const RangeBars bars = rangeBars(s, 1, 14);
  EXPECT_EQ(bars.fonLeftMarker, (BarSpan{14 + 400, kRangeMarkerWidth}));
  EXPECT_EQ(bars.fonRightMarker, (BarSpan{14 + 510, kRangeMarkerWidth}));
  EXPECT_EQ(bars.fonRange, (BarSpan{14 + 403, 110}));
  EXPECT_EQ(bars.p1, (BarSpan{14 + 2, 300}));
  EXPECT_EQ(bars.p2, (BarSpan{14 + 302, 100}));
  EXPECT_EQ(bars.darkZone, (BarSpan{6, 50}));
  EXPECT_EQ(bars.darkEdge, (BarSpan{54, kZoneEdgeWidth}));
  EXPECT_EQ(bars.lightZone, (BarSpan{14 + 461, 60}));
  EXPECT_EQ(bars.lightEdge, (BarSpan{14 + 460, kZoneEdgeWidth}));
  // The light zone always ends at the same place, right of level 255.
  EXPECT_EQ(bars.lightZone.left + bars.lightZone.width, 14 + 521);
  // Camera 1's values draw camera 1's bars.
  EXPECT_NE(rangeBars(s, 0, 14), bars);
}

TEST(ColourRanges, BarsOfExtremeAndInvertedValues) {
  SorterSettings s;
  s.FonBlack[0] = 0;
  s.FonLight[0] = 255;
  RangeBars bars = rangeBars(s, 0, 0);
  EXPECT_EQ(bars.darkZone, (BarSpan{-8, 10}));
  EXPECT_EQ(bars.darkEdge.left, 0);
  EXPECT_EQ(bars.lightZone, (BarSpan{511, 10}));
  EXPECT_EQ(bars.lightEdge.left, 510);

  // Lower bounds above their upper bounds draw no band rather than a negative one.
  s.FonMin[0] = 250;
  s.FonMax[0] = 10;
  s.P1Min[0] = 100;
  s.P1Max[0] = 99;
  bars = rangeBars(s, 0, 0);
  EXPECT_EQ(bars.fonRange.width, 0);
  EXPECT_EQ(bars.p1.width, 0);
  EXPECT_EQ(bars.fonRightMarker.left, 20);

  // Values from a damaged file stay off the scale without overflowing.
  s.FonMin[0] = INT32_MIN;
  s.FonMax[0] = INT32_MAX;
  s.FonBlack[0] = INT32_MAX;
  s.FonLight[0] = INT32_MIN;
  bars = rangeBars(s, 0, 0);
  EXPECT_EQ(bars.fonLeftMarker.left, 2 * kDrawnLevelMin);
  EXPECT_EQ(bars.fonRightMarker.left, 2 * kDrawnLevelMax);
  EXPECT_GT(bars.darkZone.width, kScalePixels);
  EXPECT_GT(bars.lightZone.width, kScalePixels);
  EXPECT_LT(bars.lightZone.left, 0);
  // A value stored as 300 sits beyond the right end of the scale.
  s.FonMax[0] = 300;
  EXPECT_EQ(rangeBars(s, 0, 0).fonRightMarker.left, 600);
}

TEST(ColourRanges, BlueBackgroundStepsOnlyTheChosenValue) {
  MachineSettings m;
  BlueFonChoice choice;
  // Nothing chosen at start: the arrows change nothing.
  EXPECT_EQ(choice.chosen(), std::nullopt);
  EXPECT_FALSE(stepBlueFon(m, choice.chosen(), kUp, "030"));
  EXPECT_EQ(m.FRmin, 0);

  const std::array<int32_t MachineSettings::*, 6> fields = {&MachineSettings::FRmin, &MachineSettings::FRmax,
                                                            &MachineSettings::FGmin, &MachineSettings::FGmax,
                                                            &MachineSettings::FBmin, &MachineSettings::FBmax};
  for (std::size_t i = 0; i < kBlueFonCount; ++i) {
    MachineSettings before;
    MachineSettings changed;
    choice.touch(i);
    EXPECT_TRUE(choice.isChosen(i));
    auto step = stepBlueFon(changed, choice.chosen(), kUp, "100");
    ASSERT_TRUE(step);
    EXPECT_EQ(step->text, "101");
    EXPECT_EQ(changed.*fields[i], 101) << kBlueFonLabelNames[i];
    for (std::size_t j = 0; j < kBlueFonCount; ++j) {
      if (j == i) continue;
      EXPECT_EQ(changed.*fields[j], before.*fields[j]) << kBlueFonLabelNames[j];
    }
    // Limits 0 ... 255, and a stored 300 only comes down.
    EXPECT_EQ(stepBlueFon(changed, choice.chosen(), kUp, "255")->value, 255);
    EXPECT_EQ(stepBlueFon(changed, choice.chosen(), kDown, "000")->text, "000");
    EXPECT_EQ(stepBlueFon(changed, choice.chosen(), kUp, "300")->value, 300);
    EXPECT_EQ(stepBlueFon(changed, choice.chosen(), kDown, "300")->value, 299);
    EXPECT_EQ(changed.*fields[i], 299);
    EXPECT_FALSE(stepBlueFon(changed, choice.chosen(), kDown, "x"));
    EXPECT_EQ(changed.*fields[i], 299);
  }
  // A later touch replaces the choice; an index that names no label chooses none.
  choice.touch(2);
  EXPECT_FALSE(choice.isChosen(5));
  choice.touch(6);
  EXPECT_EQ(choice.chosen(), std::nullopt);
}

TEST(ColourRanges, BlackBackgroundStepsTheEditedCamera) {
  MachineSettings m;
  m.BlackFon = {10, 20};
  auto step = stepBlackFon(m, 1, kUp, "020");
  ASSERT_TRUE(step);
  EXPECT_EQ(step->text, "021");
  EXPECT_EQ(m.BlackFon, (std::array<int32_t, 2>{10, 21}));
  // The label a copy wrote is what is stepped, whatever the field held.
  step = stepBlackFon(m, 0, kDown, "017");
  EXPECT_EQ(m.BlackFon, (std::array<int32_t, 2>{16, 21}));
  EXPECT_EQ(stepBlackFon(m, 0, kUp, "255")->value, 255);
  EXPECT_EQ(stepBlackFon(m, 0, kDown, "000")->value, 0);
  EXPECT_FALSE(stepBlackFon(m, 0, kUp, "0x1"));
  EXPECT_EQ(m.BlackFon[0], 0);
}

TEST(ColourRanges, SingleChannelSwitches) {
  struct Case {
    int channel;
    bool on;
    bool ocr, ocg, ocb;
    int32_t single;
  };
  SorterSettings s;
  s.OCR = true;
  const Case cases[] = {
      {3, true, false, false, true, 3},   {2, true, false, true, false, 2},
      {2, false, false, false, false, 2},  // switched off: the channel stays in use
      {1, true, true, false, false, 1},   {3, false, true, false, false, 1},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(switchChannel(s, c.channel, c.on));
    EXPECT_EQ(s.OCR, c.ocr) << c.channel << c.on;
    EXPECT_EQ(s.OCG, c.ocg) << c.channel << c.on;
    EXPECT_EQ(s.OCB, c.ocb) << c.channel << c.on;
    EXPECT_EQ(s.SingleChannel, c.single) << c.channel << c.on;
  }
  EXPECT_FALSE(switchChannel(s, 0, true));
  EXPECT_FALSE(switchChannel(s, 4, true));
  EXPECT_EQ(s.SingleChannel, 1);
  EXPECT_TRUE(s.OCR);
}

}  // namespace
}  // namespace tolvane
