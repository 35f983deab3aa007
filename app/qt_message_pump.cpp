#include "app/qt_message_pump.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace tolvane {

MessagePump qtMessagePump() {
  return [](uint32_t maxWaitMs) {
    QEventLoop loop;
    if (maxWaitMs == 0) {
      loop.processEvents(QEventLoop::AllEvents);
      return;
    }
    // The timer wakes a wait for more events when nothing else arrives in time.
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(static_cast<int>(std::min<uint32_t>(maxWaitMs, 1000)));
    loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  };
}

}  // namespace tolvane
