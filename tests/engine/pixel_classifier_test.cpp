#include "engine/pixel_classifier.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "wide_vectors_guard.h"

namespace tolvane {
namespace {

ColorSector sector(int type, int hmin, int hmax, int smin = 0, int smax = 255, int vmin = 0, int vmax = 255) {
  ColorSector s;
  s.Active = true;
  s.Type = type;
  s.HMIN = hmin;
  s.HMAX = hmax;
  s.SMIN = smin;
  s.SMAX = smax;
  s.VMIN = vmin;
  s.VMAX = vmax;
  return s;
}

bool hueIn(const ColorSector& s, int h) { return sectorContains(s, Hsv{h, 100, 100}, false); }

TEST(BrightnessClassTest, DefaultRanges) {
  const BrightnessRanges q;  // FonBlack 0, FonLight 255, Fon 200..255, P1 0..150, P2 150..200
  EXPECT_EQ(brightnessClass(150, q), kClassColour1);
  EXPECT_EQ(brightnessClass(151, q), kClassColour2);
  EXPECT_EQ(brightnessClass(199, q), kClassColour2);
  EXPECT_EQ(brightnessClass(200, q), kClassBackground);
  EXPECT_EQ(brightnessClass(255, q), kClassBackground);
  EXPECT_EQ(brightnessClass(0, q), kClassColour1);
  for (int v = 0; v < 256; ++v) {
    EXPECT_NE(brightnessClass(v, q), kClassOther) << v;
  }
}

TEST(BrightnessClassTest, DarkAndLightLimitsWinOverTheProductRanges) {
  BrightnessRanges q;
  q.FonBlack = 20;
  q.FonLight = 230;
  EXPECT_EQ(brightnessClass(19, q), kClassBackground);
  EXPECT_EQ(brightnessClass(20, q), kClassColour1);
  EXPECT_EQ(brightnessClass(231, q), kClassBackground);
  q.P1Max = 100;
  q.P2Min = 120;
  EXPECT_EQ(brightnessClass(110, q), kClassOther);
}

TEST(SectorContainsTest, HueRangesAcrossZero) {
  const ColorSector wrap = sector(1, 300, 60);
  EXPECT_TRUE(hueIn(wrap, 350));
  EXPECT_TRUE(hueIn(wrap, 30));
  EXPECT_TRUE(hueIn(wrap, 0));
  EXPECT_TRUE(hueIn(wrap, 300));
  EXPECT_FALSE(hueIn(wrap, 60));  // the upper bound of a range across 0 is open
  EXPECT_TRUE(hueIn(wrap, 59));
  EXPECT_FALSE(hueIn(wrap, 100));
  EXPECT_FALSE(hueIn(wrap, 299));

  const ColorSector negative = sector(1, -30, 30);
  EXPECT_TRUE(hueIn(negative, 350));
  EXPECT_TRUE(hueIn(negative, 10));
  EXPECT_TRUE(hueIn(negative, 330));
  EXPECT_FALSE(hueIn(negative, 31));
  EXPECT_FALSE(hueIn(negative, 30));
  EXPECT_FALSE(hueIn(negative, 329));
}

TEST(SectorContainsTest, BoundsAboveTheCircleAndFarOutside) {
  // Shifted by whole turns before the test.
  EXPECT_TRUE(hueIn(sector(1, 370, 400), 20));
  EXPECT_FALSE(hueIn(sector(1, 370, 400), 50));
  // Anything beyond 720 after the shift never matches.
  EXPECT_FALSE(hueIn(sector(1, 10, 800), 20));
  // Extreme values from a damaged file neither overflow nor match.
  EXPECT_FALSE(hueIn(sector(1, INT32_MIN, INT32_MAX), 20));
  EXPECT_FALSE(hueIn(sector(1, INT32_MAX, INT32_MAX), 20));
}

TEST(SectorContainsTest, SaturationAndValueBoundsAreInclusive) {
  const ColorSector s = sector(1, 0, 360, 10, 20, 30, 40);
  EXPECT_TRUE(sectorContains(s, Hsv{100, 10, 40}, false));
  EXPECT_TRUE(sectorContains(s, Hsv{100, 20, 30}, false));
  EXPECT_FALSE(sectorContains(s, Hsv{100, 21, 30}, false));
  EXPECT_FALSE(sectorContains(s, Hsv{100, 15, 41}, false));
  // Brightness mode tests V only.
  EXPECT_TRUE(sectorContains(s, Hsv{999, 250, 35}, true));
  EXPECT_FALSE(sectorContains(s, Hsv{100, 15, 29}, true));
}

class ClassifyPixelTest : public ::testing::Test {
 protected:
  ClassifierInputs colourInputs() {
    ClassifierInputs in;
    in.singleTone = false;
    in.sectors = &tables;
    return in;
  }
  SectorTables tables;
};

TEST_F(ClassifyPixelTest, NoActiveSectorMakesEveryColourOther) {
  const ClassifierInputs in = colourInputs();
  EXPECT_EQ(ClassifyPixel(0, 0, 0, in), kClassOther);
  EXPECT_EQ(ClassifyPixel(255, 255, 255, in), kClassOther);
  tables.red.push_back(sector(1, 0, 360));
  tables.red.back().Active = false;
  EXPECT_EQ(ClassifyPixel(255, 0, 0, in), kClassOther);
}

TEST_F(ClassifyPixelTest, BackgroundListWinsThenRedThenBlue) {
  tables.background.push_back(sector(-1, 200, 260));  // blue plate
  tables.red.push_back(sector(1, 0, 360));            // everything
  tables.blue.push_back(sector(2, 0, 360));
  const ClassifierInputs in = colourInputs();
  EXPECT_EQ(ClassifyPixel(0, 0, 255, in), kClassBackground);
  EXPECT_EQ(ClassifyPixel(255, 0, 0, in), kClassColour1);
  tables.red.clear();
  EXPECT_EQ(ClassifyPixel(255, 0, 0, in), kClassColour2);
}

TEST_F(ClassifyPixelTest, SingleToneAndChannelModesUseTheBrightnessTest) {
  ClassifierInputs in = colourInputs();
  in.singleTone = true;
  EXPECT_EQ(ClassifyPixel(210, 0, 0, in), kClassBackground);  // R only
  EXPECT_EQ(ClassifyPixel(100, 255, 255, in), kClassColour1);
  in.singleTone = false;
  in.brightMode = true;
  in.singleChannel = 2;
  EXPECT_EQ(ClassifyPixel(0, 170, 0, in), kClassColour2);
  in.singleChannel = 3;
  EXPECT_EQ(ClassifyPixel(0, 170, 220, in), kClassBackground);
  // Brightness mode with no usable channel: the colour test, matching on V only.
  in.singleChannel = 0;
  tables.red.push_back(sector(1, 0, 0, 0, 0, 100, 120));
  EXPECT_EQ(ClassifyPixel(0, 110, 0, in), kClassColour1);  // hue 120, saturation 255: ignored
  EXPECT_EQ(ClassifyPixel(0, 130, 0, in), kClassOther);
}

TEST(BackgroundShortcutsTest, BlueBoxAndBlackLevel) {
  BackgroundShortcuts sc;
  sc.blue = true;
  sc.rMin = 10;
  sc.rMax = 20;
  sc.gMin = 30;
  sc.gMax = 40;
  sc.bMin = 50;
  sc.bMax = 60;
  EXPECT_TRUE(isShortcutBackground(10, 40, 55, sc));
  EXPECT_FALSE(isShortcutBackground(21, 40, 55, sc));
  sc.blue = false;
  EXPECT_FALSE(isShortcutBackground(10, 40, 55, sc));
  sc.black = true;
  sc.blackLevel = 50;
  EXPECT_TRUE(isShortcutBackground(40, 40, 40, sc));  // 40 < 50
  EXPECT_TRUE(isShortcutBackground(100, 0, 0, sc));   // 0.3 * 100 = 30
  EXPECT_FALSE(isShortcutBackground(200, 0, 0, sc));  // 60
  EXPECT_TRUE(isShortcutBackground(0, 0, 255, sc));   // 25.5
  EXPECT_FALSE(isShortcutBackground(0, 100, 0, sc));  // 60
}

TEST(BackgroundShortcutsTest, FromSettingsPerCamera) {
  SorterSettings s;
  MachineSettings m;
  s.enFonBlack = true;
  m.BlackFon = {11, 22};
  EXPECT_EQ(backgroundShortcuts(s, m, 0).blackLevel, 11);
  EXPECT_EQ(backgroundShortcuts(s, m, 1).blackLevel, 22);
}

// The fast tables against ClassifyPixel over every input.
TEST(PixelClassifierTest, GreyTableEqualsTheBrightnessTestForRandomRanges) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> value(-5, 260);
  PixelClassifier fast;
  for (int round = 0; round < 200; ++round) {
    ClassifierInputs in;
    in.ranges = {value(rng), value(rng), value(rng), value(rng),
                 value(rng), value(rng), value(rng), value(rng)};
    fast.update(in, {});
    for (int v = 0; v < 256; ++v) {
      ASSERT_EQ(fast.grey(static_cast<std::uint8_t>(v)), ClassifyPixel(v, v, v, in)) << round << " " << v;
      ASSERT_EQ(fast.plain(static_cast<std::uint8_t>(v), 3, 200), ClassifyPixel(v, 3, 200, in));
    }
  }
}

void expectColourTableEqualsDirect(PixelClassifier& fast, const ClassifierInputs& in,
                                   const BackgroundShortcuts& sc, int step) {
  fast.update(in, sc);
  for (int r = 0; r < 256; r += step) {
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; ++b) {
        const PixelClass plain = ClassifyPixel(r, g, b, in);
        const PixelClass line = isShortcutBackground(r, g, b, sc) ? kClassBackground : plain;
        const auto R = static_cast<std::uint8_t>(r);
        const auto G = static_cast<std::uint8_t>(g);
        const auto B = static_cast<std::uint8_t>(b);
        // Twice: the first fills the entry, the second reads it back.
        ASSERT_EQ(fast.plain(R, G, B), plain) << r << " " << g << " " << b;
        ASSERT_EQ(fast.line(R, G, B), line) << r << " " << g << " " << b;
        ASSERT_EQ(fast.plain(R, G, B), plain);
      }
    }
  }
}

