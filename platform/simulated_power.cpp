#include "platform/simulated_power.h"

#include <algorithm>

namespace tolvane {

PowerStatus SimulatedPower::read() {
  std::lock_guard lock(mutex_);
  ++reads_;
  return status_;
}

void SimulatedPower::setOnMains() {
  std::lock_guard lock(mutex_);
  status_.known = true;
  status_.onMains = true;
  status_.lowBattery = false;
}

void SimulatedPower::setOnBattery(int batteryPercent, bool lowBattery) {
  std::lock_guard lock(mutex_);
  status_.known = true;
  status_.onMains = false;
  status_.lowBattery = lowBattery;
  status_.batteryPercent = std::clamp(batteryPercent, 0, 100);
}

void SimulatedPower::setUnknown() {
  std::lock_guard lock(mutex_);
  status_ = PowerStatus{};
}

void SimulatedPower::setStatus(const PowerStatus& status) {
  std::lock_guard lock(mutex_);
  status_ = status;
}

int SimulatedPower::readCount() const {
  std::lock_guard lock(mutex_);
  return reads_;
}

}  // namespace tolvane
