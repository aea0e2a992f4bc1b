#!/usr/bin/env bash
# Every file of Debian's assimp test models that imports converts to a world that loads.
# Usage: round_trip_all.sh ZELNARY_TOOL MODELS_DIR WORK_DIR
set -uo pipefail
tool=$1 models=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
n=0 imported=0 failed=0
while IFS= read -r -d '' model; do
  n=$((n + 1))
  out="$work/$n"
  timeout 120 "$tool" import "$model" "$out" >/dev/null 2>&1 || continue
  imported=$((imported + 1))
  for world in "$out"/*.wld; do
    if ! timeout 120 "$tool" check "$world" >"$out.check" 2>&1; then
      echo "does not load: $world (from $model): $(tail -1 "$out.check")"
      failed=$((failed + 1))
    fi
  done
done < <(find "$models" -type f ! -path '*invalid*' ! -iname '*.png' ! -iname '*.jpg' \
  ! -iname '*.jpeg' ! -iname '*.bmp' ! -iname '*.tga' ! -iname '*.dds' ! -iname '*.txt' \
  ! -iname '*.mtl' ! -iname '*.bin' -print0 | sort -z)
echo "$imported of $n files imported; $failed converted worlds do not load"
[ "$imported" -gt 100 ] && [ "$failed" -eq 0 ]
