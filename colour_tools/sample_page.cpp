#include "colour_tools/sample_page.h"

#include <algorithm>
#include <cstring>

#include "engine/engine_constants.h"
#include "engine/object_tracker.h"

namespace tolvane {

namespace {

constexpr Rgb24 kRed{255, 0, 0};
constexpr Rgb24 kBlue{0, 0, 255};
constexpr Rgb24 kGrey{128, 128, 128};
constexpr Rgb24 kTeal{0, 128, 128};
constexpr Rgb24 kOtherClass{204, 238, 238};
constexpr Rgb24 kOccupied{0, 128, 0};
constexpr Rgb24 kMarkedReject{255, 159, 162};
constexpr Rgb24 kMarkedKeep{162, 255, 159};
constexpr Rgb24 kMagenta{255, 0, 255};
constexpr Rgb24 kStripOdd{170, 170, 170};
constexpr Rgb24 kStripEven{238, 238, 238};

// Values from a damaged sample file may be anything: keep the arithmetic of places in range.
constexpr std::int64_t kPlaceLimit = 1'000'000;
int place(std::int64_t value) { return static_cast<int>(std::clamp(value, -kPlaceLimit, kPlaceLimit)); }

Rgb24 toRgb(FillColour c) { return {c.r, c.g, c.b}; }

void outline(Rgb24Canvas& canvas, const CanvasBox& box, Rgb24 colour) {
  const int x1 = std::min(box.x1, box.x2);
  const int x2 = std::max(box.x1, box.x2) - 1;
  const int y1 = std::min(box.y1, box.y2);
  const int y2 = std::max(box.y1, box.y2) - 1;
  if (x2 < x1 || y2 < y1) return;
  canvas.FillRect(x1, y1, x2 + 1, y1 + 1, colour);
  canvas.FillRect(x1, y2, x2 + 1, y2 + 1, colour);
  canvas.FillRect(x1, y1, x1 + 1, y2 + 1, colour);
  canvas.FillRect(x2, y1, x2 + 1, y2 + 1, colour);
}

void filledBox(Rgb24Canvas& canvas, const CanvasBox& box, Rgb24 fill) {
  canvas.FillRect(box.x1, box.y1, box.x2, box.y2, fill);
  outline(canvas, box, kRgbBlack);
}

// A filled ellipse inscribed in the box, whole pixels only.
void filledEllipse(Rgb24Canvas& canvas, const CanvasBox& box, Rgb24 colour) {
  const double cx = (box.x1 + box.x2) / 2.0;
  const double cy = (box.y1 + box.y2) / 2.0;
  const double rx = (box.x2 - box.x1) / 2.0;
  const double ry = (box.y2 - box.y1) / 2.0;
  if (rx <= 0 || ry <= 0) return;
  for (int y = std::max(box.y1, 0); y < std::min(box.y2, canvas.height()); ++y) {
    for (int x = std::max(box.x1, 0); x < std::min(box.x2, canvas.width()); ++x) {
      const double u = (x + 0.5 - cx) / rx;
      const double v = (y + 0.5 - cy) / ry;
      if (u * u + v * v <= 1.0) canvas.putPixel(x, y, colour);
    }
  }
}

}  // namespace

int sampleSlotCamera(int slot) { return slot < kSampleSlotsPerCamera ? 0 : 1; }

int firstSampleSlot(int camera) { return camera == 0 ? 0 : kSampleSlotsPerCamera; }

int lowestFreeSampleSlot(const ObjectRecord* table, int camera) {
  const int first = firstSampleSlot(camera);
  for (int slot = first; slot < first + kSampleSlotsPerCamera; ++slot) {
    if (table[slot].InUse == 0) return slot;
  }
  return -1;
}

std::int32_t nextVerdict(std::int32_t verdict) {
  switch (verdict) {
    case 1:
      return 2;
    case 2:
      return 0;
    default:
      return 1;
  }
}

std::uint8_t toggledInUse(std::uint8_t inUse) { return inUse == 0 ? 1 : 0; }

SampleItemPart sampleItemPartAt(const SampleItemRect& item, int x, int y) {
  const int dx = item.width / 2 - 50;
  const int dy = item.height / 2 - 50;
  const int left = item.left + dx;
  const int top = item.top + dy;
  const bool boxRow = top + 80 < y && y < top + 105;
  if (boxRow && left - 5 < x && x < left + 20) return SampleItemPart::kOccupancy;
  if (boxRow && left + 38 < x && x < left + 105) return SampleItemPart::kMarking;
  return SampleItemPart::kPicture;
}

SampleItemView sampleItemView(const SampleItemRect& item, int slot, const ObjectRecord& sample, bool selected,
                              bool reject) {
  const int dx = item.width / 2 - 50;
  const int dy = item.height / 2 - 50;
  const int x = item.left + dx;
  const int y = item.top + dy;
  SampleItemView view;
  view.thumbnailX = x;
  view.thumbnailY = y - 1;
  view.frames = {CanvasBox{x, y, x + 101, y + 100}, CanvasBox{x - 1, y - 1, x + 102, y + 101},
                 CanvasBox{x - 2, y - 2, x + 103, y + 102}};
  view.frameColour = selected ? kRed : kGrey;
  view.occupancy = {x - 5, y + 80, x + 20, y + 105};
  view.occupancyFill = sample.InUse != 0 ? kOccupied : kRgbWhite;
  view.marking = {x + 38, y + 80, x + 105, y + 105};
  switch (sample.Verdict) {
    case 1:
      view.markingFill = kMarkedReject;
      view.markingText = CanvasText{x + 45, y + 87, ">> В БРАК", kRgbBlack, false};
      break;
    case 2:
      view.markingFill = kMarkedKeep;
      view.markingText = CanvasText{x + 42, y + 87, "ОСТАВИТЬ", kRgbBlack, false};
      break;
    default:
      view.markingFill = kRgbWhite;
      break;
  }
  view.decision = {item.left + 10, item.top + 10, reject ? "БРАК" : "НОРМА", kBlue, false};
  view.number = {item.left + item.width - 12, item.top + 10, std::to_string(slot + 1), kMagenta, true};
  return view;
}

void drawSampleItem(Rgb24Canvas& canvas, const SampleItemView& view, const Rgb24Canvas& thumbnail) {
  for (int ty = 0; ty < thumbnail.height(); ++ty) {
    for (int tx = 0; tx < thumbnail.width(); ++tx) {
      canvas.putPixel(view.thumbnailX + tx, view.thumbnailY + ty, thumbnail.pixel(tx, ty));
    }
  }
  for (const CanvasBox& frame : view.frames) outline(canvas, frame, view.frameColour);
  filledBox(canvas, view.occupancy, view.occupancyFill);
  filledBox(canvas, view.marking, view.markingFill);
}

void drawSampleThumbnail(const ObjectRecord& sample, Rgb24Canvas& thumbnail) {
  std::array<std::uint8_t, kSampleSmallSize * kSampleSmallSize * 3> picture{};
  renderSamplePicture(sample, picture.data());
  thumbnail.setSize(kSampleSmallSize, kSampleSmallSize);
  for (int y = 0; y < kSampleSmallSize; ++y) {
    for (int x = 0; x < kSampleSmallSize; ++x) {
      const std::uint8_t* p = picture.data() + 3 * (y * kSampleSmallSize + x);
      thumbnail.putPixel(x, y, Rgb24{p[0], p[1], p[2]});
    }
  }
}

void drawClearedThumbnail(Rgb24Canvas& thumbnail, std::int32_t fonMax) {
  thumbnail.setSize(kSampleSmallSize, kSampleSmallSize);
  outline(thumbnail, {0, 0, kSampleSmallSize, kSampleSmallSize},
          Rgb24{static_cast<std::uint8_t>(fonMax & 0xFF), 0, 0});
}

void clearAllSamples(ObjectRecord* table, std::int32_t fonMax) {
  std::memset(static_cast<void*>(table), 0, sizeof(ObjectRecord) * kSampleSlots);
  for (int slot = 0; slot < kSampleSlotsCleared; ++slot) {
    std::memset(table[slot].Image, fonMax & 0xFF, sizeof table[slot].Image);
  }
}

Rgb24 sampleMaskColour(PixelClass pixelClass, FillColour fill) {
  switch (pixelClass) {
    case kClassBackground:
      return kRgbWhite;
    case kClassColour1:
      return kRed;
    case kClassColour2:
      return kBlue;
    case kClassOther:
      return kOtherClass;
    default:
      return toRgb(fill);
  }
}

SamplePicture sampleMaskRedraw(ObjectRecord& sample, const ClassifierInputs& inputs, FillColour fill,
                               const SampleDrawFlags& flags) {
  sample.Mass = 0;
  for (int i = 0; i <= 4; ++i) sample.ClassCount[i] = 0;
  SamplePicture picture;
  for (int c = 1; c <= kObjectImageSize; ++c) {
    for (int r = 1; r <= kSampleShownRows; ++r) {
      const RgbPixel px = readImagePixel(sample, c, r);
      const Rgb24 mask = sampleMaskColour(ClassifyPixel(px.r, px.g, px.b, inputs), fill);
      if (mask != kRgbWhite) sample.Mass += 2;
      if (mask == kRed) sample.ClassCount[1] += 2;
      if (mask == kBlue) sample.ClassCount[2] += 2;
      const Rgb24 shown =
          flags.mask ? mask
                     : Rgb24{flags.red ? px.r : std::uint8_t{0}, flags.green ? px.g : std::uint8_t{0},
                             flags.blue ? px.b : std::uint8_t{0}};
      picture.colours[static_cast<std::size_t>((r - 1) * kObjectImageSize + (c - 1))] = shown;
    }
  }
  return picture;
}

void drawSampleBig(Rgb24Canvas& canvas, const SamplePicture& picture) {
  canvas.setSize(kSampleBigSize, kSampleBigSize);
  for (int c = 1; c <= kObjectImageSize; ++c) {
    for (int r = 1; r <= kSampleShownRows; ++r) {
      canvas.FillRect(3 * (c - 1), 6 * (r - 1), 3 * c, 6 * r, picture.at(c, r));
    }
  }
}

void drawSampleSmall(Rgb24Canvas& canvas, const SamplePicture& picture) {
  canvas.setSize(kSampleSmallSize, kSampleSmallSize);
  for (int c = 1; c <= kObjectImageSize; ++c) {
    for (int r = 1; r <= kSampleShownRows; ++r) {
      canvas.FillRect(c - 1, 2 * (r - 1), c, 2 * r, picture.at(c, r));
    }
  }
}

std::vector<CanvasText> drawSampleOverlays(Rgb24Canvas& canvas, const ObjectRecord& sample,
                                           const std::vector<EjectorSpan>& ejectors) {
  std::vector<CanvasText> texts;
  const std::int64_t meanX = sample.MeanX;
  const std::int64_t meanY = sample.MeanY;
  filledEllipse(canvas,
                {place(3 * meanX - 3), place(3 * meanY - 3), place(3 * meanX + 3), place(3 * meanY + 3)},
                kTeal);
  outline(canvas,
          {place(3 * std::int64_t{sample.ImgXMin}), 1, place(3 * std::int64_t{sample.ImgXMax}),
           place(6 * std::int64_t{sample.ImgRows})},
          kTeal);
  for (std::size_t i = 0; i < ejectors.size(); ++i) {
    const int b = static_cast<int>(i) + 1;
    const int x1 = place(3 * (std::int64_t{ejectors[i].start} - sample.XCentre + 50));
    const int x2 = place(3 * (std::int64_t{ejectors[i].end} - sample.XCentre + 50));
    // Strips wholly off the picture draw nothing.
    if (std::max(x1, x2) < 0 || std::min(x1, x2) >= canvas.width()) continue;
    canvas.FillRect(x1, 287, x2, 300, b % 2 == 1 ? kStripOdd : kStripEven);
    texts.push_back({x1 + 5, 287, std::to_string(b), kRgbBlack, false});
  }
  texts.push_back({145, 274, ">" + std::to_string(sample.XCentre) + "<", kRed, false});
  texts.push_back({10, 40, "Длина   = " + formatFixed2(sample.Length, 2), kRgbBlack, false});
  texts.push_back({10, 50, "Ширина  = " + formatFixed2(sample.Width, 2), kRgbBlack, false});
  texts.push_back({10, 60, "Ширина1 = " + formatFixed2(sample.Width1, 2), kRgbBlack, false});
  texts.push_back({10, 70, "Ширина2 = " + formatFixed2(sample.Width2, 2), kRgbBlack, false});
  texts.push_back({10, 80, "~ = " + formatFixed2(sample.Forma, 2), kRgbBlack, false});
  outline(canvas, {160, 210, 261, 288}, kGrey);
  return texts;
}

ImagePoint pickedImagePoint(int x, int y) {
  // Integer division truncates toward zero, so the first pixel row and column of the picture and
  // the row and column before it both read image column and row 1.
  const int column = (x - 1) / 3 + 1;
  const int row = (y - 1) / 6 + 1;
  return {std::clamp(column, 1, kObjectImageSize), std::clamp(row, 1, kObjectImageSize)};
}

PickedColour pickedColour(const ObjectRecord& sample, int x, int y) {
  const ImagePoint p = pickedImagePoint(x, y);
  const RgbPixel px = readImagePixel(sample, p.column, p.row);
  return {.grey = px.r, .r = px.r, .g = px.g, .b = px.b};
}

std::vector<CanvasText> sampleInfoBigTexts(const SampleInfo& info) {
  std::vector<CanvasText> texts;
  int y = 2;
  for (const std::string& line : info.colourLines) {
    texts.push_back({10, y, line, kRgbBlack, false});
    y += 13;
  }
  for (const PanelText& t : info.mainPanel) texts.push_back({t.x, t.y, t.text, kRgbBlack, false});
  return texts;
}

std::vector<CanvasText> sampleInfoSmallTexts(const SampleInfo& info) {
  std::vector<CanvasText> texts;
  for (const PanelText& t : info.smallPanel) texts.push_back({t.x, t.y, t.text, kRgbBlack, false});
  return texts;
}

}  // namespace tolvane
