#!/bin/sh
# Runs PROGRAM [ARGS...] on a private X server (Xvfb) with a window manager
# (openbox), so that its windows get real frames that arrive after they are
# shown. The server picks a free display itself, so parallel runs do not
# collide; both are stopped afterwards. Without Xvfb or openbox, or when they
# do not come up within 10 seconds, PROGRAM runs without a display (and its
# framed tests skip).
set -u
tmp=$(mktemp -d) || exit 1
xpid=""
wpid=""
cleanup() {
  [ -n "$wpid" ] && kill "$wpid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

wait_for() {  # wait_for TEST-EXPRESSION: up to 10 s
  i=0
  while ! eval "$1"; do
    i=$((i + 1))
    [ "$i" -gt 200 ] && return 1
    sleep 0.05
  done
}

display=""
if command -v Xvfb >/dev/null 2>&1 && command -v openbox >/dev/null 2>&1; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
  xpid=$!
  if wait_for '[ -s "$tmp/display" ]'; then
    display=:$(tr -dc 0-9 <"$tmp/display")
    # openbox runs its start-up command once it manages the screen.
    DISPLAY=$display XDG_CACHE_HOME=$tmp openbox --sm-disable --startup "touch $tmp/wm-ready" \
      >"$tmp/openbox.log" 2>&1 &
    wpid=$!
    wait_for '[ -e "$tmp/wm-ready" ]' || display=""
  fi
fi

if [ -n "$display" ]; then
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$@"
else
  echo "with-window-manager.sh: no X server with a window manager; running without a display" >&2
  env -u DISPLAY QT_QPA_PLATFORM=offscreen "$@"
fi
status=$?
exit "$status"
