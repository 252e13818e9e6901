#!/usr/bin/env bash
# A private PostgreSQL server for the tests: started for a test run, stopped after it, leaving the
# system's clusters alone.
#   pg_test_server.sh start STATE_DIR   initdb into a fresh folder, start on a free port of 127.0.0.1
#                                       with password authentication, write STATE_DIR/env
#   pg_test_server.sh stop STATE_DIR    stop the server and remove its folder
set -euo pipefail
action=${1:?start or stop}
state=${2:?state folder}
mkdir -p "$state"
env_file="$state/env"

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_server() {
  [ -f "$env_file" ] || return 0
  # shellcheck disable=SC1090
  . "$env_file"
  if [ -n "${ORVIK_PG_DATA:-}" ] && [ -d "$ORVIK_PG_DATA" ]; then
    as_owner "$ORVIK_PG_BIN/pg_ctl" -D "$ORVIK_PG_DATA" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$ORVIK_PG_DATA"
  fi
  rm -f "$env_file"
}

case "$action" in
stop)
  stop_server
  ;;
start)
  stop_server
  bin=$(dirname "$(ls /usr/lib/postgresql/*/bin/initdb 2>/dev/null | sort -V | tail -n 1)")
  [ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found (package postgresql)" >&2; exit 1; }
  data=$(mktemp -d /tmp/orvik-pg.XXXXXX)
  password="orvik-$RANDOM-$RANDOM"
  printf '%s\n' "$password" > "$data.pw"
  if [ "$(id -u)" -eq 0 ]; then chown postgres "$data" "$data.pw"; fi
  chmod 700 "$data"
  as_owner "$bin/initdb" -D "$data" -U orvik --pwfile="$data.pw" --auth=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$state/initdb.log" 2>&1 \
    || { cat "$state/initdb.log" >&2; exit 1; }
  rm -f "$data.pw"
  port=""
  for candidate in $(seq 25432 25532); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
  done
  [ -n "$port" ] || { echo "no free port for the test server" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
    -o "-p $port -k $data -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null \
    || { cat "$data/server.log" >&2; exit 1; }
  PGPASSWORD="$password" psql -q -h 127.0.0.1 -p "$port" -U orvik -d postgres -c "CREATE DATABASE orvik" >/dev/null
  cat > "$env_file" <<ENV
ORVIK_PG_HOST=127.0.0.1
ORVIK_PG_PORT=$port
ORVIK_PG_USER=orvik
ORVIK_PG_PASSWORD=$password
ORVIK_PG_DATABASE=orvik
ORVIK_PG_DATA=$data
ORVIK_PG_BIN=$bin
ENV
  echo "PostgreSQL test server on 127.0.0.1:$port"
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
  ;;
esac
