#!/usr/bin/env bash
# The program on a remote_bitbang cable: tapcheck-cli drives tapcheck-board over TCP and must get
# what it gets from the board in process: the hardware check passing with the CPU identified, and
# the same word read from the internal ROM.
set -u
server="${1:?usage: remote_board_e2e.sh TAPCHECK_BOARD TAPCHECK_CLI}"
cli="${2:?usage: remote_board_e2e.sh TAPCHECK_BOARD TAPCHECK_CLI}"
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
  for f in "$work"/*.log "$work"/*.out; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  exit 1
}

board_server_start "$server" "$work"

cd "$work" || exit 1
steps="cmdDelay txtManAddr=7FFE0000 cmdManRead print=txtManData"
timeout 300 "$cli" "--port=remote:127.0.0.1:$port" $steps >"$work/remote.out" 2>"$work/remote.log"
rc=$?
[ $rc -eq 0 ] || fail "tapcheck-cli on the remote cable exited $rc"
grep -qx "CPU type: STi5510" "$work/remote.out" || fail "no CPU identified through the remote cable"
grep -qx "Long test result - -1" "$work/remote.out" || fail "the long loop-back test did not pass"

timeout 120 "$cli" --simulate $steps >"$work/local.out" 2>"$work/local.log" || fail "in-process run failed"
remote_word="$(grep '^txtManData=' "$work/remote.out")"
local_word="$(grep '^txtManData=' "$work/local.out")"
[ -n "$remote_word" ] || fail "no word read through the remote cable"
[ "$remote_word" = "$local_word" ] || fail "remote read $remote_word, in-process read $local_word"
[ "$remote_word" != "txtManData=00000000" ] || fail "the ROM word read as zero"
echo "remote cable: $remote_word, CPU identified"
