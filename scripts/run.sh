#!/usr/bin/env bash
# Sets up, builds and starts the window on the simulated board. Extra arguments go to tapcheck
# (for example --port=ppdev:/dev/parport0 for a real cable instead of the board).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/bootstrap.sh"
args=("$@")
((${#args[@]})) || args=(--simulate)
exec "$here/build/src/ui/tapcheck" "${args[@]}"
