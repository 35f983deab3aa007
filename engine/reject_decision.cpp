#include "engine/reject_decision.h"

namespace tolvane {

namespace {

// Percent values are fractional; every other value converts to double exactly, so comparing in
// double is the same as comparing the integers.
class Decision {
 public:
  explicit Decision(bool andMode) : andMode_(andMode), reject_(andMode) {}

  void condition(bool enabled, double value, int threshold, bool above) {
    if (!enabled) return;
    const double t = threshold;
    if (andMode_) {
      if (above ? !(value >= t) : !(value <= t)) reject_ = false;
    } else {
      if (above ? value > t : value < t) reject_ = true;
    }
  }
  bool reject() const { return reject_; }

 private:
  bool andMode_;
  bool reject_;
};

double colourValue(const ObjectRecord& r, int colourClass, bool percent) {
  const double count = r.ClassCount[colourClass];
  return percent ? 100.0 * count / r.Mass : count;
}

}  // namespace

bool IsReject(ObjectRecord& record, const SorterSettings& s) {
  if (record.Mass == 0) record.Mass = 1;
  const bool andMode = s.ifAND;
  Decision d(andMode);
  d.condition(s.enMassa, record.Mass, s.ifMassa, s.bMassa);
  d.condition(s.enMassa2, record.Mass, s.ifMassa2, s.bMassa2);
  d.condition(s.enP1, colourValue(record, 1, s.tipP1), s.ifP1, s.bP1);
  d.condition(s.enP2, colourValue(record, 2, s.tipP2), s.ifP2, s.bP2);
  d.condition(s.enLength, andMode ? record.Length : record.LengthMean, s.ifLength, s.bLength);
  d.condition(s.enWeight, andMode ? record.Width : record.WidthMean, s.ifWeight, s.bWeight);
  d.condition(s.enEks, record.Eks, s.ifEks, s.bEks);
  d.condition(s.enForma, record.Forma, s.ifForma, s.bForma);
  return d.reject();
}

}  // namespace tolvane
