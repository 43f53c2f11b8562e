#!/usr/bin/env bash
# The built binaries end to end on Linux: the stand-in's `install` writes the
# systemd user unit under a scratch XDG_CONFIG_HOME and asks a recording
# systemctl to reload; the app, with TESSALY_CLI unset and the stand-in nowhere
# on PATH, finds the daemon's command line in that unit and loads the settings
# schema through it; `uninstall` disables the unit and removes it.
#
#   service_unit_end_to_end.sh APP STAND_IN
set -euo pipefail
app=$1
standin=$(realpath "$2")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/service-unit.XXXXXX")
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; for f in "$scratch"/*.log; do echo "--- $f:" >&2; cat "$f" >&2; done; exit 1; }

mkdir -p "$scratch/home" "$scratch/bin"
# A runtime folder of its own: one copy runs per runtime folder and display, and
# other tests start the app at the same time.
mkdir -m 700 "$scratch/run"
printf '#!/bin/sh\necho "$*" >>"%s/systemctl.log"\n' "$scratch" >"$scratch/bin/systemctl"
chmod +x "$scratch/bin/systemctl"
export_env=(HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state"
  XDG_RUNTIME_DIR="$scratch/run"
  PATH="$scratch/bin:/usr/bin:/bin")
unit=$scratch/config/systemd/user/tessaly.service

env -i "${export_env[@]}" "$standin" install --interval-ms 500 >"$scratch/install.log" \
  || fail "install failed"
[ -f "$unit" ] || fail "no unit at $unit"
grep -qxF "ExecStart=$standin watch --interval-ms 500" "$unit" || fail "unexpected unit: $(cat "$unit")"
[ "$(cat "$scratch/systemctl.log")" = "--user daemon-reload" ] || fail "install did not reload systemd"

(trap - EXIT; exec env -i "${export_env[@]}" QT_QPA_PLATFORM=offscreen \
  TESSALY_STATUS_FILE="$scratch/status.json" TESSALY_MENUBAR_OPEN_SETTINGS=1 \
  "$app" 2>"$scratch/app.log") &
app_pid=$!
for _ in $(seq 300); do
  grep -q "config schema" "$scratch/app.log" && break
  sleep 0.1
done
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=
grep -qxF "tessaly-menubar: ok: $standin config schema" "$scratch/app.log" \
  || fail "the schema was not loaded through the unit's command"

: >"$scratch/systemctl.log"
env -i "${export_env[@]}" "$standin" uninstall >"$scratch/uninstall.log" || fail "uninstall failed"
[ ! -e "$unit" ] || fail "uninstall left $unit"
printf -- '--user disable --now tessaly.service\n--user daemon-reload\n' | cmp -s - "$scratch/systemctl.log" \
  || fail "uninstall did not stop the unit"
echo "service unit end to end: ok"
