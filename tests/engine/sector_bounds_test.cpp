// Sector lines whose bounds lie far outside their ranges (any int32 a settings file can hold): the
// background fill they give, and the classes a colour line gets through them, fast and direct.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "engine/camera_line_state.h"
#include "engine/color_convert.h"
#include "engine/engine_state.h"
#include "engine/line_classifier.h"
#include "settings/machine_settings.h"
#include "settings/sector_tables.h"

namespace tolvane {
namespace {

TEST(HsvToRgbBounds, EveryInputGivesAResultInRange) {
  struct Case {
    int h, s, v;
    RgbValues rgb;
  };
  const Case cases[] = {
      {0, -1000, 2000000000, {255, 255, 255}},  // S 0, V 255: white
      {INT_MIN, 5, -7, {0, 0, 0}},              // negative H: grey V, V clamped to 0
      {-1, INT_MAX, INT_MAX, {255, 255, 255}},
      {INT_MAX, 255, 255, {255, 0, 255}},    // last sextant; the float position has no fraction left
      {100, 2000000000, 100, {33, 100, 0}},  // S clamped to 255: as HsvToRgb(100, 255, 100)
      {420, 255, 255, {255, 0, 254}},        // past 360: the last sextant's formula, f = 0.00014
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HsvToRgb(c.h, c.s, c.v), c.rgb) << c.h << " " << c.s << " " << c.v;
  }
  EXPECT_EQ(HsvToRgb(100, 2000000000, 100), HsvToRgb(100, 255, 100));
  EXPECT_EQ(HsvToRgb(200, -3, 300), HsvToRgb(200, 0, 255));

