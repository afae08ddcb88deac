#!/bin/sh
# Installs, builds and runs every test, with a private PostgreSQL server
# started for the run and stopped after it.
set -eu
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
scripts/deps.sh
scripts/build.sh
PORT="${BQA_PG_PORT:-54329}"
scripts/pg-test-server.sh start
trap '"$ROOT/scripts/pg-test-server.sh" stop' EXIT INT TERM
export BQA_PG_CONN="Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=$PORT;Database=bqa_test;UID=bqa;PWD="
export QT_QPA_PLATFORM=offscreen
cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300