TEST(PixelClassifierTest, ColourTableEqualsClassifyPixelOverAllColours) {
  SectorTables tables;
  tables.background.push_back(sector(-1, 200, 250, 60, 255, 120, 255));
  tables.red.push_back(sector(1, 330, 40, 80, 255, 40, 230));
  tables.red.push_back(sector(1, -20, 10, 0, 90, 0, 255));
  tables.blue.push_back(sector(2, 60, 180, 30, 200, 30, 200));
  ClassifierInputs in;
  in.singleTone = false;
  in.sectors = &tables;
  BackgroundShortcuts sc;
  sc.black = true;
  sc.blackLevel = 40;
  sc.blue = true;
  sc.rMin = 0;
  sc.rMax = 60;
  sc.gMin = 80;
  sc.gMax = 140;
  sc.bMin = 180;
  sc.bMax = 255;

  PixelClassifier fast;
  fast.enableColourTable();
  expectColourTableEqualsDirect(fast, in, sc, 1);

  // Changing a sector in place, the mode or a shortcut must not leave stale entries behind.
  tables.red[0].HMAX = 90;
  expectColourTableEqualsDirect(fast, in, sc, 5);
  in.brightMode = true;
  in.singleChannel = 0;
  expectColourTableEqualsDirect(fast, in, sc, 7);
  sc.blackLevel = 90;
  expectColourTableEqualsDirect(fast, in, sc, 11);
  in.singleChannel = 2;
  expectColourTableEqualsDirect(fast, in, sc, 13);
}

