#!/usr/bin/env bash
# Configures and builds one preset (dev unless named).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
scripts/deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
