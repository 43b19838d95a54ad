#!/usr/bin/env bash
# Runs a command under a private Xvfb server (1024x768, 24 bits unless KAVELO_XVFB_SCREEN says
# otherwise). -displayfd picks a free display, so several of these may run at once.
set -euo pipefail
screen="${KAVELO_XVFB_SCREEN:-1024x768x24}"
dpi="${KAVELO_XVFB_DPI:-96}"
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 "$screen" -dpi "$dpi" -nolisten tcp 3>"$fifo" 2>/dev/null &
xpid=$!
trap 'kill $xpid 2>/dev/null || true; rm -f "$fifo"' EXIT
read -r display <"$fifo"
export DISPLAY=":$display"
unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb
"$@"
