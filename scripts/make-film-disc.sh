#!/usr/bin/env bash
# Authors a small PAL DVD-Video folder OUTDIR/VIDEO_TS shaped like a commercial film disc:
#   first-play: g3 = 0, g4 = 0, g5 = 0, then title 2 (the warning);
#   title 2 "warning" (title set 1): 2 s at 200 Hz, then "call vmgm menu 1";
#   main menu (VMGM menu 1, title menu), still, four buttons
#     1 "Play"      -> title 1 from its start
#     2 "Chapters"  -> the chapter menu
#     3 "Languages" -> the languages menu
#     4 "Extras"    -> g5 = 1, title 3 (the play-all chain)
#   title set 1's menus (VTSM):
#     root menu: no picture, jumps to the main menu (the menu key in the film shows the main menu)
#     chapter menu (entry ptt), still, five buttons
#       1..4 "Chapter N" -> title 1 chapter N;  5 "Main menu" -> the main menu
#     languages menu (entry audio), still, six buttons; 1..5 set registers and show the menu
#     again (button 1 highlighted, as on every entry)
#       1 "Audio 1" -> g3 = 0, audio = 0     2 "Audio 2" -> g3 = 1, audio = 1
#       3 "Sub A"   -> g4 = 64, subtitle = 64 (stream 1 shown)
#       4 "Sub B"   -> g4 = 65, subtitle = 65 (stream 2 shown)
#       5 "Sub off" -> g4 = 0, subtitle = 0 (none shown)
#       6 "Main menu" -> the main menu
#   title 1 "film" (title set 1): 60 s, chapters at 0, 15, 30 and 45 s; its pre-commands set
#     audio = g3 and subtitle = g4 (the languages menu's choice, however the film is entered);
#     ends with "call vmgm menu 1".
#     Audio stream 1 ("en") 300/350/400/450 Hz by chapter, stream 2 ("fr") 1000/1100/1200/1300 Hz.
#     Subtitle stream 1 ("en") yellow "SUB A 00:00:12", stream 2 ("fr") cyan "SUB B 00:00:12":
#     one cue every 3 s from 0 s, each shown 2 s, naming its start time, in x 160-560, y 476-540.
#   titles 3 and 4 "extras" (title set 2, no menus): 3 s each, 770 Hz and 880 Hz; title 3 goes
#     on to title 4 when g5 = 1 (the play-all chain), title 4 clears g5; both end with
#     "call vmgm menu 1".
# Registers: g3 the chosen audio stream (0 or 1), g4 the chosen subtitle register value (64, 65
# or 0), g5 the play-all flag; dvdauthor runs a button of several commands through the menu's
# post-commands, with g15 naming the button and g14 its copy (main menu button 4, languages
# buttons 1..5). The menu key in the film calls the root menu, so the disc's resume point is
# the place in the film. Button rectangles (x0 y0 x1 y1), button N of every menu:
#   1 (100 96 620 148)   2 (100 168 620 220)   3 (100 240 620 292)
#   4 (100 312 620 364)  5 (100 384 620 436)   6 (100 456 620 508)
# Every picture carries a label ("FILM MAIN MENU", "T1 C2 00:00:17.08", "WARNING 00:00:01.04",
# "T3 EXTRA 1 00:00:02.00"); the film's pictures also carry the code strip of disc-common.sh
# (their number within the title, title 1) along their bottom edge, under the subtitles' area.
# Skips the work when OUTDIR already holds the disc of this layout.
set -euo pipefail

. "$(dirname "$0")/disc-common.sh"
disc_outdir "$@"
stamp="$out/.kavelo-film-disc"
layout=2
[ "$(cat "$stamp" 2>/dev/null)" = "$layout" ] &&
  disc_done "$stamp" VIDEO_TS.IFO VTS_01_0.IFO VTS_02_0.IFO && exit 0
disc_begin "$out" spumux

# button N: the rectangle of menu button N.
button() { echo "100 $((24 + 72 * $1)) 620 $((76 + 72 * $1))"; }
# menu NAME TITLE CAPTION...: a still menu picture with one button per caption, and its
# highlights.
menu() {
  local name=$1 filters n=0 caption rects=()
  filters=$(disc_label 36 0.7 40 30 "$2")
  shift 2
  for caption in "$@"; do
    n=$((n + 1))
    filters+=",$(disc_button $(button $n) "$n $caption")"
    rects+=("$(button $n)")
  done
  disc_piece "$name" color=c=navy 1 0 0 "$filters" -b:v 2000k -g 10
  disc_menu_spu "$name" "${rects[@]}"
}
menu main 'FILM MAIN MENU' Play Chapters Languages Extras
menu chapters 'CHAPTERS' 'Chapter 1 00\:00' 'Chapter 2 00\:15' 'Chapter 3 00\:30' 'Chapter 4 00\:45' \
  'Main menu'
menu languages 'LANGUAGES' 'Audio 1 low tone' 'Audio 2 high tone' 'Sub A yellow' 'Sub B cyan' \
  'Sub off' 'Main menu'

disc_piece warning color=c=darkred 2 0.3 200 "$(disc_label 40 0.6 40 40 'WARNING %{pts\:hms}')" \
  -b:v 2000k -g 15
disc_piece extra1 testsrc 3 0.3 770 "$(disc_label 40 0.6 40 40 'T3 EXTRA 1 %{pts\:hms}')" \
  -b:v 2000k -g 15
