#pragma once

#include <cstdint>
#include <functional>

// A wait that keeps the operator interface responsive. The toolkit's message processing and the
// millisecond clock are passed in, so this stays free of the toolkit and can be tested without timing.
namespace tolvane {

// Processes the pending window messages; it may block for at most maxWaitMs waiting for one.
using MessagePump = std::function<void(uint32_t maxWaitMs)>;
// A free-running millisecond clock that wraps at 2^32, like the system's millisecond clock.
using MillisecondClock = std::function<uint32_t()>;

// Milliseconds of the monotonic system clock, wrapping at 2^32.
uint32_t SteadyMilliseconds();

// Returns after n milliseconds by clock, having run pump at least once and until then. Elapsed time is
// the unsigned difference of two readings, so a wrap of the clock does not end the wait early.
void WaitMs(uint32_t n, const MessagePump& pump, const MillisecondClock& clock = SteadyMilliseconds);

// Without a message loop (tools, tests): sleeps in short steps.
void WaitMs(uint32_t n);

}  // namespace tolvane
