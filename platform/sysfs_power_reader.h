#pragma once

#include <filesystem>

#include "platform/power_status.h"

namespace tolvane {

// Power status from the kernel's power-supply class: supplies of type "Mains" (or "USB") tell through
// "online" whether external power is there, "Battery" and "UPS" supplies give "capacity" in percent.
// Supplies of peripherals (scope "Device", e.g. a wireless mouse) are ignored. With several batteries
// the charge is their mean. No supply information at all means the status is unknown.
// read() only reads files; it may be called from any thread.
class SysfsPowerReader : public PowerStatusReader {
 public:
  explicit SysfsPowerReader(std::filesystem::path root = "/sys/class/power_supply");

  PowerStatus read() override;

 private:
  std::filesystem::path root_;
};

}  // namespace tolvane
