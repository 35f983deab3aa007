#include "engine/reject_decision.h"

#include <gtest/gtest.h>

#include <memory>

namespace tolvane {
namespace {

class RejectDecisionTest : public ::testing::Test {
 protected:
  std::unique_ptr<ObjectRecord> record = std::make_unique<ObjectRecord>();
  ObjectRecord& r = *record;
  SorterSettings s;
};

TEST_F(RejectDecisionTest, MassBoundsAreInclusiveInAndModeAndStrictInOrMode) {
  s.enMassa = true;
  s.ifMassa = 20;
  s.bMassa = true;
  s.ifAND = true;
  r.Mass = 20;
  EXPECT_TRUE(IsReject(r, s));
  r.Mass = 19;
  EXPECT_FALSE(IsReject(r, s));

  s.ifAND = false;
  r.Mass = 21;
  EXPECT_TRUE(IsReject(r, s));
  r.Mass = 20;
  EXPECT_FALSE(IsReject(r, s));

  // Direction "below".
  s.bMassa = false;
  s.ifAND = true;
  r.Mass = 20;
  EXPECT_TRUE(IsReject(r, s));
  r.Mass = 21;
  EXPECT_FALSE(IsReject(r, s));
  s.ifAND = false;
  r.Mass = 19;
  EXPECT_TRUE(IsReject(r, s));
  r.Mass = 20;
  EXPECT_FALSE(IsReject(r, s));
}

TEST_F(RejectDecisionTest, NoEnabledConditionRejectsEverythingInAndModeAndNothingInOrMode) {
  r.Mass = 500;
  r.ClassCount[1] = 400;
  r.Length = 99;
  s.ifAND = true;
  EXPECT_TRUE(IsReject(r, s));
  s.ifAND = false;
  EXPECT_FALSE(IsReject(r, s));
}

TEST_F(RejectDecisionTest, AndNeedsEveryConditionOrNeedsOne) {
  r.Mass = 30;
  r.ClassCount[2] = 3;
  s.enMassa = true;  // Mass >= 20 holds
  s.ifMassa = 20;
  s.enP2 = true;  // ClassCount[2] >= 12 fails
  s.ifP2 = 12;
  s.ifAND = true;
  EXPECT_FALSE(IsReject(r, s));
  s.ifAND = false;  // Mass > 20 speaks
  EXPECT_TRUE(IsReject(r, s));
  // A later failing condition does not undo an OR reject.
  s.enMassa2 = true;
  s.ifMassa2 = 999;
  EXPECT_TRUE(IsReject(r, s));
}

TEST_F(RejectDecisionTest, PercentOfMassEqualToThresholdIsRejectOnlyInAndMode) {
  r.Mass = 24;
  r.ClassCount[1] = 6;  // 25 %
  s.enP1 = true;
  s.tipP1 = true;
  s.ifP1 = 25;
  for (bool above : {false, true}) {
    s.bP1 = above;
    s.ifAND = true;
    EXPECT_TRUE(IsReject(r, s)) << "above=" << above;
    s.ifAND = false;
    EXPECT_FALSE(IsReject(r, s)) << "above=" << above;
  }
  // Points instead of percent: 6 points against 25.
  s.tipP1 = false;
  s.bP1 = false;
  EXPECT_TRUE(IsReject(r, s));
}

TEST_F(RejectDecisionTest, PercentIsFractionalNotTruncated) {
  r.Mass = 30;
  r.ClassCount[2] = 8;  // 26.67 %
  s.enP2 = true;
  s.tipP2 = true;
  s.ifP2 = 26;
  s.bP2 = true;
  s.ifAND = false;
  EXPECT_TRUE(IsReject(r, s));  // 26.67 > 26, whereas a truncated 26 would not be
  s.ifP2 = 27;
  s.bP2 = false;
  EXPECT_TRUE(IsReject(r, s));  // 26.67 < 27
}

TEST_F(RejectDecisionTest, ZeroMassBecomesOneAndPercentStaysFinite) {
  r.Mass = 0;
  r.ClassCount[1] = 0;
  s.enP1 = true;
  s.tipP1 = true;
  s.ifP1 = 0;
  s.bP1 = true;
  s.ifAND = true;
  EXPECT_TRUE(IsReject(r, s));  // 0 % >= 0
  EXPECT_EQ(r.Mass, 1);

  r.Mass = 0;
  r.ClassCount[1] = 2;  // 200 % of the corrected mass
  s.ifP1 = 150;
  s.ifAND = false;
  EXPECT_TRUE(IsReject(r, s));
  EXPECT_EQ(r.Mass, 1);

  // A non-zero mass is left alone.
  r.Mass = 7;
  IsReject(r, s);
  EXPECT_EQ(r.Mass, 7);
}

TEST_F(RejectDecisionTest, LengthAndWidthUseLargestValuesInAndModeAndMeansInOrMode) {
  r.Mass = 100;
  r.Length = 10;
  r.LengthMean = 3;
  r.Width = 2;
  r.WidthMean = 8;
  s.enLength = true;
  s.ifLength = 5;
  s.bLength = true;
  s.ifAND = true;
  EXPECT_TRUE(IsReject(r, s));  // Length 10 >= 5
  s.ifAND = false;
  EXPECT_FALSE(IsReject(r, s));  // LengthMean 3 > 5 fails

  s.enLength = false;
  s.enWeight = true;
  s.ifWeight = 5;
  s.bWeight = true;
  s.ifAND = true;
  EXPECT_FALSE(IsReject(r, s));  // Width 2 >= 5 fails
  s.ifAND = false;
  EXPECT_TRUE(IsReject(r, s));  // WidthMean 8 > 5
}

TEST_F(RejectDecisionTest, ElongationComparesAsFloatingPoint) {
  r.Mass = 100;
  s.enEks = true;
  s.ifEks = 1;
  s.bEks = true;
  s.ifAND = false;
  r.Eks = 1.0;
  EXPECT_FALSE(IsReject(r, s));
  r.Eks = 1.0001;
  EXPECT_TRUE(IsReject(r, s));
  s.ifAND = true;
  r.Eks = 0.9999;
  EXPECT_FALSE(IsReject(r, s));
  r.Eks = 1.0;
  EXPECT_TRUE(IsReject(r, s));
}

TEST_F(RejectDecisionTest, ShapeAndSecondMassHaveTheirOwnKeys) {
  r.Mass = 50;
  r.Forma = 81;
  s.enForma = true;
  s.ifForma = 81;
  s.bForma = false;
  s.ifAND = false;
  EXPECT_FALSE(IsReject(r, s));
  r.Forma = 80;
  EXPECT_TRUE(IsReject(r, s));

  s.enForma = false;
  s.enMassa2 = true;
  s.ifMassa2 = 60;
  s.bMassa2 = false;
  s.enMassa = true;  // first mass condition with its own threshold and direction
  s.ifMassa = 10;
  s.bMassa = true;
  s.ifAND = true;
  EXPECT_TRUE(IsReject(r, s));  // 50 >= 10 and 50 <= 60: a window of masses
  r.Mass = 61;
  EXPECT_FALSE(IsReject(r, s));
}

}  // namespace
}  // namespace tolvane
