#!/usr/bin/env bash
# Authors a small PAL DVD-Video folder OUTDIR/VIDEO_TS for trying and testing the player:
#   title 1: three chapters of 10 s each (one VOB per chapter, test pattern);
#   title 2: 80 s of colour bars with chapter marks at 0, 0:20, 0:40 and 0:60, its timestamps
#            running on through its cells;
#   title 3: 12 s in three 4 s cells whose timestamps each start again from zero (as cells cut
#            with `ffmpeg -c copy` from one piece do); chapters at 0 and 4 s;
#   title 4: 8 s in two 4 s cells, the first holding its last picture for 3 s (a cell still).
# Every frame carries a label "T<title> C<chapter> HH:MM:SS.FF" and every chapter its own tone.
# The pictures of titles 2, 3 and 4 also carry a code strip along their bottom edge (y 536-567),
# 18 boxes of 40 pixels, white for 1: boxes 0-12 the frame's number within the title (bit 0
# first), box 13 always white, boxes 14-16 the title number.
# Skips the work when OUTDIR already holds a complete disc. Exits non-zero on failure.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi

out=$1
stamp="$out/.kavelo-sample-disc"
ifo="$out/VIDEO_TS/VIDEO_TS.IFO"
# The stamp names the disc's layout: a disc of an older layout is authored again.
layout=2
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$layout" ] && [ -s "$ifo" ] &&
  [ -s "$out/VIDEO_TS/VTS_01_0.IFO" ] &&
  [ -s "$out/VIDEO_TS/VTS_02_0.IFO" ] && [ -s "$out/VIDEO_TS/VTS_03_0.IFO" ] &&
  [ -s "$out/VIDEO_TS/VTS_04_0.IFO" ]; then
  exit 0
fi

. "$(dirname "$0")/disc-common.sh"
disc_begin "$out"

# encode NAME SOURCE SECONDS TITLE CHAPTER TONE START [strip]
#   The label's chapter number comes from CHAPTER (an ffmpeg expression in t), the tone from
#   TONE (an aevalsrc expression in t); the label's clock starts at START seconds. "strip"
#   adds the code strip.
encode() {
  local name=$1 src=$2 secs=$3 title=$4 chapter=$5 tone=$6 start=$7
  local filters
  filters=$(disc_label 40 0.6 40 40 "T${title} C%{eif\\:${chapter}\\:d} %{pts\\:hms\\:${start}}")
  if [ "${8:-}" = strip ]; then
    filters+=",$(disc_codestrip "$title" $((start * 25)))"
  fi
  disc_piece "$name" "$src" "$secs" 0.3 "$tone" "$filters" -b:v 2500k -g 12
}

# coded NAME SOURCE SECONDS TITLE CHAPTER START
#   A piece of a title from START seconds on, with the label and the code strip. Its own
#   timestamps start from zero, as those of a cell cut from a longer piece with -c copy do.
coded() {
  local name=$1 src=$2 secs=$3 title=$4 chapter=$5 start=$6
  disc_piece "$name" "$src" "$secs" 0.3 "440+110*${chapter}" \
    "$(disc_label 40 0.6 40 40 "T${title} C${chapter} %{pts\\:hms\\:${start}}"),$(disc_codestrip "$title" $((start * 25)))" \
    -b:v 2500k -g 12
}

# Title 1: one 10 s piece per chapter, each with its own tone.
encode t1c1 testsrc 10 1 1 440 0
encode t1c2 testsrc 10 1 2 550 10
encode t1c3 testsrc 10 1 3 660 20
# Title 2: 80 s, chapter and tone change every 20 s.
encode t2 smptebars 80 2 "1+floor(t/20)" "330+110*floor(t/20)" 0 strip
# Title 3: cells of 4 s whose timestamps restart (a jump too small for libmpv to notice).
coded t3a testsrc2 4 3 1 0
coded t3b testsrc2 4 3 2 4
coded t3c testsrc2 4 3 2 8
# Title 4: a cell still after the first 4 s.
coded t4a rgbtestsrc 4 4 1 0
coded t4b rgbtestsrc 4 4 1 4

cat >"$work/disc.xml" <<EOF
<dvdauthor dest="$work/disc">
  <vmgm />
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t1c1.mpg" chapters="0" />
        <vob file="$work/t1c2.mpg" chapters="0" />
        <vob file="$work/t1c3.mpg" chapters="0" />
      </pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t2.mpg" chapters="0,0:20,0:40,0:60" />
      </pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t3a.mpg" chapters="0" />
        <vob file="$work/t3b.mpg" chapters="0" />
        <vob file="$work/t3c.mpg" />
      </pgc>
    </titles>
  </titleset>
  <titleset>
    <titles>
      <video format="pal" aspect="4:3" />
      <pgc>
        <vob file="$work/t4a.mpg" chapters="0" pause="3" />
        <vob file="$work/t4b.mpg" />
      </pgc>
    </titles>
  </titleset>
</dvdauthor>
EOF
disc_author
echo "$layout" >"$stamp"
