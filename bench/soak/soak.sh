#!/usr/bin/env bash
# Soaks the dev build of kwellor under its own Xvfb: the sample town and a generated
# 1M-triangle world, each for half of the given time. Usage: bench/soak/soak.sh [SECONDS]
# (1800 by default). Run it niced on a shared machine: nice -n 10 bench/soak/soak.sh
set -euo pipefail
seconds=${1:-1800}
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=${KWELLOR_SOAK_BIN:-$root/build/dev/bin}  # a copy keeps rebuilds out of a running soak
work="$root/build/soak"
mkdir -p "$work"
[ -f "$work/big.wld" ] || "$bin/worldgen" big 1000000 "$work/big.wld"

display=""
for n in $(seq 130 170); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp +extension XTEST >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display

"$bin/kwellor_soak" "$bin/kwellor" $((seconds / 2)) "$root/worlds/town/town.wld" "$work/big.wld"
