#pragma once

#include <cstdint>

namespace tolvane {

// WaitMs(ms) over the window's message loop. Declared on its own because service/wait_ms.h and
// engine/camera_thread.h both name a MillisecondClock, so a file that sees the machine cannot include
// the former.
void windowWaitMs(std::uint32_t ms);

}  // namespace tolvane
