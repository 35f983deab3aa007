#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tolvane {

inline constexpr int kObjectImageSize = 100;  // image columns and rows, numbered 1..100
inline constexpr std::size_t kObjectRecordSize = 31200;

// One tracked object. The record is written byte for byte into the .samples file, so its layout
// (little-endian, offsets asserted below) is a file format. Field names follow that format.
struct ObjectRecord {
  std::uint8_t Open;   // 1 while the object still grows
  std::uint8_t InUse;  // 1 from creation; marks an occupied sample slot
  std::uint8_t Done;   // finished with; may be reused
  std::uint8_t reserved3;
  std::int32_t Camera;  // 0 or 1
  std::int32_t reserved8;
  std::int32_t CreatedAt;  // engine clock at creation
  std::int32_t XMin;       // leftmost pixel, >= 1
  std::int32_t FirstLine;  // own camera's line at creation
  std::int32_t XMax;       // pixel just after the last run, <= kPixelsPerLine
  std::int32_t LastLine;   // own camera's line at the last extension
  std::int32_t XCentre;
  std::int32_t Ejector;  // chosen at the ejection step, 0 before
  std::int32_t RunMin;
  std::int32_t RunMax;
  std::int32_t MeanX;  // running sum, then mean image column
  std::int32_t MeanY;  // running sum, then mean row in half-line units
  std::int32_t SumWeight;
  std::int32_t SampleSlot;  // -1 = none
  std::int32_t reserved64;
  std::int32_t Verdict;  // samples: 0 none, 1 reject, 2 keep
  std::int32_t BoxCentreX;
  std::int32_t HalfRows;
  std::int32_t ImageLeft;  // image column c shows line pixel ImageLeft + c
  std::int32_t reserved84;
  double Angle;  // major axis, radians
  double Eks;    // elongation
  std::int32_t reserved104;
  std::int32_t Mass;             // 2 x object pixels of non-zero class
  std::int32_t ClassCount[256];  // 2 x object pixels per class
  std::int32_t LengthMean;
  std::int32_t WidthMean;
  std::int32_t Length;
  std::int32_t Width;
  std::int32_t Width1;
  std::int32_t Width2;
  std::int32_t Forma;
  std::uint8_t reserved1164[12];
  std::int32_t DueAt;  // engine clock at which the ejection step takes the object
  std::uint8_t Image[kObjectImageSize * kObjectImageSize * 3];  // column-major R, G, B
  std::int32_t ImgXMin;
  std::int32_t ImgXMax;
  std::int32_t ImgRows;
  std::int32_t reserved31192;
  std::int32_t SampleTried;
};

