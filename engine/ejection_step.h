#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "engine/ejection_state.h"
#include "engine/engine_constants.h"
#include "engine/engine_state.h"
#include "settings/machine_settings.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// A copy of the valve table, taken under the engine lock and written to the ports
// after it is released.
class ValveImage {
 public:
  // A board port's worth of outputs at a time.
  static ValveImage of(const ValveTable& valves) {
    ValveImage image;
    for (int g = 0; g < ValveTable::kGroups; ++g) image.groups_[static_cast<std::size_t>(g)] = valves.groupBits(g);
    return image;
  }
  bool isOpen(int output) const {
    return ValveTable::contains(output) && ((groups_[groupOf(output)] >> bitOf(output)) & 1U) != 0;
  }
  void set(int output, bool open) {
    if (!ValveTable::contains(output)) return;
    const auto bit = static_cast<std::uint8_t>(1U << bitOf(output));
    std::uint8_t& group = groups_[groupOf(output)];
    group = open ? static_cast<std::uint8_t>(group | bit) : static_cast<std::uint8_t>(group & ~bit);
  }
  ValveImage& operator|=(const ValveImage& other) {
    for (std::size_t g = 0; g < groups_.size(); ++g) groups_[g] |= other.groups_[g];
    return *this;
  }
  bool any() const {
    return std::any_of(groups_.begin(), groups_.end(), [](std::uint8_t g) { return g != 0; });
  }
  bool operator==(const ValveImage&) const = default;

 private:
  static std::size_t groupOf(int output) { return static_cast<std::size_t>(output - 1) / 8; }
  static unsigned bitOf(int output) { return static_cast<unsigned>(output - 1) % 8; }
  // Outputs 8g + 1 .. 8g + 8 in group g, output 8g + 1 + n at bit n, as ValveTable::groupBits.
  std::array<std::uint8_t, ValveTable::kGroups> groups_{};
};

// Copies the valve table to the outputs. The valve output code lives above the engine and hands an
// implementation to camera 1's thread.
class ValveOutput {
 public:
  virtual ~ValveOutput() = default;
  // The live table (state.ValveStates), from callers that run the ejection step themselves.
  virtual void write(EjectionState& state) = 0;
  // A copy of the table taken earlier; camera 1's thread writes it after releasing the engine lock.
  virtual void writeImage(EjectionState& state, const ValveImage& image) = 0;
};

// Collects the images a pass would write, in order, so that the writes can follow the release of
// the engine lock. Holds the last kCapacity images of a pass (a pass writes at most two).
class ValveImageQueue : public ValveOutput {
 public:
  static constexpr int kCapacity = 4;
  void write(EjectionState& state) override {
    if (count_ == kCapacity) --count_;  // the newest table matters most
    images_[static_cast<std::size_t>(count_++)] = ValveImage::of(state.ValveStates);
  }
  void writeImage(EjectionState&, const ValveImage& image) override {
    if (count_ == kCapacity) --count_;
    images_[static_cast<std::size_t>(count_++)] = image;
  }
  // Hands the collected images to output in order and empties the queue.
  void flushTo(ValveOutput& output, EjectionState& state) {
    for (int i = 0; i < count_; ++i) output.writeImage(state, images_[static_cast<std::size_t>(i)]);
    count_ = 0;
  }
  int size() const { return count_; }

 private:
  std::array<ValveImage, kCapacity> images_{};
  int count_ = 0;
};

// Build-time switches of the ejection, passed in so that tests can take both branches.
struct EjectionConfig {
  bool summaryOutput = kSummaryOutput;
  bool immediateEjection = kImmediateEjection;
};

// Told by the object-mode step of every closed object it has not judged: on each pass while the
// object is not yet due, and on the pass that judges it, before judging. A camera thread taking
// frames plans the object's shot from it before the frame of its due line comes.
// Called on camera 1's thread under the engine lock.
class ClosedObjectListener {
 public:
  virtual ~ClosedObjectListener() = default;
  // record: its index in the object table; due: the full clock value of r.DueAt; now: the pass's.
  virtual void closed(int record, ObjectRecord& r, std::int64_t due, std::int64_t now) = 0;
};

// The valve outputs that judging r will open (its reject ejectors, with the neighbours of a triple
// shot), each once, without counting anything; none for a keep or an object too light to fire. The
// shot opens them at its due clock value and keeps them open through due + machine.Time.
// Called on camera 1's thread under the engine lock.
int shotOutputsOf(EjectionState& e, ObjectRecord& r, const SorterSettings& sorter, const MachineSettings& machine,
                  std::array<std::int32_t, kEjectorSlots>& outputs);

// Monotonic milliseconds since an arbitrary start; the clock of the ejection with FineTimer set.
std::int64_t monotonicMillis();

// The ejection clock: camera 1's line counter, or milliseconds while FineTimer is set.
inline std::int64_t ejectionClock(bool fineTimer, std::int64_t camera1Lines) {
  return fineTimer ? monotonicMillis() : camera1Lines;
}

// Record times (CreatedAt, DueAt) keep the low 32 bits of the clock. Due and expiry compare in
// wrapping 32-bit arithmetic, so they stay right when the clock passes 2^31.
inline std::int32_t clockLow32(std::int64_t now) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(now));
}
inline std::int32_t clockSince(std::int64_t now, std::int32_t then) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(then));
}

// One pass of camera 1's thread: the immediate step when configured, then the line-mode step (enFast)
// or the object-mode step, each followed by a valve write when output is given. A clock that went
// back (a new run restarts the line counter) first clears the timing tables and retires the tracked
// objects, whose times belong to the old run. A clock that changed unit (FineTimer switched) keeps
// the shots in flight and the objects not yet judged, their times converted with camera 1's measured
// line period (EjectionState::MsPer1000Lines); line-mode schedules are dropped, and so is everything
// when no period is known.
// Called on camera 1's thread under the engine lock.
// closed, when given, hears of the closed objects before the object-mode step judges them.
void runEjectionPass(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine,
                     std::int64_t now, bool fineTimer, ValveOutput* output,
                     const EjectionConfig& config = {}, ClosedObjectListener* closed = nullptr);

// Object mode: judges the closed objects that are due, fires rejects, expires, trims, closes valves;
// closed hears of every closed object before it is judged.
// Called on camera 1's thread under the engine lock.
void objectModeEjectionStep(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine,
                            std::int64_t now, bool summaryOutput = kSummaryOutput,
                            ClosedObjectListener* closed = nullptr);

// Line mode: opens and closes valves by LineModeOn/LineModeOff.
// Called on camera 1's thread under the engine lock.
void lineModeEjectionStep(EjectionState& ejection, std::int64_t now, bool summaryOutput = kSummaryOutput);

// Fires every closed object at once, without delay or pulse timing.
// Called on camera 1's thread under the engine lock.
void immediateEjectionStep(EngineState& state, const SorterSettings& sorter, const MachineSettings& machine);

// Line mode, start of a line's analysis: zero the zone counts.
// Called on camera threads under the engine lock.
void beginLineModeLine(EjectionState& ejection);

// Line mode, end of a line's analysis on either camera: every zone of that camera's working range
// with more than ifFast defect pixels schedules (or extends) a pulse. now is camera 1's clock.
// Called on camera threads under the engine lock.
void scheduleLineMode(EjectionState& ejection, const SorterSettings& sorter, const MachineSettings& machine,
                      int camera, std::int64_t now, bool fineTimer);

// Drops trailing Done records from ObjectCount.
// Called under the engine lock.
void trimDoneRecords(EngineState& state);

}  // namespace tolvane
