#include "ejection/ejector_calibration.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/ejection_state.h"

namespace tolvane {
namespace {

using Arrow = CalibrationArrow;

struct PointStep {
  int side;
  int block;
  Arrow arrow;
  MachineSettings::CalibrationPoints MachineSettings::*points;
  int delta;
};

TEST(EjectorCalibrationTest, EachArrowMovesItsPointOfTheSelectedBlockByOnePixel) {
  const PointStep cases[] = {
      {kSideA, 0, Arrow::kLeftMinus, &MachineSettings::EgecA, -1},
      {kSideA, 1, Arrow::kLeftPlus, &MachineSettings::EgecA, +1},
      {kSideA, 2, Arrow::kRightMinus, &MachineSettings::EgecAx, -1},
      {kSideA, 3, Arrow::kRightPlus, &MachineSettings::EgecAx, +1},
      {kSideB, 0, Arrow::kLeftMinus, &MachineSettings::EgecB, -1},
      {kSideB, 3, Arrow::kLeftPlus, &MachineSettings::EgecB, +1},
      {kSideB, 1, Arrow::kRightMinus, &MachineSettings::EgecBx, -1},
      {kSideB, 2, Arrow::kRightPlus, &MachineSettings::EgecBx, +1},
  };
  for (const PointStep& c : cases) {
    MachineSettings m;
    const MachineSettings before = m;
    EXPECT_TRUE(stepCalibrationPoint(m, c.side, c.block, c.arrow));
    MachineSettings expected = before;
    (expected.*c.points)[static_cast<std::size_t>(c.block)] += c.delta;
    for (auto points : {&MachineSettings::EgecA, &MachineSettings::EgecAx, &MachineSettings::EgecB,
                        &MachineSettings::EgecBx}) {
      EXPECT_EQ(m.*points, expected.*points) << "side " << c.side << " block " << c.block;
    }
  }
}

TEST(EjectorCalibrationTest, NoSelectedBlockChangesNothing) {
  for (const int block : {-1, 4, 5, 100}) {
    MachineSettings m;
    EXPECT_FALSE(stepCalibrationPoint(m, kSideA, block, Arrow::kLeftPlus)) << block;
    EXPECT_EQ(m.EgecA, MachineSettings{}.EgecA) << block;
    EXPECT_EQ(m.EgecAx, MachineSettings{}.EgecAx) << block;
  }
  MachineSettings m;
  EXPECT_FALSE(stepCalibrationPoint(m, 2, 0, Arrow::kLeftPlus));
  EXPECT_EQ(m.EgecA, MachineSettings{}.EgecA);
}

TEST(EjectorCalibrationTest, PointsHaveNoOperatorLimitsButStayInside32Bits) {
  MachineSettings m;
  m.EgecA[0] = 0;
  EXPECT_TRUE(stepCalibrationPoint(m, kSideA, 0, Arrow::kLeftMinus));
  EXPECT_EQ(m.EgecA[0], -1);
  // A start may pass its end: the zones then select no pixel.
  m.EgecAx[1] = 625;
  m.EgecA[1] = 625;
  EXPECT_TRUE(stepCalibrationPoint(m, kSideA, 1, Arrow::kLeftPlus));
  EXPECT_EQ(m.EgecA[1], 626);

  m.EgecBx[2] = std::numeric_limits<std::int32_t>::max();
  EXPECT_FALSE(stepCalibrationPoint(m, kSideB, 2, Arrow::kRightPlus));
  EXPECT_EQ(m.EgecBx[2], std::numeric_limits<std::int32_t>::max());
  m.EgecB[3] = std::numeric_limits<std::int32_t>::min();
  EXPECT_FALSE(stepCalibrationPoint(m, kSideB, 3, Arrow::kLeftMinus));
  EXPECT_EQ(m.EgecB[3], std::numeric_limits<std::int32_t>::min());
}

TEST(EjectorPageSteppersTest, FieldsAndLimitsOfTheStableParametersAndWorkingRanges) {
  struct Expected {
    const char* field;
    std::int32_t MachineSettings::*member;
    std::int32_t lower;
    std::int32_t upper;
  };
  const Expected expected[] = {
      {"Time", &MachineSettings::Time, 1, 300},      {"Delay", &MachineSettings::Delay, 0, 999},
      {"MinVes", &MachineSettings::MinVes, 0, 600},  {"EGA_Min", &MachineSettings::EGA_Min, 1, 48},
      {"EGA_Max", &MachineSettings::EGA_Max, 1, 48}, {"EGB_Min", &MachineSettings::EGB_Min, 1, 48},
      {"EGB_Max", &MachineSettings::EGB_Max, 1, 48},
  };
  const auto steppers = ejectorPageSteppers();
  for (std::size_t i = 0; i < steppers.size(); ++i) {
    EXPECT_EQ(steppers[i].field, expected[i].field);
    EXPECT_TRUE(steppers[i].member == expected[i].member) << expected[i].field;
    EXPECT_EQ(steppers[i].range.min, expected[i].lower) << expected[i].field;
    EXPECT_EQ(steppers[i].range.max, expected[i].upper) << expected[i].field;
  }
}

TEST(EjectorPageSteppersTest, StepLabelReadsTheLabelAndKeepsTheLimits) {
  struct Case {
    const char* label;
    StepDirection direction;
    KeyRange range;
    std::optional<std::int32_t> after;
  };
  const KeyRange time{1, 300};
  const KeyRange delay{0, 999};
  const KeyRange range{1, 48};
  const Case cases[] = {
      {"012", StepDirection::kUp, time, 13},
      {"012", StepDirection::kDown, time, 11},
      {"001", StepDirection::kDown, time, 1},  // Time_Left at 1 leaves 1
      {"300", StepDirection::kUp, time, 300},
      {"000", StepDirection::kDown, delay, 0},
      {"999", StepDirection::kUp, delay, 999},
      {"048", StepDirection::kUp, range, 48},
      {"001", StepDirection::kDown, range, 1},
      // Stored outside the limits: the far side stays, the near side moves one unit back.
      {"1350", StepDirection::kUp, time, 1350},
      {"1350", StepDirection::kDown, time, 1349},
      {"000", StepDirection::kDown, time, 0},
      {"000", StepDirection::kUp, time, 1},
      {"060", StepDirection::kDown, range, 59},
      // Not a number: nothing changes.
      {"", StepDirection::kUp, time, std::nullopt},
      {"abc", StepDirection::kUp, time, std::nullopt},
      {"12.7", StepDirection::kDown, time, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stepLabel(c.label, c.direction, c.range.min, c.range.max), c.after) << '"' << c.label << '"';
  }
}

}  // namespace
}  // namespace tolvane
