#!/usr/bin/env bash
# The built app between real processes: --help and --version answer without a
# display and a bad option exits 64 with one line; a second start in the same
# session asks the first to show itself, says so and exits 0; another display
# gets its own instance and leaves nothing behind after SIGTERM; a lock left by a
# killed instance never blocks a start.
#
#   one_instance.sh APP
set -euo pipefail
app=$1

scratch=$(mktemp -d "${TMPDIR:-/tmp}/one-instance.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; for log in "$scratch"/*.log; do echo "--- $log:" >&2; cat "$log" >&2; done; exit 1; }

mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
extra=()
base=(env -i PATH="$PATH" HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run"
  QT_QPA_PLATFORM=offscreen TESSALY_STATUS_FILE="$scratch/status.json" TESSALY_CLI=/bin/false)
# Starts an instance on display $1, logging to $2.log, and waits for its first line.
start() {
  (trap - EXIT; exec "${base[@]}" "${extra[@]}" DISPLAY="$1" "$app" 2>"$scratch/$2.log") &
  pids+=($!)
  for _ in $(seq 100); do grep -q "watching" "$scratch/$2.log" 2>/dev/null && return; sleep 0.1; done
  fail "$2 did not start"
}
# No display and no platform plugin named: Qt must not be reached.
env -i PATH="$PATH" "$app" --version >"$scratch/out" || fail "--version failed"
head -n1 "$scratch/out" | grep -qE '^tessaly-menubar [0-9]+\.[0-9]+\.[0-9]+$' || fail "version: $(cat "$scratch/out")"
env -i PATH="$PATH" "$app" --help | grep -q '^  --window ' || fail "--help lists no --window"
status=0; env -i PATH="$PATH" "$app" --bogus >"$scratch/out" 2>"$scratch/err" || status=$?
[ "$status" = 64 ] || fail "a bad option exited $status"
[ "$(cat "$scratch/err")" = "tessaly-menubar: unrecognized option '--bogus'; try 'tessaly-menubar --help'" ] \
  || fail "bad option said: $(cat "$scratch/err")"

start :42 first
status=0; "${base[@]}" DISPLAY=:42.0 "$app" >"$scratch/out" 2>"$scratch/second.log" || status=$?
[ "$status" = 0 ] || fail "the second start exited $status"
[ "$(cat "$scratch/out")" = "tessaly-menubar is already running" ] || fail "second start said: $(cat "$scratch/out")"
grep -q "watching" "$scratch/second.log" && fail "the second start ran as well"
# Each request is answered as asked: a plain start pops the menu, --window the window.
shown() {
  for _ in $(seq 50); do grep -q "showing $1 at the request of another start" "$scratch/first.log" && return; sleep 0.1; done
  fail "the first did not show $1"
}
shown "the menu"
"${base[@]}" DISPLAY=:42.0 "$app" --window >/dev/null 2>>"$scratch/second.log" || fail "a second start with --window failed"
shown "the status window"
[ "$(grep -c "at the request of another start" "$scratch/first.log")" = 2 ] || fail "the first showed itself other than twice"

# Another display is another session; SIGTERM ends it cleanly, lock and socket gone.
# libdbus keeps its connection's buffers until the process ends, which the
# sanitizer build reports as a leak at a clean exit; the exit status is what counts here.
extra=(ASAN_OPTIONS=detect_leaks=0)
start :43 other
kill -TERM "${pids[1]}"
status=0; wait "${pids[1]}" || status=$?
[ "$status" = 0 ] || fail "SIGTERM ended the app with status $status"
ls "$scratch/run"/tessaly-menubar-*-x_43.* 2>/dev/null && fail "SIGTERM left the lock or socket behind"

# A crash leaves its lock and socket behind; the next start takes over.
kill -9 "${pids[0]}"; wait "${pids[0]}" 2>/dev/null || true
ls "$scratch/run"/tessaly-menubar-*-x_42.lock >/dev/null || fail "no lock file was left to test with"
start :42 after-crash
echo "one instance: ok"