static_assert(std::endian::native == std::endian::little, "ObjectRecord is a little-endian file layout");
static_assert(sizeof(ObjectRecord) == kObjectRecordSize);
static_assert(alignof(ObjectRecord) == 8);
static_assert(offsetof(ObjectRecord, Open) == 0);
static_assert(offsetof(ObjectRecord, InUse) == 1);
static_assert(offsetof(ObjectRecord, Done) == 2);
static_assert(offsetof(ObjectRecord, reserved3) == 3);
static_assert(offsetof(ObjectRecord, Camera) == 4);
static_assert(offsetof(ObjectRecord, reserved8) == 8);
static_assert(offsetof(ObjectRecord, CreatedAt) == 12);
static_assert(offsetof(ObjectRecord, XMin) == 16);
static_assert(offsetof(ObjectRecord, FirstLine) == 20);
static_assert(offsetof(ObjectRecord, XMax) == 24);
static_assert(offsetof(ObjectRecord, LastLine) == 28);
static_assert(offsetof(ObjectRecord, XCentre) == 32);
static_assert(offsetof(ObjectRecord, Ejector) == 36);
static_assert(offsetof(ObjectRecord, RunMin) == 40);
static_assert(offsetof(ObjectRecord, RunMax) == 44);
static_assert(offsetof(ObjectRecord, MeanX) == 48);
static_assert(offsetof(ObjectRecord, MeanY) == 52);
static_assert(offsetof(ObjectRecord, SumWeight) == 56);
static_assert(offsetof(ObjectRecord, SampleSlot) == 60);
static_assert(offsetof(ObjectRecord, reserved64) == 64);
static_assert(offsetof(ObjectRecord, Verdict) == 68);
static_assert(offsetof(ObjectRecord, BoxCentreX) == 72);
static_assert(offsetof(ObjectRecord, HalfRows) == 76);
static_assert(offsetof(ObjectRecord, ImageLeft) == 80);
static_assert(offsetof(ObjectRecord, reserved84) == 84);
static_assert(offsetof(ObjectRecord, Angle) == 88);
static_assert(offsetof(ObjectRecord, Eks) == 96);
static_assert(offsetof(ObjectRecord, reserved104) == 104);
static_assert(offsetof(ObjectRecord, Mass) == 108);
static_assert(offsetof(ObjectRecord, ClassCount) == 112);
static_assert(offsetof(ObjectRecord, LengthMean) == 1136);
static_assert(offsetof(ObjectRecord, WidthMean) == 1140);
static_assert(offsetof(ObjectRecord, Length) == 1144);
static_assert(offsetof(ObjectRecord, Width) == 1148);
static_assert(offsetof(ObjectRecord, Width1) == 1152);
static_assert(offsetof(ObjectRecord, Width2) == 1156);
static_assert(offsetof(ObjectRecord, Forma) == 1160);
static_assert(offsetof(ObjectRecord, reserved1164) == 1164);
static_assert(offsetof(ObjectRecord, DueAt) == 1176);
static_assert(offsetof(ObjectRecord, Image) == 1180);
static_assert(offsetof(ObjectRecord, ImgXMin) == 31180);
static_assert(offsetof(ObjectRecord, ImgXMax) == 31184);
static_assert(offsetof(ObjectRecord, ImgRows) == 31188);
static_assert(offsetof(ObjectRecord, reserved31192) == 31192);
static_assert(offsetof(ObjectRecord, SampleTried) == 31196);

// Image addressing. Pixel (column c, row r), both 1..100, lies at byte 877 + 300c + 3r of the
// record, i.e. at Image[300(c-1) + 3(r-1)].
inline constexpr std::size_t imageByteOffset(int column, int row) {
  return static_cast<std::size_t>(877 + 300 * column + 3 * row);
}
static_assert(imageByteOffset(1, 1) == offsetof(ObjectRecord, Image));
static_assert(imageByteOffset(100, 100) + 3 == offsetof(ObjectRecord, ImgXMin));

inline constexpr bool imagePixelValid(int column, int row) {
  return column >= 1 && column <= kObjectImageSize && row >= 1 && row <= kObjectImageSize;
}

// The three bytes R, G, B of pixel (c, r); c and r must be 1..100.
inline std::uint8_t* imagePixel(ObjectRecord& rec, int column, int row) {
  return rec.Image + (300 * (column - 1) + 3 * (row - 1));
}
inline const std::uint8_t* imagePixel(const ObjectRecord& rec, int column, int row) {
  return rec.Image + (300 * (column - 1) + 3 * (row - 1));
}

struct RgbPixel {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const RgbPixel&, const RgbPixel&) = default;
};

// Reads pixel (c, r); anything outside 1..100 (column 0, row 0) holds no image data and reads as
// outside (black unless given; the measures pass the picture's fill).
inline RgbPixel readImagePixel(const ObjectRecord& rec, int column, int row, RgbPixel outside = {}) {
  if (!imagePixelValid(column, row)) {
    return outside;
  }
  const std::uint8_t* p = imagePixel(rec, column, row);
  return {p[0], p[1], p[2]};
}

inline void writeImagePixel(ObjectRecord& rec, int column, int row, RgbPixel colour) {
  if (!imagePixelValid(column, row)) {
    return;
  }
  std::uint8_t* p = imagePixel(rec, column, row);
  p[0] = colour.r;
  p[1] = colour.g;
  p[2] = colour.b;
}

}  // namespace tolvane
