#pragma once

#include "service/wait_ms.h"

namespace tolvane {

// The toolkit's message processing for WaitMs and the start-up wait: processes the pending events,
// and when there are none waits for the next one, at most maxWaitMs.
MessagePump qtMessagePump();

}  // namespace tolvane
