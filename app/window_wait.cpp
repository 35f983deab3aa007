#include "app/window_wait.h"

#include "app/qt_message_pump.h"
#include "service/wait_ms.h"

namespace tolvane {

void windowWaitMs(std::uint32_t ms) { WaitMs(ms, qtMessagePump()); }

}  // namespace tolvane
