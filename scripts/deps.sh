#!/bin/sh
# Installs what building, running and testing need on Debian 12.
set -eu
PKGS="build-essential cmake pkg-config qt6-base-dev libgl-dev unixodbc-dev odbcinst tdsodbc libsqliteodbc sqlite3 odbc-postgresql libgtest-dev libgmock-dev postgresql xvfb xauth openbox qt6-translations-l10n fonts-dejavu-core fonts-wqy-microhei"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
# The drivers register themselves; make sure the SQLite3 and PostgreSQL
# entries exist even where the packages' triggers did not run.
if ! odbcinst -q -d -n SQLite3 >/dev/null 2>&1; then
  printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=libsqlite3odbc.so\nSetup=libsqlite3odbc.so\n' > /tmp/bqa-sqlite3.ini
  ${SUDO:-} odbcinst -i -d -f /tmp/bqa-sqlite3.ini
fi
