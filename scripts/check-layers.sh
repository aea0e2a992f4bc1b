#!/usr/bin/env bash
# Fails when a viewer folder includes a header from its own layer or above. The layers, from
# the bottom: the two seams (engine, platform); cameras, render_options; navigation; app.
# Includes only point down (or within a folder), so the graph has no cycle. Prints the edges
# between folders unless --quiet.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A layer=([engine]=0 [platform]=0 [cameras]=1 [render_options]=1 [navigation]=2 [app]=3)
status=0
edges=$(
  for folder in "${!layer[@]}"; do
    grep -rHoE '^#include "[a-z_]+/' --include='*.h' --include='*.cpp' "$folder" |
      sed -E "s|^[^:]*:#include \"([a-z_]+)/|$folder \\1|" || true
  done | sort | uniq -c
)
while read -r count from to; do
  [ -z "$from" ] && continue
  [ -z "${layer[$to]+set}" ] && continue  # not a viewer folder (zelnary, tests)
  if [ "$from" != "$to" ] && [ "${layer[$to]}" -ge "${layer[$from]}" ]; then
    echo "wrong way: $from/ includes $to/ ($count)" >&2
    status=1
  fi
done <<<"$edges"
[ "${1:-}" = --quiet ] && exit $status
echo "$edges" | awk '$2 != $3 {print "  " $2 " -> " $3 " (" $1 ")"}'
exit $status
