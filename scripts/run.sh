#!/usr/bin/env bash
# Sets up, builds and starts the window on the simulated board. Extra arguments go to tapcheck
# (for example --port=ppdev:/dev/parport0 for a real cable instead of the board).
#
# The window works in its start directory (where fl4_trap.bin is read and intRom.bin written).
# On the simulated board that is build/sim, which holds the project's placeholder agent image;
# with a real cable, run from a directory holding your board's real agent image instead.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/bootstrap.sh"
args=("$@")
((${#args[@]})) || args=(--simulate)
cd "$here/build/sim"
exec "$here/build/src/ui/tapcheck" "${args[@]}"
