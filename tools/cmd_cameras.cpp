// Camera checks for engineers: a sorting run through Aravis's fake GigE Vision camera with the
// stream's counters and the share of defects the valves removed.

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "tools/aravis_fake_run.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kCamerasUsage =
    "cameras --fake-run [--rate HZ] [--seconds S] [--lines-per-frame N] [--defects PERCENT] [--colour] "
    "[--realtime]   sorting run of camera 1 through Aravis's fake GigE Vision camera on 127.0.0.1";

double numberArgument(const std::vector<std::string>& args, std::size_t& i, double low, double high) {
  const std::string what = args[i];
  if (i + 1 >= args.size()) throw UsageError(what + " needs a value");
  const std::string& text = args[++i];
  const double value = parseNumberArgument(text, what);
  if (!(value >= low && value <= high)) {
    std::ostringstream message;
    message << what << " must be a number from " << low << " to " << high << ", got \"" << text << '"';
    throw UsageError(message.str());
  }
  return value;
}

int camerasCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.empty() || args[0] != "--fake-run") throw UsageError(std::string("usage: ") + kCamerasUsage);
  FakeCameraRunOptions o;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--rate") {
      o.lineRateHz = numberArgument(args, i, 100, 200'000);
    } else if (a == "--seconds") {
      o.seconds = numberArgument(args, i, 0.1, 3600);
    } else if (a == "--lines-per-frame") {
      o.linesPerFrame = static_cast<int>(numberArgument(args, i, 1, 1024));
    } else if (a == "--defects") {
      o.defectShare = numberArgument(args, i, 0, 100) / 100.0;
    } else if (a == "--colour" || a == "--color") {
      o.colour = true;
    } else if (a == "--realtime") {
      o.realtime = true;
    } else {
      throw UsageError("unknown argument \"" + a + "\"; usage: " + kCamerasUsage);
    }
  }
  const FakeCameraRunResult r = runFakeCamera(o);
  if (!r.error.empty()) {
    io.err << "tolvane-tool cameras: " << r.error << '\n';
    return 1;
  }
  std::ostringstream out;
  out << std::fixed << std::setprecision(2);
  out << "colour=" << (o.colour ? 1 : 0) << '\n';
  out << "rate_hz=" << o.lineRateHz << '\n';
  out << "lines_per_frame=" << o.linesPerFrame << '\n';
  out << "run_s=" << r.runSeconds << '\n';
  out << "camera1_lines_per_s=" << r.linesPerSecond << '\n';
  out << "camera1_frames_sent=" << r.framesSent << '\n';
  out << "camera1_frames_completed=" << r.counters.completedFrames << '\n';
  out << "camera1_frames_failed=" << r.counters.failedFrames << '\n';
  out << "camera1_frames_mismatched=" << r.counters.mismatchedFrames << '\n';
  out << "camera1_frames_underrun=" << r.counters.underrunFrames << '\n';
  out << "camera1_lines_delivered=" << r.counters.deliveredLines << '\n';
  out << "camera1_lines_lost=" << r.counters.lostLines << '\n';
  out << "camera1_counters=" << aravisCountersText(r.counters) << '\n';
  out << "valve_pulses=" << r.valvePulses << '\n';
  out << "items_defective=" << r.score.defective << '\n';
  out << "items_good=" << r.score.good << '\n';
  out << "defects_removed_pct=" << r.score.defectsRemovedPct() << '\n';
  out << "good_lost_pct=" << r.score.goodLostPct() << '\n';
  io.out << out.str();
  return 0;
}

TOLVANE_TOOL_COMMAND("cameras", kCamerasUsage, camerasCommand);

}  // namespace
}  // namespace tolvane::tool
