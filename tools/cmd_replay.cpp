// Replay of captured camera lines: a line capture (or any 24-bit picture whose rows are camera lines)
// runs through camera 1's analysis and the ejection step as sorting does, with the valves written to a
// simulated board. An engineer tunes a program at a desk against product recorded on the machine.

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ejection/valve_outputs.h"
#include "engine/bmp_row_reader.h"
#include "engine/line_classifier.h"
#include "engine/replay.h"
#include "engine/replay_annotation.h"
#include "platform/simulated_boards.h"
#include "tools/offline_sorter.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kReplayUsage =
    "replay CAPTURE.bmp SETTINGS.ini [PROGRAM] [--out ANNOTATED.bmp]   run captured camera-1 lines through "
    "the analysis and the ejection step; one line per object and a summary";

std::string fixed2(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// Prints each object as it ends, counts the outcomes and the valve openings, and hands everything
// on to the annotated picture when one is written.
class ReplayPrinter : public ReplaySink {
 public:
  ReplayPrinter(std::ostream& out, ReplayAnnotator* annotator) : out_(out), annotator_(annotator) {}

  void object(const ReplayObject& o) override {
    ++outcomes_[static_cast<std::size_t>(o.outcome)];
    out_ << "line " << o.firstLine << " pixels " << o.xMin << '-' << o.xMax << " mass " << o.mass
         << " classes " << o.classCounts[0] << '/' << o.classCounts[1] << '/' << o.classCounts[2]
         << " length " << o.length << " width " << o.width << " lengthMean " << o.lengthMean << " widthMean "
         << o.widthMean << " eks " << fixed2(o.eks) << ' ' << replayOutcomeName(o.outcome) << " ejector ";
    if (o.ejector > 0) {
      out_ << o.ejector;
    } else {
      out_ << '-';
    }
    out_ << '\n';
    if (annotator_ != nullptr) annotator_->object(o);
  }
  void row(std::int64_t line, std::span<const std::uint8_t> rgb, std::uint64_t openValves) override {
    if (annotator_ != nullptr) annotator_->row(line, rgb, openValves);
  }
  void valveChange(const ReplayValveChange& change) override {
    if (change.open) ++openings_[static_cast<std::size_t>(change.output)];
  }

  int count(ReplayOutcome outcome) const { return outcomes_[static_cast<std::size_t>(outcome)]; }
  int openings(int output) const { return openings_[static_cast<std::size_t>(output)]; }

 private:
  std::ostream& out_;
  ReplayAnnotator* annotator_;
  std::array<int, 7> outcomes_{};
  std::array<int, kWiredOutputs + 1> openings_{};
};

// The ejector of camera 1 whose valve is output m, for naming shots; 0 when none of the working range
// drives it.
int ejectorOfOutput(const EjectionState& e, const MachineSettings& machine, int output) {
  for (int j = std::max(1, machine.EGA_Min); j <= std::min(kEjectorSlots, machine.EGA_Max); ++j) {
    if (e.EjectorOutputMap[j] == output) return j;
  }
  return 0;
}

void printSummary(std::ostream& out, const ReplayPrinter& p, const OfflineSorter& s, std::int64_t lines) {
  using O = ReplayOutcome;
  const int kept = p.count(O::Kept);
  const int rejected = p.count(O::Rejected);
  int objects = 0;
  for (O o : {O::Kept, O::Rejected, O::NoEjector, O::Small, O::Dropped, O::Expired, O::Unfinished}) {
    objects += p.count(o);
  }
  out << "lines " << lines << '\n';
  out << "objects " << objects << ": judged " << kept + rejected << " (kept " << kept << ", rejected "
      << rejected << "), no-ejector " << p.count(O::NoEjector) << ", small " << p.count(O::Small)
      << ", dropped " << p.count(O::Dropped) << ", expired " << p.count(O::Expired) << ", unfinished "
      << p.count(O::Unfinished) << '\n';
  out << "rejects " << rejected << '\n';
  out << "shots";
  bool any = false;
  for (int m = 1; m <= kWiredOutputs; ++m) {
    const int n = p.openings(m);
    if (n == 0) continue;
    const int j = ejectorOfOutput(s.state->ejection, s.machine, m);
    out << (any ? ", " : " ") << (j > 0 ? "ejector " + std::to_string(j) : "output " + std::to_string(m))
        << ": " << n;
    any = true;
  }
  out << (any ? "\n" : " none\n");
}

int replayCommand(const std::vector<std::string>& args, ToolIo& io) {
  std::vector<std::string> positional;
  std::optional<std::string> outPath;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--out") {
      if (i + 1 >= args.size() || outPath) throw UsageError(std::string("usage: ") + kReplayUsage);
      outPath = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() < 2 || positional.size() > 3) throw UsageError(std::string("usage: ") + kReplayUsage);

  const std::unique_ptr<OfflineSorter> s =
      loadOfflineSorter(positional, 1, "replay", io, MissingSettings::UseDefaults);
  EngineState& state = *s->state;
  applySingleToneFill(state, s->sorter);
  CameraLineState& camera = *s->camera1;
  setWorkingRange(camera, state.ejection, s->machine);
  if (s->machine.FineTimerButton_StateOn) {
    io.err << "tolvane-tool replay: the settings time the valves in milliseconds; a capture has no "
              "milliseconds, so the replay counts lines\n";
  }

  BmpRowReader capture(positional[0], kLineBufferPixels);
  // The camera delivers kPixelsPerLine pixels; the working range may end one past them.
  const int lastPixel = std::clamp(camera.WorkLastPixel, 1, kPixelsPerLine);
  if (capture.width() < lastPixel) {
    io.err << "tolvane-tool replay: " << positional[0] << " is " << capture.width()
           << " pixels wide, narrower than the camera line: the analysis reads pixels up to " << lastPixel
           << '\n';
    return 1;
  }
  if (capture.width() > capture.columns()) {
    io.err << "tolvane-tool replay: columns from " << capture.columns()
           << " on lie past the camera line and are not replayed\n";
  }

  std::unique_ptr<ReplayAnnotator> annotator;
  if (outPath) {
    annotator = std::make_unique<ReplayAnnotator>(*outPath, capture.columns(), capture.height(),
                                                  ReplayAnnotator::windowRowsFor(s->machine));
  }

  // The valves go to a board that decodes its ports, as the machine's board would drive them.
  SimulatedDigitalBoard::Config boardConfig;
  boardConfig.edgeCapacity = 1;  // its edge trace is not used; the replay reads the port image
  SimulatedDigitalBoard board(boardConfig);
  board.PIODIO_DriverInit();
  board.setFound(true, SimulatedDigitalBoard::kDefaultBase);
  BoardValveOutput output(board);

  ReplayPrinter printer(io.out, annotator.get());
  CaptureReplay replay(state, camera, s->sorter, s->machine, &output, printer,
                       [&board] { return board.openValves(); });
  for (int y = 0; y < capture.height(); ++y) replay.feed(capture.row(y));
  replay.finish();
  if (annotator) annotator->finish();
  if (s->sorter.enFast) io.out << "line mode: no objects are formed, the valves follow the zones\n";
  printSummary(io.out, printer, *s, replay.lines());
  return 0;
}

TOLVANE_TOOL_COMMAND("replay", kReplayUsage, replayCommand);

}  // namespace
}  // namespace tolvane::tool
