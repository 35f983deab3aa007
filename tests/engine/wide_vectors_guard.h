#pragma once

#include "engine/wide_vectors.h"

namespace tolvane {

// Sets whether the AVX2 block loops run for one pass of a test and switches them back on after,
// also when the pass stops at a failed assertion.
class WideVectorsGuard {
 public:
  explicit WideVectorsGuard(bool on) { setWideVectors(on); }
  ~WideVectorsGuard() { setWideVectors(true); }
  WideVectorsGuard(const WideVectorsGuard&) = delete;
  WideVectorsGuard& operator=(const WideVectorsGuard&) = delete;
};

}  // namespace tolvane
