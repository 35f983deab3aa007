#pragma once

#include <cstdint>

#include "service/wait_ms.h"

namespace tolvane {

// Every start waits this long, processing messages, so that an instance that is just ending (restart,
// self-update) has left before this one touches the cameras and boards.
inline constexpr uint32_t kStartupWaitMs = 3000;

// Returns once more than kStartupWaitMs milliseconds have passed by clock, having run pump until then.
// A wrap of the 32-bit clock counts as time passing.
void waitForPreviousInstance(const MessagePump& pump, const MillisecondClock& clock = SteadyMilliseconds);

}  // namespace tolvane
