// The tools that fill the pending sector: the drag on the map and the proposal from a sample image.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "colour_tools/background_readout.h"
#include "colour_tools/hsv_map.h"
#include "colour_tools/sample_proposal.h"
#include "colour_tools/sector_drag.h"

namespace tolvane {
namespace {

const Rgb24Canvas& mapPicture() {
  static const Rgb24Canvas picture = [] {
    Rgb24Canvas c;
    drawHsvMapPicture(c);
    return c;
  }();
  return picture;
}

// A pixel of the map that picks as exactly (h, s).
MapPoint mapPointOf(int h, int s) {
  const Rgb24Canvas& picture = mapPicture();
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const auto c = pickMapColour(picture, x, y);
      if (c && c->h == h && c->s == s) {
        return {x, y};
      }
    }
  }
  ADD_FAILURE() << "no map pixel of H " << h << " S " << s;
  return {-1, -1};
}

struct Drag {
  MapPoint from;
  std::vector<MapPoint> moves;
  MapPoint to;
};

struct ToolResult {
  ColorSector pending;
  bool outlined = false;  // drag: an outline on the map; proposal: marks on the map
  std::string vLabel;
};

ToolResult drag(const Drag& d) {
  const Rgb24Canvas& picture = mapPicture();
  Rgb24Canvas working = picture;
  Rgb24Canvas snapshot;
  SectorDrag tool;
  tool.press(picture, d.from.x, d.from.y);
  for (const MapPoint& m : d.moves) {
    tool.moveHeld(picture, working, snapshot, m.x, m.y);
    EXPECT_TRUE(tool.dragging());
  }
  working = picture;  // the map redrawn with the list
  const bool outlined = tool.release(picture, working, d.to.x, d.to.y);
  EXPECT_FALSE(tool.dragging());
  bool yellow = false;
  for (int y = 0; y < working.height() && !yellow; ++y) {
    for (int x = 0; x < working.width() && !yellow; ++x) {
      yellow = working.pixel(x, y) == kRubberBandColour;
    }
  }
  EXPECT_EQ(outlined, yellow);
  return {tool.pending(), outlined, {}};
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  Image(int w, int h, Rgb24 fill) : width(w), height(h), rgb(static_cast<std::size_t>(w * h * 3)) {
    for (int i = 0; i < w * h; ++i) set(i % w, i / w, fill);
  }
  void set(int x, int y, Rgb24 c) {
    std::uint8_t* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
  }
  RgbImageView view() const { return {width, height, width * 3, rgb.data()}; }
};

ToolResult propose(const Image& image, int x, int y) {
  ColorSector current;
  current.ID = 9;
  const SampleProposal p = proposeSector(image.view(), x, y, current);
  EXPECT_TRUE(p.sector.Active);
  EXPECT_EQ(p.sector.ID, 9);
  return {p.sector, p.modeLineFrom.has_value(), p.vLabel};
}

// RGB colours that read as hue 350 and hue 10, fully saturated and bright.
constexpr Rgb24 kHue350{255, 0, 43};
constexpr Rgb24 kHue10{255, 43, 0};
constexpr Rgb24 kGrey{128, 128, 128};

ColorSector bounds(int hMin, int hMax, int sMin, int sMax, int vMin, int vMax) {
  ColorSector s;
  s.HMIN = hMin;
  s.HMAX = hMax;
  s.SMIN = sMin;
  s.SMAX = sMax;
  s.VMIN = vMin;
  s.VMAX = vMax;
  return s;
}

