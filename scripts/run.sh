#!/usr/bin/env bash
# Sets up, builds and starts the window on the simulated board. Extra arguments go to tapcheck
# (for example --port=ppdev:/dev/parport0 for a real cable instead of the board).
#
# The window works in its start directory (where fl4_trap.bin is read and intRom.bin written).
# That is build/sim, which holds the project's flash agents built from source (fl4_trap.bin for
# AMD/JEDEC chips, fl4_trap_intel.bin for Intel/Sharp ones, fl4_trap_sst.bin for SST ones); they
# serve the simulated board and a real one alike (see the README's agent section for which to use).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/bootstrap.sh"
args=("$@")
((${#args[@]})) || args=(--simulate)
cd "$here/build/sim"
exec "$here/build/src/ui/tapcheck" "${args[@]}"
