#pragma once

namespace tolvane {

// What the machine's power supply reports. When known is false the source could not tell (no UPS
// server, no power supply information, an answer that made no sense): callers must treat that as "no
// news" and never act on it, in particular never power the machine off because of it.
struct PowerStatus {
  bool known = false;
  bool onMains = true;      // meaningful only when known
  bool lowBattery = false;  // the UPS itself flags its battery as low
  int batteryPercent = -1;  // 0..100, or -1 when the charge is not reported

  bool batteryKnown() const { return batteryPercent >= 0; }
  bool operator==(const PowerStatus&) const = default;
};

// A source of the power status. read() never throws and returns within a bounded time; the
// implementations say whether they may be called from several threads.
class PowerStatusReader {
 public:
  virtual ~PowerStatusReader() = default;
  virtual PowerStatus read() = 0;
};

}  // namespace tolvane
