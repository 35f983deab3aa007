#include "ejection/reject_regulator.h"

#include <gtest/gtest.h>

#include <limits>

namespace tolvane {
namespace {

constexpr int32_t kMassa = static_cast<int32_t>(RegulatorParameter::kMassa);
constexpr int32_t kP1 = static_cast<int32_t>(RegulatorParameter::kP1);
constexpr int32_t kFast = static_cast<int32_t>(RegulatorParameter::kFast);
constexpr int32_t kHMin = static_cast<int32_t>(SectorBound::kHMin);
constexpr int32_t kSMax = static_cast<int32_t>(SectorBound::kSMax);

TEST(RegulatorTargetTest, MapsTheKnobBetweenTheBoundsWithHalvesToEven) {
  struct Case {
    int32_t left, right, value, target;
  };
  const Case cases[] = {
      {10, 30, 50, 20},
      {10, 30, 0, 10},
      {10, 30, 100, 30},
      {0, 5, 50, 2},  // 2.5 -> 2
      {0, 5, 70, 4},  // 3.5 -> 4
      {0, 5, 30, 2},  // 1.5 -> 2
      {0, 5, 10, 0},  // 0.5 -> 0
      {1, 2, 50, 1},  // the offset is rounded, not the sum
      {30, 10, 50, 20},
      {30, 10, 25, 25},
      {30, 10, 100, 10},  // left above right: falls as the knob rises
      {5, 0, 50, 3},      // 5 + round(-2.5) = 5 - 2
      {0, 360, 33, 119},
      {7, 7, 80, 7},
      {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 100,
       std::numeric_limits<int32_t>::max()},
      {0, 10, 250, 10},  // the knob never leaves 0..100
      {0, 10, -7, 0},
      {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(),
       std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(regulatorTarget(c.left, c.right, c.value), c.target)
        << c.left << ".." << c.right << " at " << c.value << " %";
  }
}

TEST(RegulatorTextTest, KnobAndBoundsFromTheirStoredTexts) {
  struct Case {
    const char* text;
    int32_t value;
    int32_t bound;
  };
  const Case cases[] = {
      {"50", 50, 50}, {"051", 51, 51}, {"150", 100, 150}, {"-3", 0, -3},     {"abc", 50, 0},
      {"", 50, 0},    {" 7 ", 7, 7},   {"12.5", 50, 0},   {"400", 100, 400},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(regulatorValueFromText(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(regulatorBoundFromText(c.text), c.bound) << '"' << c.text << '"';
  }
}

const std::string kSector3 =
    "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"10\" ##HMAX=\"40\" ##SMIN=\"20\" ##SMAX=\"200\" ##VMIN=\"0\" "
    "##VMAX=\"255\" ##ACTIVE=\"TRUE\"";
// As a file may hold it: other order, leading zeros; rewritten only when a bound moves.
const std::string kSector0 =
    "##TYPE=\"-1\" ##ID=\"0\" ##HMIN=\"000\" ##HMAX=\"360\" ##SMIN=\"000\" ##SMAX=\"050\" ##VMIN=\"026\" "
    "##VMAX=\"255\"";
const std::string kBadSector = "##ID=\"x\" ##TYPE=\"1\"";

SorterSettings withSectors() {
  SorterSettings s;
  s.Sectors[0] = {kSector3, kSector0, kBadSector};
  s.Sectors[1] = {kSector3};
  return s;
}

TEST(RegulatorItemsTest, ThresholdsThenOneItemPerCameraOneSector) {
  const std::vector<std::string> expected = {"Масса",     "Цвет 1",    "Цвет 2",  "Линия",
                                             "Сектор №3", "Сектор №0", "Сектор №"};
  EXPECT_EQ(regulatorParameterItems(withSectors().Sectors[0]), expected);
  EXPECT_EQ(regulatorParameterItems({}).size(), 4u);

  EXPECT_EQ(sectorIdOfItem("Сектор №12"), 12);
  EXPECT_EQ(sectorIdOfItem("Сектор №0"), 0);
  EXPECT_EQ(sectorIdOfItem("Сектор №"), std::nullopt);
  EXPECT_EQ(sectorIdOfItem("Масса"), std::nullopt);
}

TEST(RegulatorStepTest, KnobStopsAt0And100BoundsAt0And360) {
  RejectRegulator r;
  r.setValue(0);
  r.stepValue(StepDirection::kDown);
  EXPECT_EQ(r.value(), 0);
  r.stepValue(StepDirection::kUp);
  EXPECT_EQ(r.value(), 1);
  r.setValue(100);
  r.stepValue(StepDirection::kUp);
  EXPECT_EQ(r.value(), 100);

  struct Case {
    int32_t from;
    BoundSide side;
    StepDirection direction;
    int32_t to;
  };
  const Case cases[] = {
      {0, BoundSide::kLeft, StepDirection::kDown, 0},   {0, BoundSide::kRight, StepDirection::kUp, 1},
      {360, BoundSide::kLeft, StepDirection::kUp, 360}, {360, BoundSide::kRight, StepDirection::kDown, 359},
      {400, BoundSide::kLeft, StepDirection::kUp, 400}, {400, BoundSide::kRight, StepDirection::kDown, 399},
      {-4, BoundSide::kLeft, StepDirection::kUp, -3},
  };
  for (const Case& c : cases) {
    r.setBounds(1, c.from, c.from);
    r.stepBound(1, c.side, c.direction);
    const int32_t stepped = c.side == BoundSide::kLeft ? r.row(1).left : r.row(1).right;
    const int32_t other = c.side == BoundSide::kLeft ? r.row(1).right : r.row(1).left;
    EXPECT_EQ(stepped, c.to) << c.from;
    EXPECT_EQ(other, c.from);
  }
}

// A regulator over settings with the given rows, loaded as a program load does.
RejectRegulator loaded(SorterSettings& s) {
  RejectRegulator r;
  r.load(s);
  return r;
}

TEST(RegulationTest, MassaRowAtItsEdgeCases) {
  SorterSettings s;
  s.bParam1 = true;
  s.reg_ParamBox1 = kMassa;
  s.reg_ParamBox1left = "010";
  s.reg_ParamBox1right = "030";
  for (const auto& [value, massa] : {std::pair{50, 20}, {0, 10}, {100, 30}}) {
    s.Regulator = std::to_string(value);
    RejectRegulator r = loaded(s);
    const RegulationChanges changes = applyRegulation(r.regulation(), s);
    EXPECT_EQ(s.ifMassa, massa) << value;
    EXPECT_EQ(changes.thresholds[0], massa != 20) << value;  // 20 is the default
    s.ifMassa = 20;
  }
}

TEST(RegulationTest, WhichRowDrivesWhichThreshold) {
  struct Case {
    const char* name;
    std::array<bool, 3> active;
    std::array<int32_t, 3> parameter;
    std::array<int32_t, 3> left;
    std::array<int32_t, 3> right;
    int32_t value;
    std::array<std::optional<int32_t>, 4> thresholds;
  };
  const Case cases[] = {
      {"rows 1 and 3 on colour 1: row 3 wins",
       {true, false, true},
       {kP1, kP1, kP1},
       {0, 0, 100},
       {100, 100, 200},
       50,
       {std::nullopt, 150, std::nullopt, std::nullopt}},
      {"row 3 off: row 1 drives",
       {true, true, false},
       {kP1, kMassa, kP1},
       {0, 40, 100},
       {100, 60, 200},
       50,
       {50, 50, std::nullopt, std::nullopt}},
      {"all off: nothing driven", {false, false, false}, {kP1, kMassa, kFast}, {0, 0, 0}, {9, 9, 9}, 50, {}},
      {"active without a parameter drives nothing",
       {true, false, false},
       {-1, kP1, kP1},
       {0, 0, 0},
       {9, 9, 9},
       50,
       {}},
      {"mass held to 1..999",
       {true, false, false},
       {kMassa, 0, 0},
       {0, 0, 0},
       {9, 0, 0},
       0,
       {1, std::nullopt, std::nullopt, std::nullopt}},
      {"line mode held to 1..50",
       {false, true, false},
       {0, kFast, 0},
       {0, 100, 0},
       {0, 360, 0},
       100,
       {std::nullopt, std::nullopt, std::nullopt, 50}},
      {"left above right",
       {false, false, true},
       {0, 0, kFast},
       {0, 0, 40},
       {0, 0, 10},
       25,
       {std::nullopt, std::nullopt, std::nullopt, 32}},
  };
  for (const Case& c : cases) {
    SorterSettings s;
    s.bParam1 = c.active[0];
    s.bParam2 = c.active[1];
    s.bParam3 = c.active[2];
    s.reg_ParamBox1 = c.parameter[0];
    s.reg_ParamBox2 = c.parameter[1];
    s.reg_ParamBox3 = c.parameter[2];
    s.reg_ParamBox1left = std::to_string(c.left[0]);
    s.reg_ParamBox2left = std::to_string(c.left[1]);
    s.reg_ParamBox3left = std::to_string(c.left[2]);
    s.reg_ParamBox1right = std::to_string(c.right[0]);
    s.reg_ParamBox2right = std::to_string(c.right[1]);
    s.reg_ParamBox3right = std::to_string(c.right[2]);
    s.Regulator = std::to_string(c.value);
    const RejectRegulator r = loaded(s);
    const Regulation regulation = r.regulation();
    EXPECT_EQ(regulation.thresholds, c.thresholds) << c.name;
    // Targets are computed for every row, active or not.
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(
          regulation.targets[static_cast<std::size_t>(k)],
          regulatorTarget(c.left[static_cast<std::size_t>(k)], c.right[static_cast<std::size_t>(k)], c.value))
          << c.name << " row " << k + 1;
    }
    const SorterSettings before = s;
    applyRegulation(regulation, s);
    EXPECT_EQ(s.ifMassa, c.thresholds[0].value_or(before.ifMassa)) << c.name;
    EXPECT_EQ(s.ifP1, c.thresholds[1].value_or(before.ifP1)) << c.name;
    EXPECT_EQ(s.ifP2, c.thresholds[2].value_or(before.ifP2)) << c.name;
    EXPECT_EQ(s.ifFast, c.thresholds[3].value_or(before.ifFast)) << c.name;
  }
}

TEST(RegulatorRowTest, SwitchingOrChoosingTakesThePresentValueSoNothingJumps) {
  SorterSettings s = withSectors();
  s.ifMassa = 45;
  s.ifP1 = 7;
  s.reg_ParamBox1 = kMassa;
  s.reg_ParamBox1left = "010";
  s.reg_ParamBox1right = "030";
  RejectRegulator r = loaded(s);

  r.setActive(0, true, s);
  EXPECT_EQ(r.row(0).left, 45);
  EXPECT_EQ(r.row(0).right, 45);
  EXPECT_EQ(r.regulation().thresholds[0], 45);

  r.chooseParameter(0, kP1, s);
  EXPECT_EQ(r.row(0).left, 7);
  EXPECT_EQ(r.row(0).right, 7);
  EXPECT_FALSE(r.regulation().thresholds[0]);
  EXPECT_EQ(r.regulation().thresholds[1], 7);

  // A sector item without a bound chosen leaves the bounds; choosing the bound takes its value.
  r.setBounds(0, 1, 2);
  r.chooseParameter(0, 4, s);  // "Сектор №3"
  EXPECT_EQ(r.row(0).sectorId, 3);
  EXPECT_EQ(r.row(0).left, 1);
  EXPECT_EQ(r.row(0).right, 2);
  r.chooseBound(0, kSMax, s);
  EXPECT_EQ(r.row(0).left, 200);
  EXPECT_EQ(r.row(0).right, 200);

  // Back to a threshold item: the bound choice goes; a bound choice is ignored then.
  r.chooseParameter(0, kMassa, s);
  EXPECT_EQ(r.row(0).bound, -1);
  r.chooseBound(0, kHMin, s);
  EXPECT_EQ(r.row(0).bound, -1);
  EXPECT_EQ(r.row(0).left, 45);

  // An item outside the list is no choice.
  r.setBounds(0, 5, 6);
  r.chooseParameter(0, 99, s);
  EXPECT_EQ(r.row(0).parameter, -1);
  EXPECT_EQ(r.row(0).left, 5);
  // Switching off takes the present value too (when there is one).
  r.chooseParameter(0, kMassa, s);
  r.setBounds(0, 5, 6);
  r.setActive(0, false, s);
  EXPECT_EQ(r.row(0).left, 45);
  EXPECT_FALSE(r.anyActive());
}

TEST(RegulatorSectorTest, ARowMovesTheNamedSectorBoundAndRewritesItsLine) {
  SorterSettings s = withSectors();
  s.bParam2 = true;
  s.reg_ParamBox2 = 4;  // "Сектор №3"
  s.reg_ParamBox2s = kHMin;
  s.reg_ParamBox2left = "000";
  s.reg_ParamBox2right = "100";
  s.Regulator = "50";
  RejectRegulator r = loaded(s);
  const Regulation regulation = r.regulation();
  ASSERT_EQ(regulation.sectorMoves.size(), 1u);
  EXPECT_EQ(regulation.sectorMoves[0], (SectorMove{3, SectorBound::kHMin, 50}));

  const RegulationChanges changes = applyRegulation(regulation, s);
  EXPECT_TRUE(changes.sectors);
  EXPECT_EQ(s.Sectors[0][0],
            "##ID=\"3\" ##TYPE=\"1\" ##HMIN=\"50\" ##HMAX=\"40\" ##SMIN=\"20\" ##SMAX=\"200\" ##VMIN=\"0\" "
            "##VMAX=\"255\" ##ACTIVE=\"TRUE\"");
  EXPECT_EQ(s.Sectors[0][1], kSector0);
  EXPECT_EQ(s.Sectors[0][2], kBadSector);
  EXPECT_EQ(s.Sectors[1][0], kSector3);  // camera 2 keeps its own sector 3
  // Applied again: nothing to rewrite.
  EXPECT_FALSE(applyRegulation(r.regulation(), s).sectors);
}

TEST(RegulatorSectorTest, EdgeCasesOfSectorRows) {
  struct Case {
    const char* name;
    int32_t item;   // row 1's parameter
    int32_t bound;  // row 1's bound
    int32_t left, right, value;
    std::string line0;  // the line of sector 0 afterwards
  };
  const std::string moved0 =
      "##ID=\"0\" ##TYPE=\"-1\" ##HMIN=\"0\" ##HMAX=\"360\" ##SMIN=\"0\" ##SMAX=\"255\" ##VMIN=\"26\" "
      "##VMAX=\"255\" ##ACTIVE=\"FALSE\"";
  const Case cases[] = {
      {"saturation held to 255", 5, kSMax, 300, 360, 100, moved0},
      {"value already there: line kept as read", 5, kSMax, 50, 50, 0, kSector0},
      {"no bound chosen: nothing moves", 5, -1, 0, 360, 100, kSector0},
      {"a sector without a readable ID is never moved", 6, kSMax, 0, 360, 100, kSector0},
  };
  for (const Case& c : cases) {
    SorterSettings s = withSectors();
    s.bParam1 = true;
    s.reg_ParamBox1 = c.item;
    s.reg_ParamBox1s = c.bound;
    s.reg_ParamBox1left = std::to_string(c.left);
    s.reg_ParamBox1right = std::to_string(c.right);
    s.Regulator = std::to_string(c.value);
    const RejectRegulator r = loaded(s);
    applyRegulation(r.regulation(), s);
    EXPECT_EQ(s.Sectors[0][1], c.line0) << c.name;
    EXPECT_EQ(s.Sectors[0][0], kSector3) << c.name;
    EXPECT_EQ(s.Sectors[0][2], kBadSector) << c.name;
  }
}

TEST(RegulatorSectorTest, HigherRowWinsAndHeldBoundsFollowTheSelectedSector) {
  SorterSettings s = withSectors();
  s.bParam1 = s.bParam2 = s.bParam3 = true;
  s.reg_ParamBox1 = s.reg_ParamBox3 = 4;  // both on sector 3, HMIN
  s.reg_ParamBox1s = s.reg_ParamBox3s = kHMin;
  s.reg_ParamBox1left = "011";
  s.reg_ParamBox1right = "011";
  s.reg_ParamBox3left = "033";
  s.reg_ParamBox3right = "033";
  s.reg_ParamBox2 = 5;  // sector 0, SMAX
  s.reg_ParamBox2s = kSMax;
  RejectRegulator r = loaded(s);
  applyRegulation(r.regulation(), s);
  EXPECT_EQ(parseSectorLine(s.Sectors[0][0])->HMIN, 33);
  EXPECT_EQ(parseSectorLine(s.Sectors[0][1])->SMAX, 0);

  EXPECT_EQ(r.heldSectorBounds(3), (HeldSectorBounds{false, true, false, false}));
  EXPECT_EQ(r.heldSectorBounds(0), (HeldSectorBounds{false, false, true, false}));
  EXPECT_EQ(r.heldSectorBounds(7), HeldSectorBounds{});
  EXPECT_EQ(r.heldSectorBounds(std::nullopt), HeldSectorBounds{});
  r.setActive(1, false, s);
  EXPECT_EQ(r.heldSectorBounds(0), HeldSectorBounds{});
}

TEST(RegulatorListTest, RebuildKeepsChoicesStillInTheListAndNamesTheSectorShownThere) {
  SorterSettings s = withSectors();
  s.reg_ParamBox1 = 6;  // the unreadable line
  s.reg_ParamBox1s = kSMax;
  s.reg_ParamBox2 = 5;  // sector 0
  s.reg_ParamBox2s = kHMin;
  s.reg_ParamBox3 = kP1;
  s.reg_ParamBox3s = kHMin;  // not a sector item: dropped
  RejectRegulator r = loaded(s);
  EXPECT_EQ(r.row(0).parameter, 6);
  EXPECT_EQ(r.row(0).sectorId, std::nullopt);
  EXPECT_EQ(r.row(1).sectorId, 0);
  EXPECT_EQ(r.row(2).bound, -1);

  // Sector 3 deleted: item 5 is gone, item 4 is now sector 0.
  s.Sectors[0] = {kSector0};
  r.rebuildItems(s.Sectors[0]);
  EXPECT_EQ(r.items().size(), 5u);
  EXPECT_EQ(r.row(0).parameter, -1);
  EXPECT_EQ(r.row(0).bound, -1);
  EXPECT_EQ(r.row(1).parameter, -1);
  EXPECT_EQ(r.row(2).parameter, kP1);
}

TEST(RegulatorStoreTest, StoreWritesWhatLoadReadsWithThreeDigitTexts) {
  SorterSettings s = withSectors();
  RejectRegulator r = loaded(s);
  r.setValue(7);
  r.setActive(2, true, s);
  r.chooseParameter(2, 4, s);
  r.chooseBound(2, kHMin, s);
  r.setBounds(2, 5, 360);
  r.setBounds(0, 400, -2);
  SorterSettings out;
  r.store(out);
  EXPECT_EQ(out.Regulator, "007");
  EXPECT_TRUE(out.bParam3);
  EXPECT_FALSE(out.bParam1);
  EXPECT_EQ(out.reg_ParamBox3, 4);
  EXPECT_EQ(out.reg_ParamBox3s, kHMin);
  EXPECT_EQ(out.reg_ParamBox3left, "005");
  EXPECT_EQ(out.reg_ParamBox3right, "360");
  EXPECT_EQ(out.reg_ParamBox1left, "400");
  EXPECT_EQ(out.reg_ParamBox1right, "-02");
  EXPECT_EQ(out.reg_ParamBox1, -1);

  out.Sectors = s.Sectors;
  RejectRegulator back;
  back.load(out);
  EXPECT_EQ(back.value(), 7);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(back.row(k).active, r.row(k).active);
    EXPECT_EQ(back.row(k).parameter, r.row(k).parameter);
    EXPECT_EQ(back.row(k).bound, r.row(k).bound);
    EXPECT_EQ(back.row(k).left, r.row(k).left);
    EXPECT_EQ(back.row(k).right, r.row(k).right);
    EXPECT_EQ(back.row(k).sectorId, r.row(k).sectorId);
  }
}

}  // namespace
}  // namespace tolvane
