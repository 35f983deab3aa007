#!/usr/bin/env bash
# Installs the built program into a machine folder of its own, the way a machine is set up: the
# program file "TolvaneGrain" and, for a new machine only, the simulated machine's settings as
# "TolvaneGrain.ini". A machine's own settings are never overwritten. Prints the folder.
#   scripts/install-machine.sh [FOLDER]        default: ~/TolvaneGrain-machine
# TOLVANE_PROGRAM names another program file to install (default: build/bin/TolvaneGrain).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="${TOLVANE_PROGRAM:-$root/build/bin/TolvaneGrain}"
settings="$root/machine/simulated.ini"
folder="${1:-$HOME/TolvaneGrain-machine}"

if [ ! -f "$program" ] || [ ! -x "$program" ]; then
  echo "install-machine: no built program at $program (build it first)" >&2
  exit 1
fi
if [ -e "$folder" ] && [ ! -d "$folder" ]; then
  echo "install-machine: $folder exists and is not a folder" >&2
  exit 1
fi
mkdir -p "$folder"
folder="$(cd "$folder" && pwd)"

# Copy beside, then rename over: a running instance keeps its file, and a cut-off copy never
# stands under the program's name.
tmp="$folder/.TolvaneGrain.install.$$"
trap 'rm -f "$tmp"' EXIT
cp "$program" "$tmp"
chmod 755 "$tmp"
mv -f "$tmp" "$folder/TolvaneGrain"
trap - EXIT

if [ ! -e "$folder/TolvaneGrain.ini" ] && [ ! -L "$folder/TolvaneGrain.ini" ]; then
  if [ -f "$settings" ]; then
    tmp="$folder/.TolvaneGrain.ini.install.$$"
    trap 'rm -f "$tmp"' EXIT
    cp "$settings" "$tmp"
    chmod 644 "$tmp"
    # No-clobber rename: a settings file that appeared meanwhile stays.
    mv -n "$tmp" "$folder/TolvaneGrain.ini"
    rm -f "$tmp"
    trap - EXIT
  else
    echo "install-machine: $settings is missing; the program starts with its defaults" >&2
  fi
fi

echo "$folder"
