#!/usr/bin/env bash
# Authors a small PAL DVD-Video folder OUTDIR/VIDEO_TS whose title sets have no menus of their
# own (dvdauthor's default when a title set declares none, common on home-made discs):
#   first-play: jumps to the main menu;
#   main menu (VMGM, title menu): a still picture held for ever, two buttons (x0 y0 x1 y1)
#     1 "Title 1" (100 200 560 256) -> title 1
#     2 "Title 2" (100 300 560 356) -> title 2
#   title 1 (title set 1): two chapters of 2 s, 440 Hz then 550 Hz;
#   title 2 (title set 2): two chapters of 2 s, 660 Hz then 770 Hz.
#   Each title ends with "call vmgm menu 1" (back to the main menu).
# A menu call in a title (the menu key) finds no menu in the title set. Every picture carries a
# label ("MENULESS MAIN MENU", "T2 C1 00:00:01.12"). Skips the work when OUTDIR already holds
# the disc.
set -euo pipefail

. "$(dirname "$0")/disc-common.sh"
disc_outdir "$@"
stamp="$out/.kavelo-menuless-sets-disc"
disc_done "$stamp" VIDEO_TS.IFO VTS_01_0.IFO VTS_02_0.IFO && exit 0
disc_begin "$out" spumux

B1="100 200 560 256"
B2="100 300 560 356"
disc_piece main color=c=navy 1 0 0 \
  "$(disc_label 36 0.7 40 40 'MENULESS MAIN MENU'),$(disc_button $B1 '1 Title 1'),$(disc_button $B2 '2 Title 2')" \
  -b:v 2000k -g 10
disc_menu_spu main "$B1" "$B2"
# title T SOURCE: a title of two 2 s chapters in one piece, a tone per chapter.
title() {
  disc_piece "t$1" "$2" 4 0.3 "$((220 + 220 * $1))+110*floor(t/2)" \
    "$(disc_label 40 0.6 40 40 "T$1 C%{eif\\:1+floor(t/2)\\:d} %{pts\\:hms}")" -b:v 2000k -g 10
}
title 1 testsrc
title 2 smptebars

# titleset T: title set T, holding title T alone and no menus.
titleset() {
  cat <<XML
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t$1.mpg" chapters="0,0:02" />
        <post>call vmgm menu 1;</post>
      </pgc>
    </titles>
  </titleset>
XML
}
cat >"$work/disc.xml" <<XML
<dvdauthor dest="$work/disc">
  <vmgm>
    <fpc>jump vmgm menu 1;</fpc>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="title">
        <button name="b1">jump title 1;</button>
        <button name="b2">jump title 2;</button>
        <vob file="$work/main-menu.mpg" pause="inf" />
      </pgc>
    </menus>
  </vmgm>
$(titleset 1)
$(titleset 2)
</dvdauthor>
XML
disc_author
touch "$stamp"
