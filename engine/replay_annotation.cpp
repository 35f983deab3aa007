#include "engine/replay_annotation.h"

#include <algorithm>

namespace tolvane {

namespace {

constexpr int kMaxDelay = 999;
constexpr int kMaxExpiry = 600;
// An object closes at most 95 lines after its first and 4 lines after its last growth; add its
// frame's rows and a margin.
constexpr int kObjectSpan = 128;

}  // namespace

int ReplayAnnotator::windowRowsFor(const MachineSettings& machine) {
  // A record is taken or expired by Delay + MaxTime + 1 lines after its first line.
  return std::clamp(machine.Delay, 0, kMaxDelay) + std::clamp(machine.MaxTime, 0, kMaxExpiry) + kObjectSpan;
}

ReplayAnnotator::ReplayAnnotator(const std::filesystem::path& path, int columns, int height, int windowRows)
    : writer_(path, columns + kBarColumns, height),
      columns_(columns),
      window_(std::clamp(windowRows, 1, height)),
      stride_((columns + kBarColumns) * 3) {
  rows_.assign(static_cast<std::size_t>(window_) * static_cast<std::size_t>(stride_), 0);
}

void ReplayAnnotator::set(std::int64_t line, int x, BmpPixel colour) {
  std::uint8_t* p = rowData(line) + 3 * static_cast<std::size_t>(x);
  p[0] = colour.r;
  p[1] = colour.g;
  p[2] = colour.b;
}

void ReplayAnnotator::flush(std::int64_t line) {
  writer_.writeRow(static_cast<int>(line),
                   std::span<const std::uint8_t>(rowData(line), static_cast<std::size_t>(stride_)));
}

void ReplayAnnotator::row(std::int64_t line, std::span<const std::uint8_t> rgb, std::uint64_t openValves) {
  if (line != next_ || line >= writer_.height()) return;  // rows come once, in order
  if (line >= window_) flush(line - window_);
  std::uint8_t* dst = rowData(line);
  const std::size_t captured = std::min(rgb.size(), static_cast<std::size_t>(columns_) * 3);
  std::copy_n(rgb.begin(), captured, dst);
  std::fill(dst + captured, dst + static_cast<std::size_t>(columns_) * 3, std::uint8_t{0});
  for (int x = columns_; x < columns_ + kBarGap; ++x) set(line, x, kReplayBarGap);
  for (int m = 1; m <= kWiredOutputs; ++m) {
    const int left = columns_ + kBarGap + (m - 1) * kBarWidth;
    const bool open = (openValves >> (m - 1) & 1U) != 0;
    for (int x = left; x < left + kBarWidth - 1; ++x)
      set(line, x, open ? kReplayValveOpen : kReplayValveClosed);
    set(line, left + kBarWidth - 1, kReplayBarGap);
  }
  ++next_;
}

void ReplayAnnotator::object(const ReplayObject& o) {
  if (o.outcome != ReplayOutcome::Kept && o.outcome != ReplayOutcome::Rejected) return;
  if (next_ == 0) return;
  const BmpPixel colour = o.outcome == ReplayOutcome::Rejected ? kReplayRejectFrame : kReplayKeptFrame;
  // Line pixel p is column p - 1; XMax is the first pixel after the object, so the frame sits just
  // outside it on every side.
  const std::int64_t oldest = std::max<std::int64_t>(0, next_ - window_);
  const std::int64_t newest = next_ - 1;
  const std::int64_t top = o.firstLine - 1;
  const std::int64_t bottom = o.lastLine + 1;
  const int left = o.xMin - 2;
  const int right = o.xMax - 1;
  const int from = std::max(left, 0);
  const int to = std::min(right, columns_ - 1);
  for (std::int64_t y = std::max(top, oldest); y <= std::min(bottom, newest); ++y) {
    if (y == top || y == bottom) {
      for (int x = from; x <= to; ++x) set(y, x, colour);
    }
    if (left >= 0 && left < columns_) set(y, left, colour);
    if (right >= 0 && right < columns_) set(y, right, colour);
  }
}

void ReplayAnnotator::finish() {
  for (std::int64_t y = std::max<std::int64_t>(0, next_ - window_); y < next_; ++y) flush(y);
  writer_.finish();
}

}  // namespace tolvane
