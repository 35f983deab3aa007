#pragma once

#include <algorithm>
#include <chrono>

namespace tolvane {

// How long a camera thread sleeps after a read that brought no line. A driver that answers at once
// without a line would otherwise keep a real-time thread busy on its processor; the pause doubles with
// every empty read up to kLongest (short enough for the millisecond ejection clock) and starts again
// from kFirst once a line comes.
class ReadBackoff {
 public:
  static constexpr std::chrono::microseconds kFirst{10};
  static constexpr std::chrono::microseconds kLongest{1000};

  // An empty read: the pause before the next one.
  std::chrono::microseconds miss() {
    const std::chrono::microseconds pause = next_;
    next_ = std::min(next_ * 2, kLongest);
    return pause;
  }
  // A line came.
  void hit() { next_ = kFirst; }

 private:
  std::chrono::microseconds next_ = kFirst;
};

}  // namespace tolvane
