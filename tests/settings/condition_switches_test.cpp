#include "settings/condition_switches.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using CS = ConditionSwitch;

TEST(ConditionSwitches, LoadingSetsEverySwitchFromItsFlagInOrder) {
  struct Case {
    const char* what;
    bool lineModeOnBefore;
    bool enFast, enMassa, enP1;
    bool fastAfter, massaAfter, p1After;
  };
  const Case cases[] = {
      {"line mode switched on by the load clears the enables loaded before it", false, true, true, true, true,
       false, false},
      {"line mode already on leaves the loaded enables", true, true, true, false, true, true, false},
      {"line mode switched off by the load keeps the enables", true, false, true, true, false, true, true},
      {"no line mode", false, false, false, true, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConditionSwitches board;
    SorterSettings s;
    if (c.lineModeOnBefore) board.set(CS::FastSort_Button, true, s);
    s.enFast = c.enFast;
    s.enMassa = c.enMassa;
    s.enP1 = c.enP1;
    board.load(s);
    EXPECT_EQ(board.isOn(CS::FastSort_Button), c.fastAfter);
    EXPECT_EQ(board.isOn(CS::Massa_Button), c.massaAfter);
    EXPECT_EQ(board.isOn(CS::P1_Button), c.p1After);
    EXPECT_EQ(s.enFast, c.fastAfter);
    EXPECT_EQ(s.enMassa, c.massaAfter);
    EXPECT_EQ(s.enP1, c.p1After);
  }
}

TEST(ConditionSwitches, InvertedSwitchesCaptionsAndTheOrderOfChanges) {
  ConditionSwitches board;
  SorterSettings s;
  s.ifAND = false;   // OR: the switch is on
  s.bMassa = false;  // "<"
  s.tipP2 = true;    // "%"
  s.enTripleShot = true;
  const std::vector<CS> changed = board.load(s);
  EXPECT_EQ(changed,
            (std::vector<CS>{CS::AND_Button, CS::TripleShotSwitch, CS::Massa_b_Button, CS::P2_type}));
  EXPECT_EQ(board.caption(CS::Massa_b_Button), "<");
  EXPECT_EQ(board.caption(CS::Massa2_b_Button), ">");
  EXPECT_EQ(board.caption(CS::P2_type), "%");
  EXPECT_EQ(board.caption(CS::P1_type), "ТОЧЕК");
  EXPECT_EQ(board.caption(CS::Massa_Button), std::nullopt);
  // Loading the same flags again changes nothing.
  EXPECT_TRUE(board.load(s).empty());
}

TEST(ConditionSwitches, TouchesFollowTheOnAndOffHandling) {
  ConditionSwitches board;
  SorterSettings s;
  board.set(CS::Massa_Button, true, s);
  board.set(CS::P1_Button, true, s);
  ASSERT_TRUE(s.enMassa && s.enP1);

  // Line mode on switches the conditions off; their thresholds go grey.
  const std::vector<CS> changed = board.set(CS::FastSort_Button, true, s);
  EXPECT_EQ(changed, (std::vector<CS>{CS::FastSort_Button, CS::Massa_Button, CS::P1_Button}));
  EXPECT_TRUE(s.enFast);
  EXPECT_FALSE(s.enMassa || s.enP1);
  EXPECT_FALSE(ConditionSwitches::rowActive(0, s));
  EXPECT_TRUE(ConditionSwitches::rowActive(8, s));

  // A condition switched on beside line mode stays on, and line mode too.
  board.set(CS::Massa_Button, true, s);
  EXPECT_TRUE(s.enMassa && s.enFast);
  EXPECT_TRUE(ConditionSwitches::rowActive(0, s));

  // A direction switched on stores false and reads "<"; the line-mode direction touches no flag.
  board.set(CS::Length_b_Button, true, s);
  EXPECT_FALSE(s.bLength);
  const SorterSettings before = s;
  board.set(CS::FastSort_b_Button, true, s);
  EXPECT_EQ(board.caption(CS::FastSort_b_Button), "<");
  EXPECT_EQ(s.bLength, before.bLength);
  EXPECT_EQ(s.enFast, before.enFast);

  // AND_Button off means AND.
  board.set(CS::AND_Button, true, s);
  board.set(CS::AND_Button, false, s);
  EXPECT_TRUE(s.ifAND);
  // Setting the state a switch has raises nothing.
  EXPECT_TRUE(board.set(CS::AND_Button, false, s).empty());
  EXPECT_FALSE(ConditionSwitches::rowActive(99, s));
}

}  // namespace
}  // namespace tolvane
