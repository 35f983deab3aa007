#!/usr/bin/env bash
# Installs the built program into a machine folder of its own, the way a machine is set up: the
# program file "TolvaneGrain" and, for a new machine only, the simulated machine's settings as
# "TolvaneGrain.ini". A machine's own settings are never overwritten. Prints the folder.
#   scripts/install-machine.sh [FOLDER]        default: ~/TolvaneGrain-machine
# TOLVANE_PROGRAM names another program file to install (default: build/bin/TolvaneGrain).
# TOLVANE_CAMERAS=single-tone|colour sets "cameras" in the folder's TolvaneGrain.platform (its other
# lines stay); a new colour machine starts on the simulated machine's colour program (program 2).
# Without it the platform file is left as it is.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="${TOLVANE_PROGRAM:-$root/build/bin/TolvaneGrain}"
settings="$root/machine/simulated.ini"
folder="${1:-$HOME/TolvaneGrain-machine}"
cameras="${TOLVANE_CAMERAS:-}"

case "$cameras" in
  "" | single-tone | colour) ;;
  *)
    echo "install-machine: TOLVANE_CAMERAS must be single-tone or colour, not \"$cameras\"" >&2
    exit 1
    ;;
esac

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

if [ -n "$cameras" ]; then
  platform="$folder/TolvaneGrain.platform"
  if [ -e "$platform" ] && [ ! -f "$platform" ]; then
    echo "install-machine: $platform exists and is not a file" >&2
    exit 1
  fi
  tmp="$folder/.TolvaneGrain.platform.install.$$"
  trap 'rm -f "$tmp"' EXIT
  {
    if [ -f "$platform" ]; then
      grep -v -E '^[[:space:]]*cameras[[:space:]]*=' "$platform" || true
    fi
    echo "cameras = $cameras"
  } >"$tmp"
  chmod 644 "$tmp"
  mv -f "$tmp" "$platform"
  trap - EXIT
fi

if [ ! -e "$folder/TolvaneGrain.ini" ] && [ ! -L "$folder/TolvaneGrain.ini" ]; then
  if [ -f "$settings" ]; then
    tmp="$folder/.TolvaneGrain.ini.install.$$"
    trap 'rm -f "$tmp"' EXIT
    cp "$settings" "$tmp"
    chmod 644 "$tmp"
    # Program 1 is the single-tone program: on colour cameras its brightness ranges would take the
    # plate for defects.
    if [ "$cameras" = colour ]; then
      sed -i 's/^ActiveProg=0\r$/ActiveProg=1\r/' "$tmp"
    fi
    # No-clobber rename: a settings file that appeared meanwhile stays.
    mv -n "$tmp" "$folder/TolvaneGrain.ini"
    rm -f "$tmp"
    trap - EXIT
  else
    echo "install-machine: $settings is missing; the program starts with its defaults" >&2
  fi
fi

echo "$folder"
