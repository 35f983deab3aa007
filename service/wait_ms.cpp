#include "service/wait_ms.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace tolvane {

uint32_t SteadyMilliseconds() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void WaitMs(uint32_t n, const MessagePump& pump, const MillisecondClock& clock) {
  const uint32_t start = clock();
  uint32_t elapsed = 0;
  do {
    pump(n - elapsed);
    elapsed = clock() - start;
  } while (elapsed < n);
}

void WaitMs(uint32_t n) {
  WaitMs(n, [](uint32_t maxWaitMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(maxWaitMs, 10)));
  });
}

}  // namespace tolvane
