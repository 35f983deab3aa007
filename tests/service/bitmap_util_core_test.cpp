#include "service/bitmap_util_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tolvane {
namespace {

// A black surface with a white pen: every pixel's red channel is then trunc(255 · weight) of a single
// plot, which makes weights readable.
Rgb24Canvas blackCanvas(int w, int h) {
  Rgb24Canvas c(w, h);
  c.ClearCol(0, 0, 0);
  c.SetColor(kRgbWhite);
  return c;
}

int level(double alpha) { return static_cast<int>(std::trunc(255.0 * alpha)); }

// Every pixel that is not black, as (x, y, red).
struct Lit {
  int x, y, v;
  friend bool operator==(const Lit&, const Lit&) = default;
};
std::vector<Lit> litPixels(const Rgb24Canvas& c) {
  std::vector<Lit> out;
  for (int y = 0; y < c.height(); ++y) {
    for (int x = 0; x < c.width(); ++x) {
      if (c.pixel(x, y) != kRgbBlack) {
        out.push_back({x, y, c.pixel(x, y).r});
      }
    }
  }
  return out;
}

TEST(BitmapCoreTest, NewSurfaceIsWhiteWithBlackPenAndWhiteBrush) {
  Rgb24Canvas c(5, 3);
  EXPECT_EQ(c.width(), 5);
  EXPECT_EQ(c.height(), 3);
  EXPECT_EQ(c.stride(), 16) << "rows padded to four bytes";
  EXPECT_EQ(c.pixel(4, 2), kRgbWhite);
  EXPECT_EQ(c.penColor(), kRgbBlack);
  EXPECT_EQ(c.brushColor(), kRgbWhite);

  Rgb24Canvas empty(-3, 4);
  EXPECT_EQ(empty.width(), 0);
  empty.SetPixel(0, 0, 1.0);
  empty.WuLine(0, 0, 5, 5);
  empty.ClearCol(1, 2, 3);
  EXPECT_EQ(empty.pixel(0, 0), kRgbBlack);
}

TEST(BitmapCoreTest, ColoursAndClearing) {
  Rgb24Canvas c(4, 4);
  c.SetColorRGB(300, -5, 7);
  EXPECT_EQ(c.penColor(), (Rgb24{255, 0, 7}));
  c.SetColor(Rgb24::fromColorRef(0x00332211));
  EXPECT_EQ(c.penColor(), (Rgb24{0x11, 0x22, 0x33}));
  c.BackColor(Rgb24{1, 2, 3});
  EXPECT_EQ(c.brushColor(), (Rgb24{1, 2, 3}));

  c.ClearCol(0, 0, 0);
  EXPECT_EQ(c.penColor(), kRgbBlack);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(c.pixel(x, y), kRgbBlack) << x << "," << y;
    }
  }
  c.ClearCol(10, 20, 30);
  EXPECT_EQ(c.pixel(3, 3), (Rgb24{10, 20, 30}));
  EXPECT_EQ(c.penColor(), (Rgb24{10, 20, 30}));
  c.Clear();
  EXPECT_EQ(c.pixel(0, 0), kRgbWhite);
  EXPECT_EQ(c.pixel(3, 3), kRgbWhite);
  EXPECT_EQ(c.penColor(), (Rgb24{10, 20, 30})) << "Clear keeps the pen";
}

TEST(BitmapCoreTest, SetPixelBlendsWithTruncation) {
  Rgb24Canvas c = blackCanvas(3, 3);
  c.SetPixel(1, 1, 0.5);
  EXPECT_EQ(c.pixel(1, 1), (Rgb24{127, 127, 127}));

  c.SetColorRGB(100, 0, 200);
  c.SetPixel(0, 0, 1.0);
  EXPECT_EQ(c.pixel(0, 0), (Rgb24{100, 0, 200}));
  c.SetPixel(0, 0, 0.0);
  EXPECT_EQ(c.pixel(0, 0), (Rgb24{100, 0, 200}));
  // old 100/0/200, pen 0/255/0, weight 0.25: 75, 63.75, 150.
  c.SetColorRGB(0, 255, 0);
  c.SetPixel(0, 0, 0.25);
  EXPECT_EQ(c.pixel(0, 0), (Rgb24{75, 63, 150}));
}