  const int extremes[] = {INT_MIN, INT_MIN + 1, -1000000, -361, -1,      0,        1,           255,    256,
                          359,     360,         361,      720,  1000000, 16777216, INT_MAX - 1, INT_MAX};
  for (int h : extremes) {
    for (int s : extremes) {
      for (int v : extremes) {
        const RgbValues c = HsvToRgb(h, s, v);
        ASSERT_TRUE(c.r >= 0 && c.r <= 255 && c.g >= 0 && c.g <= 255 && c.b >= 0 && c.b <= 255)
            << h << " " << s << " " << v;
      }
    }
  }
}

// One sector line of camera 1, the fill it gives a colour machine, and the classes of a few colours.
struct BoundsCase {
  const char* line;
  bool fillSet;       // an active background sector sets the fill
  FillColour fill;    // then this
  PixelClass red;     // (255, 0, 0): H 0, S 255, V 255
  PixelClass yellow;  // (255, 255, 0): H 60
  PixelClass green;   // (0, 255, 0): H 120
  PixelClass grey;    // (128, 128, 128): H 0, S 0, V 128
};

const BoundsCase kBoundsCases[] = {
    // The settings-file line that used to overflow the fill conversion: middles H 180, S 999500000
    // (taken as 255), V 2073741823 (taken as 255). V from 2000000000 up holds no colour.
    {R"(##ID="0" ##TYPE="-1" ##HMIN="0" ##HMAX="360" ##SMIN="-1000" ##SMAX="1999999999" ##VMIN="2000000000" ##VMAX="2147483647" ##ACTIVE="TRUE")",
     true,
     {0, 254, 255},
     4,
     4,
     4,
     4},
    // Everything at the ends of int32: the hue middle is -1 (grey V), V's middle -1 (black); the hue
    // bound above 720 matches nothing.
    {R"(##ID="1" ##TYPE="-1" ##HMIN="-2147483648" ##HMAX="2147483647" ##SMIN="-2147483648" ##SMAX="2147483647" ##VMIN="-2147483648" ##VMAX="2147483647" ##ACTIVE="TRUE")",
     true,
     {0, 0, 0},
     4,
     4,
     4,
     4},
    // A negative lower hue bound far below a turn: the sector reaches up to its upper bound 60.
    {R"(##ID="2" ##TYPE="1" ##HMIN="-2147483648" ##HMAX="60" ##SMIN="-5" ##SMAX="300" ##VMIN="-1" ##VMAX="1000" ##ACTIVE="TRUE")",
     false,
     {},
     1,
     1,
     4,
     1},
    // Hue bounds beyond a turn are taken one turn down: 400 ... 500 is 40 ... 140.
    {R"(##ID="3" ##TYPE="2" ##HMIN="400" ##HMAX="500" ##SMIN="1" ##SMAX="2147483647" ##VMIN="0" ##VMAX="255" ##ACTIVE="TRUE")",
     false,
     {},
     4,
     2,
     2,
     4},
    // -30 ... 30 crosses 0 degrees; S and V bounds wider than their ranges take everything. Middles
    // H 0, S 0, V 0: black.
    {R"(##ID="4" ##TYPE="-1" ##HMIN="-30" ##HMAX="30" ##SMIN="-1000" ##SMAX="1000" ##VMIN="-1000" ##VMAX="1000" ##ACTIVE="TRUE")",
     true,
     {0, 0, 0},
     0,
     4,
     4,
     0},
    // Upper bounds below lower ones in S and V: nothing.
    {R"(##ID="5" ##TYPE="1" ##HMIN="0" ##HMAX="360" ##SMIN="2147483647" ##SMAX="-2147483648" ##VMIN="255" ##VMAX="0" ##ACTIVE="TRUE")",
     false,
     {},
     4,
     4,
     4,
     4},
};

TEST(SectorBounds, LinesBeyondTheirRangesBuildTablesAndClassifyALine) {
  const RgbPixel colours[] = {{255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {128, 128, 128}};
  for (const BoundsCase& c : kBoundsCases) {
    SCOPED_TRACE(c.line);
    auto state = std::make_unique<EngineState>();
    state->singleToneCamera = false;
    for (int j = 1; j <= kEjectorSlots; ++j)
      state->ejection.EjectorZones[j] = {40 * (j - 1) + 1, 40 * j + 1, 0, 0};
    SorterSettings sorter;
    MachineSettings machine;
    sorter.Sectors[0] = {c.line};
    state->BackgroundFill = {1, 2, 3};
    const std::vector<BadSectorLine> bad =
        rebuildSectorTables(sorter, false, hsvFillColour, state->sectorTables, state->BackgroundFill);
    ASSERT_TRUE(bad.empty()) << describeBadSectorLines(bad);
    EXPECT_EQ(state->BackgroundFill, (c.fillSet ? c.fill : FillColour{1, 2, 3}));
    // The tables keep the bounds as read.
    const SectorTables& tables = state->sectorTables[0];
    ASSERT_EQ(tables.background.size() + tables.red.size() + tables.blue.size(), 1u);

    // A line of the four colours, through the colour table, without it, and pixel by pixel.
    const PixelClass expected[] = {c.red, c.yellow, c.green, c.grey};
    for (bool table : {true, false}) {
      auto camera = std::make_unique<CameraLineState>(0);
      if (table) camera->classifier.enableColourTable();
      for (int p = 0; p <= kLineBufferPixels; ++p) {
        const RgbPixel& colour = colours[p % 4];
        std::uint8_t* px = camera->rgb(p);
        px[0] = colour.r;
        px[1] = colour.g;
        px[2] = colour.b;
      }
      setWorkingRange(*camera, state->ejection, machine);
      prepareClassifier(*camera, *state, sorter, machine);
      classifyLine(*camera, LinePath::kColourObject, false, nullptr);
      const auto fast = camera->ClassMap;
      classifyLineDirect(*camera, LinePath::kColourObject, false, classifierInputs(*state, sorter, 0),
                         backgroundShortcuts(sorter, machine, 0), nullptr);
      ASSERT_EQ(fast, camera->ClassMap) << (table ? "colour table" : "no table");
      for (int p = camera->WorkFirstPixel; p <= camera->WorkLastPixel; ++p) {
        ASSERT_EQ(camera->ClassMap[static_cast<std::size_t>(p)], expected[p % 4]) << "pixel " << p;
      }
    }
  }
}

TEST(SectorBounds, SingleToneFillFromLevelsAtTheEndsOfInt32) {
  struct Case {
    std::int32_t fonBlack, fonLight;
    FillColour fill;
  };
  const Case cases[] = {
      // 255 - INT_MIN lies beyond int32 (a wrapped difference would be negative and give black).
      {INT_MAX, INT_MIN, {255, 255, 255}}, {INT_MAX, 255, {0, 0, 0}}, {INT_MIN, INT_MAX, {255, 255, 255}},
      {0, 255, {255, 255, 255}},           {1, 255, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    auto state = std::make_unique<EngineState>();
    SorterSettings sorter;
    sorter.FonBlack[0] = c.fonBlack;
    sorter.FonLight[0] = c.fonLight;
    applySingleToneFill(*state, sorter);
    EXPECT_EQ(state->BackgroundFill, c.fill) << c.fonBlack << " " << c.fonLight;
    // A colour machine keeps its fill: the background sectors decide it.
    state->singleToneCamera = false;
    state->BackgroundFill = {7, 8, 9};
    applySingleToneFill(*state, sorter);
    EXPECT_EQ(state->BackgroundFill, (FillColour{7, 8, 9}));
  }
}

}  // namespace
}  // namespace tolvane
