#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test.
#   ./test.sh                  normal build, all tests
#   ./test.sh --sanitize thread   core tests under ThreadSanitizer (build-tsan/)
#   ./test.sh --sanitize address  core tests under ASan+UBSan (build-asan/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

sanitize=none
if [ "${1:-}" = "--sanitize" ]; then
  sanitize="${2:?--sanitize needs thread or address}"
fi

scripts/install-deps.sh

case "$sanitize" in
  none)    dir=build;      label_args=(); extra=() ;;
  thread)  dir=build-tsan; label_args=(-L core); extra=(-DTOLVANE_BUILD_UI=OFF -DTOLVANE_BUILD_BENCH=OFF) ;;
  address) dir=build-asan; label_args=(-L core); extra=(-DTOLVANE_BUILD_UI=OFF -DTOLVANE_BUILD_BENCH=OFF) ;;
  *) echo "unknown sanitizer: $sanitize" >&2; exit 2 ;;
esac

jobs="$(nproc)"
cmake -S . -B "$dir" -G Ninja -DTOLVANE_SANITIZE="$sanitize" "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${label_args[@]}"
