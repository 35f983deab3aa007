#include "ejection/ejector_zones.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace tolvane {
namespace {

using Zones = NumberedTable<EjectorZone, kEjectorSlots>;

TEST(DivideRoundHalfEvenTest, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(divideRoundHalfEven(6, 12), 0);     // 0.5
  EXPECT_EQ(divideRoundHalfEven(18, 12), 2);    // 1.5
  EXPECT_EQ(divideRoundHalfEven(30, 12), 2);    // 2.5
  EXPECT_EQ(divideRoundHalfEven(42, 12), 4);    // 3.5
  EXPECT_EQ(divideRoundHalfEven(7, 12), 1);     // 0.583
  EXPECT_EQ(divideRoundHalfEven(5, 12), 0);     // 0.417
  EXPECT_EQ(divideRoundHalfEven(-6, 12), 0);    // -0.5
  EXPECT_EQ(divideRoundHalfEven(-18, 12), -2);  // -1.5
  EXPECT_EQ(divideRoundHalfEven(-7, 12), -1);
  EXPECT_EQ(divideRoundHalfEven(-30, 12), -2);  // -2.5
}

TEST(DivideRoundHalfEvenTest, AgreesWithFloatingPointRoundingToEven) {
  for (std::int64_t n = -3000; n <= 3000; ++n) {
    ASSERT_EQ(divideRoundHalfEven(n, 12),
              static_cast<std::int64_t>(std::nearbyint(static_cast<double>(n) / 12.0)))
        << n;
  }
}

MachineSettings withBlock(int block, int start, int end) {
  MachineSettings m;
  m.EgecA[static_cast<std::size_t>(block)] = start;
  m.EgecAx[static_cast<std::size_t>(block)] = end;
  m.EgecB[static_cast<std::size_t>(block)] = start + 1;
  m.EgecBx[static_cast<std::size_t>(block)] = end + 1;
  return m;
}

TEST(EjectorZonesTest, EvenBlockIsCutIntoEqualZones) {
  Zones zones;
  computeEjectorZones(withBlock(0, 0, 600), zones);
  for (int j = 1; j <= 12; ++j) {
    EXPECT_EQ(zones[j].aStart, (j - 1) * 50) << j;
    EXPECT_EQ(zones[j].aEnd, j * 50) << j;
    EXPECT_EQ(zones[j].bStart, (j - 1) * 50 + 1) << j;
    EXPECT_EQ(zones[j].bEnd, j * 50 + 1) << j;
  }
}

TEST(EjectorZonesTest, UnevenBlockRoundsEachBoundaryToNearest) {
  Zones zones;
  computeEjectorZones(withBlock(1, 625, 1250), zones);
  // Ejector 18 ends at 625 + 312.5, a tie that goes to the even 312.
  const int ends[12] = {677, 729, 781, 833, 885, 937, 990, 1042, 1094, 1146, 1198, 1250};
  EXPECT_EQ(zones[13].aStart, 625);
  for (int k = 0; k < 12; ++k) {
    EXPECT_EQ(zones[13 + k].aEnd, ends[k]) << 13 + k;
    if (k < 11) {
      EXPECT_EQ(zones[14 + k].aStart, ends[k]);
    }
  }
}

TEST(EjectorZonesTest, TiesRoundToEven) {
  Zones zones;
  computeEjectorZones(withBlock(2, 100, 106), zones);  // boundaries at 100 + k / 2
  const int starts[12] = {100, 100, 101, 102, 102, 102, 103, 104, 104, 104, 105, 106};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(zones[25 + k].aStart, starts[k]) << 25 + k;
  EXPECT_EQ(zones[36].aEnd, 106);
}

TEST(EjectorZonesTest, DefaultPointsGiveEveryEjectorAnEmptyZone) {
  Zones zones;
  computeEjectorZones(MachineSettings{}, zones);
  for (int j = 1; j <= 48; ++j) {
    const int blockStart = (j - 1) / 12 * 625;
    EXPECT_EQ(zones[j].aStart, blockStart) << j;
    EXPECT_EQ(zones[j].aEnd, blockStart) << j;
    EXPECT_EQ(zones[j].bStart, blockStart) << j;
    EXPECT_EQ(zones[j].bEnd, blockStart) << j;
    for (int p = 0; p <= 2500; p += 25) ASSERT_FALSE(zones[j].holds(kSideA, p));
  }
}

TEST(EjectorZonesTest, FactoryPointsTileEachBlockAndLeaveGapsBetweenBlocks) {
  MachineSettings m;
  m.EgecA = {120, 554, 1026, 1489, 1581};
  m.EgecAx = {554, 1025, 1489, 1926, 1867};
  m.EgecB = {120, 553, 1026, 1488, 1579};
  m.EgecBx = {554, 1025, 1488, 1925, 1867};
  Zones zones;
  computeEjectorZones(m, zones);
  EXPECT_EQ(zones[1].aStart, 120);
  EXPECT_EQ(zones[1].aEnd, 156);  // 434 / 12 = 36.17
  EXPECT_EQ(zones[12].aEnd, 554);
  EXPECT_EQ(zones[13].aStart, 554);
  EXPECT_EQ(zones[24].aEnd, 1025);
  EXPECT_EQ(zones[25].aStart, 1026);  // pixel 1025 belongs to no ejector
  EXPECT_EQ(zones[48].aEnd, 1926);
  EXPECT_EQ(zones[13].bStart, 553);
  EXPECT_EQ(zones[48].bEnd, 1925);
  for (int j = 1; j <= 48; ++j) {
    EXPECT_LT(zones[j].aStart, zones[j].aEnd) << j;
    if (j % 12 != 0) {
      EXPECT_EQ(zones[j].aEnd, zones[j + 1].aStart) << j;
    }
  }
  // The fifth point drives no ejector.
  EXPECT_EQ(zones[49].aStart, 0);
  EXPECT_EQ(zones[49].aEnd, 0);
}

TEST(EjectorZonesTest, ReversedPointsSelectNoPixelAndOnlyEntries1To48AreWritten) {
  Zones zones;
  zones[60] = {1, 2, 3, 4};
  computeEjectorZones(withBlock(0, 600, 0), zones);
  for (int j = 1; j <= 12; ++j) {
    for (int p = -10; p <= 700; ++p) ASSERT_FALSE(zones[j].holds(kSideA, p)) << j << " " << p;
  }
  EXPECT_EQ(zones[60].aStart, 1);
  EXPECT_EQ(zones[60].bEnd, 4);
}

TEST(EjectorZonesTest, ExtremePointsDoNotOverflow) {
  MachineSettings m;
  m.EgecA[0] = std::numeric_limits<std::int32_t>::min();
  m.EgecAx[0] = std::numeric_limits<std::int32_t>::max();
  Zones zones;
  computeEjectorZones(m, zones);
  EXPECT_EQ(zones[1].aStart, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(zones[12].aEnd, std::numeric_limits<std::int32_t>::max());
  for (int j = 1; j < 12; ++j) EXPECT_LT(zones[j].aEnd, zones[j + 1].aEnd);
}

}  // namespace
}  // namespace tolvane
