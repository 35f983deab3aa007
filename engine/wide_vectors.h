#pragma once

namespace tolvane {

// Whether the AVX2 variants of the engine's block loops run: on where the processor has AVX2, unless
// switched off (tests check the SSE2 paths that way). Both ways give the same results. Any thread.
bool wideVectors();
void setWideVectors(bool on);

}  // namespace tolvane
