#!/usr/bin/env bash
# Installs Kavelo into a temporary prefix, checks what the desktop reads from it (menu entry,
# AppStream description, icons, skin), then starts the installed program and waits for its
# window. Runs under scripts/with-xvfb.sh.   usage: install-test.sh BUILD_DIR
set -euo pipefail
build=$1
id=org.example.kavelo
prefix=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$prefix"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

[ -x "$prefix/bin/kavelo" ] || fail "bin/kavelo missing"
[ -x "$prefix/bin/kavelo-dvdnav" ] || fail "bin/kavelo-dvdnav missing"
skin="$prefix/share/kavelo/skin"
for f in logo1.jpg logo2.jpg color1.txt color2.txt play.jpg pause.jpg stop.jpg \
  previouschapter.jpg nextchapter.jpg rewind.jpg fastforward.jpg fullscreen.jpg; do
  [ -s "$skin/$f" ] || fail "skin file $f missing"
done
[ ! -e "$skin/draw-skin.sh" ] || fail "the skin's drawing script was installed"

entry="$prefix/share/applications/$id.desktop"
out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate says: $out"
grep -qx 'Categories=AudioVideo;Video;Player;' "$entry" || fail "categories"
grep -qx 'Exec=kavelo' "$entry" || fail "Exec takes no file arguments"
grep -qx "Icon=$id" "$entry" || fail "icon name"

appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml")"

# Every PNG is the size its folder names (width and height from the IHDR chunk).
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  [ -s "$png" ] || fail "icon ${size}x${size} missing"
  read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "icon ${size}x${size} is ${w}x${h}"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "scalable icon"

# The installed program starts from anywhere and finds its skin in share/kavelo; in a Wayland
# session where no platform was chosen it runs on XWayland.
cd "$prefix"
env -u QT_QPA_PLATFORM WAYLAND_DISPLAY=kavelo-test-no-compositor XDG_SESSION_TYPE=wayland \
  QT_LOGGING_RULES='kavelo.*=true' "$prefix/bin/kavelo" 2>"$prefix/kavelo.log" &
pid=$!
for _ in $(seq 1 100); do
  xdotool search --name '^Kavelo$' >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || fail "kavelo ended: $(cat "$prefix/kavelo.log")"
  sleep 0.2
done
xdotool search --name '^Kavelo$' >/dev/null || fail "no Kavelo window after 20 s"
grep -q "skin folder \"$prefix/share/kavelo\"" "$prefix/kavelo.log" ||
  fail "skin not taken from share/kavelo: $(grep -i skin "$prefix/kavelo.log")"
grep -q 'windowing platform "xcb"' "$prefix/kavelo.log" ||
  fail "not on xcb: $(grep -i platform "$prefix/kavelo.log")"
echo "installed and started from $prefix"
