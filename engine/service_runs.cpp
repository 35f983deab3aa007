#include "engine/service_runs.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "engine/color_convert.h"
#include "engine/ejection_step.h"
#include "engine/line_classifier.h"
#include "engine/object_tracker.h"

namespace tolvane {

namespace {

constexpr int kLabelRise = 12;
constexpr int kClassMarkDrop = 20;
constexpr double kElongatedRatio = 5.1;

// The brightest grey the brightness test takes as background: line pixels the picture does not
// cover must not become objects from stale camera data.
std::uint8_t backgroundGrey(const PixelClassifier& classes) {
  for (int v = 255; v >= 0; --v) {
    if (classes.grey(static_cast<std::uint8_t>(v)) == kClassBackground) return static_cast<std::uint8_t>(v);
  }
  return 0;
}

}  // namespace

ResearchRun::ResearchRun(BmpImage picture) : source_(std::move(picture)) { result_.output = source_; }

void ResearchRun::start(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                        const MachineSettings& machine) {
  prepareClassifier(camera1, state, sorter, machine);
  fill_ = backgroundGrey(camera1.classifier);
  camera1Classes_ = classifierInputs(state, sorter, 0);
}

std::string ResearchRun::caption() const {
  if (source_.height() == 0) return "0 %";
  return std::to_string(static_cast<int>(roundHalfEven(100.0 * row_ / source_.height()))) + " %";
}

bool ResearchRun::step(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                       const MachineSettings& machine) {
  if (finished()) return false;
  const int r = row_;
  const BmpImage& picture = source_;
  BmpImage& out = result_.output;
  const int lastPixel = std::min(picture.width() - 1, kLineBufferPixels);

  camera1.LineMono[0] = fill_;
  for (int x = 1; x <= lastPixel; ++x) camera1.LineMono[static_cast<std::size_t>(x)] = picture.at(x, r).r;
  std::fill(camera1.LineMono.begin() + std::max(lastPixel, 0) + 1, camera1.LineMono.end(), fill_);

  camera1.LineCounter.store(r, std::memory_order_relaxed);
  analyseMonoObjectLine(state, camera1, sorter, machine,
                        ejectionClock(state.FineTimer.load(std::memory_order_relaxed), r));

  std::optional<BmpPixel> rowLabelColour;
  const int count = std::min(state.ObjectCount, kObjectTableSize);
  for (int k = 1; k <= count; ++k) {
    ObjectRecord& rec = state.ObjectTable[k];
    if (rec.Open != 0 || rec.InUse == 0 || rec.Done != 0) continue;
    if (static_cast<std::int64_t>(rec.LastLine) - rec.FirstLine > 1) {
      researchMeasure(rec, camera1Classes_, state.objectIndex.prefill[static_cast<std::size_t>(k)]);
      rec.WidthMean = std::max(rec.WidthMean, 1);
      const bool elongated = static_cast<double>(rec.LengthMean) / rec.WidthMean > kElongatedRatio;
      const BmpPixel colour = elongated ? kResearchGreen : kResearchSilver;
      drawResearchFrame(out, rec.XMin, rec.FirstLine, rec.XMax, rec.LastLine, kResearchFrame);
      drawResearchText(out, rec.XMin, rec.FirstLine - kLabelRise,
                       std::to_string(rec.WidthMean) + "x" + std::to_string(rec.LengthMean), colour);
      result_.labels.push_back(
          {rec.XMin, rec.FirstLine, rec.XMax, rec.LastLine, rec.WidthMean, rec.LengthMean, elongated});
      rowLabelColour = colour;
    }
    rec.Done = 1;
  }
  trimDoneRecords(state);

  for (int x = 0; x < picture.width() && x + 1 < static_cast<int>(kLineElements); ++x) {
    if (camera1.ClassMap[static_cast<std::size_t>(x) + 1] != 0)
      out.setClipped(x, r + kClassMarkDrop, kResearchClassMark);
  }
  out.setClipped(state.ObjectCount, r, kResearchGreen);
  if (r % 100 == 0) {
    drawResearchText(out, state.ObjectCount, r, std::to_string(state.ObjectCount),
                     rowLabelColour.value_or(kResearchWhite));
  }
  ++row_;
  return true;
}

EmulationRun::EmulationRun(const BmpImage& picture) : picture_(picture) {
  if (picture.width() < kEmulationMinWidth || picture.height() < kEmulationMinHeight) {
    throw std::invalid_argument("the emulation picture must be at least " +
                                std::to_string(kEmulationMinWidth) + " x " +
                                std::to_string(kEmulationMinHeight) + " pixels, this one is " +
                                std::to_string(picture.width()) + " x " + std::to_string(picture.height()));
  }
}

void EmulationRun::start(EngineState& state, CameraLineState& camera1, CameraLineState& camera2) {
  state.ObjectCount = 0;
  state.objectIndex.clear();
  camera1.LineCounter.store(1, std::memory_order_relaxed);
  camera2.LineCounter.store(1, std::memory_order_relaxed);
  rowsDone_ = 0;
}

bool EmulationRun::step(EngineState& state, CameraLineState& camera1, CameraLineState& camera2,
                        const SorterSettings& sorter, const MachineSettings& machine) {
  if (finished()) return false;
  // The counter picks the row, as the cameras' lines would come; kept inside the picture.
  const int r = static_cast<int>(std::clamp<std::int64_t>(camera1.LineCounter.load(std::memory_order_relaxed),
                                                          0, picture_.height() - 1));
  emulationLine(state, camera1, camera2, sorter, machine, picture_, r);
  camera1.countLine();
  camera2.countLine();
  ++rowsDone_;
  return true;
}

}  // namespace tolvane