TEST(BitmapCoreTest, SetPixelTakesWeightsWithinZeroToOne) {
  Rgb24Canvas c = blackCanvas(2, 1);
  c.SetPixel(0, 0, 3.0);
  EXPECT_EQ(c.pixel(0, 0), kRgbWhite);
  c.SetPixel(1, 0, -2.0);
  EXPECT_EQ(c.pixel(1, 0), kRgbBlack);
  c.SetPixel(1, 0, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(c.pixel(1, 0), kRgbBlack);
}

TEST(BitmapCoreTest, WritesOutsideTheSurfaceAreLeftOut) {
  Rgb24Canvas c = blackCanvas(3, 2);
  c.SetPixel(-1, 0, 1.0);
  c.SetPixel(3, 0, 1.0);
  c.SetPixel(0, 2, 1.0);
  c.SetPixel(0, -1, 1.0);
  c.putPixel(5, 5, kRgbWhite);
  EXPECT_TRUE(litPixels(c).empty());
  EXPECT_EQ(c.pixel(-1, 0), kRgbBlack);
}

TEST(BitmapCoreTest, HorizontalAndVerticalRunsIncludeBothEndsAndClip) {
  Rgb24Canvas c = blackCanvas(6, 6);
  c.SetHLine(1, 3, 2);
  EXPECT_EQ(litPixels(c), (std::vector<Lit>{{1, 2, 255}, {2, 2, 255}, {3, 2, 255}}));

  c = blackCanvas(6, 6);
  c.SetHLine(3, 2, 2);  // reversed: nothing
  c.SetVLine(4, 5, 1);
  EXPECT_TRUE(litPixels(c).empty());

  c.SetVLine(0, -100, 1);
  c.SetHLine(4, 1000000, 5);
  c.SetHLine(0, 5, -1);
  c.SetVLine(6, 0, 5);
  EXPECT_EQ(litPixels(c), (std::vector<Lit>{{0, 0, 255}, {0, 1, 255}, {4, 5, 255}, {5, 5, 255}}));
}

TEST(BitmapCoreTest, WuLineOfNoLengthDrawsNothing) {
  Rgb24Canvas c = blackCanvas(20, 20);
  c.WuLine(10, 10, 10, 10);
  EXPECT_TRUE(litPixels(c).empty());
}

TEST(BitmapCoreTest, HorizontalWuLineHasHalfWeightEnds) {
  Rgb24Canvas c = blackCanvas(30, 30);
  c.WuLine(10, 20, 15, 20);
  const std::vector<Lit> expected = {
      {10, 20, 127}, {11, 20, 255}, {12, 20, 255}, {13, 20, 255}, {14, 20, 255}, {15, 20, 127}};
  EXPECT_EQ(litPixels(c), expected);

  // Ends between pixel centres: the end pixels are the rounded ends, weighted by how much of them the
  // line covers (0.85 at the start, 0.15 at the end).
  Rgb24Canvas part = blackCanvas(30, 30);
  part.WuLine(0.65, 3, 5.35, 3);
  EXPECT_EQ(litPixels(part), (std::vector<Lit>{{1, 3, 216}, {2, 3, 255}, {3, 3, 255}, {4, 3, 255}, {5, 3, 38}}));

  // Drawn backwards: the same pixels.
  Rgb24Canvas back = blackCanvas(30, 30);
  back.WuLine(15, 20, 10, 20);
  EXPECT_EQ(litPixels(back), expected);
}

TEST(BitmapCoreTest, ShallowWuLineSplitsWeightBetweenTwoRows) {
  // From (0, 0.5) to (4, 2.5): gradient 0.5.
  Rgb24Canvas c = blackCanvas(8, 8);
  c.WuLine(0, 0.5, 4, 2.5);
  // Start: e = 0, gap = 0.5, m = 0.5 -> rows 0 and 1 each 0.25.
  EXPECT_EQ(c.pixel(0, 0).r, level(0.25));
  EXPECT_EQ(c.pixel(0, 1).r, level(0.25));
  // Span a = 1: m = 1.0 -> row 1 full, row 2 nothing.
  EXPECT_EQ(c.pixel(1, 1).r, 255);
  EXPECT_EQ(c.pixel(1, 2).r, 0);
  // a = 2: m = 1.5 -> rows 1 and 2 at 0.5.
  EXPECT_EQ(c.pixel(2, 1).r, 127);
  EXPECT_EQ(c.pixel(2, 2).r, 127);
  // a = 3: m = 2.0.
  EXPECT_EQ(c.pixel(3, 2).r, 255);
  // End: e = 4, gap = 0.5, m = 2.5 -> rows 2 and 3 each 0.25.
  EXPECT_EQ(c.pixel(4, 2).r, level(0.25));
  EXPECT_EQ(c.pixel(4, 3).r, level(0.25));
  // a = 1 and a = 3 give their second row weight 0: it stays black.
  EXPECT_EQ(c.pixel(3, 3).r, 0);
  EXPECT_EQ(litPixels(c).size(), 8u);
}

TEST(BitmapCoreTest, SteepWuLineStepsAlongY) {
  // Vertical: x stays 5, weights 0.5 at both ends, full in between; column 6 gets nothing.
  Rgb24Canvas c = blackCanvas(10, 10);
  c.WuLine(5, 2, 5, 6);
  EXPECT_EQ(litPixels(c),
            (std::vector<Lit>{{5, 2, 127}, {5, 3, 255}, {5, 4, 255}, {5, 5, 255}, {5, 6, 127}}));

  // Steep diagonal-ish: (1.25, 0) to (2.25, 4): gradient 0.25 in x per y.
  Rgb24Canvas s = blackCanvas(10, 10);
  s.WuLine(1.25, 0, 2.25, 4);
  // Start: e = 0, gap 0.5, m = 1.25 -> x 1 at 0.75·0.5, x 2 at 0.25·0.5.
  EXPECT_EQ(s.pixel(1, 0).r, level(0.375));
  EXPECT_EQ(s.pixel(2, 0).r, level(0.125));
  // y = 1: m = 1.5; y = 2: m = 1.75; y = 3: m = 2.0.
  EXPECT_EQ(s.pixel(1, 1).r, 127);
  EXPECT_EQ(s.pixel(2, 1).r, 127);
  EXPECT_EQ(s.pixel(1, 2).r, level(0.25));
  EXPECT_EQ(s.pixel(2, 2).r, level(0.75));
  EXPECT_EQ(s.pixel(2, 3).r, 255);
  // End: e = 4, m = 2.25 -> x 2 at 0.375, x 3 at 0.125.
  EXPECT_EQ(s.pixel(2, 4).r, level(0.375));
  EXPECT_EQ(s.pixel(3, 4).r, level(0.125));
}

TEST(BitmapCoreTest, EqualAxesUseXAsTheMajorAxis) {
  // |dx| = |dy|: steps along x, one full pixel per column on the diagonal.
  Rgb24Canvas c = blackCanvas(10, 10);
  c.WuLine(1, 1, 4, 4);
  EXPECT_EQ(c.pixel(2, 2).r, 255);
  EXPECT_EQ(c.pixel(3, 3).r, 255);
  EXPECT_EQ(c.pixel(1, 1).r, 127);
  EXPECT_EQ(c.pixel(4, 4).r, 127);
  EXPECT_EQ(litPixels(c).size(), 4u);
}

TEST(BitmapCoreTest, WuLineClipsAtTheEdgesAndSurvivesWildCoordinates) {
  Rgb24Canvas c = blackCanvas(10, 4);
  c.WuLine(-5, 1, 20, 1);
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(c.pixel(x, 1).r, 255) << x;
  }
  EXPECT_EQ(litPixels(c).size(), 10u);

  // Far outside, huge, and not finite: no pixel, no hang.
  Rgb24Canvas d = blackCanvas(10, 4);
  d.WuLine(-1e8, -50, 1e8, -50);
  d.WuLine(-1e12, 1, 1e12, 1);
  d.WuLine(std::numeric_limits<double>::quiet_NaN(), 1, 5, 1);
  d.WuLine(0, 1, std::numeric_limits<double>::infinity(), 1);
  EXPECT_TRUE(litPixels(d).empty());

  // A line starting far to the left still reaches the surface with the right weights.
  Rgb24Canvas e = blackCanvas(10, 4);
  e.WuLine(-5e7, 2, 3, 2);
  EXPECT_EQ(e.pixel(0, 2).r, 255);
  EXPECT_EQ(e.pixel(2, 2).r, 255);
  EXPECT_EQ(e.pixel(3, 2).r, 127);
  EXPECT_EQ(e.pixel(4, 2).r, 0);
}