// Every channel of every colour comes from one small set, and every such colour is in the table
// before the runs are read: a pixel's index taken from the wrong bytes then finds a filled entry of
// another colour instead of a stale one that would be recomputed. Runs start at every offset of the
// unrolled loads and have every length around their blocks; nothing outside a run is written.
// Both with and without the AVX2 block loops.
TEST(PixelClassifierTest, RunsReadEachPixelFromItsOwnBytesAtEveryStartAndLength) {
  SectorTables tables;
  tables.background.push_back(sector(-1, 200, 260, 40, 255, 40, 255));
  tables.red.push_back(sector(1, 330, 50, 40, 255, 40, 255));
  tables.blue.push_back(sector(2, 60, 180, 40, 255, 40, 255));
  ClassifierInputs in;
  in.singleTone = false;
  in.sectors = &tables;
  BackgroundShortcuts sc;
  sc.blue = true;  // line and plain classes differ on part of the colours
  sc.rMax = 60;
  sc.gMax = 128;
  sc.bMin = 200;
  sc.bMax = 255;
  constexpr std::array<std::uint8_t, 5> kValues{0, 60, 128, 200, 255};
  constexpr int kPixels = 100;  // runs long enough for the 32-pixel blocks
  constexpr std::uint8_t kUntouched = 0xEE;

  PixelClassifier fast;
  fast.enableColourTable();
  fast.update(in, sc);
  std::array<std::uint8_t, 3 * 125> all{};
  for (std::size_t i = 0; i < 125; ++i) {
    all[3 * i] = kValues[i % 5];
    all[3 * i + 1] = kValues[i / 5 % 5];
    all[3 * i + 2] = kValues[i / 25];
  }
  std::array<std::uint8_t, 125> filled{};
  fast.lineClasses(all.data(), filled.data(), 0, 124);
  std::array<int, 5> classesSeen{};
  for (std::size_t i = 0; i < 125; ++i) {
    ++classesSeen[ClassifyPixel(all[3 * i], all[3 * i + 1], all[3 * i + 2], in)];
  }
  ASSERT_GT(classesSeen[kClassBackground] * classesSeen[kClassColour1] * classesSeen[kClassColour2] *
                classesSeen[kClassOther],
            0);

  std::mt19937 rng(3);
  std::array<std::uint8_t, 3 * kPixels> rgb{};
  std::array<std::uint8_t, kPixels> classes{};
  for (const bool wide : {true, false}) {
    const WideVectorsGuard guard(wide);
    SCOPED_TRACE(wide ? "AVX2 where present" : "SSE2");
    for (int start = 0; start < 18; ++start) {
      for (int length = 1; start + length <= kPixels; ++length) {
        for (auto& byte : rgb) byte = kValues[rng() % kValues.size()];
        const int last = start + length - 1;
        for (const bool line : {true, false}) {
          classes.fill(kUntouched);
          if (line) {
            fast.lineClasses(rgb.data(), classes.data(), start, last);
          } else {
            fast.plainClasses(rgb.data() + 3 * start, classes.data() + start, length);
          }
          for (int p = 0; p < kPixels; ++p) {
            const auto at = static_cast<std::size_t>(3 * p);
            const PixelClass plain = ClassifyPixel(rgb[at], rgb[at + 1], rgb[at + 2], in);
            const bool shortcut = line && isShortcutBackground(rgb[at], rgb[at + 1], rgb[at + 2], sc);
            const PixelClass expected =
                p < start || p > last ? kUntouched : (shortcut ? kClassBackground : plain);
            ASSERT_EQ(classes[static_cast<std::size_t>(p)], expected)
                << (line ? "line" : "plain") << " start " << start << " length " << length << " pixel " << p;
          }
        }
      }
    }
  }
}

