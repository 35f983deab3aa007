// Fast paths of the analysis against their direct forms on random inputs: shape measures of live
// records, run classification through the colour table, class counts of runs, and the line-mode zone
// counts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "engine/line_classifier.h"
#include "engine/object_tracker.h"
#include "engine/shape_measures.h"
#include "engine_test_rig.h"
#include "settings/machine_settings.h"
#include "wide_vectors_guard.h"

namespace tolvane {
namespace {

SectorTables colourSectors() {
  SectorTables t;
  t.background.push_back(ColorSector{true, -1, 1, 190, 260, 30, 255, 60, 255});
  t.red.push_back(ColorSector{true, 1, 2, 10, 65, 20, 255, 20, 255});
  t.blue.push_back(ColorSector{true, 2, 3, 66, 120, 20, 255, 20, 255});
  return t;
}

// A record as the object step leaves it before closing: the creation image (prefill in rows 1..50,
// black below) with random pixels of a small palette inside a random box, and random means.
struct RandomRecord {
  std::mt19937& rng;
  bool colour;

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  RgbPixel pixel(FillColour prefill) {
    // Plate, product, defect, black, the prefill and now and then any colour at all.
    static constexpr std::array<RgbPixel, 4> kColourPalette{
        {{55, 85, 200}, {200, 156, 60}, {85, 125, 40}, {0, 0, 0}}};
    static constexpr std::array<std::uint8_t, 4> kGreyPalette{230, 100, 170, 0};
    const int kind = pick(0, 9);
    if (kind == 9) {
      return {static_cast<std::uint8_t>(pick(0, 255)), static_cast<std::uint8_t>(pick(0, 255)),
              static_cast<std::uint8_t>(pick(0, 255))};
    }
    if (kind == 8) return {prefill.r, prefill.g, prefill.b};
    if (colour) return kColourPalette[static_cast<std::size_t>(kind % 4)];
    const std::uint8_t v = kGreyPalette[static_cast<std::size_t>(kind % 4)];
    return {v, v, v};
  }