TEST(BitmapCoreTest, FilledEllipseOfAFlatBoxFillsItsRowsAndSmoothsItsEnds) {
  Rgb24Canvas c = blackCanvas(14, 8);
  c.WuFillEllipse(0, 0, 10, 4);  // u = y: centre (5, 2), radii 2 (rows) and 5 (columns)
  // Rows 0…4 are filled, nothing below.
  for (int y = 0; y <= 4; ++y) {
    EXPECT_EQ(c.pixel(5, y).r, 255) << "row " << y;
  }
  for (int x = 0; x < 14; ++x) {
    EXPECT_EQ(c.pixel(x, 5).r, 0) << x;
  }
  // Row 2 spans the whole box, 0…10.
  EXPECT_EQ(c.pixel(0, 2).r, 255);
  EXPECT_EQ(c.pixel(10, 2).r, 255);
  EXPECT_EQ(c.pixel(11, 2).r, 0);
  // Rows 1 and 3 run to 5 ± 5·√0.75 = 0.67…9.33: filled 1…9, the end pixels at weight 1 − 0.67.
  const double d = 5 * std::sqrt(0.75);
  const int end = level(1 - (10 - 5 - d));
  EXPECT_EQ(c.pixel(0, 1).r, end);
  EXPECT_EQ(c.pixel(10, 1).r, end);
  EXPECT_EQ(c.pixel(0, 3).r, end);
  EXPECT_EQ(c.pixel(10, 3).r, end);
  EXPECT_EQ(c.pixel(1, 1).r, 255);
  EXPECT_EQ(c.pixel(9, 3).r, 255);
  // Top row: only x = 5 is interior; its neighbours get rim weights 1 − (cu − d − t) at column j.
  const double d4 = 2 * std::sqrt(1 - 0.04);  // column 4 (and 6): q = ∓0.2
  EXPECT_EQ(c.pixel(4, 0).r, level(1 - (2 - d4)));
  EXPECT_EQ(c.pixel(6, 4).r, level(1 - (std::ceil(2 + d4) - 2 - d4)));
  const double q1 = (1.0 - 5.0) / 5.0;  // column 1
  const double d1 = 2 * std::sqrt(1 - q1 * q1);
  EXPECT_EQ(c.pixel(1, 0).r, level(1 - (2 - d1)));
  EXPECT_EQ(c.pixel(0, 0).r, 0);
}

