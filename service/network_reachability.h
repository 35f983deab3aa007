#pragma once

#include <optional>

// The network lamp "СЕТЬ" and the support button follow what the system reports about the internet.
namespace tolvane {

// What the system's network information reports, in the order of reach.
enum class NetworkReachability { kUnknown, kDisconnected, kLocal, kSite, kOnline };

// Network present: the internet is reported reachable. A local or site network alone is no way to the
// supplier. When nothing can tell (no report, or an unknown one) the machine counts as online, so a
// missing network service does not hide the support button from a machine that has a connection.
constexpr bool networkPresent(std::optional<NetworkReachability> reported) {
  return !reported || *reported == NetworkReachability::kUnknown || *reported == NetworkReachability::kOnline;
}

}  // namespace tolvane