TEST(PixelClassifierTest, ManyChangesWrapTheGenerationsWithoutStaleEntries) {
  SectorTables tables;
  tables.red.push_back(sector(1, 0, 10));
  ClassifierInputs in;
  in.singleTone = false;
  in.sectors = &tables;
  PixelClassifier fast;
  fast.enableColourTable();
  for (int change = 0; change < 40; ++change) {
    tables.red[0].HMAX = change * 9;
    fast.update(in, {});
    for (int g = 0; g < 256; g += 3) {
      const auto G = static_cast<std::uint8_t>(g);
      ASSERT_EQ(fast.plain(255, G, 0), ClassifyPixel(255, g, 0, in)) << change << " " << g;
    }
  }
}

TEST(PixelClassifierTest, MoreSectorsThanTheKeyHoldsFallBackToDirect) {
  SectorTables tables;
  for (int i = 0; i < 100; ++i) {
    tables.red.push_back(sector(1, i * 3, i * 3 + 2));
  }
  ClassifierInputs in;
  in.singleTone = false;
  in.sectors = &tables;
  PixelClassifier fast;
  fast.enableColourTable();
  fast.update(in, {});
  for (int g = 0; g < 256; ++g) {
    ASSERT_EQ(fast.plain(255, static_cast<std::uint8_t>(g), 0), ClassifyPixel(255, g, 0, in));
  }
  tables.red.resize(99);
  tables.red.push_back(sector(1, 0, 360));
  fast.update(in, {});
  for (int g = 0; g < 256; ++g) {
    ASSERT_EQ(fast.plain(0, 0, static_cast<std::uint8_t>(g)), ClassifyPixel(0, 0, g, in));
  }
}

TEST(PixelClassifierTest, WithoutTheTableColoursAreClassifiedDirectly) {
  SectorTables tables;
  tables.blue.push_back(sector(2, 200, 260));
  ClassifierInputs in;
  in.singleTone = false;
  in.sectors = &tables;
  PixelClassifier fast;
  fast.update(in, {});
  EXPECT_FALSE(fast.colourTableEnabled());
  EXPECT_EQ(fast.plain(0, 0, 255), kClassColour2);
  EXPECT_EQ(fast.plain(255, 0, 0), kClassOther);
}

TEST(PixelClassifierTest, InputsFollowTheEngineFlagsAndTheCamera) {
  EngineState state;
  SorterSettings s;
  s.FonMin = {200, 100};
  state.singleToneCamera = false;
  state.BrightMode = true;
  state.SingleChannel = 3;
  const ClassifierInputs in = classifierInputs(state, s, 1);
  EXPECT_FALSE(in.singleTone);
  EXPECT_TRUE(in.brightMode);
  EXPECT_EQ(in.singleChannel, 3);
  EXPECT_EQ(in.ranges.FonMin, 100);
  EXPECT_EQ(in.sectors, &state.sectorTables[1]);
  EXPECT_EQ(ClassifyPixel(0, 0, 120, 1, state, s), kClassBackground);  // 100 <= 120 <= 255
  EXPECT_EQ(ClassifyPixel(0, 0, 120, 0, state, s), kClassColour1);
}

}  // namespace
}  // namespace tolvane
