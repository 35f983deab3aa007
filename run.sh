#!/usr/bin/env bash
# Installs what is missing, builds TolvaneGrain, installs it into a machine folder of its own
# (~/TolvaneGrain-machine, or TOLVANE_MACHINE_DIR) with the simulated machine's settings, and starts it
# there. The default machine is fully simulated: cameras, boards and UPS; power-off is only recorded.
# TOLVANE_CAMERAS=colour (or single-tone) sets the machine's camera kind (scripts/install-machine.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target TolvaneGrain tolvane-tool
folder="$(scripts/install-machine.sh "${TOLVANE_MACHINE_DIR:-$HOME/TolvaneGrain-machine}")"
echo "Machine folder: $folder"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$folder/TolvaneGrain"
fi
if command -v xvfb-run >/dev/null 2>&1; then
  echo "No display: starting under Xvfb (1024x768). Use a desktop session or 'ssh -X' to see the window."
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$folder/TolvaneGrain"
fi
echo "No display found. Start TolvaneGrain from a desktop session (DISPLAY set), or install Xvfb" >&2
echo "(sudo apt-get install xvfb) to run it without a screen." >&2
exit 1
