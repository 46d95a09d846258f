#!/usr/bin/env bash
# The program on a remote_bitbang cable: tapcheck-cli drives tapcheck-board over TCP and must get
# what it gets from the board in process: the hardware check passing with the CPU identified, and
# the same word read from the internal ROM, and on a faulty board (one board fault each) the same
# lines and failures as in process. Then the server's failures: a second client is told
# the board is busy, a client that stalls is dropped so the next one is served, and a server
# that stops or dies during an agent wait ends the command, bounded, as an abort answered No.
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

board_server_start "$server" "$work" --stall-timeout 1500

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
board_server_stop

# A faulty board behind the remote cable, whose clocks run ahead of their samples: the same steps
# end as they do on that board in process, bounded, with the same lines and failures (the
# measured TAP clock aside), and the connection is never taken for lost. Flipped bits land
# where the clock count puts them, and the check's count depends on the measured CPU speed
# (the delays it tries), so that board gets the word read alone.
for fault in '"noTarget": true' '"tdoStuckLow": true' '"tdoToggling": true' \
  '"neverAcknowledge": true' '"keepsSending": true' '"flipEveryBits": 97'; do
  fault_steps="$steps"
  case "$fault" in *flipEveryBits*) fault_steps="txtManAddr=7FFE0000 cmdManRead print=txtManData" ;; esac
  echo "{\"faults\": {$fault}}" >"$work/fault.json"
  board_server_start "$server" "$work" "$work/fault.json"
  timeout 60 "$cli" "--port=remote:127.0.0.1:$port" $fault_steps >"$work/fault-remote.out" 2>"$work/fault-remote.log"
  rc=$?
  [ $rc -ne 124 ] || fail "$fault: tapcheck-cli on the remote cable hung"
  timeout 60 "$cli" "--simulate=$work/fault.json" $fault_steps >"$work/fault-local.out" 2>"$work/fault-local.log"
  local_rc=$?
  [ $local_rc -eq $rc ] || fail "$fault: exit $rc on the remote cable, $local_rc in process"
  [ $rc -ne 0 ] || fail "$fault: the steps passed on a faulty board"
  grep -q "lost the connection" "$work/fault-remote.log" && fail "$fault: the connection was taken for lost"
  cmp -s <(grep -v MHz "$work/fault-remote.out") <(grep -v MHz "$work/fault-local.out") ||
    fail "$fault: the remote cable logs other lines than the board in process"
  cmp -s "$work/fault-remote.log" "$work/fault-local.log" ||
    fail "$fault: the remote cable reports other failures than the board in process"
  board_server_stop
done
board_server_start "$server" "$work" --stall-timeout 1500

# A client holding the server (connected, silent) makes the next one hear that it is busy.
exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "cannot hold a connection"
sleep 0.3
timeout 30 "$cli" "--port=remote:127.0.0.1:$port" read-word 7FFE0000 >"$work/busy.out" 2>"$work/busy.log"
rc=$?
[ $rc -ne 0 ] || fail "a client refused as busy exited 0"
grep -q "the board server at 127.0.0.1:$port is serving another client" "$work/busy.log" ||
  fail "no busy message for the second client"
grep -q "Waiting\|txtManData=" "$work/busy.out" && fail "the refused client ran its command"
# The silent holder stalls past the timeout (1.5 s here) and is dropped: the board is free again.
sleep 2
grep -q "dropped a client that stalled" "$work/server.log" || fail "the stalled client was not dropped"
timeout 60 "$cli" "--port=remote:127.0.0.1:$port" read-word 7FFE0000 >"$work/after.out" 2>"$work/after.log" ||
  fail "the board was not free after the stalled client was dropped"
