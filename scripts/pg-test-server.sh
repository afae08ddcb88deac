#!/bin/sh
# start|stop a private PostgreSQL server on a loopback port for the tests;
# crash stops it at once the way a power cut would (its data kept), resume
# starts it again over that data.
# Prints nothing on success; the ODBC string is in $BQA_PG_CONN (see test.sh).
set -eu
PORT="${BQA_PG_PORT:-54329}"
DIR="${BQA_PG_DIR:-/tmp/bqa-pg-$PORT}"
BIN="$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)"
as_pg() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
case "${1:-}" in
  start)
    "$0" stop >/dev/null 2>&1 || true
    rm -rf "$DIR"; mkdir -p "$DIR"
    [ "$(id -u)" -eq 0 ] && chown postgres "$DIR"
    as_pg "$BIN/initdb" -D "$DIR/data" -U bqa --auth=trust -E UTF8 --locale=C.UTF-8 >"$DIR/initdb.log" 2>&1
    as_pg "$BIN/pg_ctl" -D "$DIR/data" -l "$DIR/server.log" -w \
      -o "-p $PORT -k $DIR -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
    as_pg "$BIN/createdb" -h 127.0.0.1 -p "$PORT" -U bqa bqa_test
    ;;
  crash)
    as_pg "$BIN/pg_ctl" -D "$DIR/data" -m immediate -w stop >/dev/null
    ;;
  resume)
    as_pg "$BIN/pg_ctl" -D "$DIR/data" -l "$DIR/server.log" -w \
      -o "-p $PORT -k $DIR -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
    ;;
  stop)
    [ -d "$DIR/data" ] && as_pg "$BIN/pg_ctl" -D "$DIR/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$DIR"
    ;;
  *) echo "usage: $0 start|stop|crash|resume" >&2; exit 2 ;;
esac
