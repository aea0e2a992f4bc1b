#!/usr/bin/env bash
# The time from the command to a 1920x1080 picture on disk, KWELLOR's offscreen render against
# Debian's f3d viewer (Mesa's software OpenGL on a private Xvfb display), interleaved runs on
# the same glTF files: the 2CylinderEngine test model and generated terrains of 1M and 4M
# triangles. Also times the 16.7M-triangle world at the format's polygon limit (KWELLOR only,
# drawn at 64x48 as bench/limits does, so that the load dominates) with its peak memory.
# Prints the median of RUNS runs of each, and the load average.
# Usage: bench/first_picture/compare.sh [RUNS] (3 by default). Needs the release build
# (scripts/build.sh release zelnary-tool zelnary-import make_terrain), f3d, Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=${KWELLOR_BIN:-$root/build/release/bin}
runs=${1:-3}
out=${OUT_DIR:-$root/build/first_picture}
mkdir -p "$out"
engine=/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb
for n in 1000000 4000000; do
  [ -f "$out/terrain_$n.glb" ] || "$bin/make_terrain" $n "$out/terrain_$n.glb"
done
if [ ! -f "$out/world_16m.wld" ]; then
  awk -v n=16777216 'BEGIN {
    print "zelnary-world 1"
    print "camera c at=5,5,20 dir=0,0,-1"
    for (i = 0; i < n; ++i) {
      a = i % 10; b = int(i / 10) % 10
      printf "poly : %d %d 0;%d %d 1;%d %d 2\n", a, b, 9 - a, b, a, 9 - b
    }
  }' >"$out/world_16m.wld"
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x1080x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1
export DISPLAY=$display

timed() {  # prints "SECONDS KIB" of one run of the command
  /usr/bin/time -f "%e %M" -o "$out/time.txt" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  cat "$out/time.txt"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-22s %10s %10s %7s\n' model kwellor_s f3d_s ratio
for model in "$engine" "$out/terrain_1000000.glb" "$out/terrain_4000000.glb"; do
  ours=() theirs=()
  for ((i = 0; i < runs; ++i)); do
    ours+=("$(timed "$bin/zelnary-tool" render "$model" --camera 1 --size 1920x1080 \
      --out "$out/ours.png" | cut -d' ' -f1)")
    theirs+=("$(timed f3d "$model" --output "$out/f3d.png" --resolution 1920,1080 | cut -d' ' -f1)")
  done
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${theirs[@]}" | median)
  printf '%-22s %10s %10s %7.2f\n' "$(basename "$model")" "$a" "$b" "$(echo "$a / $b" | bc -l)"
done
times=() peaks=()
for ((i = 0; i < runs; ++i)); do
  read -r s k < <(timed "$bin/zelnary-tool" render "$out/world_16m.wld" --camera 1 \
    --size 64x48 --out "$out/ours.png")
  times+=("$s")
  peaks+=("$k")
done
printf '%-22s %10s s, peak %s MiB\n' world_16m.wld "$(printf '%s\n' "${times[@]}" | median)" \
  $(($(printf '%s\n' "${peaks[@]}" | median) / 1024))
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