TEST(ColourToolsTest, GesturesFillThePendingSector) {
  ASSERT_EQ(RgbToHsv(kHue350.r, kHue350.g, kHue350.b), (Hsv{350, 255, 255}));
  ASSERT_EQ(RgbToHsv(kHue10.r, kHue10.g, kHue10.b), (Hsv{10, 255, 255}));
  Image hueMode350(20, 20, kHue350);
  hueMode350.set(10, 10, kHue10);  // after the window's first pass of hue 350 pixels
  const struct {
    const char* name;
    std::function<ToolResult()> run;
    ColorSector expected;  // bounds only
    bool outlined;
    std::string vLabel;
  } cases[] = {
      {"drag S 200 -> 100 puts the saturations in order",
       [] {
         return drag({mapPointOf(0, 200), {mapPointOf(0, 150)}, mapPointOf(0, 100)});
       },
       bounds(0, 0, 100, 200, 255, 255), true, ""},
      {"drag whose end differs by 4 in S draws nothing",
       [] {
         return drag({mapPointOf(0, 100), {}, mapPointOf(0, 104)});
       },
       bounds(0, 0, 100, 104, 255, 255), false, ""},
      {"drag 350 -> 10 keeps the gesture's hue order",
       [] {
         return drag({mapPointOf(350, 200), {mapPointOf(0, 200)}, mapPointOf(10, 200)});
       },
       bounds(350, 10, 200, 200 + 0, 255, 255), false, ""},
      {"drag 350 -> 10 with a saturation band",
       [] {
         return drag({mapPointOf(350, 100), {mapPointOf(0, 200)}, mapPointOf(10, 200)});
       },
       bounds(350, 10, 100, 200, 255, 255), true, ""},
      {"release off the map keeps what the last move read",
       [] {
         return drag({mapPointOf(90, 50), {mapPointOf(120, 220)}, {600, 600}});
       },
       bounds(90, 120, 50, 220, 255, 255), false, ""},
      {"proposal on a neighbourhood without saturated pixels",
       [] { return propose(Image(20, 20, kGrey), 10, 10); }, bounds(0, 0, 0, 0, 0, 0), true,
       "Среднее значение яркости V=128.000"},
      {"proposal with hue mode 350 and a pixel of hue 10 (353, then a degree less)",
       [&] { return propose(hueMode350, 10, 10); }, bounds(350, 352, 255, 255, 255, 255), true,
       "Среднее значение яркости V=255.000"},
      {"proposal on one hue keeps HMAX at HMIN", [] { return propose(Image(20, 20, kHue350), 10, 10); },
       bounds(350, 350, 255, 255, 255, 255), true, "Среднее значение яркости V=255.000"},
      {"proposal at the corner divides the brightness by the whole window",
       [] { return propose(Image(20, 20, kHue10), 0, 0); }, bounds(10, 10, 255, 255, 255, 255), true,
       "Среднее значение яркости V=73.935"},
      {"proposal without an image is the default", [] { return propose(Image(0, 0, kGrey), 3, 3); },
       bounds(0, 20, 50, 200, 0, 255), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolResult r = c.run();
    EXPECT_EQ(bounds(r.pending.HMIN, r.pending.HMAX, r.pending.SMIN, r.pending.SMAX, r.pending.VMIN,
                     r.pending.VMAX),
              c.expected);
    EXPECT_EQ(r.outlined, c.outlined);
    EXPECT_EQ(r.vLabel, c.vLabel);
  }
}

TEST(ColourToolsTest, WideningRules) {
  const struct {
    const char* name;
    ProposalBounds before;
    Hsv pixel;
    ProposalBounds after;
  } cases[] = {
      {"rule 4 across 0°, rule 3 not",
       {350, 350, 255, 255, 255, 255},
       {10, 255, 255},
       {350, 353, 255, 255, 255, 255}},
      {"rule 2 across 0°", {10, 10, 100, 100, 100, 100}, {350, 100, 100}, {7, 10, 100, 100, 100, 100}},
      {"rule 1 and rule 3", {100, 100, 100, 100, 100, 100}, {80, 100, 100}, {97, 100, 100, 100, 100, 100}},
      {"44 degrees pulls, 45 does not",
       {100, 100, 100, 100, 100, 100},
       {145, 100, 100},
       {100, 100, 100, 100, 100, 100}},
      {"44 degrees above", {100, 100, 100, 100, 100, 100}, {144, 100, 100}, {100, 106, 100, 100, 100, 100}},
      {"6 degrees pull nothing (truncated)",
       {100, 100, 100, 100, 100, 100},
       {106, 100, 100},
       {100, 100, 100, 100, 100, 100}},
      {"saturation and brightness a quarter",
       {100, 100, 100, 100, 100, 100},
       {100, 20, 255},
       {100, 100, 80, 100, 100, 138}},
      {"the other way", {100, 100, 100, 100, 100, 100}, {100, 203, 3}, {100, 100, 100, 125, 76, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProposalBounds b = c.before;
    widenProposal(b, c.pixel);
    EXPECT_EQ(b, c.after);
  }
}

TEST(ColourToolsTest, ProposalMarksAndRightButton) {
  Image image(13, 13, kGrey);
  image.set(6, 6, kHue10);  // the one saturated pixel: mode H 10 S 255
  const SampleProposal p = proposeSector(image.view(), 6, 6, {});
  ASSERT_TRUE(p.modeLineFrom.has_value());
  EXPECT_EQ(*p.modeLineFrom, sampleMarkPosition(10, 255));
  EXPECT_EQ(p.points, (std::vector<MapPoint>{{506, 299}}));

  Rgb24Canvas working(kHsvMapSize, kHsvMapSize);
  drawProposalMarks(working, p);
  EXPECT_EQ(working.pixel(506, 299), kRgbBlack);
  EXPECT_EQ(working.pixel(255 + 125, 255 + 22), (Rgb24{255, 0, 0}));  // on the red mode line
  EXPECT_EQ(working.penWidth(), 1);

  ColorSector pending = bounds(1, 2, 3, 4, 5, 6);
  pending.ID = 4;
  pending.Active = true;
  ColorSector expected;
  expected.ID = 4;
  expected.Active = true;
  EXPECT_EQ(clearedBounds(pending), expected);
}

TEST(BackgroundReadoutTest, EveryFifthPixelOfEachBlockWithoutZeros) {
  std::vector<std::uint8_t> line(3 * 50, 0);
  auto set = [&](int p, Rgb24 c) {
    line[static_cast<std::size_t>(3 * p)] = c.r;
    line[static_cast<std::size_t>(3 * p + 1)] = c.g;
    line[static_cast<std::size_t>(3 * p + 2)] = c.b;
  };
  set(5, {255, 0, 0});    // H 0 (left out), S 255, V 255
  set(6, {0, 0, 255});    // not a fifth pixel
  set(10, {0, 255, 0});   // H 120
  set(15, {0, 0, 128});   // H 240, V 128
  set(20, {10, 10, 10});  // grey: only V
  set(45, {0, 255, 0});   // inside block 4, whose range runs past the line
  MachineSettings machine;
  machine.EgecA = {0, 10, 20, 40, 0};
  machine.EgecAx = {9, 19, 10, 1000000, 0};  // block 3 reversed: nothing
  const BackgroundReadout r = computeBackgroundReadout(machine, line);
  const BackgroundReadout expected = {{
      {{360, 0}, {255, 255}, {255, 255}},
      {{120, 240}, {255, 255}, {128, 255}},
      {{360, 0}, {255, 0}, {255, 0}},
      {{120, 120}, {255, 255}, {255, 255}},
  }};
  EXPECT_EQ(r, expected);
  const auto texts = backgroundReadoutTexts(r);
  EXPECT_EQ(texts[0], "360 - 0");
  EXPECT_EQ(texts[3], "120 - 240");
  EXPECT_EQ(texts[5], "128 - 255");
  EXPECT_EQ(texts[11], "255 - 255");

  // Before the first computation every label reads 0 - 0; ranges wholly outside the line read nothing.
  for (const std::string& t : backgroundReadoutTexts(BackgroundReadout{})) {
    EXPECT_EQ(t, "0 - 0");
  }
  machine.EgecA = {-100, 60, INT32_MIN, INT32_MAX, 0};
  machine.EgecAx = {-1, 70, INT32_MAX, INT32_MAX, 0};
  const BackgroundReadout outside = computeBackgroundReadout(machine, line);
  EXPECT_EQ(outside[0], (BackgroundBlockReadout{{360, 0}, {255, 0}, {255, 0}}));
  EXPECT_EQ(outside[2].h, (ValueSpan{120, 240}));
}

}  // namespace
}  // namespace tolvane
