#!/bin/sh
# Creates the demo SQLite database when it is missing.
#   scripts/demo-db.sh [FILE]
# FILE defaults to ${XDG_DATA_HOME:-~/.local/share}/brenvo-qa/demo.db. An
# existing FILE is left as it is. The database is built in a temporary file
# beside FILE and moved into place whole, so an interrupted run leaves no
# half-built database behind. Exit status 0 when FILE exists afterwards;
# otherwise a message on stderr and status 1.
set -eu

here=$(cd "$(dirname "$0")" && pwd -P)

data_home=${XDG_DATA_HOME:-}
case $data_home in
  /*) ;;
  *) data_home=$HOME/.local/share ;;   # relative values are ignored, as the XDG rules say
esac
db=${1:-$data_home/brenvo-qa/demo.db}

fail() {
  printf 'brenvo-qa: the demo database %s was not created: %s\n' "$db" "$1" >&2
  exit 1
}

if [ -e "$db" ]; then
  [ -f "$db" ] || fail "the path exists and is not a file"
  exit 0
fi

command -v sqlite3 >/dev/null 2>&1 || fail "the sqlite3 program is not installed (scripts/deps.sh installs it)"

dir=$(dirname "$db")
if [ ! -d "$dir" ]; then
  err=$(mkdir -p "$dir" 2>&1) || fail "cannot create the directory $dir${err:+ ($err)}"
fi
[ -w "$dir" ] || fail "the directory $dir is not writable"

tmp="$db.tmp.$$"
trap 'rm -f "$tmp"' EXIT
trap 'exit 1' HUP INT TERM
err=$(sqlite3 -bail "$tmp" <"$here/demo.sql" 2>&1 >/dev/null) || fail "sqlite3 failed${err:+: $err}"
err=$(mv -f "$tmp" "$db" 2>&1) || fail "cannot move the new file into place${err:+ ($err)}"
printf 'brenvo-qa: created the demo database %s\n' "$db" >&2
