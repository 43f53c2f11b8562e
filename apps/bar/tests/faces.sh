#!/usr/bin/env bash
# tessaly-bar through the real executable:
#   faces.sh BAR golden   every face of every daemon state (and the usage errors)
#                         against golden.txt, exactly; UPDATE_GOLDEN=1 rewrites it
#   faces.sh BAR follow   --follow prints again after a rename-replace and after its
#                         folder is re-created, and ends when its pipe closes and
#                         on SIGTERM
#   faces.sh BAR tmux     a private tmux server shows --tmux in status-right
set -euo pipefail
bar=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
now=2026-03-01T12:00:00Z
mkdir -p "$scratch/home" "$scratch/state"

run() { # STATUS_FILE ARGS... ; the face on stdout, usage errors on stderr
  local file=$1
  shift
  exec env -i HOME="$scratch/home" TZ=UTC PATH=/nonexistent TESSALY_STATUS_FILE="$file" \
    ${compact:+TESSALY_MENUBAR_COMPACT=$compact} "$bar" "$@"
}

golden() {
  local table=$scratch/table state face file status
  for state in running stale stopped unreadable missing; do
    file=$scratch/state/$state.json
    [ "$state" = missing ] || cp "$here/status/$state.json" "$file"
    for face in print json waybar i3blocks tmux swiftbar; do
      status=0
      (run "$file" "--$face" --now "$now") >"$scratch/out" 2>&1 || status=$?
      { printf '== %s --%s: exit %d\n' "$state" "$face" "$status"; cat "$scratch/out"; } >>"$table"
    done
  done
  # The icon-only look, the time given as --now=TIME, and a handoff that exists at
  # a path with a space, which the plugin's link must carry escaped.
  touch "$scratch/home/docs web.md"
  sed "s#/nonexistent/handoffs#$scratch/home#" "$here/status/running.json" >"$scratch/state/here.json"
  for face in swiftbar i3blocks; do
    status=0
    (compact=1 run "$scratch/state/here.json" "--$face" "--now=$now") >"$scratch/out" 2>&1 || status=$?
    { printf '== icon only, handoff present --%s: exit %d\n' "$face" "$status"; cat "$scratch/out"; } >>"$table"
  done
  for usage in "--json --tmux" "--bogus" "--now yesterday"; do
    status=0
    # shellcheck disable=SC2086 # the words are the arguments
    (run "$scratch/state/running.json" $usage) >"$scratch/out" 2>&1 || status=$?
    { printf '== usage %s: exit %d\n' "$usage" "$status"; cat "$scratch/out"; } >>"$table"
  done
  # The version changes with each release, so only its form is checked.
  (run "$scratch/state/running.json" --version) | head -1 | grep -qx 'tessaly-bar [0-9][0-9.]*' ||
    { echo "--version does not name tessaly-bar and its version"; exit 1; }
  sed -i "s#$scratch#SCRATCH#g" "$table"
  if [ "${UPDATE_GOLDEN:-}" = 1 ]; then
    cp "$table" "$here/golden.txt"
  fi
  diff -u "$here/golden.txt" "$table"
}

follow() {
  local file=$scratch/state/status.json line
  cp "$here/status/stale.json" "$file"
  coproc BAR { run "$file" --tmux --follow --now "$now"; }
  local pid=$BAR_PID
  IFS= read -r -t 5 line <&"${BAR[0]}"
  [ "$line" = '#[fg=#000000,bg=#8e8e93] ○ 64% #[default]' ] || { echo "first face: $line"; exit 1; }
  cp "$here/status/running.json" "$scratch/state/next.json"
  mv "$scratch/state/next.json" "$file"
  # Sooner than the 3-second tick: the folder watch saw the rename.
  IFS= read -r -t 2.5 line <&"${BAR[0]}"
  [ "$line" = '#[fg=#000000,bg=#ff3b30] ▲ 87% #[default]' ] || { echo "after rename: $line"; exit 1; }
  # The folder goes and comes back: its new inode is watched from the next tick on,
  # so a file written after that tick shows well before the one after.
  rm -rf "$scratch/state"
  IFS= read -r -t 2.5 line <&"${BAR[0]}"
  [ "$line" = '#[fg=#000000,bg=#8e8e93] ○ no status file #[default]' ] || { echo "folder gone: $line"; exit 1; }
  mkdir "$scratch/state"
  sleep 3.1
  # Renamed into place as the daemon does: a half-copied file reads as unreadable.
  cp "$here/status/stale.json" "$scratch/state/next.json"
  mv "$scratch/state/next.json" "$file"
  IFS= read -r -t 2 line <&"${BAR[0]}"
  [ "$line" = '#[fg=#000000,bg=#8e8e93] ○ 64% #[default]' ] || { echo "folder re-created: $line"; exit 1; }
  exec {BAR[0]}<&-
  ended "$pid" "a closed pipe"

  # i3blocks takes an update only once its line has ended.
  coproc BAR { run "$file" --i3blocks --follow --now "$now"; }
  pid=$BAR_PID
  IFS= read -r -t 5 line <&"${BAR[0]}" || { echo "i3blocks line unfinished: $line"; exit 1; }
  [ "$line" = '○ 64%' ] || { echo "i3blocks: $line"; exit 1; }
  exec {BAR[0]}<&-
  ended "$pid" "a closed pipe"

  (run "$file" --waybar --follow --now "$now") >/dev/null &
  pid=$!
  sleep 0.5
  kill -TERM "$pid"
  ended "$pid" SIGTERM
}

ended() { # PID WHY: the process ends within five seconds, with status 0
  local i status=0
  for i in $(seq 50); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$1" 2>/dev/null; then
    kill "$1"
    echo "still running after $2"
    exit 1
  fi
  wait "$1" || status=$?
  [ "$status" = 0 ] || { echo "exit $status after $2"; exit 1; }
}

tmux_status() {
  local socket=$scratch/tmux.sock line= reply
  cp "$here/status/running.json" "$scratch/state/status.json"
  export TERM=${TERM:-xterm}
  tmux -S "$socket" -f /dev/null new-session -d -s bar -x 100 -y 5 "sleep 60"
  # shellcheck disable=SC2064 # the paths are fixed now
  trap "tmux -S '$socket' kill-server 2>/dev/null || true; rm -rf '$scratch'" EXIT
  # A job's output shows at the next redraw: once a second, not every fifteen.
  tmux -S "$socket" set -g status-interval 1
  tmux -S "$socket" set -g status-right \
    "#(TESSALY_STATUS_FILE=$scratch/state/status.json TZ=UTC $bar --tmux --now $now)"
  # The status line runs the command in the background and keeps its output per
  # client, so the reading is done by one lasting client: a control-mode one.
  coproc TMUX_CLIENT { exec tmux -S "$socket" -C attach -t bar; }
  local deadline=$((SECONDS + 20))
  while [ "$SECONDS" -lt "$deadline" ]; do
    echo "display -p '#{T:status-right}'" >&"${TMUX_CLIENT[1]}"
    while IFS= read -r -t 2 reply <&"${TMUX_CLIENT[0]}"; do
      case $reply in
      %begin*) line= ;;
      %end*) break ;;
      %*) ;;
      *) line=$reply ;;
      esac
    done
    [ -z "$line" ] || break
    sleep 0.2
  done
  tmux -S "$socket" kill-server
  [ "$line" = '#[fg=#000000,bg=#ff3b30] ▲ 87% #[default]' ] || { echo "status-right: '$line'"; exit 1; }
}

case $2 in
golden) golden ;;
follow) follow ;;
tmux) tmux_status ;;
esac
