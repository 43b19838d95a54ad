#!/usr/bin/env bash
# Authors a small broken PAL DVD-Video folder OUTDIR/VIDEO_TS whose looping button sits one
# menu deep, where a player that tries only the first menu's buttons never finds it:
#   first-play: jumps to the main menu;
#   main menu (VMGM menu 1, title menu): a still picture held for ever, two buttons (x0 y0 x1 y1)
#     1 "Title 1" (100 200 560 256) -> title 1
#     2 "Menu 2"  (100 300 560 356) -> menu 2
#   menu 2 (VMGM menu 2): a still picture held for ever, two buttons at the same places
#     1 "Loop"      -> VMGM menu 3, a program chain with no picture whose pre-command jumps to
#                      itself for ever
#     2 "Main menu" -> the main menu
#   title 1: 2 s at 550 Hz, title 2: 2 s at 660 Hz (title set 1); both end with
#   "call vmgm menu 1".
# Every picture carries a label ("DEEP LOOP MAIN MENU", "DEEP LOOP MENU 2", "T1 00:00:01.04").
# Skips the work when OUTDIR already holds the disc.
set -euo pipefail

. "$(dirname "$0")/disc-common.sh"
disc_outdir "$@"
stamp="$out/.kavelo-deep-loop-disc"
disc_done "$stamp" VIDEO_TS.IFO VTS_01_0.IFO && exit 0
disc_begin "$out" spumux

B1="100 200 560 256"
B2="100 300 560 356"
# menu NAME TITLE CAPTION1 CAPTION2: a still menu picture of two buttons with its highlights.
menu() {
  disc_piece "$1" color=c=navy 1 0 0 \
    "$(disc_label 36 0.7 40 40 "$2"),$(disc_button $B1 "$3"),$(disc_button $B2 "$4")" -b:v 2000k -g 10
  disc_menu_spu "$1" "$B1" "$B2"
}
menu main 'DEEP LOOP MAIN MENU' '1 Title 1' '2 Menu 2'
menu second 'DEEP LOOP MENU 2' '1 Loop' '2 Main menu'
disc_piece t1 testsrc 2 0.3 550 "$(disc_label 40 0.6 40 40 'T1 %{pts\:hms}')" -b:v 2000k -g 10
disc_piece t2 smptebars 2 0.3 660 "$(disc_label 40 0.6 40 40 'T2 %{pts\:hms}')" -b:v 2000k -g 10

cat >"$work/disc.xml" <<XML
<dvdauthor dest="$work/disc">
  <vmgm>
    <fpc>jump vmgm menu 1;</fpc>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="title">
        <button name="b1">jump title 1;</button>
        <button name="b2">jump vmgm menu 2;</button>
        <vob file="$work/main-menu.mpg" pause="inf" />
      </pgc>
      <pgc>
        <button name="b1">jump vmgm menu 3;</button>
        <button name="b2">jump vmgm menu 1;</button>
        <vob file="$work/second-menu.mpg" pause="inf" />
      </pgc>
      <pgc>
        <pre>jump vmgm menu 3;</pre>
      </pgc>
    </menus>
  </vmgm>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t1.mpg" />
        <post>call vmgm menu 1;</post>
      </pgc>
      <pgc>
        <vob file="$work/t2.mpg" />
        <post>call vmgm menu 1;</post>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
disc_author
touch "$stamp"
