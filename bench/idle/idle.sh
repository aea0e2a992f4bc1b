#!/usr/bin/env bash
# The viewer's CPU use with a still view: kwellor opens a world under its own Xvfb, at its
# first window size, and is left alone; after a warm-up its CPU time over the next seconds is
# printed as a share of one core. Usage: bench/idle/idle.sh WORLD [SECONDS]
# (KWELLOR_ENGINE picks the engine library, to compare two builds).
set -euo pipefail
world=$1
seconds=${2:-10}
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=${KWELLOR_IDLE_BIN:-$root/build/dev/bin}
display=""
for n in $(seq 171 199); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1700x1100x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $viewer $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
DISPLAY=$display "$bin/kwellor" "$world" >/dev/null 2>&1 &
viewer=$!
sleep 6 # the load, the first frames and the levels of detail
ticks() { awk '{print $14 + $15}' "/proc/$viewer/stat"; }
before=$(ticks)
sleep "$seconds"
after=$(ticks)
hz=$(getconf CLK_TCK)
echo "$(basename "$world"): $(( (after - before) * 100 / hz / seconds ))% of a core over ${seconds} s"
