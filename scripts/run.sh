#!/bin/sh
# Installs, builds and starts the program. On a first run it also creates the
# demo database and, when no connection string is stored yet, points the
# program at it; a failure there is reported and the program starts anyway.
#
# Only the program's own target is built (tests and benchmarks are left to
# scripts/test.sh), and an already configured build tree is not configured
# again: a start with nothing changed takes a few seconds.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
if [ ! -f build/CMakeCache.txt ]; then
  echo "brenvo-qa: configuring the build in ./build ..."
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if [ ! -x build/app/brenvo-qa ]; then
  echo "brenvo-qa: building the program (the first build takes a few minutes) ..."
  cmake --build build --target brenvo-qa -j"$(nproc)"
else
  # Quiet when nothing or little changed; the compiler's words on failure.
  log=$(mktemp)
  trap 'rm -f "$log"' EXIT
  if ! cmake --build build --target brenvo-qa -j"$(nproc)" >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
  fi
  rm -f "$log"
  trap - EXIT
fi
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
