#!/usr/bin/env bash
# What a world at the format's limits costs: writes worlds at (and one over) the polygon and
# vertex limits and at the texture pixel budget, and prints the time and peak memory of
# checking each (parse and textures) and of rendering it once (the whole engine load).
# Usage: bench/limits/limits.sh [OUT_DIR] (build/limits by default; needs about 2 GB of disk).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool="$root/build/dev/bin/zelnary-tool"
out=${1:-$root/build/limits}
mkdir -p "$out/bitmaps"
polygons=16777216

# Triangles and quads with one-digit coordinates, the densest text a polygon can have.
write_polys() {  # COUNT VERTICES FILE
  awk -v n="$1" -v k="$2" 'BEGIN {
    print "zelnary-world 1"
    print "camera c at=5,5,20 dir=0,0,-1"
    for (i = 0; i < n; ++i) {
      a = i % 10; b = int(i / 10) % 10
      if (k == 3) printf "poly : %d %d 0;%d %d 1;%d %d 2\n", a, b, 9 - a, b, a, 9 - b
      else printf "poly : %d %d 0;%d %d 1;%d %d 2;%d %d 3\n", a, b, 9 - a, b, 9 - a, 9 - b, a, 9 - b
    }
  }' >"$3"
}
[ -f "$out/polygons.wld" ] || write_polys $polygons 3 "$out/polygons.wld"
[ -f "$out/polygons_plus_one.wld" ] || write_polys $((polygons + 1)) 3 "$out/polygons_plus_one.wld"
[ -f "$out/vertices.wld" ] || write_polys $polygons 4 "$out/vertices.wld"

# Four 8192 x 8192 textures fill the world's 256-Mpixel budget (an uncompressed 24-bit BMP
# each, 192 MiB), and sixteen tiny PNG files each claim the same size.
if [ ! -f "$out/bitmaps/big.bmp" ]; then
  {
    printf 'BM\x36\x00\x00\x0c\x00\x00\x00\x00\x36\x00\x00\x00'                    # file header
    printf '\x28\x00\x00\x00\x00\x20\x00\x00\x00\x20\x00\x00\x01\x00\x18\x00'      # 8192 x 8192
    printf '\x00\x00\x00\x00\x00\x00\x00\x0c\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x00\x00\x00\x00'
    head -c $((8192 * 8192 * 3)) /dev/zero
  } >"$out/bitmaps/big.bmp"
fi
printf '\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x20\x00\x00\x00\x20\x00\x08\x02\x00\x00\x00\xfd\xc8\x5d\x0e\x00\x00\x00\x0cIDAT\x78\x9c\x63\x60\x60\x60\x00\x00\x00\x04\x00\x01\xf6\x17\x38\x55\x00\x00\x00\x00IEND\xaeB`\x82' >"$out/bitmaps/tiny.png"  # 69 bytes
{
  echo "zelnary-world 1"
  for i in 1 2 3 4; do echo "texture t$i big.bmp"; done
  echo "poly tex=t1 : 0 0 0 ; 1 0 0 ; 0 1 0"
} >"$out/textures.wld"
{
  echo "zelnary-world 1"
  for i in $(seq 16); do echo "texture t$i tiny.png"; done
} >"$out/tiny_textures.wld"

measure() {  # LABEL COMMAND...
  local label=$1
  shift
  /usr/bin/time -f "%e s %M KiB" -o "$out/time.txt" "$@" >/dev/null 2>"$out/stderr.txt" || true
  printf '%-34s %s  (%s)\n' "$label" "$(cat "$out/time.txt" | tail -1)" \
    "$(grep -v '^WORLD\|texture' "$out/stderr.txt" | head -1 | cut -c1-60)"
}
for w in polygons polygons_plus_one vertices textures tiny_textures; do
  measure "check $w" "$tool" check "$out/$w.wld"
done
for w in polygons vertices textures; do
  measure "render $w" "$tool" render "$out/$w.wld" --camera 1 --size 64x48 --out "$out/$w.png"
done
