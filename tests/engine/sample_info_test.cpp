#include "engine/sample_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace tolvane {
namespace {

std::vector<std::string> texts(const std::vector<PanelText>& panel) {
  std::vector<std::string> out;
  for (const PanelText& t : panel) out.push_back(t.text);
  return out;
}

class SampleInfoTest : public ::testing::Test {
 protected:
  ObjectRecord& slot(int s) { return state_.SampleTable[static_cast<std::size_t>(s)]; }

  EngineState state_;
  SorterSettings settings_;
};

TEST_F(SampleInfoTest, EmptySlotShowsZeroWeightAndZeroPercentages) {
  const SampleInfo info = sampleInformation(state_, settings_, 0, {}, true);
  EXPECT_EQ(info.mass, 0);
  EXPECT_EQ(texts(info.mainPanel),
            (std::vector<std::string>{"Вес = 0", "Цвет 1 = 0 (0.00%)", "Цвет 2 = 0 (0.00%)",
                                      "Результат = нет", "Экс-т=0", "Ориентация = 00.00"}));
  EXPECT_EQ(texts(info.smallPanel),
            (std::vector<std::string>{"Вес = 0", "Цв. 1 = 0 (0.00%)", "Цв. 2 = 0 (0.00%)", "Рез. = нет"}));
  // The judging worked on the scratch copy; the slot is untouched.
  EXPECT_EQ(slot(0).Mass, 0);
  EXPECT_EQ(state_.ObjectTable[kScratchRecord].Mass, 1);
}

TEST_F(SampleInfoTest, ValuesPercentagesAndVerdictOfACapturedSample) {
  ObjectRecord& s = slot(3);
  s.InUse = 1;
  s.Mass = 24;
  s.ClassCount[1] = 6;
  s.ClassCount[2] = 18;
  s.Eks = 12.5;
  s.Angle = 0.1;
  s.Image[0] = 77;
  settings_.ifAND = true;
  settings_.enMassa = true;
  settings_.bMassa = true;
  settings_.ifMassa = 20;

  const SampleInfo info = sampleInformation(state_, settings_, 3, {}, true);
  EXPECT_TRUE(info.reject);
  EXPECT_EQ(info.camera, 0);
  EXPECT_NEAR(info.colour1Percent, 24.999, 0.001);
  EXPECT_EQ(texts(info.mainPanel),
            (std::vector<std::string>{"Вес = 24", "Цвет 1 = 6 (25.00%)", "Цвет 2 = 18 (75.00%)",
                                      "Результат = ОТСТРЕЛ", "Экс-т=12", "Ориентация = 05.73"}));
  EXPECT_EQ(texts(info.smallPanel)[3], "Рез. = ОТСТРЕЛ");
  EXPECT_EQ(std::memcmp(&state_.ObjectTable[kScratchRecord], &s, sizeof(ObjectRecord)), 0)
      << "the whole sample is copied into the scratch record";

  settings_.ifMassa = 25;
  EXPECT_FALSE(sampleInformation(state_, settings_, 3, {}, true).reject);
}

TEST_F(SampleInfoTest, PanelPositionsAndCameraSide) {
  const SampleInfo info = sampleInformation(state_, settings_, 6, {}, true);
  EXPECT_EQ(info.camera, 1);
  EXPECT_EQ(sampleInformation(state_, settings_, 5, {}, true).camera, 0);
  ASSERT_EQ(info.mainPanel.size(), 6u);
  ASSERT_EQ(info.smallPanel.size(), 4u);
  for (std::size_t i = 0; i < info.mainPanel.size(); ++i) {
    EXPECT_EQ(info.mainPanel[i].x, 10);
    EXPECT_EQ(info.mainPanel[i].y, 209 + 13 * static_cast<int>(i));
  }
  for (std::size_t i = 0; i < info.smallPanel.size(); ++i) {
    EXPECT_EQ(info.smallPanel[i].x, 5);
    EXPECT_EQ(info.smallPanel[i].y, 48 + 12 * static_cast<int>(i));
  }
  EXPECT_THROW(sampleInformation(state_, settings_, -1, {}, true), std::out_of_range);
  EXPECT_THROW(sampleInformation(state_, settings_, kSampleSlots, {}, true), std::out_of_range);
  EXPECT_NO_THROW(sampleInformation(state_, settings_, kSampleSlots - 1, {}, true));
}

TEST_F(SampleInfoTest, PickedColourLineOfEachBuild) {
  PickedColour picked;
  picked.grey = 128;
  picked.r = 255;
  picked.g = 255;
  picked.b = 0;
  EXPECT_EQ(sampleInformation(state_, settings_, 0, picked, true).colourLines,
            (std::vector<std::string>{"ЦВЕТ B/W:128"}));
  EXPECT_EQ(sampleInformation(state_, settings_, 0, picked, false).colourLines,
            (std::vector<std::string>{"ЦВЕТ H:60 S:255 V:255", "ЦВЕТ R:255 G:255 B:0"}));
}

TEST_F(SampleInfoTest, ElongationRoundsHalfToEvenAndAngleShowsInDegrees) {
  slot(1).Eks = 13.5;
  slot(1).Angle = std::numbers::pi / 2;
  SampleInfo info = sampleInformation(state_, settings_, 1, {}, true);
  EXPECT_EQ(info.mainPanel[4].text, "Экс-т=14");
  EXPECT_EQ(info.mainPanel[5].text, "Ориентация = 90.00");
  slot(1).Angle = -0.1;
  EXPECT_EQ(sampleInformation(state_, settings_, 1, {}, true).mainPanel[5].text, "Ориентация = -05.73");
}

TEST_F(SampleInfoTest, DamagedFloatingFieldsDoNotBreakTheTexts) {
  slot(2).Eks = std::numeric_limits<double>::quiet_NaN();
  slot(2).Angle = std::numeric_limits<double>::infinity();
  const SampleInfo info = sampleInformation(state_, settings_, 2, {}, true);
  EXPECT_EQ(info.mainPanel[4].text, "Экс-т=0");
  EXPECT_EQ(info.mainPanel[5].text, "Ориентация = INF");
  slot(2).Eks = 1e300;
  EXPECT_EQ(sampleInformation(state_, settings_, 2, {}, true).eks, 2147483647);
}

TEST(FormatFixed2, LeadingDigitsAndSign) {
  EXPECT_EQ(formatFixed2(0.0, 1), "0.00");
  EXPECT_EQ(formatFixed2(0.004, 1), "0.00");
  EXPECT_EQ(formatFixed2(-0.004, 2), "00.00");
  EXPECT_EQ(formatFixed2(5.0, 2), "05.00");
  EXPECT_EQ(formatFixed2(123.456, 2), "123.46");
  EXPECT_EQ(formatFixed2(99.999, 1), "100.00");
  EXPECT_EQ(formatFixed2(-7.5, 2), "-07.50");
}

}  // namespace
}  // namespace tolvane
