#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a layer it must not know. The host layers
# stand in the order ui, win, cli -> app -> ops -> jtag -> port -> core (ui the Qt window, win the
# native Windows one): each may include itself and what stands below it. The simulated board sees
# only the port's register interface, the ST20 library and core's safe file access; the ST20
# library (instruction table, assembler, disassembler, core) is a leaf, and its command-line tools
# (src/st20/tools) add core's safe file access; src/app alone reaches the board, since it creates
# the simulated backend.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
    core) echo "core" ;;
    port) echo "port core" ;;
    jtag) echo "jtag port core" ;;
    ops) echo "ops jtag port core" ;;
    app) echo "app ops jtag port core board" ;;
    cli) echo "cli app ops jtag port core" ;;
    ui) echo "ui app ops jtag port core" ;;
    win) echo "win app ops jtag port core" ;;
    board) echo "board st20 port core" ;;
    st20) echo "st20" ;;
    st20/tools) echo "st20 core" ;;
    *) echo "" ;;
    esac
}

status=0
while IFS= read -r file; do
    layer=${file#src/}
    layer=${layer%%/*}
    case "$file" in src/st20/tools/*) layer=st20/tools ;; esac
    permitted=$(allowed "$layer")
    if [ -z "$permitted" ]; then
        echo "check_layers: $file: folder src/$layer has no place in the layer order" >&2
        status=1
        continue
    fi
    while IFS= read -r target; do
        case " $permitted " in
        *" $target "*) ;;
        *)
            echo "check_layers: $file includes $target/, which src/$layer must not know" >&2
            status=1
            ;;
        esac
    done < <(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z0-9_]*\)/.*|\1|p' "$file")
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

# The Qt window is the only place that knows Qt.
if grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' src --include='*.h' --include='*.cpp' |
    grep -v '^src/ui/' >&2; then
    echo "check_layers: the files above include Qt outside src/ui" >&2
    status=1
fi

if [ "$status" -eq 0 ]; then echo "check_layers: every include follows the layer order"; fi
exit "$status"
