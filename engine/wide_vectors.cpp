#include "engine/wide_vectors.h"

#include <atomic>

namespace tolvane {

namespace {

bool processorHasAvx2() {
#if defined(__x86_64__)
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
#else
  return false;
#endif
}

std::atomic<bool> wideSwitchedOff{false};

}  // namespace

bool wideVectors() { return processorHasAvx2() && !wideSwitchedOff.load(std::memory_order_relaxed); }

void setWideVectors(bool on) { wideSwitchedOff.store(!on, std::memory_order_relaxed); }

}  // namespace tolvane
