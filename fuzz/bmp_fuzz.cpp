// Any bytes as a picture file (a capture, the research picture, a sample picture): the reader either
// refuses it with BmpError or gives a picture that survives writing and reading back unchanged, and
// the research run over it labels objects inside the picture.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/bmp_image.h"
#include "engine/camera_line_state.h"
#include "engine/color_convert.h"
#include "engine/engine_state.h"
#include "engine/research.h"
#include "settings/machine_settings.h"
#include "settings/sector_tables.h"
#include "settings/sorter_settings.h"

namespace {

// A stopped sorter with the default program, as the research button finds it.
struct Sorter {
  tolvane::EngineState state;
  tolvane::CameraLineState camera1{0};
  tolvane::SorterSettings sorter;
  tolvane::MachineSettings machine;
  Sorter() {
    (void)tolvane::rebuildSectorTables(sorter, state.singleToneCamera, tolvane::hsvFillColour,
                                       state.sectorTables, state.BackgroundFill);
    tolvane::prepareCameraForRun(camera1, state, machine);
  }
};

// Research runs a line per row; small pictures keep the fuzzer fast.
constexpr int kResearchMaxRows = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  BmpImage image;
  try {
    image = BmpImage::decode(std::span<const std::uint8_t>(data, size));
  } catch (const BmpError&) {
    return 0;
  }
  if (image.empty() || image.width() > BmpImage::kMaxSide || image.height() > BmpImage::kMaxSide) {
    std::abort();
  }
  for (const BmpRowOrder order : {BmpRowOrder::BottomUp, BmpRowOrder::TopDown}) {
    const std::vector<std::uint8_t> file = image.encode(order);
    if (BmpImage::decode(file) != image) std::abort();
  }
  // Every row has the picture's width; corner pixels are reachable.
  if (image.row(image.height() - 1).size() != static_cast<std::size_t>(image.width()) * 3) std::abort();
  (void)image.at(image.width() - 1, image.height() - 1);

  if (image.height() <= kResearchMaxRows) {
    static Sorter* const s = new Sorter();  // large tables: made once
    s->state.clearTables();
    const ResearchResult result = runResearch(s->state, s->camera1, s->sorter, s->machine, image);
    if (result.output.width() != image.width() || result.output.height() != image.height()) std::abort();
    for (const ResearchLabel& label : result.labels) {
      if (label.xMin > label.xMax || label.firstLine > label.lastLine || label.lastLine >= image.height()) {
        std::abort();
      }
    }
  }
  return 0;
}
