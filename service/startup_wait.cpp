#include "service/startup_wait.h"

namespace tolvane {

void waitForPreviousInstance(const MessagePump& pump, const MillisecondClock& clock) {
  // "More than" the wait: a whole millisecond beyond it.
  WaitMs(kStartupWaitMs + 1, pump, clock);
}

}  // namespace tolvane