TEST(BitmapCoreTest, FilledEllipseOfATallBoxRunsAlongColumns) {
  // The same ellipse turned upright must give the transposed picture.
  Rgb24Canvas flat = blackCanvas(14, 14);
  flat.WuFillEllipse(1, 2, 11.5, 6.5);
  Rgb24Canvas tall = blackCanvas(14, 14);
  tall.WuFillEllipse(2, 1, 6.5, 11.5);
  for (int y = 0; y < 14; ++y) {
    for (int x = 0; x < 14; ++x) {
      EXPECT_EQ(flat.pixel(x, y), tall.pixel(y, x)) << x << "," << y;
    }
  }
  EXPECT_FALSE(litPixels(tall).empty());
}

TEST(BitmapCoreTest, FilledEllipseCornerOrderDoesNotMatter) {
  Rgb24Canvas a = blackCanvas(16, 16);
  a.WuFillEllipse(2, 3, 12.5, 9);
  Rgb24Canvas b = blackCanvas(16, 16);
  b.WuFillEllipse(12.5, 9, 2, 3);
  EXPECT_EQ(litPixels(a), litPixels(b));
}

TEST(BitmapCoreTest, DegenerateEllipses) {
  // No height: only the rim pass along the long side, a full-weight line on the row.
  Rgb24Canvas line = blackCanvas(12, 5);
  line.WuFillEllipse(2, 2, 8, 2);
  std::vector<Lit> row;
  for (int x = 2; x <= 8; ++x) {
    row.push_back({x, 2, 255});
  }
  EXPECT_EQ(litPixels(line), row);

  // A point box, and unusable coordinates: nothing.
  Rgb24Canvas none = blackCanvas(12, 5);
  none.WuFillEllipse(3, 3, 3, 3);
  none.WuFillEllipse(0, 0, std::numeric_limits<double>::quiet_NaN(), 4);
  none.WuFillEllipse(0, 0, 1e300, 4);
  EXPECT_TRUE(litPixels(none).empty());
}

