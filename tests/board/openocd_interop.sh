#!/usr/bin/env bash
# OpenOCD, an independent JTAG implementation, examines the simulated board through
# tapcheck-board's remote_bitbang server: it must find the TAP with the STi5510 IDCODE and a
# 5-bit IR, read the IDCODE by irscan/drscan and see BYPASS delay a pattern by one bit. A second
# client must find the server still serving. OpenOCD exits 0 even on a mismatch, so its output
# is what counts. Exit 77 (skipped) when OpenOCD is not installed.
set -u
server="${1:?usage: openocd_interop.sh PATH/TO/tapcheck-board}"
command -v openocd >/dev/null 2>&1 || { echo "openocd not installed: skipped"; exit 77; }
command -v timeout >/dev/null 2>&1 || { echo "timeout(1) missing: skipped"; exit 77; }

work="$(mktemp -d)"
pid=""
# shellcheck source=../support/board_server.sh
. "$(dirname "$0")/../support/board_server.sh"
cleanup() {
  board_server_stop
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  for f in "$work"/*.log; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}

# Port 0: the server picks a free port and says which.
board_server_start "$server" "$work"

examine() { # $1: log name
  timeout 60 openocd \
    -c "adapter driver remote_bitbang" \
    -c "remote_bitbang host 127.0.0.1" \
    -c "remote_bitbang port $port" \
    -c "transport select jtag" \
    -c "jtag newtap st20 cpu -irlen 5 -expected-id 0x2d4cd041" \
    -c "init" \
    -c "irscan st20.cpu 0x02" \
    -c "echo IDCODE=[drscan st20.cpu 32 0]" \
    -c "irscan st20.cpu 0x1f" \
    -c "echo BYPASS=[drscan st20.cpu 32 0x12345678]" \
    -c "echo BYPASS8=[drscan st20.cpu 8 0xa5]" \
    -c "shutdown" >"$work/$1.log" 2>&1
  local rc=$?
  [ $rc -eq 124 ] && fail "$1: openocd timed out"
  grep -q "tap/device found: 0x2d4cd041" "$work/$1.log" || fail "$1: TAP not found with the STi5510 IDCODE"
  grep -qi "UNEXPECTED" "$work/$1.log" && fail "$1: IDCODE mismatch reported"
  grep -qi "IR capture error" "$work/$1.log" && fail "$1: IR capture not 0b00001"
  grep -qx "IDCODE=2d4cd041" "$work/$1.log" || fail "$1: drscan of IDCODE wrong"
  # 0x12345678 through one bypass bit (captured as 0): shifted left by one.
  grep -qx "BYPASS=2468acf0" "$work/$1.log" || fail "$1: bypass pattern not delayed by one bit"
  grep -qx "BYPASS8=4a" "$work/$1.log" || fail "$1: 8-bit bypass pattern wrong"
}

examine first
examine second
kill -0 "$pid" 2>/dev/null || fail "the server ended after its clients"
echo "PASS: OpenOCD found the TAP, read the IDCODE and saw the bypass delay (twice)"
