#include "engine/research.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "engine/object_tracker.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr BmpPixel kPlate{230, 230, 230};
constexpr BmpPixel kDark{60, 60, 60};

void calibrate(EngineState& state) {
  for (int j = 1; j <= kEjectorsPerSide; ++j) {
    EjectorZone& z = state.ejection.EjectorZones[j];
    z.aStart = z.bStart = 1 + (j - 1) * kPixelsPerLine / kEjectorsPerSide;
    z.aEnd = z.bEnd = 1 + j * kPixelsPerLine / kEjectorsPerSide;
  }
}

void fillRect(BmpImage& image, int x0, int y0, int x1, int y1, BmpPixel colour) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) image.set(x, y, colour);
  }
}

int countColour(const BmpImage& image, BmpPixel colour, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
  if (x1 < 0) x1 = image.width() - 1;
  if (y1 < 0) y1 = image.height() - 1;
  int n = 0;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) n += image.contains(x, y) && image.at(x, y) == colour;
  }
  return n;
}

class ResearchTest : public ::testing::Test {
 protected:
  ResearchTest() : camera1_(0) {
    calibrate(state_);
    state_.BackgroundFill = {255, 255, 255};  // the single-tone prefill for the default ranges
  }

  ResearchResult run(const BmpImage& picture) {
    return runResearch(state_, camera1_, sorter_, machine_, picture);
  }

  EngineState state_;
  CameraLineState camera1_;
  SorterSettings sorter_;
  MachineSettings machine_;
};

// A record whose image is the white prefill with one dark pixel at column 60, row 10.
ObjectRecord onePixelRecord() {
  ObjectRecord rec{};
  for (int c = 1; c <= kObjectImageSize; ++c) {
    for (int r = 1; r <= kObjectImageSize; ++r) writeImagePixel(rec, c, r, {255, 255, 255});
  }
  writeImagePixel(rec, 60, 10, {60, 60, 60});
  rec.MeanX = 50;
  rec.MeanY = 50;
  rec.Angle = 0.0;
  return rec;
}

TEST(ResearchMeasure, DistancesFromTheAxesThroughTheMeanPoint) {
  SorterSettings sorter;
  ClassifierInputs inputs;
  inputs.ranges = brightnessRanges(sorter, 0);

  // Black below FonBlack is background: only the pixel counts, at half-lines 20 and 21.
  // Major axis y = 50: distances 30 and 29; minor axis x = 50: 10 and 10; count 1 + 2.
  constexpr FillColour kWhite{255, 255, 255};
  constexpr FillColour kBlack{0, 0, 0};
  inputs.ranges.FonBlack = 1;
  ObjectRecord rec = onePixelRecord();
  researchMeasure(rec, inputs, kWhite);
  EXPECT_EQ(rec.LengthMean, 27);  // round(4 * 20 / 3)
  EXPECT_EQ(rec.WidthMean, 79);   // round(4 * 59 / 3)
  EXPECT_EQ(rec.Length, 10);
  EXPECT_EQ(rec.Width, 30);
  EXPECT_DOUBLE_EQ(rec.Eks, 10.0 * 20 / 59);

  // Row 0 (half-line 1 of every column) holds no image data and reads as the picture's fill: white
  // is background whatever FonBlack says ...
  inputs.ranges.FonBlack = 0;
  rec = onePixelRecord();
  researchMeasure(rec, inputs, kWhite);
  EXPECT_EQ(rec.LengthMean, 27);
  EXPECT_EQ(rec.WidthMean, 79);
  EXPECT_EQ(rec.Length, 10);
  EXPECT_EQ(rec.Width, 30);

  // ... while a picture filled black, where black is product, counts it in every column.
  rec = onePixelRecord();
  researchMeasure(rec, inputs, kBlack);
  EXPECT_EQ(rec.LengthMean, 98);  // round(4 * (2500 + 20) / 103)
  EXPECT_EQ(rec.WidthMean, 193);  // round(4 * (4900 + 59) / 103)
  EXPECT_EQ(rec.Length, 50);
  EXPECT_EQ(rec.Width, 49);
  EXPECT_EQ(rec.Forma, 0);
}

