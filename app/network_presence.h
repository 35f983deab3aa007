#pragma once

// Whether the system reports an internet connection, from Qt's network information (its reachability).
// The system's backend is loaded once, at the first call with an application object; without one, or
// when no backend loads or it cannot tell, the machine counts as online (service/network_reachability.h).
// Main thread.
namespace tolvane {

bool systemNetworkPresent();

}  // namespace tolvane
