#include "service/network_reachability.h"

#include <gtest/gtest.h>

#include <optional>

namespace tolvane {
namespace {

TEST(NetworkReachability, OnlyTheInternetOrAnUnknownStateCountsAsPresent) {
  struct Case {
    const char* name;
    std::optional<NetworkReachability> reported;
    bool present;
  };
  const Case cases[] = {
      {"no backend", std::nullopt, true},
      {"backend cannot tell", NetworkReachability::kUnknown, true},
      {"disconnected", NetworkReachability::kDisconnected, false},
      {"local network only", NetworkReachability::kLocal, false},
      {"site network only", NetworkReachability::kSite, false},
      {"internet", NetworkReachability::kOnline, true},
  };
  for (const Case& c : cases) EXPECT_EQ(networkPresent(c.reported), c.present) << c.name;
}

}  // namespace
}  // namespace tolvane
