#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/camera_line_state.h"
#include "engine/ejection_step.h"
#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// How a replayed object ended.
enum class ReplayOutcome {
  Kept,       // judged at its ejector, accepted
  Rejected,   // judged at its ejector, fired
  NoEjector,  // counted, but no ejector zone of the working range holds its centre
  Small,      // due with Mass 10 or less: neither counted nor fired
  Dropped,    // Mass below MinVes when closed: never judged
  Expired,    // never taken by the ejection step in time
  Unfinished  // still tracked when the capture ended
};

std::string_view replayOutcomeName(ReplayOutcome outcome);

// One object of a replay, as the engine left its record when it ended.
struct ReplayObject {
  int record = 0;  // number in the object table
  std::int64_t firstLine = 0;
  std::int64_t lastLine = 0;
  std::int32_t xMin = 0;
  std::int32_t xMax = 0;
  std::int32_t mass = 0;
  std::array<std::int32_t, 3> classCounts{};  // ClassCount of colour 1, colour 2, other colour
  std::int32_t length = 0;
  std::int32_t width = 0;
  std::int32_t lengthMean = 0;
  std::int32_t widthMean = 0;
  double eks = 0.0;
  ReplayOutcome outcome = ReplayOutcome::Unfinished;
  std::int32_t ejector = 0;  // last ejector it was judged at, 0 none
  std::int64_t endLine = 0;  // line whose pass ended it (judged, dropped, expired) or the last line

  friend bool operator==(const ReplayObject&, const ReplayObject&) = default;
};

// A valve output changing after the ejection pass of a line.
struct ReplayValveChange {
  std::int64_t line = 0;
  int output = 0;  // 1..48
  bool open = false;
  friend bool operator==(const ReplayValveChange&, const ReplayValveChange&) = default;
};

// What a replay reports as it goes. Objects come in the order they end; rows after their pass.
class ReplaySink {
 public:
  virtual ~ReplaySink() = default;
  virtual void object(const ReplayObject& /*object*/) {}
  // Picture row `line` as fed (R, G, B per column) and the wired outputs open after its pass (bit
  // output - 1).
  virtual void row(std::int64_t /*line*/, std::span<const std::uint8_t> /*rgb*/,
                   std::uint64_t /*openValves*/) {}
  virtual void valveChange(const ReplayValveChange& /*change*/) {}
};

// The open wired outputs (bit output - 1) as the outputs show them after a pass.
using ValveReadback = std::function<std::uint64_t()>;

// Open outputs 1..48 of the valve table.
std::uint64_t openWiredOutputs(const ValveTable& valves);

// Runs recorded camera-1 lines through camera 1's analysis and the ejection step exactly as sorting
// does, one picture row per line: the row's columns 0, 1, ... are line pixels 1, 2, ... (as the line
// capture stores them); single-tone machines read the red byte. Each line is analysed with the line
// clock (LineCounter, starting at 0 for the first row), counted, and followed by one ejection pass and
// its valve write. The clock is always the line clock: a capture carries no milliseconds.
//
// The engine and camera must be prepared for a run (settings, sector tables, zones,
// prepareCameraForRun); the replay clears the object table and starts the camera's counter at 0.
// Memory: nothing grows with the number of lines. Each call takes the engine lock for its work, as a
// camera thread does for a line; the sorter must not run meanwhile (the replay owns camera 1's
// buffers and the object table). The sink is called under the lock: it must not take it.
class CaptureReplay {
 public:
  // output may be null (no valve write); readback, when given, tells which outputs the written
  // valves drive (e.g. a board's port image), else the valve table's wired outputs are taken.
  CaptureReplay(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                const MachineSettings& machine, ValveOutput* output, ReplaySink& sink,
                ValveReadback readback = {}, const EjectionConfig& config = {});

  // One camera line. Columns past the line buffer are ignored; line pixels the row does not cover
  // show the plate (the brightest background grey, or BackgroundFill in colour).
  void feed(std::span<const std::uint8_t> rgb);
  // Reports the objects still tracked as Unfinished. Call once after the last row.
  void finish();

  std::int64_t lines() const { return lines_; }

 private:
  ReplayObject describe(int k, ReplayOutcome outcome, std::int64_t endLine) const;
  void loadLine(std::span<const std::uint8_t> rgb);

  EngineState& state_;
  CameraLineState& camera_;
  const SorterSettings& sorter_;
  const MachineSettings& machine_;
  ValveOutput* output_;
  ReplaySink& sink_;
  ValveReadback readback_;
  EjectionConfig config_;
  std::int64_t lines_ = 0;
  std::uint64_t openValves_ = 0;
  std::array<std::uint8_t, 3> plate_{};  // what uncovered line pixels show
  std::size_t covered_ = 0;              // line pixels the previous row covered
  // Records holding an object the replay has not reported yet, and whether the coming pass judges it.
  std::vector<std::uint8_t> tracked_;
  std::vector<std::uint8_t> dueNow_;
};

}  // namespace tolvane
