#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/bmp_image.h"
#include "engine/camera_line_state.h"
#include "engine/engine_state.h"
#include "engine/pixel_classifier.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

inline constexpr const char* kResearchPictureName = "test.bmp";
inline constexpr const char* kResearchOutputName = "test_x.bmp";

// Colours of the research picture.
inline constexpr BmpPixel kResearchFrame{128, 128, 128};
inline constexpr BmpPixel kResearchGreen{0, 128, 0};
inline constexpr BmpPixel kResearchSilver{192, 192, 192};
inline constexpr BmpPixel kResearchWhite{255, 255, 255};
inline constexpr BmpPixel kResearchClassMark{255, 0, 0};

// A labelled object: its frame and its mean width and length. Elongated labels (length over width
// above 5.1) are drawn green, the others silver.
struct ResearchLabel {
  int xMin = 0;
  int firstLine = 0;
  int xMax = 0;
  int lastLine = 0;
  int widthMean = 0;
  int lengthMean = 0;
  bool elongated = false;
  friend bool operator==(const ResearchLabel&, const ResearchLabel&) = default;
};

struct ResearchResult {
  BmpImage output;
  std::vector<ResearchLabel> labels;  // in the order they were drawn
};

// Length, width and elongation of a closed record from its image, with camera 1's class test:
// the projection measure of the object analysis, row 0 read as the picture's fill. Sets Length,
// Width, LengthMean, WidthMean, Eks.
// Called on the main thread under the engine lock.
void researchMeasure(ObjectRecord& record, const ClassifierInputs& camera1, FillColour fill);

// Runs camera 1's single-tone object analysis over every row of the picture (red byte of column x
// to line pixel x; column 0 and columns past the line buffer are not used; line pixels the picture
// does not cover get a background grey, so stale camera data cannot add objects), labels each closed object
// that spans more than one line on a copy of the picture and marks the classified pixels and the
// object count. progress gets the button caption ("37 %") once per row. Leaves the objects in the
// table and camera 1's buffers as the last row left them; meant for a stopped sorter.
// Called on the main thread under the engine lock.
ResearchResult runResearch(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                           const MachineSettings& machine, const BmpImage& picture,
                           const std::function<void(const std::string&)>& progress = {});

// The button's run: "test.bmp" from the folder, the labelled picture saved there as "test_x.bmp".
// Throws BmpError when the picture cannot be read or the result cannot be written.
ResearchResult runResearchFiles(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                                const MachineSettings& machine, const std::filesystem::path& folder,
                                const std::function<void(const std::string&)>& progress = {});

// Writes text in the research picture's small digit font (digits, 'x', '-'; other characters leave a
// gap) with its cell's top left at (x, y), clipped to the picture, background left as it is.
void drawResearchText(BmpImage& image, int x, int y, const std::string& text, BmpPixel colour);

// Grey outline from (x0, y0) to (x1, y1), both corners included, clipped.
void drawResearchFrame(BmpImage& image, int x0, int y0, int x1, int y1, BmpPixel colour);

}  // namespace tolvane