  void fill(ObjectRecord& rec, FillColour prefill, std::int64_t meanLimit) {
    std::memset(static_cast<void*>(&rec), 0, sizeof rec);
    for (int c = 1; c <= kObjectImageSize; ++c) {
      for (int r = 1; r <= kObjectImageSize; ++r) {
        writeImagePixel(rec, c, r, r <= 50 ? RgbPixel{prefill.r, prefill.g, prefill.b} : RgbPixel{});
      }
    }
    rec.ImgXMin = pick(0, 100);
    rec.ImgXMax = pick(rec.ImgXMin, 100);
    rec.ImgRows = pick(0, 100);
    const int density = pick(1, 10);  // sparse to full boxes
    for (int c = std::max(rec.ImgXMin, 1); c <= rec.ImgXMax; ++c) {
      for (int r = 1; r <= rec.ImgRows; ++r) {
        if (pick(1, 10) <= density) writeImagePixel(rec, c, r, pixel(prefill));
      }
    }
    const auto mean = [&](int centre) {
      return static_cast<std::int32_t>(
          centre + std::uniform_int_distribution<std::int64_t>(-meanLimit, meanLimit)(rng));
    };
    rec.MeanX = mean((rec.ImgXMin + rec.ImgXMax) / 2);
    rec.MeanY = mean(rec.ImgRows);
  }
};

// Live measures against the direct ones, byte for byte over the whole record.
void expectLiveMeasuresEqualDirect(bool colour, std::uint32_t seed, int rounds = 1200) {
  auto state = std::make_unique<EngineState>();
  state->singleToneCamera = !colour;
  state->sectorTables[0] = colourSectors();
  SorterSettings sorter;
  sorter.FonBlack = {10, 10};  // black is background for the grey test ...
  MachineSettings machine;
  auto camera = std::make_unique<CameraLineState>(0);
  if (colour) camera->classifier.enableColourTable();
  camera->classifier.update(classifierInputs(*state, sorter, 0), backgroundShortcuts(sorter, machine, 0));
  const ClassifierInputs inputs = classifierInputs(*state, sorter, 0);
  // ... and not for the colour one (no sector holds it): then black pixels in the box count.
  ASSERT_EQ(ClassifyPixel(0, 0, 0, inputs), colour ? kClassOther : kClassBackground);

  std::mt19937 rng(seed);
  RandomRecord make{rng, colour};
  // Near means (the usual), far ones around the limit of the counted moment sums, and wild ones.
  const std::array<std::int64_t, 4> meanLimits{3, 60, 70000, 2147483000};
  auto live = std::make_unique<ObjectRecord>();
  auto direct = std::make_unique<ObjectRecord>();
  int measuredObjects = 0;
  for (int round = 0; round < rounds; ++round) {
    // Prefill as the analysis chooses it: the plate colour, a product colour, or grey.
    const std::array<FillColour, 3> fills{{{55, 85, 200}, {200, 156, 60}, {230, 230, 230}}};
    const FillColour prefill = fills[static_cast<std::size_t>(round % 3)];
    make.fill(*live, prefill, meanLimits[static_cast<std::size_t>(round % 4)]);
    std::memcpy(static_cast<void*>(direct.get()), live.get(), sizeof(ObjectRecord));
    liveShapeMeasures(*live, camera->classifier, prefill);
    shapeMeasures(*direct, inputs, prefill);
    ASSERT_EQ(std::memcmp(live.get(), direct.get(), sizeof(ObjectRecord)), 0)
        << "round " << round << ": Length " << live->Length << "/" << direct->Length << ", Width "
        << live->Width << "/" << direct->Width << ", LengthMean " << live->LengthMean << "/"
        << direct->LengthMean << ", WidthMean " << live->WidthMean << "/" << direct->WidthMean << ", Eks "
        << live->Eks << "/" << direct->Eks << ", Angle " << live->Angle << "/" << direct->Angle;
    measuredObjects += direct->Length > 1 ? 1 : 0;
  }
  // The records were real objects, not empty boxes.
  EXPECT_GT(measuredObjects, rounds / 2);
}

TEST(FastPathsTest, LiveShapeMeasuresEqualTheDirectOnesInSingleTone) {
  expectLiveMeasuresEqualDirect(false, 31);
}

TEST(FastPathsTest, LiveShapeMeasuresEqualTheDirectOnesInColour) { expectLiveMeasuresEqualDirect(true, 32); }

// The same with the 256-bit vectors of the projection turned off, as on a processor without them.
TEST(FastPathsTest, LiveShapeMeasuresWithoutWideVectorsEqualTheDirectOnes) {
  const WideVectorsGuard narrow(false);
  for (const bool colour : {false, true}) {
    SCOPED_TRACE(colour ? "colour" : "single-tone");
    expectLiveMeasuresEqualDirect(colour, colour ? 34 : 33, 400);
  }
}

// Wide and tall rectangles lie along the columns or the lines, where both axes come out of whole
// length (40) and the walk's test for exact halves is live.
TEST(FastPathsTest, LiveShapeMeasuresOfUprightRectanglesAtManyMeans) {
  auto state = std::make_unique<EngineState>();
  SorterSettings sorter;
  sorter.FonBlack = {10, 10};
  MachineSettings machine;
  auto camera = std::make_unique<CameraLineState>(0);
  camera->classifier.update(classifierInputs(*state, sorter, 0), backgroundShortcuts(sorter, machine, 0));
  const ClassifierInputs inputs = classifierInputs(*state, sorter, 0);
  const FillColour plate{230, 230, 230};
  auto live = std::make_unique<ObjectRecord>();
  auto direct = std::make_unique<ObjectRecord>();
  int upright = 0;
  for (int width = 1; width <= 60; width += 6) {
    for (int rows = 1; rows <= 60; rows += 6) {
      for (int dx = -9; dx <= 9; dx += 3) {
        for (int dy = -9; dy <= 9; dy += 3) {
          std::memset(static_cast<void*>(live.get()), 0, sizeof(ObjectRecord));
          for (int c = 1; c <= kObjectImageSize; ++c) {
            for (int r = 1; r <= kObjectImageSize; ++r) {
              const bool inside = c >= 20 && c < 20 + width && r <= rows;
              const std::uint8_t v = inside ? 100 : (r <= 50 ? 230 : 0);
              writeImagePixel(*live, c, r, RgbPixel{v, v, v});
            }
          }
          live->ImgXMin = 20;
          live->ImgXMax = 20 + width - 1;
          live->ImgRows = rows;
          live->MeanX = 20 + width / 2 + dx;
          live->MeanY = rows + dy;
          std::memcpy(static_cast<void*>(direct.get()), live.get(), sizeof(ObjectRecord));
          liveShapeMeasures(*live, camera->classifier, plate);
          shapeMeasures(*direct, inputs, plate);
          ASSERT_EQ(std::memcmp(live.get(), direct.get(), sizeof(ObjectRecord)), 0)
              << "box " << width << " x " << rows << " mean " << live->MeanX << "," << live->MeanY;
          const double ux = std::round(20.0 * std::cos(direct->Angle));
          const double uy = std::round(20.0 * std::sin(direct->Angle));
          upright += ux == 0.0 || uy == 0.0 ? 1 : 0;
        }
      }
    }
  }
  EXPECT_GT(upright, 1000);  // most of them really took the whole-length axes
}

// Runs of colours through the table against ClassifyPixel (plain classes) and against the shortcuts
// followed by ClassifyPixel (line classes), for every kind of classifier. Colours come from a small
// set, so that runs meet filled entries, fresh ones and, after a change of the settings, stale ones
// in every mix.
TEST(FastPathsTest, ClassesOfARunEqualTheDirectClassification) {
  auto state = std::make_unique<EngineState>();
  state->sectorTables[0] = colourSectors();
  SorterSettings sorter;
  MachineSettings machine;
  sorter.enFonBlue = true;  // a shortcut box over part of the colours: line and plain classes differ
  machine.FRmin = 0;
  machine.FRmax = 120;
  machine.FGmin = 0;
  machine.FGmax = 255;
  machine.FBmin = 100;
  machine.FBmax = 255;
  std::mt19937 rng(5);
  std::array<std::uint8_t, 3 * 300> rgb{};
  std::array<std::uint8_t, 300> classes{};
  std::array<RgbPixel, 64> palette{};
  int shortcutsTaken = 0;
  for (const bool wide : {true, false}) {
    const WideVectorsGuard guard(wide);
    SCOPED_TRACE(wide ? "AVX2 where present" : "SSE2");
    for (int kind = 0; kind < 3; ++kind) {
      state->singleToneCamera = kind == 0;
      auto camera = std::make_unique<CameraLineState>(0);
      if (kind == 2) camera->classifier.enableColourTable();
      for (int round = 0; round < 120; ++round) {
        if (round % 10 == 0) {
          // New settings: every entry filled so far becomes stale; the colours stay for a while.
          state->sectorTables[0].background[0].HMAX = 230 + round % 40;
        }
        if (round % 20 == 0) {
          for (auto& c : palette) {
            c = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                 static_cast<std::uint8_t>(rng())};
          }
        }
        const ClassifierInputs inputs = classifierInputs(*state, sorter, 0);
        const BackgroundShortcuts shortcuts = backgroundShortcuts(sorter, machine, 0);
        camera->classifier.update(inputs, shortcuts);
        for (std::size_t i = 0; i < classes.size(); ++i) {
          const RgbPixel c = palette[rng() % (round % 3 == 0 ? 4 : palette.size())];
          rgb[3 * i] = c.r;
          rgb[3 * i + 1] = c.g;
          rgb[3 * i + 2] = c.b;
        }
        const int count = 1 + static_cast<int>(rng() % 300);
        const bool line = round % 2 == 1;
        if (line) {
          camera->classifier.lineClasses(rgb.data(), classes.data(), 0, count - 1);
        } else {
          camera->classifier.plainClasses(rgb.data(), classes.data(), count);
        }
        for (int i = 0; i < count; ++i) {
          const auto at = static_cast<std::size_t>(3 * i);
          const bool shortcut = line && !inputs.singleTone &&
                                isShortcutBackground(rgb[at], rgb[at + 1], rgb[at + 2], shortcuts);
          shortcutsTaken += shortcut ? 1 : 0;
          const PixelClass expected =
              shortcut ? kClassBackground : ClassifyPixel(rgb[at], rgb[at + 1], rgb[at + 2], inputs);
          ASSERT_EQ(classes[static_cast<std::size_t>(i)], expected)
              << "kind " << kind << " round " << round << " pixel " << i;
        }
      }
    }
  }
  EXPECT_GT(shortcutsTaken, 100);
}

// Class counts and mass of objects whose runs mix all three object classes, for run lengths on both
// sides of every multiple of sixteen, against counts taken from the lines fed.
TEST(FastPathsTest, RunsOfEveryLengthCountEachClassOfTheirPixels) {
  std::mt19937 rng(17);
  const std::array<std::uint8_t, 3> values{100, 170, 190};  // colour 1, colour 2, other
  for (int length = 3; length < 200; ++length) {
    testing_rig::Rig rig;
    rig.sorter.P2Max = {180, 180};  // 181..199 is the other colour
    const int first = 101 + static_cast<int>(rng() % 16);
    std::array<std::int64_t, 5> expected{};  // by class 0, 1, 2, -, 4
    const int lines = 4;
    for (int line = 0; line < lines; ++line) {
      rig.monoLine(0, {});
      for (int p = first; p < first + length; ++p) {
        const std::size_t pick = rng() % 3;
        rig.camera(0).LineMono[static_cast<std::size_t>(p)] = values[pick];
        // The creating run adds nothing; every later one adds its pixels and the plate pixel after it.
        if (line > 0) expected[pick == 0 ? 1 : pick == 1 ? 2 : 4] += 2;
      }
      if (line > 0) expected[0] += 2;
      rig.feed(0);
    }
    ASSERT_EQ(rig.count(), 1) << "length " << length;
    const ObjectRecord& r = rig.rec(1);
    for (int c : {0, 1, 2, 4}) {
      ASSERT_EQ(r.ClassCount[c], expected[static_cast<std::size_t>(c)])
          << "length " << length << " class " << c;
    }
    ASSERT_EQ(r.ClassCount[3], 0);
    ASSERT_EQ(r.Mass, expected[1] + expected[2] + expected[4]) << "length " << length;
  }
}

// Zone counts of line mode with ejector bytes in runs of every length (including single pixels and
// the ragged ends of the working range) against the pixel-by-pixel count.
TEST(FastPathsTest, LineModeZoneCountsEqualTheDirectCountForAnyEjectorLayout) {
  auto state = std::make_unique<EngineState>();
  SorterSettings sorter;
  MachineSettings machine;
  for (int j = 1; j <= kEjectorSlots; ++j) {
    state->ejection.EjectorZones[j] = {40 * (j - 1) + 1, 40 * j + 1, 40 * (j - 1) + 1, 40 * j + 1};
  }
  auto fast = std::make_unique<CameraLineState>(0);
  auto direct = std::make_unique<CameraLineState>(0);
  std::mt19937 rng(9);
  int counted = 0;
  for (int round = 0; round < 200; ++round) {
    // Runs of random length and ejector, 0 (no zone) included.
    for (std::size_t p = 0; p < kLineElements;) {
      const std::size_t length = 1 + rng() % (round % 4 == 0 ? 3 : 70);
      const auto ejector = static_cast<std::uint8_t>(rng() % (kEjectorSlots + 1));
      for (std::size_t i = 0; i < length && p < kLineElements; ++i, ++p) fast->PixelEjector[p] = ejector;
    }
    for (auto& v : fast->LineMono) v = static_cast<std::uint8_t>(rng() % 3 == 0 ? 100 : 230);
    direct->PixelEjector = fast->PixelEjector;
    direct->LineMono = fast->LineMono;
    prepareClassifier(*fast, *state, sorter, machine);
    fast->WorkFirstPixel = static_cast<int>(rng() % 50);
    fast->WorkLastPixel = kLineBufferPixels - static_cast<int>(rng() % 50);
    direct->WorkFirstPixel = fast->WorkFirstPixel;
    direct->WorkLastPixel = fast->WorkLastPixel;
    std::array<std::int32_t, kEjectorSlots + 1> zonesFast{};
    std::array<std::int32_t, kEjectorSlots + 1> zonesDirect{};
    classifyLine(*fast, LinePath::kLineMode, false, zonesFast.data());
    classifyLineDirect(*direct, LinePath::kLineMode, false, classifierInputs(*state, sorter, 0),
                       backgroundShortcuts(sorter, machine, 0), zonesDirect.data());
    ASSERT_EQ(zonesFast, zonesDirect) << "round " << round;
    for (std::int32_t z : zonesDirect) counted += z;
  }
  EXPECT_GT(counted, 200 * 1000);
}

}  // namespace
}  // namespace tolvane