TEST_F(ResearchTest, LabelsFramesAndMarksTheObjectsOfThePicture) {
  sorter_.FonBlack[0] = 1;  // black image rows are not product
  sorter_.enLength = true;  // so that closing finds the orientation
  BmpImage picture(400, 300, kPlate);
  fillRect(picture, 50, 30, 59, 69, kDark);      // 10 x 40, upright
  fillRect(picture, 150, 30, 169, 49, kDark);    // 20 x 20
  fillRect(picture, 300, 150, 339, 154, kDark);  // 40 x 5, lying
  fillRect(picture, 200, 200, 205, 201, kDark);  // two lines only: not labelled
  const ResearchResult result = run(picture);

  ASSERT_EQ(result.labels.size(), 3u);
  // Objects close in the order their last lines end; the square first.
  const ResearchLabel& square = result.labels[0];
  const ResearchLabel& upright = result.labels[1];
  const ResearchLabel& lying = result.labels[2];
  EXPECT_EQ(upright, (ResearchLabel{50, 30, 60, 69, upright.widthMean, upright.lengthMean, true}));
  EXPECT_EQ(square, (ResearchLabel{150, 30, 170, 49, square.widthMean, square.lengthMean, false}));
  EXPECT_EQ(lying, (ResearchLabel{300, 150, 340, 154, lying.widthMean, lying.lengthMean, false}));
  // Four times the mean distance from an axis is about the extent: columns across, half-lines along.
  EXPECT_NEAR(upright.widthMean, 10, 2);
  EXPECT_NEAR(upright.lengthMean, 80, 4);
  EXPECT_NEAR(square.widthMean, 20, 2);
  EXPECT_NEAR(square.lengthMean, 40, 3);
  EXPECT_NEAR(lying.lengthMean, 40, 2);
  EXPECT_NEAR(lying.widthMean, 10, 2);

  const BmpImage& out = result.output;
  for (auto [x, y] : {std::pair{50, 30}, {60, 30}, {50, 69}, {60, 69}, {55, 30}, {50, 45}}) {
    EXPECT_EQ(out.at(x, y), kResearchFrame) << x << "," << y;
  }
  EXPECT_GT(countColour(out, kResearchGreen, 50, 18, 80, 29), 10) << "elongated label in green";
  EXPECT_GT(countColour(out, kResearchSilver, 150, 18, 180, 29), 10) << "other labels in silver";
  EXPECT_EQ(countColour(out, kResearchFrame, 195, 195, 210, 205), 0) << "no frame for a two-line object";

  // Class marks 20 rows below their line, at the column before the classified pixel.
  EXPECT_EQ(out.at(49, 50), kResearchClassMark);
  EXPECT_EQ(out.at(58, 60), kResearchClassMark);
  EXPECT_NE(out.at(59, 60), kResearchClassMark);
  EXPECT_NE(out.at(55, 40), kResearchClassMark) << "line 20 had no class pixel";
  // Object count column: no object before row 30, two open objects from row 30.
  EXPECT_EQ(out.at(0, 10), kResearchGreen);
  EXPECT_EQ(out.at(2, 35), kResearchGreen);
  EXPECT_EQ(state_.ObjectCount, 0) << "every closed object is done and trimmed";
}

// A disc measures the same on a light plate as on a dark one: the picture's fill follows the
// background levels of a single-tone machine, with or without colour sectors, and the empty part of
// the picture (its fill, and row 0 read as the fill) never counts as product.
TEST(ResearchSingleToneFill, ADiscMeasuresTheSameOnALightAndOnADarkPlate) {
  struct Plate {
    const char* name;
    std::uint8_t plate;
    std::uint8_t disc;
    std::int32_t fonBlack;
    std::int32_t fonLight;
  };
  // Light plate: cut off above FonLight, black would be product colour 1. Dark plate: cut off below
  // FonBlack. The disc is product colour 1 on both.
  const Plate plates[] = {
      {"dark plate", 10, 60, 30, 255},
      {"light plate", 230, 60, 0, 200},
      {"light plate, narrow cut", 230, 60, 0, 229},
      {"light plate, both levels", 230, 60, 5, 220},
  };
  std::optional<ResearchLabel> first;
  for (const Plate& p : plates) {
    SCOPED_TRACE(p.name);
    auto state = std::make_unique<EngineState>();
    calibrate(*state);
    CameraLineState camera1(0);
    SorterSettings sorter;
    MachineSettings machine;
    sorter.FonBlack[0] = p.fonBlack;
    sorter.FonLight[0] = p.fonLight;
    sorter.enLength = true;
    applySingleToneFill(*state, sorter);  // as every program load and level step does

    BmpImage picture(300, 80, BmpPixel{p.plate, p.plate, p.plate});
    for (int y = 10; y <= 30; ++y) {
      for (int x = 90; x <= 110; ++x) {
        if ((x - 100) * (x - 100) + (y - 20) * (y - 20) <= 100) picture.set(x, y, {p.disc, p.disc, p.disc});
      }
    }
    const ResearchResult result = runResearch(*state, camera1, sorter, machine, picture);
    ASSERT_EQ(result.labels.size(), 1u);
    const ResearchLabel& label = result.labels[0];
    EXPECT_EQ(label.xMin, 90);
    EXPECT_EQ(label.xMax, 111);
    // Four times the mean distance from an axis: 4 * 4r / (3 pi) = 17 for r = 10 columns across, and
    // 34 for the 21 lines = 42 half-lines along.
    EXPECT_NEAR(label.widthMean, 17, 3);
    EXPECT_NEAR(label.lengthMean, 34, 4);
    if (!first) {
      first = label;
    } else {
      EXPECT_EQ(label, *first);
    }
  }
}

