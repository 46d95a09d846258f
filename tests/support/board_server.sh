# Shell helpers for tests that talk to tapcheck-board over TCP; source this file.
# board_server_start SERVER WORK [ARG...]: starts SERVER on 127.0.0.1 with a port it picks
# itself and the further arguments, logs to WORK/server.log, and sets `pid` and `port`. Calls `fail` (defined by the test) when the server
# ends early or does not say where it listens. `board_server_stop` ends it.
board_server_start() {
  local server="$1" work="$2"
  shift 2
  "$server" --listen 127.0.0.1:0 "$@" >"$work/server.log" 2>&1 &
  pid=$!
  port=""
  for _ in $(seq 1 100); do
    port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$work/server.log")"
    [ -n "$port" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "the server ended early"
    sleep 0.1
  done
  fail "the server did not say where it listens"
}

board_server_stop() {
  if [ -n "${pid:-}" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  pid=""
}
