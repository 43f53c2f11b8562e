#!/usr/bin/env bash
# The built application end to end: with the save-on-open hook it opens the
# settings window, loads the stand-in's schema, sets warn-context to 45 and
# saves through `config validate`; a file the stand-in rejects stays as it was;
# without TESSALY_CONFIG_FILE the hook refuses to touch anything.
#
#   settings_save_on_open.sh APP STAND_IN
set -euo pipefail
app=$1
standin=$2

scratch=$(mktemp -d "${TMPDIR:-/tmp}/settings-save-on-open.XXXXXX")
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; echo "--- log:" >&2; cat "$scratch/app.log" >&2; exit 1; }

# Runs the app until its log has a line matching $1 (or 30 s pass), then ends it.
run_app_until() {
  local pattern=$1; shift
  : >"$scratch/app.log"
  # The child must not run this script's cleanup should it end before exec.
  (trap - EXIT; exec env -i PATH="$PATH" HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" \
    QT_QPA_PLATFORM=offscreen \
    TESSALY_STATUS_FILE="$scratch/status.json" TESSALY_CLI="$standin" \
    TESSALY_MENUBAR_OPEN_SETTINGS=1 TESSALY_MENUBAR_SAVE_ON_OPEN=1 "$@" \
    "$app" 2>"$scratch/app.log") &
  app_pid=$!
  for _ in $(seq 300); do
    grep -q -- "$pattern" "$scratch/app.log" && break
    sleep 0.1
  done
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=
  grep -q -- "$pattern" "$scratch/app.log" || fail "no line matching '$pattern'"
}

expect_line() { grep -qxF -- "tessaly-menubar: $1" "$scratch/app.log" || fail "missing line: $1"; }

mkdir -p "$scratch/home" "$scratch/config"
# A runtime folder of its own: one copy runs per runtime folder and display, and
# other tests start the app at the same time.
mkdir -m 700 "$scratch/run"
config=$scratch/config/config.json

# Accepted: the file holds the new value in the file layout.
printf '{"critical-context": 90}' >"$config"
run_app_until "save outcome: " TESSALY_CONFIG_FILE="$config"
expect_line "save-on-open: setting warn-context to 45 and saving to $config"
grep -qE "^tessaly-menubar: ok: $standin config validate $config\.[0-9]+\.tmp --json\$" "$scratch/app.log" \
  || fail "missing the config validate line"
expect_line "settings saved to $config"
expect_line "save outcome: saved"
printf '{\n  "critical-context" : 90,\n  "warn-context" : 45\n}\n' >"$scratch/expected.json"
cmp -s "$config" "$scratch/expected.json" || fail "unexpected file: $(cat "$config")"
[ -z "$(find "$scratch/config" -name '*.tmp')" ] || fail "a candidate file was left behind"

# Rejected: warn-context 45 is not below a critical threshold of 40.
printf '{"critical-context": 40}' >"$config"
run_app_until "save outcome: " TESSALY_CONFIG_FILE="$config"
message="The critical threshold must lie above the warn threshold"
expect_line "settings rejected by config validate: fields=[\"critical-context\": \"$message\", \"warn-context\": \"$message\"] general=[]"
[ "$(cat "$config")" = '{"critical-context": 40}' ] || fail "a rejected save changed the file"
[ -z "$(find "$scratch/config" -name '*.tmp')" ] || fail "a candidate file was left behind"

# Without a scratch file the hook does nothing at all.
run_app_until "config schema" TESSALY_CONFIG_FILE=
expect_line "TESSALY_MENUBAR_SAVE_ON_OPEN ignored: set TESSALY_CONFIG_FILE to a scratch file first"
grep -q "save-on-open: setting" "$scratch/app.log" && fail "the hook saved without a scratch file"
[ ! -e "$scratch/home/.config/tessaly/config.json" ] || fail "the default config file was written"
echo "settings save-on-open: ok"
