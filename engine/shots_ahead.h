#pragma once

#include <array>
#include <cstdint>

#include "engine/ejection_step.h"
#include "engine/timed_valve_queue.h"

namespace tolvane {

// Camera 1 taking frames: plans the shot of a reject as soon as its object is closed, mostly well
// before its due line, and hands it to the timed valve queue with the times of its lines. A frame
// comes late now and then (transfer, wake-up); the shot still opens and closes on time, whereas a
// valve change known only once its due line is analysed would follow the late frame.
//
// The shot opens at the due line's time and closes where the object-mode step's own shot ends: the
// step still judges, counts and fires the object as always (at its due line, or at once when it
// closed later), and the images of the lines that shot holds leave its outputs out (mask), so a
// late image neither repeats the shot nor closes it early. An object closed after its due line is
// thus opened as soon as it is judged, still on time while the frames' latency lasts. Planning holds
// only while line times are known and the clock counts lines; when it stops the planned shots are
// dropped and the images carry every valve again.
//
// Camera 1's thread only: follow() and closed() under the engine lock; handOver() and mask()
// after it is released, since they take the queue's lock.
class ShotsAhead : public ClosedObjectListener {
 public:
  static constexpr int kCapacity = TimedValveQueue::kShotCapacity;

  ShotsAhead(TimedValveQueue& queue, EjectionState& ejection, const SorterSettings& sorter,
             const MachineSettings& machine)
      : queue_(queue), ejection_(ejection), sorter_(sorter), machine_(machine) {}

  // Before a pass: plan with these line times (timeline known, line clock; it must outlive the
  // planning), latencyNs after each line's time; or, with plan false, stop planning.
  void follow(bool plan, const LineTimeline& timeline, std::int64_t latencyNs);
  bool planning() const { return planning_; }

  void closed(int record, ObjectRecord& r, std::int64_t due, std::int64_t now) override;

  // Gives the queue the shots planned since the last call (and drops its shots when planning
  // stopped); a shot the queue does not take is left to the images.
  void handOver();

  // The image of line's pass without the outputs of the shots planned over that line (after
  // handOver). Lines come in order; shots behind them are forgotten.
  void mask(ValveImage& image, std::int64_t line);

 private:
  // The lines (clock values) through which the step's own shot holds the output open.
  struct Lines {
    std::int64_t first = 0;
    std::int64_t last = 0;
  };
  // Which object a record held when it was planned; a reused record holds another.
  struct Identity {
    std::int32_t createdAt = 0;
    std::int32_t firstLine = 0;
    std::int32_t camera = -1;
    std::int32_t xMin = 0;
    bool operator==(const Identity&) const = default;
  };
  static Identity identityOf(const ObjectRecord& r) { return {r.CreatedAt, r.FirstLine, r.Camera, r.XMin}; }
  void stop();

  TimedValveQueue& queue_;
  EjectionState& ejection_;
  const SorterSettings& sorter_;
  const MachineSettings& machine_;

  bool planning_ = false;
  bool dropQueued_ = false;  // the queue still holds shots of a planning that stopped
  const LineTimeline* timeline_ = nullptr;
  std::int64_t latencyNs_ = 0;
  std::array<Identity, kObjectTableSize + 1> plannedFor_{};
  // Shot i: valves_[i] at lines_[i]; the first handedOver_ are in the queue.
  std::array<ValveShot, kCapacity> valves_{};
  std::array<Lines, kCapacity> lines_{};
  int shotCount_ = 0;
  int handedOver_ = 0;
};

}  // namespace tolvane
