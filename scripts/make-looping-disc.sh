#!/usr/bin/env bash
# Authors a small broken PAL DVD-Video folder OUTDIR/VIDEO_TS: the first-play program shows a
# still main menu (the title menu) whose second button jumps to a program chain of the disc's
# menus that jumps to itself for ever (no picture, no still); its first button plays title 1.
# A player following the disc's program must not hang on it. Title 1 lasts 1 s, title 2 3 s.
# Skips the work when OUTDIR already holds the disc.
set -euo pipefail

. "$(dirname "$0")/disc-common.sh"
disc_outdir "$@"
stamp="$out/.kavelo-looping-disc"
disc_done "$stamp" VIDEO_TS.IFO VTS_01_0.IFO && exit 0
disc_begin "$out" spumux

disc_piece menu color=c=navy 1 0.3 440 "$(disc_label 36 0.7 40 40 'LOOPING DISC MENU')"
disc_piece t1 testsrc 1 0.3 550 "$(disc_label 36 0.7 40 40 'T1 %{pts\:hms}')"
disc_piece t2 smptebars 3 0.3 660 "$(disc_label 36 0.7 40 40 'T2 %{pts\:hms}')"

# The buttons' highlight: a yellow band over each, on a transparent picture.
ff -f lavfi -i "color=c=black:size=720x576,format=rgba,geq=r=255:g=255:b=0:a='255*(between(Y,200,256)+between(Y,300,356))*between(X,100,560)'" \
  -frames:v 1 "$work/hl.png"
cat >"$work/spu.xml" <<XML
<subpictures format="PAL"><stream>
  <spu start="00:00:00.00" force="yes" highlight="$work/hl.png" select="$work/hl.png">
    <button name="b1" x0="100" y0="200" x1="560" y1="256" down="b2" up="b2" />
    <button name="b2" x0="100" y0="300" x1="560" y1="356" down="b1" up="b1" />
  </spu>
</stream></subpictures>
XML
spumux -m dvd "$work/spu.xml" <"$work/menu.mpg" >"$work/menu-spu.mpg" 2>"$work/spumux.log" || {
  cat "$work/spumux.log" >&2
  exit 1
}

cat >"$work/disc.xml" <<XML
<dvdauthor dest="$work/disc">
  <vmgm>
    <fpc>jump vmgm menu 1;</fpc>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="title">
        <button name="b1">jump title 1;</button>
        <button name="b2">jump vmgm menu 2;</button>
        <vob file="$work/menu-spu.mpg" pause="inf" />
      </pgc>
      <pgc>
        <pre>jump vmgm menu 2;</pre>
      </pgc>
    </menus>
  </vmgm>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc><vob file="$work/t1.mpg" /></pgc>
      <pgc><vob file="$work/t2.mpg" /></pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
disc_author
touch "$stamp"
