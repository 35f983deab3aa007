#!/usr/bin/env bash
# Runs a simulated UPS for trying the program's power supervision by hand: the dummy-ups driver of
# Network UPS Tools and upsd, as the current user, on loopback, with their own folder.
#   scripts/start-test-upsd.sh start DIR PORT [STATUS [CHARGE]]   e.g. start /tmp/ups 34930 "OB DISCHRG" 91
#   scripts/start-test-upsd.sh stop DIR                            ends only what "start" started
# The UPS is then "ups@127.0.0.1:PORT" (its values appear about a second after start). To change its
# state, stop and start again.
set -euo pipefail

find_program() {
  for dir in /lib/nut /usr/lib/nut /usr/libexec/nut; do
    [ -x "$dir/$1" ] && { echo "$dir/$1"; return 0; }
  done
  echo "$1 not found: install Debian's nut-server" >&2
  return 1
}

stop_pid() {
  local file="$1" pid
  [ -f "$file" ] || return 0
  pid="$(cat "$file")"
  # Only a process that still runs the program we started.
  if [ -n "$pid" ] && grep -q "$2" "/proc/$pid/cmdline" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$file"
}

case "${1:-}" in
  start)
    dir="${2:?folder missing}"; port="${3:?port missing}"
    status="${4:-OL}"; charge="${5:-100}"
    driver="$(find_program dummy-ups)"; upsd="$(find_program upsd)"
    mkdir -p "$dir"; dir="$(cd "$dir" && pwd)"
    printf '[ups]\n  driver = dummy-ups\n  port = %s/ups.dev\n  desc = "test UPS"\n' "$dir" > "$dir/ups.conf"
    printf 'ups.status: %s\nbattery.charge: %s\n' "$status" "$charge" > "$dir/ups.dev"
    printf 'LISTEN 127.0.0.1 %s\n' "$port" > "$dir/upsd.conf"
    : > "$dir/upsd.users"; chmod 600 "$dir/upsd.users"
    as_user=()
    [ "$(id -u)" -eq 0 ] && as_user=(-u root)
    export NUT_CONFPATH="$dir" NUT_STATEPATH="$dir" NUT_ALTPIDPATH="$dir"
    "$driver" -a ups -F "${as_user[@]}" >"$dir/driver.log" 2>&1 &
    echo $! > "$dir/driver.started"
    for _ in $(seq 100); do [ -S "$dir/dummy-ups-ups" ] && break; sleep 0.1; done
    "$upsd" -F "${as_user[@]}" >"$dir/upsd.log" 2>&1 &
    echo $! > "$dir/upsd.started"
    for _ in $(seq 100); do
      (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && { echo "ups@127.0.0.1:$port"; exit 0; }
      sleep 0.1
    done
    echo "upsd did not come up; see $dir/upsd.log" >&2
    exit 1
    ;;
  stop)
    dir="${2:?folder missing}"
    stop_pid "$dir/upsd.started" upsd
    stop_pid "$dir/driver.started" dummy-ups
    ;;
  *)
    sed -n '2,8p' "$0" >&2
    exit 2
    ;;
esac
