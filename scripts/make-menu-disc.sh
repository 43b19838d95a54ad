#!/usr/bin/env bash
# Authors a small PAL DVD-Video folder OUTDIR/VIDEO_TS with menus, the way real discs are made:
#   first-play: sets g1=7 and jumps to the main menu;
#   main menu (VMGM, title menu): a still picture held for ever, three buttons
#     1 "Title 1"           -> title 1
#     2 "Title 2 chapter 3" -> title 2, chapter 3 (a main menu cannot name a chapter, so it
#                              sets g2 and passes through a command-only menu of title set 1)
#     3 "Motion menu"       -> the root menu of title set 1
#   motion menu (VTSM, root menu): 3 s of moving pattern with a tone, looping, two buttons
#     1 "Resume"            -> back to the title it was called from
#     2 "Main menu"         -> the main menu
#   title 1: chapter 1 (3 s, then its last picture held 2 s by a cell still), chapter 2 (3 s);
#   title 2: four chapters of 2 s each in one piece.
#   Both titles return to the main menu at their end.
# Every picture carries a burned-in label ("MAIN MENU", "MOTION MENU 00:00:01.20",
# "T2 C3 00:00:04.40", ...). Skips the work when OUTDIR already holds a complete disc.
set -euo pipefail

. "$(dirname "$0")/disc-common.sh"
disc_outdir "$@"
stamp="$out/.kavelo-menu-disc"
disc_done "$stamp" VIDEO_TS.IFO VTS_01_0.IFO && exit 0
disc_begin "$out" spumux

# Button rectangles (x0 y0 x1 y1), shared by the pictures, the highlight images and spumux.
B1=(100 200 560 256)
B2=(100 300 560 356)
B3=(100 400 560 456)

# label X Y TEXT: a drawtext filter with a dark box, fontsize 36.
label() { disc_label 36 0.7 "$@"; }

# encode NAME SOURCE SECONDS TONE_HZ FILTERS: one DVD-ready MPEG-PS piece; TONE_HZ 0 is silence.
encode() { disc_piece "$1" "$2" "$3" 0.3 "$4" "$5" -b:v 2000k -g 10; }

# title T C START SECONDS: one chapter piece of a title, labelled with its title time.
title() {
  local t=$1 c=$2 start=$3 secs=$4 src=testsrc tone=$((330 + 110 * $2))
  encode "t${t}c${c}" "$src" "$secs" "$tone" \
    "$(label 40 40 "T${t} C${c} %{pts\\:hms\\:${start}}")"
}

encode main color=c=navy 1 0 \
  "$(label 40 40 'MAIN MENU'),$(disc_button "${B1[@]}" '1 Title 1'),$(disc_button "${B2[@]}" '2 Title 2 chapter 3'),$(disc_button "${B3[@]}" '3 Motion menu')"
encode motion testsrc2 3 880 \
  "$(label 40 40 'MOTION MENU %{pts\:hms}'),$(disc_button "${B1[@]}" 'Resume'),$(disc_button "${B2[@]}" 'Main menu')"
title 1 1 0 3
title 1 2 3 3
# Title 2 is one piece with a chapter every 2 s (a whole number of 0.4 s picture groups, so the
# chapter marks fall where asked).
encode t2 smptebars 8 440 "$(label 40 40 "T2 C%{eif\\:1+floor(t/2)\\:d} %{pts\\:hms}")"

disc_menu_spu main "${B1[*]}" "${B2[*]}" "${B3[*]}"
disc_menu_spu motion "${B1[*]}" "${B2[*]}"

cat >"$work/disc.xml" <<EOF
<dvdauthor dest="$work/disc">
  <vmgm>
    <fpc>{ g1 = 7; jump vmgm menu 1; }</fpc>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="title">
        <button name="b1">jump title 1;</button>
        <button name="b2">g2 = 3; jump titleset 1 menu entry ptt;</button>
        <button name="b3">jump titleset 1 menu entry root;</button>
        <vob file="$work/main-menu.mpg" pause="inf" />
      </pgc>
    </menus>
  </vmgm>
  <titleset>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="root">
        <button name="b1">resume;</button>
        <button name="b2">jump vmgm menu 1;</button>
        <vob file="$work/motion-menu.mpg" />
        <post>jump cell 1;</post>
      </pgc>
      <pgc entry="ptt">
        <pre>if (g2 == 3) { g2 = 0; jump title 2 chapter 3; } jump vmgm menu 1;</pre>
      </pgc>
    </menus>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t1c1.mpg" chapters="0" pause="2" />
        <vob file="$work/t1c2.mpg" chapters="0" />
        <post>call vmgm menu 1;</post>
      </pgc>
      <pgc>
        <vob file="$work/t2.mpg" chapters="0,0:02,0:04,0:06" />
        <post>call vmgm menu 1;</post>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
EOF
disc_author
touch "$stamp"
