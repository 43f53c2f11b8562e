#!/usr/bin/env bash
# Real OpenSSH servers for the machines tests, as the current user on free
# loopback ports, with fresh host and client keys in SCRATCH. Three servers:
#   main   the healthy one; several aliases of it stand in for several machines,
#          each with its own TESSALY_STATUS_FILE (sent by SetEnv, let in by AcceptEnv)
#   skewed its sessions find a `date` first on PATH that runs 10 minutes ahead
#   rekeyed presents a host key other than the one known_hosts holds
#   streaming its sessions find BAR (the build's tessaly-bar) as `tessaly-bar`
#          first on PATH, so a fetch there streams; the follow's pid goes to
#          SCRATCH/stream.pid
# plus a closed port and a socket that accepts and never speaks. ssh reads the
# real user's ~/.ssh/config whatever HOME says, so an `ssh` wrapper first on PATH
# adds `-F SCRATCH/client_config`. Prints the PATH to use; `stop` ends them all.
#
#   sshd_fixture.sh start SCRATCH BAR     sshd_fixture.sh stop SCRATCH
set -euo pipefail
command=$1
scratch=$2
bar=${3:-}

if [ "$command" = stop ]; then
  for pid in "$scratch"/*.pid; do
    # The servers' per-connection children outlive them (ssh keeps its shared
    # connections open for a minute); they go first.
    [ -e "$pid" ] && { pkill -P "$(cat "$pid")" 2>/dev/null; kill "$(cat "$pid")" 2>/dev/null; } || true
  done
  exit 0
fi

mkdir -p "$scratch"/{keys,bin,skewed-bin,stream-bin,remote}
# As root, sshd insists on its privilege-separation folder.
[ "$(id -u)" -ne 0 ] || mkdir -p /run/sshd
for key in host other client; do
  ssh-keygen -q -t ed25519 -N '' -C "$key" -f "$scratch/keys/$key"
done
cp "$scratch/keys/client.pub" "$scratch/keys/authorized_keys"

# All six at once, each held until every one is chosen: one at a time, a port
# just let go may come back as the next one, and two servers then meet on it.
read -r main skewed rekeyed streaming closed silent < <(python3 -c '
import socket
held = [socket.socket() for _ in range(6)]
for s in held:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))
')

start_sshd() { # name port host-key [extra config line]
  local name=$1 port=$2 key=$3
  cat >"$scratch/$name.sshd_config" <<CONFIG
Port $port
ListenAddress 127.0.0.1
HostKey $scratch/keys/$key
PidFile none
AuthorizedKeysFile $scratch/keys/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
AcceptEnv TESSALY_STATUS_FILE
${4:-}
CONFIG
  /usr/sbin/sshd -D -f "$scratch/$name.sshd_config" -E "$scratch/$name.log" </dev/null >/dev/null 2>&1 &
  echo $! >"$scratch/$name.pid"
}


cat >"$scratch/skewed-bin/date" <<'DATE'
#!/bin/sh
# This machine's clock runs ten minutes ahead.
exec /bin/date -d "@$(( $(/bin/date +%s) + 600 ))" "$@"
DATE
chmod +x "$scratch/skewed-bin/date"

start_sshd main "$main" host
start_sshd skewed "$skewed" host "SetEnv PATH=$scratch/skewed-bin:/usr/bin:/bin"
start_sshd rekeyed "$rekeyed" other
cat >"$scratch/stream-bin/tessaly-bar" <<BAR
#!/bin/sh
echo \$\$ >"$scratch/stream.pid"
exec "$bar" "\$@"
BAR
chmod +x "$scratch/stream-bin/tessaly-bar"
start_sshd streaming "$streaming" host "SetEnv PATH=$scratch/stream-bin:/usr/bin:/bin"
python3 -c '
import socket, sys, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(16)
held = []
while True:
    held.append(s.accept()[0])
' "$silent" </dev/null >/dev/null 2>&1 &
echo $! >"$scratch/silent.pid"

hostkey=$(cut -d' ' -f1,2 "$scratch/keys/host.pub")
{
  echo "[127.0.0.1]:$main $hostkey"
  echo "[127.0.0.1]:$skewed $hostkey"
  echo "[127.0.0.1]:$rekeyed $hostkey"
  echo "[127.0.0.1]:$streaming $hostkey"
} >"$scratch/known_hosts"

alias_for() { # alias port [status file]
  printf 'Host %s\n  Port %s\n' "$1" "$2"
  [ -z "${3:-}" ] || printf '  SetEnv TESSALY_STATUS_FILE=%s\n' "$3"
}
{
  alias_for healthy-a "$main" "$scratch/remote/a.json"
  alias_for healthy-b "$main" "$scratch/remote/b.json"
  alias_for missing "$main" "$scratch/remote/nothing-here.json"
  alias_for huge "$main" "$scratch/remote/huge.json"
  alias_for skewed "$skewed" "$scratch/remote/skewed.json"
  alias_for rekeyed "$rekeyed" "$scratch/remote/a.json"
  alias_for streaming "$streaming" "$scratch/remote/stream.json"
  alias_for closed "$closed"
  alias_for silent "$silent"
  cat <<CONFIG
Host *
  HostName 127.0.0.1
  User $(id -un)
  IdentityFile $scratch/keys/client
  IdentitiesOnly yes
  UserKnownHostsFile $scratch/known_hosts
  GlobalKnownHostsFile /dev/null
  StrictHostKeyChecking yes
CONFIG
} >"$scratch/client_config"

cat >"$scratch/bin/ssh" <<WRAPPER
#!/bin/sh
# Every argument, one per line, for the test that looks for an injected option.
printf '%s\n' "\$@" >>"$scratch/ssh-arguments"
exec /usr/bin/ssh -F "$scratch/client_config" "\$@"
WRAPPER
chmod +x "$scratch/bin/ssh"

# Ready once each server accepts a connection.
for port in "$main" "$skewed" "$rekeyed" "$streaming" "$silent"; do
  for _ in $(seq 100); do
    python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' \
      "$port" 2>/dev/null && break
    sleep 0.05
  done
done
echo "$scratch/bin:$PATH"
