#include "colour_tools/sector_outline.h"

#include <gtest/gtest.h>

#include <climits>

#include "colour_tools/hsv_map.h"
#include "colour_tools/map_redraw.h"

namespace tolvane {
namespace {

constexpr Rgb24 kInk{1, 2, 3};
constexpr Rgb24 kBrush{200, 201, 202};

Rgb24Canvas blankMap(int penWidth) {
  Rgb24Canvas c(kHsvMapSize, kHsvMapSize);
  c.SetColor(kInk);
  c.BackColor(kBrush);
  c.setPenWidth(penWidth);
  return c;
}

// S 100..200, H 0..90 around (258, 257): every pixel below worked out by hand.
TEST(SectorOutlineTest, QuarterSectorAtKnownPixels) {
  Rgb24Canvas c = blankMap(1);
  const MapPoint text = drawSectorOutline(c, {100, 200, 0, 90, 256});
  const struct {
    const char* what;
    int x, y;
    Rgb24 colour;
  } pixels[] = {
      {"outer arc at 0°", 458, 257, kInk},
      {"inner arc at 0°", 358, 257, kInk},
      {"radial edge at 0°", 400, 257, kInk},
      {"radial edge at 90°", 258, 400, kInk},
      {"hatch line k = 14 starts on the inner arc", 329, 327, kInk},
      {"between hatch lines", 407, 263, kRgbWhite},
      {"beyond the outer arc at 0°", 459, 257, kRgbWhite},
      {"outside the hue range", 258, 150, kRgbWhite},
      {"label box frame, top left", 356, 353, kInk},
      {"label box frame, bottom right", 376, 373, kInk},
      {"label box inside", 366, 363, kBrush},
      {"centre", 258, 257, kRgbWhite},
  };
  for (const auto& p : pixels) {
    EXPECT_EQ(c.pixel(p.x, p.y), p.colour) << p.what;
  }
  // Middle radius 150 at 45°: (364, 363); the text goes 4 left and 6 up.
  EXPECT_EQ(text, (MapPoint{360, 357}));
  EXPECT_EQ(c.penWidth(), 1);
}

TEST(SectorOutlineTest, WidePenThickensTheEdgesAndIsKept) {
  Rgb24Canvas c = blankMap(3);
  drawSectorOutline(c, {100, 200, 0, 90, 256});
  EXPECT_EQ(c.pixel(459, 257), kInk);
  EXPECT_EQ(c.pixel(400, 258), kInk);
  EXPECT_EQ(c.penWidth(), 3);
}

TEST(SectorOutlineTest, AcrossZeroTheLabelSitsOnTheOtherSide) {
  Rgb24Canvas c = blankMap(1);
  // 300° .. 20°: middle angle 160° + 180° = 340°, middle radius 100.
  const MapPoint text = drawSectorOutline(c, {50, 150, 300, 20, 256});
  EXPECT_EQ(text, (MapPoint{258 + 93 - 4, 257 - 35 - 6}));
  EXPECT_EQ(c.pixel(407, 256), kInk);  // the outer arc crosses 0°
  // The rubber band's centre sits one pixel up and left.
  Rgb24Canvas band = blankMap(1);
  drawSectorOutline(band, {50, 150, 300, 20, 255});
  EXPECT_EQ(band.pixel(406, 255), kInk);
}

// Whatever a sector line holds is drawn inside the canvas, in bounded time, without undefined
// behaviour (the sanitizer builds run this).
TEST(SectorOutlineTest, AbsurdBoundsStayDefined) {
  const SectorOutlineShape shapes[] = {
      {-1000, 200, 0, 90, 256},
      {100, 200, 0, 2000000000, 256},
      {100, 200, -5, 373, 256},
      {0, INT_MAX, 10, 20, 256},
      {INT_MIN, INT_MAX, INT_MIN, INT_MAX, 256},
      {INT_MAX, INT_MIN, INT_MAX, INT_MIN, 256},
      {200, 100, 90, 0, 256},
      {5, 5, 45, 45, 256},
      {100, 200, 0, 90, INT_MAX},
      {100, 200, 0, 90, INT_MIN},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.innerRadius << " " << shape.outerRadius << " "
                                    << shape.startAngle << " " << shape.endAngle << " " << shape.offset);
    for (const int size : {kHsvMapSize, 7}) {
      Rgb24Canvas c = blankMap(5);
      c.setSize(size, size);
      const MapPoint text = drawSectorOutline(c, shape);
      EXPECT_EQ(c.penWidth(), 5);
      EXPECT_LE(std::abs(text.x), 1000000 + 4);
      EXPECT_LE(std::abs(text.y), 1000000 + 6);
    }
  }
}

TEST(MapRedrawTest, ActiveParseableLinesAreOutlinedWithTheirLabels) {
  Rgb24Canvas picture(kHsvMapSize, kHsvMapSize);
  picture.FillRect(0, 0, kHsvMapSize, kHsvMapSize, Rgb24{50, 60, 70});
  Rgb24Canvas working = picture;
  working.putPixel(5, 5, kRgbWhite);  // a mark of an earlier drawing

  const SectorLines lines = {
      R"(##ID="3" ##TYPE="1" ##HMIN="0" ##HMAX="90" ##SMIN="100" ##SMAX="200" ##VMIN="10" ##VMAX="250" ##ACTIVE="TRUE")",
      R"(##ID="4" ##TYPE="2" ##HMIN="100" ##HMAX="150" ##SMIN="10" ##SMAX="50" ##VMIN="0" ##VMAX="255" ##ACTIVE="FALSE")",
      R"(##ID="x" ##TYPE="2" ##HMIN="100" ##HMAX="150" ##SMIN="10" ##SMAX="50" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
      R"(##ID="7" ##TYPE="-3" ##HMIN="100" ##HMAX="150" ##SMIN="-1000" ##SMAX="100" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
      R"(##ID="8" ##TYPE="2" ##HMIN="200" ##HMAX="250" ##SMIN="0" ##SMAX="2147483647" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
  };
  const std::vector<MapText> texts = redrawSectorMap(working, picture, lines, 0);

  EXPECT_EQ(working.pixel(5, 5), (Rgb24{50, 60, 70}));
  EXPECT_EQ(working.pixel(460, 257), kRedSectorOutline);  // selected: 5-pixel pen
  EXPECT_EQ(working.pixel(459, 259), kRedSectorOutline);
  const std::vector<MapText> expected = {
      {360, 357, "3", kRedSectorOutline, true},
      {512, -117, "7", kRgbBlack, true},  // a negative radius turns half round
      {texts[2].x, texts[2].y, "8", kBlueSectorOutline, true},
      {420, 10, "H: 0 - 90", kRgbWhite, false},
      {420, 22, "S: 100 - 200", kRgbWhite, false},
      {420, 34, "V: 10 - 250", kRgbWhite, false},
  };
  ASSERT_EQ(texts.size(), expected.size());
  EXPECT_LT(texts[2].x, 0);  // far out, clamped to just beyond the canvas
  EXPECT_EQ(texts, expected);

  // The selection drawn thin when another entry is selected; an inactive selection has no bounds texts.
  const std::vector<MapText> others = redrawSectorMap(working, picture, lines, 1);
  EXPECT_EQ(others.size(), 3u);
  EXPECT_EQ(working.pixel(458, 257), kRedSectorOutline);
  EXPECT_EQ(working.pixel(460, 257), (Rgb24{50, 60, 70}));
  EXPECT_TRUE(redrawSectorMap(working, picture, {}, std::nullopt).empty());
}

TEST(MapRedrawTest, AbsurdBoundsFromAFileAreDrawnWithinTheMap) {
  Rgb24Canvas picture(kHsvMapSize, kHsvMapSize);
  Rgb24Canvas working;
  const SectorLines lines = {
      R"(##ID="1" ##TYPE="1" ##HMIN="0" ##HMAX="2000000000" ##SMIN="-1000" ##SMAX="2147483647" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
      R"(##ID="2" ##TYPE="-1" ##HMIN="-2147483648" ##HMAX="-5" ##SMIN="-1000" ##SMAX="-2000" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
      R"(##ID="3" ##TYPE="2" ##HMIN="-5" ##HMAX="373" ##SMIN="300" ##SMAX="100" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
  };
  const std::vector<MapText> texts = redrawSectorMap(working, picture, lines, 2);
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[3].text, "H: -5 - 373");
  EXPECT_EQ(texts[4].text, "S: 300 - 100");
  EXPECT_EQ(working.width(), kHsvMapSize);
  // The first sector's edge at 0° runs from radius -1000 through the centre.
  EXPECT_EQ(working.pixel(208, 257), kRedSectorOutline);
}

}  // namespace
}  // namespace tolvane
