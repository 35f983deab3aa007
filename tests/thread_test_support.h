#pragma once

// Helpers for tests that run real threads.

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace tolvane::test {

// Polls until the condition holds; false after a minute, so a hung thread fails the test instead of
// the whole run.
inline bool waitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

inline int threadCountOfProcess() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

}  // namespace tolvane::test
