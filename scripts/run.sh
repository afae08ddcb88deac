#!/bin/sh
# Installs, builds and starts the program.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec build/app/brenvo-qa "$@"
