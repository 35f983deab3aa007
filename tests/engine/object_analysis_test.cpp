// The object analysis as a whole: the record index against the full scan, the line dump, line mode
// and the choice of analysis.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "engine/ejection_step.h"
#include "engine/object_tracker.h"
#include "engine/product_curtain.h"
#include "engine_test_rig.h"

namespace tolvane {
namespace {

using testing_rig::kPlate;
using testing_rig::kProduct;
using testing_rig::Rig;

void colourSetup(Rig& rig) {
  rig.state->singleToneCamera = false;
  for (auto& tables : rig.state->sectorTables) {
    tables.background.push_back(ColorSector{true, -1, 1, 190, 260, 30, 255, 60, 255});
    tables.red.push_back(ColorSector{true, 1, 2, 10, 65, 20, 255, 20, 255});
    tables.blue.push_back(ColorSector{true, 2, 3, 66, 120, 20, 255, 20, 255});
  }
}

// Two engines fed the same lines, one scanning every record: tables must stay byte-identical,
// also while the ejection step retires objects and supervision empties the table.
void runTwins(bool colour, std::uint64_t seed) {
  Rig fast;
  Rig direct;
  direct.state->objectIndex.direct = true;
  for (Rig* rig : {&fast, &direct}) {
    rig->machine.MaxObject = 60;
    rig->machine.Delay = 12;
    rig->machine.MinVes = 30;
    rig->sorter.enLength = true;
    rig->sorter.enP2 = true;
    rig->sorter.ifP2 = 4;
    rig->state->ScanExamSwitch = true;
    rig->state->SampleBrakButton = true;
    rig->state->SampleNormButton = true;
    rig->state->ColorTune = seed % 2 == 0;
    if (colour) {
      colourSetup(*rig);
      rig->cam[0]->classifier.enableColourTable();
    }
    fillShadingTables(*rig->cam[0]);
    fillShadingTables(*rig->cam[1]);
  }
  CurtainOptions options;
  options.seed = seed;
  options.productShare = 0.25;
  options.defectShare = 0.3;
  ProductCurtain curtain[2] = {ProductCurtain(options), ProductCurtain([&] {
                                 CurtainOptions o = options;
                                 o.seed = seed + 1000;
                                 return o;
                               }())};
  std::mt19937 rng(static_cast<unsigned>(seed));
  for (int line = 0; line < 700; ++line) {
    // Now and then a band around the 200-pixel limit of runs.
    const bool band = rng() % 9 == 0;
    const int bandStart = 50 + static_cast<int>(rng() % 1500);
    const int bandLength = 190 + static_cast<int>(rng() % 25);
    for (int c = 0; c < 2; ++c) {
      curtain[c].next();
      for (Rig* rig : {&fast, &direct}) {
        CameraLineState& cs = *rig->cam[c];
        if (colour) {
          curtain[c].writeRgb(cs.LineRGB);
        } else {
          curtain[c].writeMono(cs.LineMono);
        }
        for (int p = bandStart; band && p < bandStart + bandLength; ++p) {
          cs.LineMono[static_cast<std::size_t>(p)] = kProduct;
          cs.rgb(p)[0] = 140;  // yellow-brown product
          cs.rgb(p)[1] = 110;
          cs.rgb(p)[2] = 40;
        }
        rig->feed(c, !colour);
      }
    }
    const bool resetTable = rng() % 97 == 0;
    const int forceDone = static_cast<int>(rng() % 40);
    const bool freeSlot = rng() % 13 == 0;
    for (Rig* rig : {&fast, &direct}) {
      objectModeEjectionStep(*rig->state, rig->sorter, rig->machine, rig->clock());
      if (resetTable) rig->state->ObjectCount = 0;
      if (forceDone >= 1 && forceDone <= rig->count()) rig->rec(forceDone).Done = 1;
      if (freeSlot) rig->state->SampleTable[static_cast<int>(line % 12)].InUse = 0;
    }
    ASSERT_EQ(fast.count(), direct.count()) << "line " << line;
    const bool full = line % 25 == 0;
    for (int k = 1; k <= std::max(fast.count(), 60); ++k) {
      const std::size_t bytes = full ? sizeof(ObjectRecord) : offsetof(ObjectRecord, Image);
      ASSERT_EQ(std::memcmp(&fast.rec(k), &direct.rec(k), bytes), 0) << "line " << line << " record " << k;
    }
    ASSERT_EQ(std::memcmp(fast.state->SampleTable.get(), direct.state->SampleTable.get(), kSamplesFileSize),
              0)
        << "line " << line;
  }
  // The run really exercised the paths being compared.
  EXPECT_GT(fast.state->SamplesCaptured[0].load() + fast.state->SamplesCaptured[1].load(), 5u);
  EXPECT_GT(fast.state->ejection.EngineCounters.seen(0), 20);
}

TEST(ObjectIndexTest, SingleToneAnalysisEqualsTheFullScan) {
  for (std::uint64_t seed : {2u, 3u}) {
    runTwins(false, seed);
  }
}

TEST(ObjectIndexTest, ColourAnalysisEqualsTheFullScan) {
  for (std::uint64_t seed : {4u, 5u}) {
    runTwins(true, seed);
  }
}

TEST(ObjectAnalysisTest, CreationTimesUseTheEngineClockButLinesTheOwnCamera) {
  Rig rig;
  rig.machine.Delay = 5;
  rig.cam[0]->LineCounter = 1000;
  rig.cam[1]->LineCounter = 30;
  rig.feedMono(1, {{100, 110}});
  const ObjectRecord& r = rig.rec(1);
  EXPECT_EQ(r.FirstLine, 30);
  EXPECT_EQ(r.CreatedAt, 1000);
  EXPECT_EQ(r.DueAt, 1005);
}

TEST(ObjectAnalysisTest, AnalyseLineChoosesLineModeOrTheBuildsObjectAnalysis) {
  Rig rig;
  rig.monoLine(0, {{100, 110}});
  rig.sorter.enFast = true;
  analyseLine(*rig.state, rig.camera(0), rig.sorter, rig.machine, 0);
  EXPECT_EQ(rig.count(), 0);
  EXPECT_EQ(rig.camera(0).ClassMap[100], kClassColour1);

  rig.sorter.enFast = false;
  analyseLine(*rig.state, rig.camera(0), rig.sorter, rig.machine, 0);
  EXPECT_EQ(rig.count(), 1);

  // The colour build reads LineRGB, which holds nothing here.
  rig.state->singleToneCamera = false;
  rig.state->ObjectCount = 0;
  rig.camera(0).LineRGB.fill(kPlate);
  analyseLine(*rig.state, rig.camera(0), rig.sorter, rig.machine, 0);
  EXPECT_EQ(rig.count(), 0);
}

// The camera thread's analysis keeps pictures only of objects created while a sample capture is
// armed (no shape condition here); the pictures it keeps equal those of the analysis that always
// keeps them, also when the record last held an object without one.
TEST(ObjectAnalysisTest, CameraAnalysisKeepsPicturesOfObjectsCreatedWhileCaptureIsArmed) {
  struct Case {
    int armedFrom;  // line from which the capture is armed
    bool firstCaptured;
    bool secondCaptured;
  };
  const Case cases[] = {{0, true, true}, {5, false, true}, {25, false, false}, {99, false, false}};
  // The second object is shorter and narrower, so what the first left outside it must be gone.
  const std::vector<Rig::Span> objects[2] = {{{100, 103, 40}, {104, 107, 90}, {108, 112, 130}},
                                             {{103, 108, 60}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.armedFrom);
    Rig lazy;
    Rig full;  // never captures, so its records keep the pictures to compare with
    lazy.state->SampleBrakButton = true;
    lazy.state->SampleNormButton = true;
    std::vector<std::uint8_t> pictures[2];
    for (int line = 0; line < 40; ++line) {
      const std::vector<Rig::Span> spans =
          line < 8 ? objects[0] : (line >= 20 && line < 24 ? objects[1] : std::vector<Rig::Span>{});
      lazy.state->ScanExamSwitch = line >= c.armedFrom;
      lazy.monoLine(0, spans);
      analyseLine(*lazy.state, lazy.camera(0), lazy.sorter, lazy.machine, lazy.clock());
      lazy.camera(0).countLine();
      full.feedMono(0, spans);
      if (line == 15) {
        // The first object is done with: the second one takes its record.
        lazy.rec(1).Done = 1;
        full.rec(1).Done = 1;
      }
      if (line == 19 || line == 39) {
        const std::uint8_t* image = full.rec(1).Image;
        pictures[line == 39 ? 1 : 0].assign(image, image + sizeof full.rec(1).Image);
      }
    }
    ASSERT_EQ(lazy.count(), 1);
    const bool captured[2] = {c.firstCaptured, c.secondCaptured};
    EXPECT_EQ(lazy.state->SamplesCaptured[0].load(), static_cast<unsigned>(captured[0] + captured[1]));
    int slot = 0;
    for (int n = 0; n < 2; ++n) {
      if (!captured[n]) continue;
      const ObjectRecord& sample = lazy.state->SampleTable[slot++];
      EXPECT_EQ(std::memcmp(sample.Image, pictures[n].data(), pictures[n].size()), 0) << "object " << n;
    }
  }
}

TEST(ObjectAnalysisTest, LineModeSchedulesZonesWithMoreDefectsThanTheThreshold) {
  Rig rig;
  rig.sorter.ifFast = 10;
  rig.machine.Delay = 7;
  rig.machine.Time = 12;
  buildPixelEjector(rig.camera(0), rig.state->ejection, rig.machine);
  // Ejector 2 covers 41..80, ejector 3 covers 81..120.
  rig.monoLine(0, {{41, 50}, {81, 91}});
  analyseLineModeLine(*rig.state, rig.camera(0), rig.sorter, rig.machine, 500);
  const EjectionState& e = rig.state->ejection;
  EXPECT_EQ(e.LineModeOff[2].load(), 0);  // 10 defects: not more than 10
  EXPECT_EQ(e.LineModeOn[3].load(), 507);
  EXPECT_EQ(e.LineModeOff[3].load(), 519);
  EXPECT_EQ(rig.count(), 0);
}

TEST(ObjectAnalysisTest, LineDumpDrawsLinesWithRunsAndHandsOverFullPictures) {
  Rig rig;
  const auto folder = std::filesystem::temp_directory_path() / ("tolvane_dump_" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);

  rig.state->CheckBox5 = true;
  rig.feedMono(0, {{100, 110}});  // not enabled yet: nothing drawn
  EXPECT_EQ(rig.state->lineDump.dumpRow(), 0);
  rig.state->lineDump.enable();
  rig.feedMono(0, {{100, 110}});
  EXPECT_EQ(rig.state->lineDump.dumpRow(), 1);
  rig.idle(0);  // no run: no row
  EXPECT_EQ(rig.state->lineDump.dumpRow(), 1);
  rig.state->CheckBox5 = false;
  rig.feedMono(0, {{100, 110}});
  EXPECT_EQ(rig.state->lineDump.dumpRow(), 1);
  rig.state->CheckBox5 = true;

  for (int line = 1; line < 800; ++line) {
    rig.feedMono(0, {{100 + line % 50, 110 + line % 50}});
  }
  EXPECT_EQ(rig.state->lineDump.dumpRow(), 0);
  ASSERT_TRUE(rig.state->lineDump.pictureWaiting());
  const auto saved = rig.state->lineDump.saveWaiting(folder);
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->filename().string().substr(0, 2), "x_");
  EXPECT_EQ(saved->extension(), ".bmp");
  EXPECT_FALSE(rig.state->lineDump.pictureWaiting());
  const BmpImage picture = BmpImage::load(*saved);
  EXPECT_EQ(picture.width(), kPixelsPerLine);
  EXPECT_EQ(picture.height(), 800);
  EXPECT_EQ(picture.at(99, 0), (BmpPixel{kProduct, kProduct, kProduct}));  // pixel 100 of the first line
  EXPECT_EQ(picture.at(98, 0), (BmpPixel{kPlate, kPlate, kPlate}));
  EXPECT_EQ(picture.at(100, 1), (BmpPixel{kProduct, kProduct, kProduct}));  // line 1 starts at 101
  EXPECT_EQ(picture.at(99, 1), (BmpPixel{kPlate, kPlate, kPlate}));
  EXPECT_FALSE(rig.state->lineDump.saveWaiting(folder).has_value());
  std::filesystem::remove_all(folder);
}

TEST(ObjectAnalysisTest, LineDumpFileNameIsTheTimeOfDay) {
  std::tm t{};
  t.tm_year = 120;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 7;
  t.tm_min = 5;
  t.tm_sec = 9;
  t.tm_isdst = -1;
  EXPECT_EQ(LineDump::fileName(std::mktime(&t)), "x_07_05_09.bmp");
}

TEST(ObjectAnalysisTest, UnwritableDumpFolderDropsThePicture) {
  Rig rig;
  rig.state->CheckBox5 = true;
  rig.state->lineDump.enable();
  for (int line = 0; line < 800; ++line) rig.feedMono(0, {{100, 110}});
  ASSERT_TRUE(rig.state->lineDump.pictureWaiting());
  EXPECT_FALSE(rig.state->lineDump.saveWaiting("/nonexistent/folder/for/dumps").has_value());
  EXPECT_FALSE(rig.state->lineDump.pictureWaiting());
}

}  // namespace
}  // namespace tolvane