[ "$(grep '^txtManData=' "$work/after.out")" = "$remote_word" ] || fail "read after the drop differs"
exec 3<&-
# A client that sends requests and reads none of the answers: while the server waits on it, a
# newcomer is refused at once, and the reader is dropped within the stall timeout.
drops="$(grep -c "does not read its answers" "$work/server.log")"
head -c 30000000 /dev/zero | tr '\0' R >"/dev/tcp/127.0.0.1/$port" 2>/dev/null &
reader=$!
sleep 0.5
timeout 30 "$cli" "--port=remote:127.0.0.1:$port" read-word 7FFE0000 >"$work/busy2.out" 2>"$work/busy2.log"
grep -q "is serving another client" "$work/busy2.log" ||
  fail "a client arriving while the server sends to a non-reader was not told it is busy"
for _ in $(seq 1 40); do
  [ "$(grep -c "does not read its answers" "$work/server.log")" -gt "$drops" ] && break
  sleep 0.1
done
[ "$(grep -c "does not read its answers" "$work/server.log")" -gt "$drops" ] ||
  fail "the client that reads no answers was not dropped within the stall timeout"
kill "$reader" 2>/dev/null
wait "$reader" 2>/dev/null
# Quick reconnects: a client that quits and connects again at once is served, not refused.
for i in $(seq 1 50); do
  exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "reconnect $i: cannot connect"
  printf 'RQ' >&3
  IFS= read -r -n 1 -t 5 answer <&3 || answer=""
  exec 3<&-
  [ "$answer" = 0 ] || [ "$answer" = 1 ] || fail "reconnect $i: answered '$answer', not a TDO sample"
done
# tapcheck-cli itself idle past the stall timeout between two commands: dropped, it connects again.
drops="$(grep -c "dropped a client that stalled" "$work/server.log")"
timeout 60 "$cli" "--port=remote:127.0.0.1:$port" read-word 7FFE0000 wait=2500 read-word 7FFE0000 \
  >"$work/idle.out" 2>"$work/idle.log" || fail "the second command after an idle drop failed"
[ "$(grep -c "dropped a client that stalled" "$work/server.log")" -gt "$drops" ] ||
  fail "the idle tapcheck-cli was not dropped"
[ "$(grep -c "^$remote_word\$" "$work/idle.out")" = 2 ] || fail "the reads around the idle drop differ"
board_server_stop

# A server that stops answering (SIGSTOP) or dies during an agent wait: the wait ends as an abort
# answered No, within the backend's timeout, and tapcheck-cli says the connection was lost.
# The data sheet's busy times: a chip erase lasts thousands of polls, so the wait is still going.
echo '{"flash": {"busyPercent": 100}}' >"$work/slow.json"
cp "$(dirname "$cli")/../../sim/fl4_trap.bin" "$work/" 2>/dev/null || true
for how in STOP KILL; do
  board_server_start "$server" "$work" "$work/slow.json"
  timeout 60 "$cli" "--port=remote:127.0.0.1:$port" erase-chip >"$work/dead.out" 2>"$work/dead.log" &
  client=$!
  for _ in $(seq 1 300); do
    grep -q "Waiting for release" "$work/dead.out" 2>/dev/null && break
    sleep 0.1
  done
  grep -q "Waiting for release" "$work/dead.out" || fail "$how: the agent wait did not begin"
  sleep 0.3
  kill -"$how" "$pid"
  wait "$client"
  rc=$?
  [ $rc -ne 0 ] && [ $rc -ne 124 ] || fail "$how: tapcheck-cli exited $rc (124: it hung)"
  grep -qxF "******** Canceled by user or timeout exceeded *********" "$work/dead.out" ||
    fail "$how: no cancel banner"
  grep -qxF "******** Operation terminated !!! *********" "$work/dead.out" ||
    fail "$how: no termination banner"
  grep -qx "Flash erasing NOT complete !!!" "$work/dead.out" || fail "$how: no failure line"
  grep -q "lost the connection to the board server at 127.0.0.1:$port" "$work/dead.log" ||
    fail "$how: no lost-connection message"
  [ "$how" = STOP ] && kill -CONT "$pid"
  board_server_stop
done
echo "remote cable: $remote_word, CPU identified; busy, stalled and dead servers handled"
