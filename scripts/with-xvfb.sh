#!/usr/bin/env bash
# Runs a command under a private Xvfb server (1024x768, 24 bits unless KAVELO_XVFB_SCREEN says
# otherwise). -displayfd picks a free display, so several of these may run at once.
# With KAVELO_XVFB_WM=openbox (or the option --wm) openbox manages the screen as well, so windows
# get real frames; the command starts only once openbox owns the screen.
set -euo pipefail
wm="${KAVELO_XVFB_WM:-}"
if [ "${1:-}" = "--wm" ]; then
  wm=openbox
  shift
fi
screen="${KAVELO_XVFB_SCREEN:-1024x768x24}"
dpi="${KAVELO_XVFB_DPI:-96}"
fifo=$(mktemp -u)
mkfifo "$fifo"
# -noreset: by default the server resets whenever its last client leaves. The first xprop below
# is often that client (openbox is still starting), and openbox connecting during the reset lost
# its connection and ended with status 1 (about 1 start in 40 under load), failing the test
# within a second. A command that runs programs one after the other (a program, then xdotool)
# met the same reset between them.
Xvfb -displayfd 3 -screen 0 "$screen" -dpi "$dpi" -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
xpid=$!
wmpid=""
cleanup() {
  if [ -n "$wmpid" ]; then kill "$wmpid" 2>/dev/null || true; fi
  kill "$xpid" 2>/dev/null || true
  rm -f "$fifo"
}
trap cleanup EXIT
if ! read -r display <"$fifo"; then
  echo "with-xvfb.sh: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$display"
unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb

if [ -n "$wm" ]; then
  if [ "$wm" != openbox ]; then
    echo "with-xvfb.sh: unknown window manager '$wm'" >&2
    exit 2
  fi
  openbox --sm-disable >/dev/null 2>&1 &
  wmpid=$!
  # The window manager owns the screen once the root window names its check window and that
  # window exists. Give up after 20 s.
  owned=""
  for _ in $(seq 200); do
    check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '/window id/ {print $NF}' || true)
    if [ -n "$check" ] && xprop -id "$check" _NET_WM_NAME >/dev/null 2>&1; then
      owned=yes
      break
    fi
    if ! kill -0 "$wmpid" 2>/dev/null; then
      status=0
      wait "$wmpid" || status=$?
      echo "with-xvfb.sh: openbox ended with status $status before it took the screen" >&2
      exit 1
    fi
    sleep 0.1
  done
  if [ -z "$owned" ]; then
    echo "with-xvfb.sh: openbox did not take the screen" >&2
    exit 1
  fi
fi
"$@"
