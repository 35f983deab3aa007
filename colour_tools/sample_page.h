#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/object_record.h"
#include "engine/pixel_classifier.h"
#include "engine/sample_info.h"
#include "service/bitmap_util_core.h"
#include "settings/sector_tables.h"

// The rules of the samples page without the toolkit: which slot a list item is, what a touch on it
// does, how a sample is drawn as a list item, as the enlarged picture and as the small pictures of the
// colour pages, and how the mask redraw counts a sample again. Texts are returned with their places;
// the widgets layer writes them onto the same canvas.
namespace tolvane {

inline constexpr int kSampleShownRows = 50;          // image rows 1..50 are shown
inline constexpr int kSampleBigSize = 300;           // enlarged picture: 3 x 6 pixels per image pixel
inline constexpr int kSampleSmallSize = 100;         // small pictures and thumbnails: 1 x 2
inline constexpr int kSampleSlotsCleared = 14;       // clearing refills the images of slots 0..13
inline constexpr int kSampleThumbnailsAtStart = 16;  // start-up rebuilds thumbnails 0..15

// Camera of a sample slot: 0 for slots 0..5, 1 otherwise.
int sampleSlotCamera(int slot);
// First slot of a camera's list (0 or 6).
int firstSampleSlot(int camera);
// Where the next capture of the camera lands: its lowest slot whose InUse is 0, or -1 when all six
// are occupied. `table` holds the slots 0..20.
int lowestFreeSampleSlot(const ObjectRecord* table, int camera);

// The operator's marking after one more touch: none -> ">> В БРАК" -> "ОСТАВИТЬ" -> none. A value a
// damaged file left counts as none.
std::int32_t nextVerdict(std::int32_t verdict);
// Occupancy after a touch on its box: free becomes occupied, anything else free.
std::uint8_t toggledInUse(std::uint8_t inUse);

// A canvas box from (x1, y1) to (x2, y2), right and bottom edges excluded.
struct CanvasBox {
  int x1 = 0;
  int y1 = 0;
  int x2 = 0;
  int y2 = 0;
  friend bool operator==(const CanvasBox&, const CanvasBox&) = default;
};

// A text to write onto a canvas: top-left at (x, y); with `rightEdge` set, x is where the text ends.
struct CanvasText {
  int x = 0;
  int y = 0;
  std::string text;
  Rgb24 colour = kRgbBlack;
  bool rightEdge = false;
  friend bool operator==(const CanvasText&, const CanvasText&) = default;
};

// A list item's rectangle in the list's coordinates.
struct SampleItemRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

enum class SampleItemPart { kPicture, kOccupancy, kMarking };
// Which part of the item a release at (x, y) (inside the item) hits; the boxes' edges belong to the
// picture.
SampleItemPart sampleItemPartAt(const SampleItemRect& item, int x, int y);

// Everything a list item shows, in the coordinates of its rectangle.
struct SampleItemView {
  int thumbnailX = 0;
  int thumbnailY = 0;
  std::array<CanvasBox, 3> frames{};
  Rgb24 frameColour{};
  CanvasBox occupancy{};
  Rgb24 occupancyFill{};
  CanvasBox marking{};
  Rgb24 markingFill{};
  std::optional<CanvasText> markingText;
  CanvasText decision;  // "БРАК" / "НОРМА"
  CanvasText number;    // slot + 1, ending 12 pixels before the right edge
};
SampleItemView sampleItemView(const SampleItemRect& item, int slot, const ObjectRecord& sample, bool selected,
                              bool reject);
// Thumbnail, frames and boxes onto `canvas` (texts are left to the caller).
void drawSampleItem(Rgb24Canvas& canvas, const SampleItemView& view, const Rgb24Canvas& thumbnail);

// Thumbnail of a slot: a 100 x 100 picture with image rows 1..50 each shown twice.
void drawSampleThumbnail(const ObjectRecord& sample, Rgb24Canvas& thumbnail);
// Thumbnail of a cleared slot: white with a one-pixel frame of (FonMax of camera 1, 0, 0).
void drawClearedThumbnail(Rgb24Canvas& thumbnail, std::int32_t fonMax);

// Clear all samples: every slot zero, and the images of slots 0..13 filled with the low byte of
// FonMax of camera 1. `table` holds the slots 0..20.
void clearAllSamples(ObjectRecord* table, std::int32_t fonMax);

// How the shown colours are taken.
struct SampleDrawFlags {
  bool mask = false;  // class colours instead of true colours
  bool red = true;    // channels shown in true colour
  bool green = true;
  bool blue = true;
};

// Colour of a class in the mask: background white, colour 1 red, colour 2 blue, other colour
// (204, 238, 238), any other class the background fill.
Rgb24 sampleMaskColour(PixelClass pixelClass, FillColour fill);

// The shown colours of image columns 1..100 and rows 1..50.
struct SamplePicture {
  std::array<Rgb24, kObjectImageSize * kSampleShownRows> colours{};
  Rgb24 at(int column, int row) const {
    return colours[static_cast<std::size_t>((row - 1) * kObjectImageSize + (column - 1))];
  }
};

// The mask redraw of one sample: Mass and ClassCount[0..4] are set to 0 and counted again from the
// mask colours (2 per shown pixel: Mass for every colour but white, ClassCount[1] for red,
// ClassCount[2] for blue), whichever colours are drawn; returns the drawn colours.
SamplePicture sampleMaskRedraw(ObjectRecord& sample, const ClassifierInputs& inputs, FillColour fill,
                               const SampleDrawFlags& flags);

// The picture's colours filled into the enlarged (300 x 300) or small (100 x 100) canvas; the canvas
// takes that size.
void drawSampleBig(Rgb24Canvas& canvas, const SamplePicture& picture);
void drawSampleSmall(Rgb24Canvas& canvas, const SamplePicture& picture);

// One ejector's pixel range [start, end) on the sample's camera.
struct EjectorSpan {
  std::int32_t start = 0;
  std::int32_t end = 0;
};

// The marks over the enlarged picture after a list touch: centre mark, image box, the ejector strip
// with its numbers, ">XCentre<", the measures and the grey frame. Shapes are drawn; the texts are
// returned (ejector numbers first).
std::vector<CanvasText> drawSampleOverlays(Rgb24Canvas& canvas, const ObjectRecord& sample,
                                           const std::vector<EjectorSpan>& ejectors);

// The picked point on the enlarged picture as image column and row (1..100).
struct ImagePoint {
  int column = 1;
  int row = 1;
};
ImagePoint pickedImagePoint(int x, int y);
// The picked colour: the sample's true image colour at the picked point.
PickedColour pickedColour(const ObjectRecord& sample, int x, int y);

// The sample information as texts on the enlarged picture (colour lines at the top, values from
// y 209) and on a small picture.
std::vector<CanvasText> sampleInfoBigTexts(const SampleInfo& info);
std::vector<CanvasText> sampleInfoSmallTexts(const SampleInfo& info);

}  // namespace tolvane
