#!/bin/sh
# Installs, builds and starts the program. On a first run it also creates the
# demo database and, when no connection string is stored yet, points the
# program at it; a failure there is reported and the program starts anyway.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
data_home=${XDG_DATA_HOME:-}
case $data_home in
  /*) ;;
  *) data_home=$HOME/.local/share ;;
esac
demo=$data_home/brenvo-qa/demo.db
if scripts/demo-db.sh "$demo"; then
  scripts/demo-connection.sh "$demo" || true
else
  echo "brenvo-qa: starting without the demo database" >&2
fi
exec build/app/brenvo-qa "$@"
