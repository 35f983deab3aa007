#include "engine/replay.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/line_classifier.h"
#include "engine/object_tracker.h"
#include "engine/reject_decision.h"

namespace tolvane {

namespace {

constexpr std::int32_t kMinFiringMass = 10;  // the ejection step neither counts nor fires at or below it

bool awaitsJudging(const ObjectRecord& r) { return r.Open == 0 && r.InUse != 0 && r.Done == 0; }
bool isLive(const ObjectRecord& r) { return r.InUse != 0 && r.Done == 0; }

}  // namespace

std::string_view replayOutcomeName(ReplayOutcome outcome) {
  switch (outcome) {
    case ReplayOutcome::Kept:
      return "kept";
    case ReplayOutcome::Rejected:
      return "REJECT";
    case ReplayOutcome::NoEjector:
      return "no-ejector";
    case ReplayOutcome::Small:
      return "small";
    case ReplayOutcome::Dropped:
      return "dropped";
    case ReplayOutcome::Expired:
      return "expired";
    case ReplayOutcome::Unfinished:
      return "unfinished";
  }
  return "?";
}

std::uint64_t openWiredOutputs(const ValveTable& valves) {
  std::uint64_t open = 0;
  for (int m = 1; m <= kWiredOutputs; ++m) {
    if (valves.isOpen(m)) open |= std::uint64_t{1} << (m - 1);
  }
  return open;
}

CaptureReplay::CaptureReplay(EngineState& state, CameraLineState& camera1, const SorterSettings& sorter,
                             const MachineSettings& machine, ValveOutput* output, ReplaySink& sink,
                             ValveReadback readback, const EjectionConfig& config)
    : state_(state),
      camera_(camera1),
      sorter_(sorter),
      machine_(machine),
      output_(output),
      sink_(sink),
      readback_(std::move(readback)),
      config_(config),
      tracked_(kObjectTableSize + 1, 0),
      dueNow_(kObjectTableSize + 1, 0) {
  std::lock_guard lock(state_.engineLock);
  // A run starts with an empty table and closed valves, as the start of sorting leaves them.
  state_.ObjectCount = 0;
  state_.objectIndex.clear();
  state_.ejection.clearTiming();
  state_.ejection.ValveStates.closeAll();
  state_.ejection.EngineCounters.clear();
  camera_.LineCounter.store(0, std::memory_order_relaxed);

  // Line pixels a row does not cover (past the camera's pixels, or past a narrow picture) show the
  // plate: stale data there must not become objects.
  prepareClassifier(camera_, state_, sorter_, machine_);
  if (state_.singleToneCamera) {
    for (int v = 255; v >= 0; --v) {
      if (camera_.classifier.grey(static_cast<std::uint8_t>(v)) == kClassBackground) {
        plate_.fill(static_cast<std::uint8_t>(v));
        break;
      }
    }
  } else {
    plate_ = {state_.BackgroundFill.r, state_.BackgroundFill.g, state_.BackgroundFill.b};
  }
  camera_.LineMono.fill(plate_[0]);
  for (std::size_t p = 0; p < kLineElements; ++p)
    std::copy(plate_.begin(), plate_.end(), camera_.rgb(static_cast<int>(p)));
  openValves_ = readback_ ? readback_() : openWiredOutputs(state_.ejection.ValveStates);
}

void CaptureReplay::loadLine(std::span<const std::uint8_t> rgb) {
  const std::size_t pixels = std::min(rgb.size() / 3, static_cast<std::size_t>(kLineBufferPixels));
  if (state_.singleToneCamera) {
    for (std::size_t p = 1; p <= pixels; ++p) camera_.LineMono[p] = rgb[3 * (p - 1)];
  } else {
    std::memcpy(camera_.LineRGB.data() + 3, rgb.data(), pixels * 3);
  }
  // Rows are normally as wide as the last one; refill the plate only where a row fell short.
  if (pixels < covered_) {
    for (std::size_t p = pixels + 1; p <= covered_; ++p) {
      camera_.LineMono[p] = plate_[0];
      std::copy(plate_.begin(), plate_.end(), camera_.rgb(static_cast<int>(p)));
    }
  }
  covered_ = pixels;
}

ReplayObject CaptureReplay::describe(int k, ReplayOutcome outcome, std::int64_t endLine) const {
  const ObjectRecord& r = state_.ObjectTable[k];
  ReplayObject o;
  o.record = k;
  o.firstLine = r.FirstLine;
  o.lastLine = r.LastLine;
  o.xMin = r.XMin;
  o.xMax = r.XMax;
  o.mass = r.Mass;
  o.classCounts = {r.ClassCount[kClassColour1], r.ClassCount[kClassColour2], r.ClassCount[kClassOther]};
  o.length = r.Length;
  o.width = r.Width;
  o.lengthMean = r.LengthMean;
  o.widthMean = r.WidthMean;
  o.eks = r.Eks;
  o.outcome = outcome;
  o.ejector = r.Ejector;
  o.endLine = endLine;
  return o;
}

void CaptureReplay::feed(std::span<const std::uint8_t> rgb) {
  // Held per line as a camera thread holds it, so a replay beside a stopped sorter stays safe.
  std::lock_guard lock(state_.engineLock);
  const std::int64_t line = camera_.LineCounter.load(std::memory_order_relaxed);
  loadLine(rgb);

  // The camera thread's pass: analysis on the line clock, count, ejection step, valve write.
  const int before = std::clamp(state_.ObjectCount, 0, kObjectTableSize);
  analyseLine(state_, camera_, sorter_, machine_, ejectionClock(false, line));
  int seen = std::max(before, std::clamp(state_.ObjectCount, 0, kObjectTableSize));
  for (int k = 1; k <= seen; ++k) {
    ObjectRecord& r = state_.ObjectTable[k];
    if (tracked_[static_cast<std::size_t>(k)] != 0 && r.Done != 0) {
      // Judging for samples drops objects lighter than MinVes.
      sink_.object(describe(k, ReplayOutcome::Dropped, line));
      tracked_[static_cast<std::size_t>(k)] = 0;
    } else if (tracked_[static_cast<std::size_t>(k)] == 0 && isLive(r)) {
      tracked_[static_cast<std::size_t>(k)] = 1;
    }
  }

  camera_.countLine();
  const std::int64_t now = camera_.LineCounter.load(std::memory_order_relaxed);
  for (int k = 1; k <= seen; ++k) {
    const ObjectRecord& r = state_.ObjectTable[k];
    const bool due = config_.immediateEjection || clockSince(now, r.DueAt) >= 0;
    dueNow_[static_cast<std::size_t>(k)] =
        tracked_[static_cast<std::size_t>(k)] != 0 && !sorter_.enFast && awaitsJudging(r) && due ? 1 : 0;
  }
  runEjectionPass(state_, sorter_, machine_, now, false, output_, config_);

  const std::uint64_t open = readback_ ? readback_() : openWiredOutputs(state_.ejection.ValveStates);
  for (int m = 1; m <= kWiredOutputs; ++m) {
    const std::uint64_t bit = std::uint64_t{1} << (m - 1);
    if ((open & bit) != (openValves_ & bit)) sink_.valveChange({line, m, (open & bit) != 0});
  }
  openValves_ = open;
  sink_.row(line, rgb, open);

  seen = std::max(seen, std::clamp(state_.ObjectCount, 0, kObjectTableSize));
  for (int k = 1; k <= seen; ++k) {
    ObjectRecord& r = state_.ObjectTable[k];
    if (tracked_[static_cast<std::size_t>(k)] == 0 || r.Done == 0) continue;
    ReplayOutcome outcome = ReplayOutcome::Expired;
    if (dueNow_[static_cast<std::size_t>(k)] != 0) {
      if (r.Mass <= kMinFiringMass) {
        outcome = ReplayOutcome::Small;
      } else if (r.Ejector == 0) {
        outcome = ReplayOutcome::NoEjector;
      } else {
        // The decision the step took; with Mass above 10 it writes nothing into the record.
        outcome = IsReject(r, sorter_) ? ReplayOutcome::Rejected : ReplayOutcome::Kept;
      }
    }
    sink_.object(describe(k, outcome, line));
    tracked_[static_cast<std::size_t>(k)] = 0;
  }
  ++lines_;
}

void CaptureReplay::finish() {
  std::lock_guard lock(state_.engineLock);
  const std::int64_t last = std::max<std::int64_t>(lines_ - 1, 0);
  for (int k = 1; k <= kObjectTableSize; ++k) {
    if (tracked_[static_cast<std::size_t>(k)] == 0) continue;
    sink_.object(describe(k, ReplayOutcome::Unfinished, last));
    tracked_[static_cast<std::size_t>(k)] = 0;
  }
}

}  // namespace tolvane
