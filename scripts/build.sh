#!/usr/bin/env bash
# Configures and builds one preset (dev unless named): everything, or only the targets named
# after the preset.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
shift || true
scripts/deps.sh
cmake --preset "$preset" >/dev/null
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
cmake --build --preset "$preset" "${targets[@]}"