TEST_F(ResearchTest, BlankPictureLeavesNoObjectAndAGreenColumnAtZero) {
  const BmpImage picture(300, 250, kPlate);
  std::vector<std::string> captions;
  const ResearchResult result = runResearch(state_, camera1_, sorter_, machine_, picture,
                                            [&](const std::string& c) { captions.push_back(c); });
  EXPECT_TRUE(result.labels.empty());
  EXPECT_EQ(state_.ObjectCount, 0);
  for (int r = 0; r < picture.height(); ++r) ASSERT_EQ(result.output.at(0, r), kResearchGreen) << r;
  EXPECT_EQ(countColour(result.output, kResearchClassMark), 0);
  EXPECT_EQ(countColour(result.output, kResearchFrame), 0);
  // The count "0" in white at rows 0, 100 and 200.
  for (int r : {0, 100, 200}) EXPECT_GT(countColour(result.output, kResearchWhite, 0, r, 6, r + 11), 5) << r;
  EXPECT_EQ(countColour(result.output, kResearchWhite, 0, 20, 6, 31), 0);

  ASSERT_EQ(captions.size(), 251u);
  EXPECT_EQ(captions[0], "0 %");
  EXPECT_EQ(captions[1], "0 %");
  EXPECT_EQ(captions[125], "50 %");
  EXPECT_EQ(captions[249], "100 %");  // 99.6 rounds up
  EXPECT_EQ(captions[250], "Исследование");
}

TEST_F(ResearchTest, StaleLineDataBesideThePictureMakesNoObject) {
  // What the last camera line may have left beyond a 1280-pixel picture: dark items.
  for (int p = 1300; p <= kLineBufferPixels; ++p)
    camera1_.LineMono[static_cast<std::size_t>(p)] = (p / 20) % 2 ? 40 : 230;
  const ResearchResult result = run(BmpImage(1280, 120, kPlate));
  EXPECT_TRUE(result.labels.empty());
  EXPECT_EQ(state_.ObjectCount, 0);
}

TEST_F(ResearchTest, PicturesWiderThanTheLineAndTinyPicturesAreSafe) {
  BmpImage wide(kLineBufferPixels + 200, 12, kPlate);
  fillRect(wide, kLineBufferPixels + 10, 0, kLineBufferPixels + 30, 11, kDark);
  EXPECT_NO_THROW(run(wide));
  EXPECT_NO_THROW(run(BmpImage(1, 1, kPlate)));
  EXPECT_NO_THROW(run(BmpImage()));
}

TEST_F(ResearchTest, FileRunReadsTestBmpAndWritesTestXBmp) {
  std::string pattern = (fs::temp_directory_path() / "research_test_XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path folder = pattern;
  EXPECT_THROW(runResearchFiles(state_, camera1_, sorter_, machine_, folder), BmpError);
  EXPECT_FALSE(fs::exists(folder / "test_x.bmp"));

  BmpImage picture(300, 120, kPlate);
  fillRect(picture, 100, 20, 115, 50, kDark);
  picture.save(folder / "test.bmp");
  const ResearchResult result = runResearchFiles(state_, camera1_, sorter_, machine_, folder);
  EXPECT_EQ(result.labels.size(), 1u);
  EXPECT_EQ(BmpImage::load(folder / "test_x.bmp"), result.output);
  EXPECT_EQ(BmpImage::load(folder / "test.bmp"), picture) << "the source stays as it was";
  fs::remove_all(folder);
}

TEST(ResearchDrawing, TextAndFramesClipAtTheEdges) {
  BmpImage image(40, 20, {0, 0, 0});
  drawResearchText(image, 2, 0, "1x2", {9, 9, 9});
  // '1': a vertical stroke in the middle column of its cell, rows 3..9.
  for (int y = 3; y <= 9; ++y) EXPECT_EQ(image.at(4, y), (BmpPixel{9, 9, 9})) << y;
  EXPECT_GT(countColour(image, {9, 9, 9}, 8, 0, 12, 11), 4) << "'x' in the second cell";
  EXPECT_GT(countColour(image, {9, 9, 9}, 14, 0, 18, 11), 8) << "'2' in the third cell";
  const int drawn = countColour(image, {9, 9, 9});

  drawResearchText(image, -100, -100, "888", {9, 9, 9});
  drawResearchText(image, 38, 15, "?8", {9, 9, 9});  // unknown character: a gap
  EXPECT_EQ(countColour(image, {9, 9, 9}), drawn);

  BmpImage frame(10, 10, {0, 0, 0});
  drawResearchFrame(frame, 2, 3, 6, 8, {1, 1, 1});
  EXPECT_EQ(countColour(frame, {1, 1, 1}), 2 * 5 + 2 * 4);
  EXPECT_EQ(frame.at(4, 5), (BmpPixel{0, 0, 0}));
  drawResearchFrame(frame, -2000000000, -5, 2000000000, 2000000000, {2, 2, 2});
  EXPECT_EQ(countColour(frame, {2, 2, 2}), 0) << "all four sides lie outside";
  drawResearchFrame(frame, 8, 1, 0, 5, {3, 3, 3});  // corners given the other way round
  EXPECT_EQ(frame.at(0, 1), (BmpPixel{3, 3, 3}));
  EXPECT_EQ(frame.at(8, 5), (BmpPixel{3, 3, 3}));
}

}  // namespace
}  // namespace tolvane
