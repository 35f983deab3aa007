#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/color_convert.h"
#include "settings/color_sector.h"
#include "settings/sector_tables.h"
#include "settings/sorter_settings.h"

namespace tolvane {

struct EngineState;
struct MachineSettings;

// Class of a pixel: 0 background, 1 product colour 1, 2 product colour 2, 4 other colour (defect).
using PixelClass = std::uint8_t;
inline constexpr PixelClass kClassBackground = 0;
inline constexpr PixelClass kClassColour1 = 1;
inline constexpr PixelClass kClassColour2 = 2;
inline constexpr PixelClass kClassOther = 4;

// The eight brightness bounds of one camera.
struct BrightnessRanges {
  std::int32_t FonBlack = 0;
  std::int32_t FonLight = 255;
  std::int32_t FonMin = 200;
  std::int32_t FonMax = 255;
  std::int32_t P1Min = 0;
  std::int32_t P1Max = 150;
  std::int32_t P2Min = 150;
  std::int32_t P2Max = 200;
  friend bool operator==(const BrightnessRanges&, const BrightnessRanges&) = default;
};
BrightnessRanges brightnessRanges(const SorterSettings& settings, int camera);

// Everything ClassifyPixel depends on for one camera.
struct ClassifierInputs {
  bool singleTone = true;          // single-tone build: brightness test on R
  bool brightMode = false;         // colour build: brightness test on SingleChannel
  std::int32_t singleChannel = 1;  // 1 R, 2 G, 3 B
  BrightnessRanges ranges;
  const SectorTables* sectors = nullptr;  // null: no sectors
};
ClassifierInputs classifierInputs(const EngineState& state, const SorterSettings& settings, int camera);

// The background shortcuts of the colour line paths, which run before ClassifyPixel.
struct BackgroundShortcuts {
  bool blue = false;  // enFonBlue
  std::int32_t rMin = 0, rMax = 0, gMin = 0, gMax = 0, bMin = 0, bMax = 0;
  bool black = false;  // enFonBlack
  std::int32_t blackLevel = 0;
  friend bool operator==(const BackgroundShortcuts&, const BackgroundShortcuts&) = default;
};
BackgroundShortcuts backgroundShortcuts(const SorterSettings& settings, const MachineSettings& machine,
                                        int camera);
// True when either enabled shortcut takes the pixel as background.
bool isShortcutBackground(int r, int g, int b, const BackgroundShortcuts& shortcuts);

// The brightness test on one value, first match wins.
PixelClass brightnessClass(int value, const BrightnessRanges& ranges);

// Whether a sector contains the colour; in brightness mode only V is tested.
bool sectorContains(const ColorSector& sector, const Hsv& hsv, bool brightMode);

// The class of one colour; single-tone callers pass the grey value three times.
// Pure function of its inputs; callers hold the engine lock while the sector tables may change.
PixelClass ClassifyPixel(int r, int g, int b, const ClassifierInputs& inputs);
PixelClass ClassifyPixel(int r, int g, int b, int camera, const EngineState& state,
                         const SorterSettings& settings);

// Fast classification of one camera: a 256-entry table for the brightness test and a lazily filled
// table over all 2^24 colours for the colour test. Both give exactly ClassifyPixel's classes (the
// colour table also the shortcut result); entries are recomputed when any input changes.
// Used by one camera's analysis at a time, under the engine lock.
class PixelClassifier {
 public:
  PixelClassifier();
  ~PixelClassifier();
  PixelClassifier(const PixelClassifier&) = delete;
  PixelClassifier& operator=(const PixelClassifier&) = delete;

  // Allocates the colour table (16 MB). Without it colours go through ClassifyPixel directly.
  // Called when sorting starts, never on the line path.
  void enableColourTable();
  bool colourTableEnabled() const { return static_cast<bool>(colourTable_); }

  // Takes the inputs of the coming line; cheap when nothing changed. The sector tables must stay
  // unchanged until the next update.
  void update(const ClassifierInputs& inputs, const BackgroundShortcuts& shortcuts);

