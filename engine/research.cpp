#include "engine/research.h"

#include <algorithm>
#include <array>
#include <optional>

#include "engine/color_convert.h"
#include "engine/ejection_step.h"
#include "engine/line_classifier.h"
#include "engine/object_tracker.h"
#include "engine/pixel_classifier.h"

namespace tolvane {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;
constexpr int kGlyphTop = 3;        // glyph rows within the 12-pixel text cell
constexpr int kLabelRise = 12;      // labels sit this far above the object's first line
constexpr int kClassMarkDrop = 20;  // class marks are drawn this many rows below their line
constexpr double kElongatedRatio = 5.1;

// Rows of a 5 x 7 glyph, bit 4 the leftmost column.
struct Glyph {
  char ch;
  std::array<std::uint8_t, kGlyphHeight> rows;
};
constexpr std::array<Glyph, 12> kGlyphs{{
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
}};

const Glyph* glyphOf(char ch) {
  for (const Glyph& g : kGlyphs) {
    if (g.ch == ch) return &g;
  }
  return nullptr;
}

// A grey value the brightness test takes as background, to stand for line pixels that the picture
// does not cover: stale camera data there must not become objects beside the picture. 0 when no
// value is background (then nothing can be done).
std::uint8_t backgroundGrey(const PixelClassifier& classes) {
  for (int v = 255; v >= 0; --v) {
    if (classes.grey(static_cast<std::uint8_t>(v)) == kClassBackground) return static_cast<std::uint8_t>(v);
  }
  return 0;
}

}  // namespace

void drawResearchText(BmpImage& image, int x, int y, const std::string& text, BmpPixel colour) {
  int left = x;
  for (char ch : text) {
    if (const Glyph* g = glyphOf(ch)) {
      for (int row = 0; row < kGlyphHeight; ++row) {
        for (int col = 0; col < kGlyphWidth; ++col) {
          if (g->rows[static_cast<std::size_t>(row)] & (0x10 >> col)) {
            image.setClipped(left + col, y + kGlyphTop + row, colour);
          }
        }
      }
    }
    left += kGlyphAdvance;
  }
}

void drawResearchFrame(BmpImage& image, int x0, int y0, int x1, int y1, BmpPixel colour) {
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  // Clip the spans first: a damaged record may carry coordinates far outside the picture.
  const int left = std::max(x0, 0);
  const int right = std::min(x1, image.width() - 1);
  const int top = std::max(y0, 0);
  const int bottom = std::min(y1, image.height() - 1);
  for (int x = left; x <= right; ++x) {
    image.setClipped(x, y0, colour);
    image.setClipped(x, y1, colour);
  }
  for (int y = top; y <= bottom; ++y) {
    image.setClipped(x0, y, colour);
    image.setClipped(x1, y, colour);
  }
}

void researchMeasure(ObjectRecord& record, const ClassifierInputs& camera1, FillColour fill) {
  projectionStep(record, camera1, fill);
}

ResearchResult runResearch(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                           const MachineSettings& machine, const BmpImage& picture,
                           const std::function<void(const std::string&)>& progress) {
  ResearchResult result;
  result.output = picture;
  if (picture.empty()) return result;
  BmpImage& out = result.output;
  const int height = picture.height();
  // Picture columns 1.. go to line pixels 1..; column 0 and columns past the buffer are not used.
  const int lastPixel = std::min(picture.width() - 1, kLineBufferPixels);

  prepareClassifier(camera1, state, sorter, machine);
  const std::uint8_t fill = backgroundGrey(camera1.classifier);
  const ClassifierInputs camera1Classes = classifierInputs(state, sorter, 0);

  for (int r = 0; r < height; ++r) {
    if (progress) {
      progress(std::to_string(static_cast<int>(roundHalfEven(100.0 * r / height))) + " %");
    }
    camera1.LineMono[0] = fill;
    for (int x = 1; x <= lastPixel; ++x) camera1.LineMono[static_cast<std::size_t>(x)] = picture.at(x, r).r;
    std::fill(camera1.LineMono.begin() + lastPixel + 1, camera1.LineMono.end(), fill);

    camera1.LineCounter.store(r, std::memory_order_relaxed);
    analyseMonoObjectLine(state, camera1, sorter, machine,
                          ejectionClock(state.FineTimer.load(std::memory_order_relaxed), r));

    std::optional<BmpPixel> rowLabelColour;
    const int count = std::min(state.ObjectCount, kObjectTableSize);
    for (int k = 1; k <= count; ++k) {
      ObjectRecord& rec = state.ObjectTable[k];
      if (rec.Open != 0 || rec.InUse == 0 || rec.Done != 0) continue;
      if (static_cast<std::int64_t>(rec.LastLine) - rec.FirstLine > 1) {
        researchMeasure(rec, camera1Classes, state.objectIndex.prefill[static_cast<std::size_t>(k)]);
        rec.WidthMean = std::max(rec.WidthMean, 1);
        const bool elongated = static_cast<double>(rec.LengthMean) / rec.WidthMean > kElongatedRatio;
        const BmpPixel colour = elongated ? kResearchGreen : kResearchSilver;
        drawResearchFrame(out, rec.XMin, rec.FirstLine, rec.XMax, rec.LastLine, kResearchFrame);
        drawResearchText(out, rec.XMin, rec.FirstLine - kLabelRise,
                         std::to_string(rec.WidthMean) + "x" + std::to_string(rec.LengthMean), colour);
        result.labels.push_back(
            {rec.XMin, rec.FirstLine, rec.XMax, rec.LastLine, rec.WidthMean, rec.LengthMean, elongated});
        rowLabelColour = colour;
      }
      rec.Done = 1;
    }
    trimDoneRecords(state);

    for (int x = 0; x < picture.width() && x + 1 < static_cast<int>(kLineElements); ++x) {
      if (camera1.ClassMap[static_cast<std::size_t>(x) + 1] != 0) {
        out.setClipped(x, r + kClassMarkDrop, kResearchClassMark);
      }
    }
    out.setClipped(state.ObjectCount, r, kResearchGreen);
    if (r % 100 == 0) {
      drawResearchText(out, state.ObjectCount, r, std::to_string(state.ObjectCount),
                       rowLabelColour.value_or(kResearchWhite));
    }
  }
  if (progress) progress("Исследование");
  return result;
}

ResearchResult runResearchFiles(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                                const MachineSettings& machine, const std::filesystem::path& folder,
                                const std::function<void(const std::string&)>& progress) {
  const BmpImage picture = BmpImage::load(folder / kResearchPictureName);
  ResearchResult result = runResearch(state, camera1, sorter, machine, picture, progress);
  result.output.save(folder / kResearchOutputName);
  return result;
}

}  // namespace tolvane
