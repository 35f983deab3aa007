#!/usr/bin/env bash
# Installs what is missing, builds and starts TolvaneGrain (simulated hardware by default).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
# The operator program is not built yet: show what the engineer tool can do.
exec build/bin/tolvane-tool --help
