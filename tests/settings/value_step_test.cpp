#include "settings/value_step.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(ValueStep, OneUnitInsideTheLimitsAndTowardThemFromOutside) {
  struct Case {
    std::int32_t value;
    StepDirection direction;
    std::int32_t lower, upper, after;
  };
  const Case cases[] = {
      {1, StepDirection::kDown, 1, 999, 1},     {1, StepDirection::kDown, 0, 999, 0},
      {0, StepDirection::kDown, 0, 999, 0},     {200, StepDirection::kUp, 1, 200, 200},
      {199, StepDirection::kUp, 1, 200, 200},   {100, StepDirection::kUp, 1, 100, 100},
      {1500, StepDirection::kUp, 1, 999, 1500}, {1500, StepDirection::kDown, 1, 999, 1499},
      {-7, StepDirection::kDown, 0, 255, -7},   {-7, StepDirection::kUp, 0, 255, -6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(stepValue(c.value, c.direction, c.lower, c.upper), c.after)
        << c.value << (c.direction == StepDirection::kUp ? " up in " : " down in ") << c.lower << ".."
        << c.upper;
  }
}

TEST(ValueStep, LabelNumbers) {
  EXPECT_EQ(labelNumber("007"), 7);
  EXPECT_EQ(labelNumber(" 120 "), 120);
  EXPECT_EQ(labelNumber("-05"), -5);
  for (const char* bad : {"", "  ", "12a", "abc", "1.5", "99999999999"})
    EXPECT_EQ(labelNumber(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace tolvane
