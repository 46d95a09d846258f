#!/usr/bin/env bash
# Builds the benchmarks optimised (RelWithDebInfo: -O2 -g -DNDEBUG) in build-bench, runs all of
# them and prints one table: the TAP engine's cost per clock, the simulated board's clock rate,
# wall and CPU time of the commands on the board, the window's longest stretch without events,
# log appends on a long log, and peak memory of tapcheck-cli and of the window during a 2 MiB
# "Write from File" and "Read to File". Each figure stands next to its target; see
# docs/performance.md.
#
#   bench/run.sh [--no-build] [--no-gui]
#
# BENCH_DIR overrides the build directory, BENCH_FILTER narrows tapster_bench's benchmarks (a
# Google Benchmark regex). The raw results stay in $BENCH_DIR/bench-results. Exit code 1 when a
# target is missed or could not be measured.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_DIR:-$here/build-bench}"
out="$build/bench-results"
filter="${BENCH_FILTER:-.}"
do_build=1
gui=1
for a in "$@"; do
    case "$a" in
    --no-build) do_build=0 ;;
    --no-gui) gui=0 ;;
    *) echo "usage: bench/run.sh [--no-build] [--no-gui]" >&2; exit 2 ;;
    esac
done

has_target() { ninja -C "$build" -t targets all 2>/dev/null | grep -q "^$1:"; }

if ((do_build)); then
    echo "== building in $build" >&2
    mkdir -p "$build"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" -DTAPSTER_TESTS=OFF \
        -DTAPSTER_WERROR=ON >"$build/configure.log" 2>&1 ||
        { cat "$build/configure.log" >&2; exit 1; }
    targets=(tapster_bench tapcheck-cli)
    if ((gui)) && has_target tapster_gui_bench; then
        targets+=(tapster_gui_bench tapster_gui_flash_run tapcheck)
    fi
    cmake --build "$build" -j2 --target "${targets[@]}" >&2
fi
mkdir -p "$out"
rm -f "$out"/*.json "$out/extra.txt"
awk '{print "load", $1}' /proc/loadavg >"$out/extra.txt"

echo "== tapster_bench (a minute or two)" >&2
"$build/bench/tapster_bench" --benchmark_filter="$filter" \
    --benchmark_out="$out/bench.json" --benchmark_out_format=json >"$out/bench.txt" 2>&1 ||
    { cat "$out/bench.txt" >&2; exit 1; }

# Peak RSS in KiB of a command, into extra.txt under `key`; its output goes to key.txt.
rss() {
    local key="$1"
    shift
    if /usr/bin/time -f "%M" -o "$out/$key.rss" "$@" >"$out/$key.txt" 2>&1 ||
        [[ "$key" == tapcheck_idle_rss_kib ]]; then # ended by timeout on purpose
        echo "$key $(tail -n 1 "$out/$key.rss")" >>"$out/extra.txt"
    else
        echo "$key failed; see $out/$key.txt" >&2
    fi
}

if [[ -x /usr/bin/time ]]; then
    echo "== tapcheck-cli: 2 MiB write and read-back" >&2
    work="$(mktemp -d)"
    trap 'rm -rf "$work"' EXIT
    python3 -c 'import sys; sys.stdout.buffer.write(bytes(((i * 13 + (i >> 12)) & 0xFF) for i in range(0x200000)))' >"$work/image.bin"
    cp "$build/sim/fl4_trap.bin" "$work/"
    (cd "$work" && rss cli_rss_kib "$build/src/cli/tapcheck-cli" \
        --simulate="$here/bench/fast_agent_board.json" start-agent \
        write-flash --from 60000000 --base 60000000 image.bin \
        read-to-file --from 60000000 --length 200000 back.bin)
    cmp -s "$work/image.bin" "$work/back.bin" || echo "tapcheck-cli: read-back differs" >&2
else
    echo "/usr/bin/time missing: no peak memory figures" >&2
fi

if ((gui)) && [[ -x "$build/bench/tapster_gui_bench" ]]; then
    export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
    echo "== Qt log benchmark and the window's flash run" >&2
    "$build/bench/tapster_gui_bench" --benchmark_out="$out/gui.json" \
        --benchmark_out_format=json >"$out/gui.txt" 2>&1 || cat "$out/gui.txt" >&2
    if [[ -x /usr/bin/time ]]; then
        rss gui_rss_kib "$build/bench/tapster_gui_flash_run"
        rss gui_idle_rss_kib "$build/bench/tapster_gui_flash_run" --idle
        (cd "$build/sim" && rss tapcheck_idle_rss_kib timeout 3 "$build/src/ui/tapcheck" --simulate)
    fi
fi

echo >&2
python3 "$here/bench/format_table.py" --extra "$out/extra.txt" "$out"/*.json