TEST(BitmapCoreTest, FilledEllipseClipsAtTheEdges) {
  // A huge ellipse around the surface covers it completely without running over it.
  Rgb24Canvas c = blackCanvas(8, 6);
  c.WuFillEllipse(-1e6, -1e6, 1e6, 1e6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      ASSERT_EQ(c.pixel(x, y).r, 255) << x << "," << y;
    }
  }
  // Half outside on the left: the visible half matches the same ellipse drawn whole on a wider surface.
  Rgb24Canvas part = blackCanvas(10, 10);
  part.WuFillEllipse(-4, 1, 4, 7);
  Rgb24Canvas whole = blackCanvas(20, 10);
  whole.WuFillEllipse(6, 1, 14, 7);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      EXPECT_EQ(part.pixel(x, y), whole.pixel(x + 10, y)) << x << "," << y;
    }
  }
}

TEST(BitmapCoreTest, PenLineLeavesOutItsEndPointAndLineKeepsThePenPosition) {
  Rgb24Canvas c = blackCanvas(10, 10);
  c.MoveTo(7, 8);
  c.Line(1, 1, 5, 1);
  EXPECT_EQ(c.penX(), 7);
  EXPECT_EQ(c.penY(), 8);
  EXPECT_EQ(litPixels(c), (std::vector<Lit>{{1, 1, 255}, {2, 1, 255}, {3, 1, 255}, {4, 1, 255}}));

  c.MoveTo(0, 0);
  c.LineTo(0, 3);
  EXPECT_EQ(c.penX(), 0);
  EXPECT_EQ(c.penY(), 3);
  EXPECT_EQ(c.pixel(0, 2).r, 255);
  EXPECT_EQ(c.pixel(0, 3).r, 0);
  // Lines chained with LineTo share their joints exactly once.
  c.LineTo(3, 3);
  EXPECT_EQ(c.pixel(0, 3).r, 255);
  EXPECT_EQ(c.pixel(3, 3).r, 0);
}

TEST(BitmapCoreTest, SlantedPenLineStepsOnePixelPerColumn) {
  Rgb24Canvas c = blackCanvas(12, 12);
  c.Line(0, 0, 8, 4);
  const std::vector<Lit> lit = litPixels(c);
  EXPECT_EQ(lit.size(), 8u);
  std::vector<int> columns(12, 0);
  for (const Lit& p : lit) {
    ++columns[p.x];
    // Within half a pixel of the ideal line y = x / 2.
    EXPECT_LE(std::fabs(p.y - p.x / 2.0), 0.5) << p.x << "," << p.y;
  }
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(columns[x], 1) << x;
  }
}

TEST(BitmapCoreTest, WidePenCoversBothEndsAndEveryLineIsClipped) {
  Rgb24Canvas c = blackCanvas(12, 12);
  c.setPenWidth(3);
  c.Line(2, 5, 8, 5);
  for (int x = 1; x <= 9; ++x) {
    for (int y = 4; y <= 6; ++y) {
      EXPECT_EQ(c.pixel(x, y).r, 255) << x << "," << y;
    }
  }
  EXPECT_EQ(c.pixel(10, 5).r, 0);
  EXPECT_EQ(c.pixel(5, 7).r, 0);

  Rgb24Canvas far = blackCanvas(12, 12);
  far.Line(-2000000000, 3, 2000000000, 3);
  for (int x = 0; x < 12; ++x) {
    EXPECT_EQ(far.pixel(x, 3).r, 255) << x;
  }
  far.setPenWidth(0);
  EXPECT_EQ(far.penWidth(), 1);
}

TEST(BitmapCoreTest, FillRectCoversTheHalfOpenBoxInEitherCornerOrder) {
  Rgb24Canvas c = blackCanvas(6, 6);
  c.FillRect(4, 3, 1, 1, kRgbWhite);
  EXPECT_EQ(litPixels(c).size(), 6u);
  EXPECT_EQ(c.pixel(1, 1).r, 255);
  EXPECT_EQ(c.pixel(3, 2).r, 255);
  EXPECT_EQ(c.pixel(4, 2).r, 0);
  EXPECT_EQ(c.pixel(1, 3).r, 0);
  c.FillRect(-10, -10, 100, 100, Rgb24{1, 1, 1});
  EXPECT_EQ(c.pixel(5, 5), (Rgb24{1, 1, 1}));
}

}  // namespace
}  // namespace tolvane
