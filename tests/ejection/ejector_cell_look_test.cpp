#include "ejection/ejector_cell_look.h"

#include <gtest/gtest.h>

#include <limits>

namespace tolvane {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(EjectorCellLookTest, BackgroundByCountAndSelection) {
  struct Case {
    std::int32_t shots;
    bool selected;
    CellColor background;
    bool framed;
  };
  const Case cases[] = {
      {0, false, kCellWhite, false},
      {-7, false, kCellWhite, false},  // a damaged counter
      {10'000'000, false, kCellWhite, false},
      {10'000'001, false, kCellYellow, false},
      {20'000'000, false, kCellYellow, false},
      {20'000'001, false, kCellWorn, false},
      {kMax, false, kCellWorn, false},
      {0, true, kCellSelectedBack, true},
      {15'000'000, true, kCellSelectedBack, true},
      {25'000'000, true, kCellSelectedBack, true},
  };
  for (const Case& c : cases) {
    const EjectorCellLook look = ejectorCellLook(1, c.shots, c.selected, false, 96);
    EXPECT_EQ(look.background, c.background) << c.shots << (c.selected ? " selected" : "");
    EXPECT_EQ(look.frame.has_value(), c.framed) << c.shots;
    if (c.framed) {
      EXPECT_EQ(*look.frame, kCellSelectedFrame);
    }
    EXPECT_EQ(look.bar, kCellWorn);
  }
  // The colours as the screens give them (0x00BBGGRR 0xFBCEB6, 0xCD9B37, 0x00FFFF, 0x9E9EFF, 0x008000).
  EXPECT_EQ(kCellSelectedBack, (CellColor{0xB6, 0xCE, 0xFB}));
  EXPECT_EQ(kCellSelectedFrame, (CellColor{0x37, 0x9B, 0xCD}));
  EXPECT_EQ(kCellYellow, (CellColor{0xFF, 0xFF, 0x00}));
  EXPECT_EQ(kCellWorn, (CellColor{0xFF, 0x9E, 0x9E}));
  EXPECT_EQ(kValveLampOpen, (CellColor{0x00, 0x80, 0x00}));
}

TEST(EjectorCellLookTest, WearBarRisesWithTheCountAndIsCutAtTheCell) {
  struct Case {
    std::int32_t shots;
    int cellHeight;
    int bar;
  };
  const Case cases[] = {
      {0, 96, 0},
      {-1, 96, 0},
      {-2'000'000'000, 96, 0},
      {1, 96, 0},
      {10'000'000, 96, 95},  // full: height - 1 from the foot
      {5'000'000, 95, 47},
      {5'000'000, 96, 48},  // 47.5: the even neighbour
      {3'000'000, 96, 28},  // 28.5: the even neighbour
      {1'000'000, 96, 10},  // 9.5: the even neighbour
      {1'052'632, 96, 10},  // 10.0000...
      {10'000'001, 96, 95},
      {20'000'000, 96, 96},  // 190, cut at the cell
      {kMax, 96, 96},
      {kMax, std::numeric_limits<int>::max(), std::numeric_limits<int>::max()},
      {10'000'000, 1, 0},
      {10'000'000, 0, 0},
      {10'000'000, -5, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wearBarHeight(c.shots, c.cellHeight), c.bar) << c.shots << " in " << c.cellHeight;
  }
  EXPECT_EQ(ejectorCellLook(3, 10'000'000, false, false, 96).barHeight, 95);
}

TEST(EjectorCellLookTest, NumberCountAndLamp) {
  const EjectorCellLook first = ejectorCellLook(1, 0, false, false, 96);
  EXPECT_EQ(first.number, "01");
  EXPECT_EQ(first.count, " (0)");
  EXPECT_EQ(first.lamp, kCellWhite);
  const EjectorCellLook last = ejectorCellLook(48, 12'345'678, false, true, 96);
  EXPECT_EQ(last.number, "48");
  EXPECT_EQ(last.count, " (12345678)");
  EXPECT_EQ(last.lamp, kValveLampOpen);
  EXPECT_EQ(ejectorCellLook(7, -3, false, false, 96).count, " (-3)");
  EXPECT_EQ(ejectorCellLook(7, kMax, false, false, 96).count, " (2147483647)");
}

}  // namespace
}  // namespace tolvane
