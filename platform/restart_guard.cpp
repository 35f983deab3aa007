#include "platform/restart_guard.h"

#include <charconv>
#include <ctime>
#include <vector>

namespace tolvane {

RestartDecision RestartGuard::decide(std::string_view history, std::int64_t nowMs) {
  std::vector<std::int64_t> recent;
  while (!history.empty()) {
    const std::size_t comma = history.find(',');
    const std::string_view entry = history.substr(0, comma);
    history = comma == std::string_view::npos ? std::string_view{} : history.substr(comma + 1);
    std::int64_t at = 0;
    const auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), at);
    if (entry.empty() || error != std::errc{} || end != entry.data() + entry.size() || at < 0) continue;
    if (at > nowMs || nowMs - at >= kWindow.count()) continue;
    recent.push_back(at);
  }

  RestartDecision decision;
  decision.recentRestarts = static_cast<int>(recent.size());
  decision.restart = decision.recentRestarts < kMaxRestarts;
  if (decision.restart) {
    for (const std::int64_t at : recent) decision.history += std::to_string(at) + ',';
    decision.history += std::to_string(nowMs);
  }
  return decision;
}

std::int64_t RestartGuard::nowMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace tolvane
