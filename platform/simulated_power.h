#pragma once

#include <mutex>

#include "platform/power_status.h"

namespace tolvane {

// Simulated UPS: mains on and a full battery until a test or the engineer's tool says otherwise.
// Thread-safe.
class SimulatedPower : public PowerStatusReader {
 public:
  PowerStatus read() override;

  void setOnMains();
  // Mains lost; the UPS runs on its battery at the given charge (clamped to 0..100).
  void setOnBattery(int batteryPercent, bool lowBattery = false);
  // The source can no longer tell (e.g. the UPS link is down).
  void setUnknown();
  // Any status, taken as given.
  void setStatus(const PowerStatus& status);

  int readCount() const;

 private:
  mutable std::mutex mutex_;
  PowerStatus status_{.known = true, .onMains = true, .lowBattery = false, .batteryPercent = 100};
  int reads_ = 0;
};

}  // namespace tolvane