  const ClassifierInputs& inputs() const { return inputs_; }

  // Brightness test through the table (single-tone paths).
  PixelClass grey(std::uint8_t value) const { return greyTable_[value]; }

  // ClassifyPixel.
  PixelClass plain(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    if (inputs_.singleTone) {
      return greyTable_[r];
    }
    return static_cast<PixelClass>(kCodeToClass[(colourEntry(r, g, b) >> 2) & 3]);
  }

  // line() for pixels first..last of a colour line (pixel p at rgb[3p]) into classes[p].
  void lineClasses(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last);

  // plain() for pixels 0..count-1 of a run of colours (pixel i at rgb[3i]) into classes[i].
  void plainClasses(const std::uint8_t* rgb, std::uint8_t* classes, int count);

  // Shortcuts, then ClassifyPixel (colour line paths). The shortcuts belong to the colour build.
  PixelClass line(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    if (inputs_.singleTone) {
      return greyTable_[r];
    }
    return static_cast<PixelClass>(kCodeToClass[colourEntry(r, g, b) & 3]);
  }

 private:
  static constexpr std::array<std::uint8_t, 4> kCodeToClass{0, 1, 2, 4};
  static constexpr int kMaxKeySectors = 64;

  // Pixels first..last through the table; Shift 0 takes the line class of an entry, 2 the plain one.
  template <int Shift>
  void classesOf(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last);
  // decodeEntries on blocks of 32 from first on with AVX2; returns the first pixel not done.
  template <int Shift>
  int decodeWide(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last);
  // Raw entries in classes[first..last] to classes, filling stale entries.
  template <int Shift>
  void decodeEntries(const std::uint8_t* rgb, std::uint8_t* classes, int first, int last);

  // The index is B, G, R as a big-endian number: a pixel's three bytes as they lie in the line,
  // read little-endian.
  static std::uint32_t colourIndex(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (static_cast<std::uint32_t>(b) << 16) | (static_cast<std::uint32_t>(g) << 8) | r;
  }

  // Raw entries of pixels first..last into out[first..last]. Reads only those pixels' bytes.
  static void gatherEntries(const std::uint8_t* table, const std::uint8_t* rgb, std::uint8_t* out, int first,
                            int last);
  // Entry: generation (4 bits) | plain class code (2 bits) | line class code (2 bits).
  std::uint8_t colourEntry(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    if (!colourTable_ || !keyHeld_) {
      return computeEntry(r, g, b);
    }
    std::uint8_t& slot = colourTable_[colourIndex(r, g, b)];
    if ((slot >> 4) != generation_) {
      slot = computeEntry(r, g, b);
    }
    return slot;
  }
  std::uint8_t computeEntry(std::uint8_t r, std::uint8_t g, std::uint8_t b) const;
  bool sameColourKey(const ClassifierInputs& inputs, const BackgroundShortcuts& shortcuts) const;
  void takeColourKey(const ClassifierInputs& inputs, const BackgroundShortcuts& shortcuts);

  ClassifierInputs inputs_;
  BackgroundShortcuts shortcuts_;
  std::array<PixelClass, 256> greyTable_{};
  BrightnessRanges greyKey_;
  bool greyValid_ = false;

  std::unique_ptr<std::uint8_t[]> colourTable_;
  std::uint8_t generation_ = 1;  // 1..15; 0 never matches a filled entry
  // Key of the colour table: a copy of everything the colour classes depend on.
  bool keyHeld_ = false;  // false: too many sectors for the key, classify directly
  bool keyBrightMode_ = false;
  bool keySingleTone_ = false;
  std::int32_t keyChannel_ = 0;
  BrightnessRanges keyRanges_;
  BackgroundShortcuts keyShortcuts_;
  std::array<int, 3> keyCounts_{};
  std::array<ColorSector, kMaxKeySectors> keySectors_{};
};

}  // namespace tolvane
