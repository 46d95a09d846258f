#!/usr/bin/env bash
# The remote_bitbang cable side by side with OpenOCD, on one tapcheck-board that this script
# starts: OpenOCD's drscan loop (100 scans of 2048 bits through BYPASS), Tapster's "Read to File"
# of 64 KiB and Tapster's hardware check, all over --port=remote. Each is reported per clock,
# with its ratio to OpenOCD's; the 4 KiB read and the hardware check also in seconds.
#
#   bench/remote_cable.sh [--no-build] [--before BUILD_DIR]
#
# BENCH_DIR overrides the build directory (default build-bench, as bench/run.sh). --before runs
# the 4 KiB read and the check also with BUILD_DIR's tapcheck-cli (an older build) on the same
# server. Per clock is the time the server was busy with the client (its connection time without
# the pauses of 50 ms or more the host makes on purpose, the 100 ms waits of the JTAG
# initialisation) divided by the TCK clocks the server counted. OpenOCD and bc are installed first
# when missing (scripts/install-packages.sh). Exit code 1 when a run fails; the 3x target is
# reported, not enforced.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BENCH_DIR:-$here/build-bench}"
do_build=1
before=""
while (($#)); do
    case "$1" in
    --no-build) do_build=0 ;;
    --before) before="${2:?--before needs a build directory}"; shift ;;
    *) echo "usage: bench/remote_cable.sh [--no-build] [--before BUILD_DIR]" >&2; exit 2 ;;
    esac
    shift
done
"$here/scripts/install-packages.sh" remote_cable openocd bc >&2
command -v openocd >/dev/null || { echo "openocd could not be installed" >&2; exit 1; }

if ((do_build)); then
    mkdir -p "$build"
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" -DTAPSTER_TESTS=OFF \
        -DTAPSTER_WERROR=ON >"$build/configure.log" 2>&1 ||
        { cat "$build/configure.log" >&2; exit 1; }
    cmake --build "$build" -j2 --target tapcheck-cli tapcheck-board >&2
fi
cli="$build/src/cli/tapcheck-cli"
board="$build/src/board/tapcheck-board"

work="$(mktemp -d)"
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
"$board" --listen 127.0.0.1:0 --stats >"$work/server.log" 2>&1 &
server=$!
port=""
for _ in $(seq 1 100); do
    port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$work/server.log")"
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { cat "$work/server.log" >&2; exit 1; }

# The server's account of the client that just left: "CLOCKS BUSY_SECONDS".
last_client() {
    for _ in $(seq 1 50); do
        local n
        n="$(grep -c 'client done' "$work/server.log" || true)"
        [ "$n" -ge "$1" ] && break
        sleep 0.1
    done
    grep 'client done' "$work/server.log" | sed -n "${1}p" |
        awk '{gsub(",", ""); print $4, $8 - $11}'
}
clients=0
wall=""
# run NAME COMMAND...: runs it, sets `wall` (seconds) and `clocks`, `busy` from the server.
run() {
    local name="$1"
    shift
    local t0 t1
    t0="$(date +%s.%N)"
    (cd "$work" && "$@" >"$work/$name.out" 2>&1) || { echo "$name failed:" >&2; tail "$work/$name.out" >&2; exit 1; }
    t1="$(date +%s.%N)"
    wall="$(echo "$t1 - $t0" | bc -l)"
    clients=$((clients + 1))
    read -r clocks busy < <(last_client "$clients")
}

echo "== OpenOCD drscan loop" >&2
run openocd timeout 120 openocd -c "adapter driver remote_bitbang" -c "remote_bitbang host 127.0.0.1" \
    -c "remote_bitbang port $port" -c "transport select jtag" \
    -c "jtag newtap st20 cpu -irlen 5 -expected-id 0x2d4cd041" -c "init" \
    -c "irscan st20.cpu 0x1f" \
    -c "set t0 [clock microseconds]; for {set i 0} {\$i < 100} {incr i} { drscan st20.cpu 2048 0 }; echo \"DRSCAN_US=[expr {[clock microseconds] - \$t0}]\"" \
    -c "shutdown"
drscan_us="$(sed -n 's/^DRSCAN_US=//p' "$work/openocd.out")"
[ -n "$drscan_us" ] || { cat "$work/openocd.out" >&2; exit 1; }
ocd_per_clock="$(echo "$drscan_us / 204800" | bc -l)"

echo "== Tapster: Read to File, 64 KiB" >&2
run read64 "$cli" "--port=remote:127.0.0.1:$port" read-to-file --from 7FFE0000 --length 10000 r64.bin
[ "$(stat -c %s "$work/r64.bin")" = 65536 ] || { echo "64 KiB read incomplete" >&2; exit 1; }
read64_per_clock="$(echo "$busy * 1000000 / $clocks" | bc -l)"
read64_wall="$wall"

echo "== Tapster: hardware check" >&2
run check "$cli" "--port=remote:127.0.0.1:$port" check
grep -qx "Long test result - -1" "$work/check.out" || { echo "check did not pass" >&2; exit 1; }
check_per_clock="$(echo "$busy * 1000000 / $clocks" | bc -l)"
check_wall="$wall"

run read4 "$cli" "--port=remote:127.0.0.1:$port" read-to-file --from 7FFE0000 --length 1000 r4.bin
read4_wall="$wall"

before_read4="n/a"
before_check="n/a"
if [ -n "$before" ]; then
    echo "== the older build: 4 KiB read and check" >&2
    run before_read4 "$before/src/cli/tapcheck-cli" "--port=remote:127.0.0.1:$port" \
        read-to-file --from 7FFE0000 --length 1000 b4.bin
    before_read4="$(printf '%.2f s' "$wall")"
    cmp -s "$work/r4.bin" "$work/b4.bin" || { echo "the two builds read different bytes" >&2; exit 1; }
    run before_check "$before/src/cli/tapcheck-cli" "--port=remote:127.0.0.1:$port" check
    before_check="$(printf '%.2f s' "$wall")"
fi

verdict() { # ratio
    if (($(echo "$1 <= 2" | bc -l))); then echo "within 2x (stretch met)";
    elif (($(echo "$1 <= 3" | bc -l))); then echo "within 3x (target met)";
    else echo "MISSED (target 3x)"; fi
}
r1="$(echo "$read64_per_clock / $ocd_per_clock" | bc -l)"
r2="$(echo "$check_per_clock / $ocd_per_clock" | bc -l)"
echo
echo "remote_bitbang on tapcheck-board, 127.0.0.1 (load $(cut -d' ' -f1 /proc/loadavg))"
printf '%-34s %12s %8s  %s\n' "run" "per clock" "ratio" "target"
printf '%-34s %9.2f us %8s  %s\n' "OpenOCD drscan, 204800 bits" "$ocd_per_clock" "1.00" "reference"
printf '%-34s %9.2f us %7.2fx  %s\n' "Tapster Read to File, 64 KiB" "$read64_per_clock" "$r1" "$(verdict "$r1")"
printf '%-34s %9.2f us %7.2fx  %s\n' "Tapster hardware check" "$check_per_clock" "$r2" "$(verdict "$r2")"
echo
printf '%-34s %12s %12s\n' "wall time" "before" "after"
printf '%-34s %12s %10.2f s\n' "Read to File, 4 KiB" "$before_read4" "$read4_wall"
printf '%-34s %12s %10.2f s\n' "hardware check" "$before_check" "$check_wall"
printf '%-34s %12s %10.2f s\n' "Read to File, 64 KiB" "" "$read64_wall"
