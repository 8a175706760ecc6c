#!/usr/bin/env bash
# A throwaway PostgreSQL server for the server-mode tests.
#   pg-server.sh start ENV_FILE SCHEMA_SQL   fresh cluster on 127.0.0.1, random port
#   pg-server.sh stop ENV_FILE               stops it and removes its folder
# ENV_FILE receives the connection facts (KEY=VALUE lines) the tests read.
# The cluster runs as an unprivileged user: PostgreSQL refuses to run as root.
set -euo pipefail

action=${1:?start or stop}
env_file=$(realpath -m "${2:?env file}")
schema_arg=${3:+$(realpath "$3")}
# The server's user may not enter the caller's folder (a clone under /root).
cd /tmp

pg_bin=""
for v in 17 16 15; do
  if [ -x "/usr/lib/postgresql/$v/bin/initdb" ]; then pg_bin="/usr/lib/postgresql/$v/bin"; break; fi
done

stop_server() {
  [ -f "$env_file" ] || return 0
  local dir="" user="" watchdog=""
  dir=$(sed -n 's/^PG_DIR=//p' "$env_file")
  user=$(sed -n 's/^PG_RUN_AS=//p' "$env_file")
  watchdog=$(sed -n 's/^PG_WATCHDOG=//p' "$env_file")
  rm -f "$env_file"
  [ -n "$watchdog" ] && kill -- "-$watchdog" 2>/dev/null || true
  [ -n "$dir" ] && [ -d "$dir" ] || return 0
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_user "$user" "$pg_bin/pg_ctl" -D "$dir/data" -m immediate -w -t 20 stop >/dev/null 2>&1 || {
      # pg_ctl failed: end the postmaster by its own pid.
      local pid
      pid=$(head -n1 "$dir/data/postmaster.pid" 2>/dev/null || true)
      [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    }
  fi
  rm -rf "$dir"
}

as_user() {
  local user=$1; shift
  if [ -z "$user" ]; then "$@"; else runuser -u "$user" -- "$@"; fi
}

case "$action" in
stop)
  stop_server
  exit 0
  ;;
start) ;;
*) echo "usage: $0 start|stop ENV_FILE [SCHEMA_SQL]" >&2; exit 2 ;;
esac

schema=${schema_arg:?schema sql}
[ -n "$pg_bin" ] || { echo "PostgreSQL server binaries not found (scripts/install-deps.sh installs them)" >&2; exit 1; }
stop_server  # a leftover of an interrupted run

run_as=""
if [ "$(id -u)" -eq 0 ]; then
  run_as=ostrel-pg
  id "$run_as" >/dev/null 2>&1 || useradd -r -M -d /nonexistent -s /usr/sbin/nologin "$run_as"
fi

dir=$(mktemp -d /tmp/ostrel-pg.XXXXXX)
chmod 755 "$dir"
[ -n "$run_as" ] && chown "$run_as" "$dir"
cleanup_on_error() { stop_server; rm -rf "$dir"; }
trap cleanup_on_error ERR

superpass=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
userpass='Pw;x"1 ok'   # a ";", a quote and a blank must survive the settings path
printf '%s\n' "$superpass" > "$dir/pwfile"
[ -n "$run_as" ] && chown "$run_as" "$dir/pwfile"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

# Written before starting, so that stop finds the folder whatever happens next.
{
  echo "PG_DIR=$dir"
  echo "PG_RUN_AS=$run_as"
} > "$env_file"

as_user "$run_as" "$pg_bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" -E UTF8 --locale=C.UTF-8 \
  --auth-local=trust --auth-host=scram-sha-256 >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; false; }
as_user "$run_as" "$pg_bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 start \
  -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=40" \
  >/dev/null || { cat "$dir/server.log" >&2; false; }

psql_admin() { as_user "$run_as" "$pg_bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres "$@"; }

sqlpass=${userpass//\'/\'\'}
psql_admin -d postgres -c "CREATE ROLE ostrel LOGIN CREATEDB CREATEROLE PASSWORD '$sqlpass'" \
  -c "CREATE DATABASE ostrel_template OWNER ostrel"
cp "$schema" "$dir/schema.sql"
chmod 644 "$dir/schema.sql"
as_user "$run_as" env PGPASSWORD="$userpass" "$pg_bin/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U ostrel \
  -d ostrel_template -f "$dir/schema.sql" >/dev/null
# Each test copies the template into a database of its own.
psql_admin -d postgres -c "ALTER DATABASE ostrel_template IS_TEMPLATE true ALLOW_CONNECTIONS false"

# Should the run be killed before its cleanup, the server still stops within
# the hour.
stopper="'$pg_bin/pg_ctl' -D '$dir/data' -m immediate stop"
[ -n "$run_as" ] && stopper="runuser -u $run_as -- $stopper"
setsid bash -c "sleep 3600; $stopper" </dev/null >/dev/null 2>&1 &
watchdog=$!  # leads its own process group
{
  echo "PG_DIR=$dir"
  echo "PG_RUN_AS=$run_as"
  echo "PG_WATCHDOG=$watchdog"
  echo "PG_HOST=127.0.0.1"
  echo "PG_PORT=$port"
  echo "PG_USER=ostrel"
  echo "PG_PASSWORD=$userpass"
  echo "PG_SUPERUSER=postgres"
  echo "PG_SUPERPASSWORD=$superpass"
  echo "PG_TEMPLATE=ostrel_template"
} > "$env_file"
echo "PostgreSQL $("$pg_bin/postgres" --version | awk '{print $3}') on 127.0.0.1:$port ($dir)"
