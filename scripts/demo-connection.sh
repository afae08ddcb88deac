#!/bin/sh
# Makes the demo database the connection string when none is stored yet.
#   scripts/demo-connection.sh DB
# Stores "Driver=SQLite3;Database=<absolute DB>" as the value "A" of the key
# \SOFTWARE\Norlet System\ in the program's settings store
# ($BQA_REGISTRY_FILE, else ${XDG_CONFIG_HOME:-~/.config}/brenvo-qa/registry),
# only when that key holds no value "A" at all: a string the user chose,
# even an empty one, is never replaced.
#
# A missing store is created whole. An existing store without "A" gets the
# two lines appended: the copy is made and moved into place while holding the
# program's own lock file beside the store, so a running copy of the program
# can neither lose our lines nor have its write lost. When the lock stays
# busy, or anything else is off, the store is left untouched and the message
# says how to choose the demo in the program. Exit status 0 when a value "A"
# is stored afterwards, 1 otherwise.
set -eu

[ $# -eq 1 ] || { echo "usage: $0 DB" >&2; exit 2; }

db_dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd -P) || {
  printf 'brenvo-qa: no directory for the demo database %s\n' "$1" >&2; exit 1; }
db=$db_dir/$(basename "$1")

store=${BQA_REGISTRY_FILE:-}
if [ -z "$store" ]; then
  config_home=${XDG_CONFIG_HOME:-}
  case $config_home in
    /*) ;;
    *) config_home=$HOME/.config ;;
  esac
  store=$config_home/brenvo-qa/registry
fi
store_dir=$(dirname "$store")
lock=$store_dir/.$(basename "$store").lock
target=$store   # the file written: a symbolic link's target, as the program does
[ -L "$store" ] && target=$(readlink -f "$store")

decline() {
  printf 'brenvo-qa: the demo connection was not stored in %s: %s\n' "$store" "$1" >&2
  printf '  To use the demo, press "Строка подключения", choose the driver SQLite3 and the file %s.\n' "$db" >&2
  exit 1
}

# The ODBC string cannot quote a ';' for the SQLite3 driver (it knows no
# braces), and the store's lines cannot hold a line break unescaped.
case $db in
  *\;*) decline "the path holds a ';'" ;;
esac
if [ "$(printf '%s' "$db" | tr -d '\000-\037\177')" != "$db" ]; then
  decline "the path holds a control character"
fi

# The store's whole lines: a last line without its line break was cut short
# (a write broken off) and is no key or value, as the program reads it.
whole_lines() {
  if [ -z "$(tail -c 1 "$1")" ]; then
    cat "$1"
  else
    head -c -"$(tail -n 1 "$1" | wc -c)" "$1"
  fi
}

# True when the store holds a value "A" (string or integer) under the key
# SOFTWARE\Norlet System. Key paths and names compare case-insensitively;
# escapes are read as the program reads them.
has_value_a() {
  whole_lines "$target" | awk '
    BEGIN {
      for (i = 32; i < 127; i++) ascii[sprintf("%02x", i)] = sprintf("%c", i)
      key = ""
    }
    # Placeholder for an escaped character that is not printable ASCII: it
    # never equals a character of the names compared here.
    function decoded(h) {
      h = tolower(h)
      if (length(h) == 4 && substr(h, 1, 2) == "00") h = substr(h, 3)
      return (h in ascii) ? ascii[h] : "\001"
    }
    function unescape(s,   out, i, n, c, d, k) {
      out = ""; n = length(s)
      for (i = 1; i <= n; i++) {
        c = substr(s, i, 1)
        if (c != "\\" || i == n) { out = out c; continue }
        d = substr(s, i + 1, 1)
        if (d == "\\" || d == "=") { out = out d; i++; continue }
        k = (d == "x") ? 2 : (d == "u") ? 4 : 0
        if (k && i + 1 + k <= n && substr(s, i + 2, k) ~ /^[0-9A-Fa-f]+$/) {
          out = out decoded(substr(s, i + 2, k)); i += 1 + k; continue
        }
        out = out c
      }
      return out
    }
    function normalised(path,   parts, m, i, out) {
      m = split(path, parts, "\\")
      out = ""
      for (i = 1; i <= m; i++)
        if (parts[i] != "") out = (out == "") ? parts[i] : out "\\" parts[i]
      return tolower(out)
    }
    # Index of the first "=" that is not part of an escape, or 0.
    function separator(s,   i, n, c) {
      n = length(s)
      for (i = 1; i <= n; i++) {
        c = substr(s, i, 1)
        if (c == "\\") i++
        else if (c == "=") return i
      }
      return 0
    }
    {
      sub(/\r$/, "")
      if (length($0) < 2 || substr($0, 2, 1) != " ") next
      kind = substr($0, 1, 1); body = substr($0, 3)
      if (kind == "K") { key = normalised(unescape(body)); next }
      if (kind != "S" && kind != "I") next
      eq = separator(body)
      if (eq == 0) next
      if (key == "software\\norlet system" && tolower(unescape(substr(body, 1, eq - 1))) == "a") found = 1
    }
    END { exit found ? 0 : 1 }
  '
}

if [ -e "$store" ]; then
  [ -f "$target" ] || decline "it is not a regular file"
  [ -r "$target" ] || decline "it cannot be read"
  has_value_a && exit 0
fi

err=$(umask 077 && mkdir -p "$store_dir" 2>&1) || decline "cannot create the directory $store_dir${err:+ ($err)}"

# The program's lock file: created exclusively, holding our pid, process name
# and host name, the lines the program's lock reads to tell a live holder
# from a stale one (a dead pid's lock is taken over, as the program does).
me=$(basename "$(readlink "/proc/$$/exe" 2>/dev/null || echo sh)")
host=$(uname -n)
tmp=$store_dir/.$(basename "$store").demo.$$
locked=""
cleanup() {
  rm -f "$tmp"
  [ -z "$locked" ] || rm -f "$lock"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM
tries=0
while :; do
  if (set -C; printf '%s\n%s\n%s\n' "$$" "$me" "$host" >"$lock") 2>/dev/null; then
    locked=1
    break
  fi
  holder=$(sed -n 1p "$lock" 2>/dev/null || true)
  holder_host=$(sed -n 3p "$lock" 2>/dev/null || true)
  case $holder in
    '' | *[!0-9]*) ;;
    *) if [ "$holder_host" = "$host" ] && ! kill -0 "$holder" 2>/dev/null; then
         rm -f "$lock"
         continue
       fi ;;
  esac
  tries=$((tries + 1))
  [ "$tries" -lt 5 ] || decline "its lock file $lock stays busy"
  sleep 1
done

# Under the lock: another copy may have written meanwhile.
if [ -e "$target" ]; then
  has_value_a && exit 0
fi

value=$(printf 'Driver=SQLite3;Database=%s' "$db" | sed 's/\\/\\\\/g; s/=/\\=/g')
(
  umask 077
  if [ -e "$target" ]; then
    whole_lines "$target"
    # A cut-short last line stays, commented out as the program keeps it.
    [ -z "$(tail -c 1 "$target")" ] || printf '#%s\n' "$(tail -n 1 "$target")"
  else
    printf 'BQA-REGISTRY 1\n'
  fi
  printf 'K SOFTWARE\\\\Norlet System\nS A=%s\n' "$value"
) >"$tmp" || decline "cannot write $tmp"
chmod 600 "$tmp"
mv -f "$tmp" "$target" || decline "cannot replace the file"
printf 'brenvo-qa: the connection string now points at the demo database %s\n' "$db" >&2