disc_piece extra2 smptebars 3 0.3 880 "$(disc_label 40 0.6 40 40 'T4 EXTRA 2 %{pts\:hms}')" \
  -b:v 2000k -g 15

# The film: two audio streams of the same length; 15-frame picture groups so that the chapter
# marks (multiples of 15 s) fall on a group's start.
tone() { echo "aevalsrc=0.3*sin(2*PI*($1+$2*floor(t/15))*t):s=48000:c=stereo:d=60"; }
ff -f lavfi -i "testsrc2=size=720x576:rate=25:duration=60" -f lavfi -i "$(tone 300 50)" \
  -f lavfi -i "$(tone 1000 100)" -map 0:v -map 1:a -map 2:a \
  -vf "$(disc_label 40 0.6 40 40 "T1 C%{eif\\:1+floor(t/15)\\:d} %{pts\\:hms}"),$(disc_codestrip 1 0)" \
  -target pal-dvd -aspect 4:3 -b:v 2000k -g 15 -threads 2 "$work/film.mpg"

# subtitles NAME TEXT "R G B": one picture a cue (20 cues, 3 s apart) of TEXT and the cue's start
# time in that colour on black, and the spumux description of the stream. Two colours,
# black and the text's, with no blending (a subtitle picture holds at most four).
subtitles() {
  local name=$1 text=$2 r g b n spus=""
  read -r r g b <<<"$3"
  ff -f lavfi -i "color=c=0x606060:size=400x64:rate=1:duration=20" \
    -vf "drawtext=fontfile=${font}:fontsize=36:fontcolor=white:x=16:y=12:text='${text} 00\\:00\\:%{eif\\:n*3\\:d\\:2}',format=rgba,geq=r='${r}*gt(r(X\\,Y)\\,160)':g='${g}*gt(r(X\\,Y)\\,160)':b='${b}*gt(r(X\\,Y)\\,160)':a=255" \
    -start_number 0 "$work/${name}-%02d.png"
  for n in $(seq 0 19); do
    spus+=$(printf '<spu start="00:00:%02d.00" end="00:00:%02d.00" xoffset="160" yoffset="476" image="%s/%s-%02d.png" />' \
      $((3 * n)) $((3 * n + 2)) "$work" "$name" "$n")
  done
  echo "<subpictures format=\"PAL\"><stream>${spus}</stream></subpictures>" >"$work/${name}.xml"
}
subtitles suba 'SUB A' "255 255 0"
subtitles subb 'SUB B' "0 255 255"
disc_spumux "$work/suba.xml" "$work/film.mpg" "$work/film-a.mpg" -s 0
disc_spumux "$work/subb.xml" "$work/film-a.mpg" "$work/film-ab.mpg" -s 1

cat >"$work/disc.xml" <<XML
<dvdauthor dest="$work/disc">
  <vmgm>
    <fpc>{ g3 = 0; g4 = 0; g5 = 0; jump title 2; }</fpc>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="title">
        <button name="b1">jump title 1;</button>
        <button name="b2">jump titleset 1 menu entry ptt;</button>
        <button name="b3">jump titleset 1 menu entry audio;</button>
        <button name="b4">{ g5 = 1; jump title 3; }</button>
        <vob file="$work/main-menu.mpg" pause="inf" />
      </pgc>
    </menus>
  </vmgm>
  <titleset>
    <menus>
      <video format="pal" aspect="4:3" />
      <pgc entry="root">
        <pre>jump vmgm menu 1;</pre>
      </pgc>
      <pgc entry="ptt">
        <button name="b1">jump title 1 chapter 1;</button>
        <button name="b2">jump title 1 chapter 2;</button>
        <button name="b3">jump title 1 chapter 3;</button>
        <button name="b4">jump title 1 chapter 4;</button>
        <button name="b5">jump vmgm menu 1;</button>
        <vob file="$work/chapters-menu.mpg" pause="inf" />
      </pgc>
      <pgc entry="audio">
        <button name="b1">{ g3 = 0; audio = 0; jump menu entry audio; }</button>
        <button name="b2">{ g3 = 1; audio = 1; jump menu entry audio; }</button>
        <button name="b3">{ g4 = 64; subtitle = 64; jump menu entry audio; }</button>
        <button name="b4">{ g4 = 65; subtitle = 65; jump menu entry audio; }</button>
        <button name="b5">{ g4 = 0; subtitle = 0; jump menu entry audio; }</button>
        <button name="b6">jump vmgm menu 1;</button>
        <vob file="$work/languages-menu.mpg" pause="inf" />
      </pgc>
    </menus>
    <titles>
      <video format="pal" aspect="4:3" />
      <audio format="ac3" lang="en" />
      <audio format="ac3" lang="fr" />
      <subpicture lang="en" />
      <subpicture lang="fr" />
      <pgc>
        <pre>{ audio = g3; subtitle = g4; }</pre>
        <vob file="$work/film-ab.mpg" chapters="0,0:15,0:30,0:45" />
        <post>call vmgm menu 1;</post>
      </pgc>
      <pgc>
        <vob file="$work/warning.mpg" />
        <post>call vmgm menu 1;</post>
      </pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/extra1.mpg" />
        <post>{ if (g5 == 1) jump title 2; call vmgm menu 1; }</post>
      </pgc>
      <pgc>
        <vob file="$work/extra2.mpg" />
        <post>{ g5 = 0; call vmgm menu 1; }</post>
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
XML
disc_author
echo "$layout" >"$stamp"
