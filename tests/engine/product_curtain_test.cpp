#include "engine/product_curtain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace tolvane {
namespace {

std::vector<std::uint8_t> monoLines(std::uint64_t seed, int count) {
  CurtainOptions options;
  options.seed = seed;
  ProductCurtain curtain(options);
  std::vector<std::uint8_t> all;
  std::vector<std::uint8_t> line(kLineBufferPixels);
  for (int i = 0; i < count; ++i) {
    curtain.nextMonoLine(line);
    all.insert(all.end(), line.begin(), line.end());
  }
  return all;
}

TEST(ProductCurtain, SameSeedSameLinesOtherSeedOtherLines) {
  EXPECT_EQ(monoLines(7, 300), monoLines(7, 300));
  EXPECT_NE(monoLines(7, 300), monoLines(8, 300));

  CurtainOptions options;
  options.seed = 99;
  ProductCurtain a(options);
  ProductCurtain b(options);
  std::vector<std::uint8_t> lineA(3 * kLineBufferPixels), lineB(3 * kLineBufferPixels);
  for (int i = 0; i < 200; ++i) {
    a.nextRgbLine(lineA);
    b.nextRgbLine(lineB);
    ASSERT_EQ(lineA, lineB) << "line " << i;
  }
  EXPECT_EQ(a.linesMade(), 200);
}

TEST(ProductCurtain, CoversAboutTheAskedShareWithItemsOfTheAskedSizes) {
  CurtainOptions options;
  options.seed = 3;
  options.keepHistory = true;
  ProductCurtain curtain(options);
  long long product = 0;
  long long defect = 0;
  const int lines = 4000;
  for (int i = 0; i < lines; ++i) {
    curtain.next();
    const auto kinds = curtain.kinds();
    ASSERT_EQ(kinds.size(), static_cast<std::size_t>(kPixelsPerLine) + 1);
    EXPECT_EQ(kinds[0], CurtainKind::Background);
    for (CurtainKind k : kinds) {
      product += k != CurtainKind::Background;
      defect += k == CurtainKind::Defect;
    }
  }
  const double share = static_cast<double>(product) / (static_cast<double>(lines) * kPixelsPerLine);
  EXPECT_GT(share, 0.16);
  EXPECT_LT(share, 0.24);
  EXPECT_GT(defect, 0);

  const auto& items = curtain.history();
  ASSERT_GT(items.size(), 1000u);
  int defects = 0;
  for (const CurtainItem& item : items) {
    EXPECT_GE(item.width, 5);
    EXPECT_LE(item.width, 40);
    EXPECT_GE(item.lines, 3);
    EXPECT_LT(item.lines, 95) << "an item must stay one object";
    EXPECT_GE(item.centre - item.width / 2, 1);
    EXPECT_LE(item.centre + item.width / 2, kPixelsPerLine);
    defects += item.defect;
  }
  const double defectShare = static_cast<double>(defects) / static_cast<double>(items.size());
  EXPECT_GT(defectShare, 0.02);
  EXPECT_LT(defectShare, 0.10);
}

TEST(ProductCurtain, ItemsNeverTouchSoEachStaysOneObject) {
  CurtainOptions options;
  options.seed = 11;
  options.keepHistory = true;
  ProductCurtain curtain(options);
  for (int i = 0; i < 1500; ++i) curtain.next();
  const auto& items = curtain.history();
  for (std::size_t i = 0; i < items.size(); ++i) {
    for (std::size_t j = i + 1; j < items.size(); ++j) {
      const CurtainItem& a = items[i];
      const CurtainItem& b = items[j];
      const bool linesNear =
          b.firstLine <= a.firstLine + a.lines - 1 + 4 && a.firstLine <= b.firstLine + b.lines - 1 + 4;
      if (!linesNear) continue;
      const int gap = std::abs(a.centre - b.centre) - (a.width + b.width) / 2;
      EXPECT_GE(gap, 2) << "items " << i << " and " << j;
    }
  }
}

TEST(ProductCurtain, ItemMiddleLineIsAsWideAsTheItem) {
  CurtainOptions options;
  options.seed = 5;
  options.keepHistory = true;
  ProductCurtain curtain(options);
  std::vector<std::vector<CurtainKind>> lines;
  for (int i = 0; i < 400; ++i) {
    curtain.next();
    lines.emplace_back(curtain.kinds().begin(), curtain.kinds().end());
  }
  int checked = 0;
  for (const CurtainItem& item : curtain.history()) {
    const std::int64_t middle = item.firstLine + (item.lines - 1) / 2;
    if (middle >= static_cast<std::int64_t>(lines.size())) continue;
    const auto& kinds = lines[static_cast<std::size_t>(middle)];
    int left = item.centre;
    int right = item.centre;
    while (kinds[static_cast<std::size_t>(left - 1)] != CurtainKind::Background) --left;
    while (kinds[static_cast<std::size_t>(right + 1)] != CurtainKind::Background) ++right;
    EXPECT_NEAR(right - left + 1, item.width, 1) << "item at " << item.centre;
    EXPECT_EQ(kinds[static_cast<std::size_t>(item.centre)] == CurtainKind::Defect, item.defect);
    // The line before the item is clear in its columns.
    if (item.firstLine > 0) {
      EXPECT_EQ(lines[static_cast<std::size_t>(item.firstLine - 1)][static_cast<std::size_t>(item.centre)],
                CurtainKind::Background);
    }
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(ProductCurtain, MonoLevelsFallInTheDefaultRangesOfTheirKind) {
  ProductCurtain curtain;
  std::vector<std::uint8_t> line(kLineBufferPixels, 0);
  std::array<int, 3> low{255, 255, 255};
  std::array<int, 3> high{0, 0, 0};
  for (int i = 0; i < 1000; ++i) {
    curtain.nextMonoLine(line);
    const auto kinds = curtain.kinds();
    for (std::size_t p = 0; p < kinds.size(); ++p) {
      const auto k = static_cast<std::size_t>(kinds[p]);
      low[k] = std::min<int>(low[k], line[p]);
      high[k] = std::max<int>(high[k], line[p]);
    }
    // Past the line: background.
    EXPECT_GE(line[kPixelsPerLine + 1], 200);
    EXPECT_GE(line.back(), 200);
  }
  EXPECT_GE(low[0], 200);   // background range 200..255
  EXPECT_LE(high[1], 150);  // colour 1 range 0..150
  EXPECT_GE(low[2], 151);   // colour 2 range 151..199
  EXPECT_LE(high[2], 199);
  EXPECT_LT(low[1], high[1]) << "product has texture";
}

TEST(ProductCurtain, ColourLinesAreBluePlateYellowProductGreenDefects) {
  CurtainOptions options;
  options.defectShare = 0.5;
  ProductCurtain curtain(options);
  std::vector<std::uint8_t> line(3 * kLineBufferPixels, 0);
  std::array<int, 3> seen{};
  for (int i = 0; i < 300; ++i) {
    curtain.nextRgbLine(line);
    const auto kinds = curtain.kinds();
    for (std::size_t p = 0; p < kinds.size(); ++p) {
      const int r = line[3 * p];
      const int g = line[3 * p + 1];
      const int b = line[3 * p + 2];
      switch (kinds[p]) {
        case CurtainKind::Background:
          EXPECT_TRUE(b > g && g > r) << p;
          break;
        case CurtainKind::Product:
          EXPECT_TRUE(r > g && g > b) << p;
          break;
        case CurtainKind::Defect:
          EXPECT_TRUE(g > r && r > b) << p;
          break;
      }
      ++seen[static_cast<std::size_t>(kinds[p])];
    }
  }
  EXPECT_GT(seen[1], 0);
  EXPECT_GT(seen[2], 0);
}

TEST(ProductCurtain, RejectsBadOptionsAndShortBuffers) {
  CurtainOptions bad;
  bad.minItemWidth = 0;
  EXPECT_THROW(ProductCurtain{bad}, std::invalid_argument);
  bad = {};
  bad.maxItemWidth = 3;
  EXPECT_THROW(ProductCurtain{bad}, std::invalid_argument);
  bad = {};
  bad.productShare = 0.9;
  EXPECT_THROW(ProductCurtain{bad}, std::invalid_argument);
  bad = {};
  bad.pixelsPerLine = 50;
  EXPECT_THROW(ProductCurtain{bad}, std::invalid_argument);

  ProductCurtain curtain;
  curtain.next();
  std::vector<std::uint8_t> shortLine(kPixelsPerLine);  // misses pixel 2048
  EXPECT_THROW(curtain.writeMono(shortLine), std::invalid_argument);
  std::vector<std::uint8_t> shortRgb(3 * kPixelsPerLine);
  EXPECT_THROW(curtain.writeRgb(shortRgb), std::invalid_argument);
}

TEST(ProductCurtain, EmptyCurtainIsAllBackground) {
  CurtainOptions options;
  options.productShare = 0.0;
  ProductCurtain curtain(options);
  for (int i = 0; i < 50; ++i) {
    curtain.next();
    for (CurtainKind k : curtain.kinds()) ASSERT_EQ(k, CurtainKind::Background);
  }
}

}  // namespace
}  // namespace tolvane
