#pragma once

#include <string>

#include "engine/bmp_image.h"
#include "engine/camera_line_state.h"
#include "engine/emulation_run.h"
#include "engine/engine_state.h"
#include "engine/research.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// The research run one row at a time, so that the window can take the engine lock per row and stay
// usable (and show the progress caption) between rows. Row for row the same work as runResearch.
class ResearchRun {
 public:
  explicit ResearchRun(BmpImage picture);

  // Hands the current settings to camera 1's classifier and chooses the grey for line pixels the
  // picture does not cover.
  // Called on the main thread under the engine lock.
  void start(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
             const MachineSettings& machine);
  // Runs the next row; false when no row was left.
  // Called on the main thread under the engine lock.
  bool step(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
            const MachineSettings& machine);

  bool finished() const { return row_ >= source_.height(); }
  int rowsDone() const { return row_; }
  int rows() const { return source_.height(); }
  // The button caption while row r runs: round(100 r / height) + " %".
  std::string caption() const;
  // The labelled picture and the labels; call once, after the last row.
  ResearchResult takeResult() { return std::move(result_); }

 private:
  BmpImage source_;
  ResearchResult result_;
  ClassifierInputs camera1Classes_{};
  std::uint8_t fill_ = 0;
  int row_ = 0;
};

// The emulation run one picture row at a time: rows 1..199 of the picture go to camera 1 and,
// mirrored, to camera 2, as runEmulation does in one go. The picture must outlive the run.
class EmulationRun {
 public:
  // Throws std::invalid_argument for a picture smaller than 1201 x 200.
  explicit EmulationRun(const BmpImage& picture);

  // ObjectCount := 0, both line counters := 1.
  // Called on the main thread under the engine lock.
  void start(EngineState& state, CameraLineState& camera1, CameraLineState& camera2);
  // Both cameras' object analysis of the next row; false when all 199 rows are done.
  // Called on the main thread under the engine lock.
  bool step(EngineState& state, CameraLineState& camera1, CameraLineState& camera2,
            const SorterSettings& sorter, const MachineSettings& machine);

  bool finished() const { return rowsDone_ >= kEmulationLines; }
  int rowsDone() const { return rowsDone_; }

 private:
  const BmpImage& picture_;
  int rowsDone_ = 0;
};

}  // namespace tolvane
