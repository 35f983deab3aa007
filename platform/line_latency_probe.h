#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/camera_driver.h"
#include "platform/digital_board.h"
#include "platform/product_stream_simulator.h"

namespace tolvane {

// Counts of durations in steps of kStepNs up to kRangeNs, with the exact maximum. Recording is
// lock-free and allocates nothing, so it can sit on a camera thread; reading from another thread
// while recording goes on gives a consistent enough picture for a report.
class LatencyHistogram {
 public:
  static constexpr std::int64_t kStepNs = 100;
  static constexpr std::int64_t kRangeNs = 20'000'000;  // longer ones fall into the last step

  LatencyHistogram();

  void record(std::int64_t ns);
  std::uint64_t count() const { return count_.load(std::memory_order_relaxed); }
  std::int64_t maxNs() const { return max_.load(std::memory_order_relaxed); }
  // The smallest step bound below which at least fraction (0..1) of the samples lie; 0 when empty.
  // Never above maxNs().
  std::int64_t percentileNs(double fraction) const;

 private:
  static constexpr std::size_t kSteps = static_cast<std::size_t>(kRangeNs / kStepNs) + 1;
  std::unique_ptr<std::atomic<std::uint32_t>[]> steps_;
  std::atomic<std::uint64_t> count_{0};
  std::atomic<std::int64_t> max_{0};
};

// Watches a simulated run from outside the engine: when each camera line reached the program, how
// late it was against the camera's line clock, and how long after a camera-1 line its valve write
// followed. Hand camera() to the camera threads instead of the simulator and board() to the valve
// writer instead of the board; both pass every call through unchanged.
//
// A valve write is the write of the last valve port (base + 0xE8) on camera 1's thread; it belongs
// to the camera-1 line read last on that thread. Writes from other threads (start-up, stop) are not
// timed. Lines read without a following valve write are not timed either.
class LineLatencyProbe {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::uint32_t kLastValvePort = 0xE8;

  // With syncStart, the first camera to start measuring waits (up to a second) for the other present
  // camera, so both line clocks start together, as two cameras watching one curtain do.
  LineLatencyProbe(ProductStreamSimulator& cameras, DigitalBoard& board, bool syncStart = true);
  ~LineLatencyProbe();
  LineLatencyProbe(const LineLatencyProbe&) = delete;
  LineLatencyProbe& operator=(const LineLatencyProbe&) = delete;

  CameraDriver& camera();
  DigitalBoard& board();

  // When stream line 0 was due on camera i's line clock (its start of measuring, for a first start);
  // the clock's epoch when it has not started.
  Clock::time_point measuringStarted(int camera) const;
  bool started(int camera) const;
  // Nanoseconds from camera 1's start of measuring, the moment stream line 0 crossed its line.
  std::int64_t sinceStreamStart(Clock::time_point t) const;

  // Line reached the program -> valve write on camera 1's thread.
  const LatencyHistogram& valveLatency() const { return valveLatency_; }
  // Line reached the program -> the time it was due on its camera's line clock.
  const LatencyHistogram& lineLateness(int camera) const;
  // Lines that reached the program more than one line period after they were due.
  std::uint64_t linesLate(int camera) const;

 private:
  class Camera;
  class Board;
  friend class Camera;
  friend class Board;

  struct CameraTimes {
    std::atomic<bool> started{false};
    std::atomic<std::int64_t> startNs{0};  // line 0 due, since the clock's epoch
    std::atomic<std::uint64_t> late{0};
    LatencyHistogram lateness;
  };

  void lineRead(int camera, Clock::time_point at);
  void valvePortWritten();
  void startMeasuring();

  ProductStreamSimulator& cameras_;
  DigitalBoard& board_;
  const bool syncStart_;
  const double periodNs_;
  std::unique_ptr<Camera> camera_;
  std::unique_ptr<Board> boardProxy_;
  std::array<CameraTimes, 2> times_;
  std::atomic<int> arrivals_{0};
  LatencyHistogram valveLatency_;
  // Touched only on camera 1's thread.
  std::int64_t pendingLineNs_ = -1;
};

}  // namespace tolvane
