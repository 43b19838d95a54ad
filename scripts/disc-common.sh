# Shared set-up of the disc-authoring scripts (sourced, not run): the tools they need, a work
# folder removed on exit, the label font, PAL pieces encoded from ffmpeg's test sources, and
# dvdauthor turning a disc description into OUTDIR/VIDEO_TS.

# disc_outdir ARG...: the one argument a script takes, OUTDIR, in $out; exits 2 with the usage
# otherwise.
disc_outdir() {
  if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
  fi
  out=$1
}

# disc_done STAMP FILE...: whether STAMP exists and each FILE of $out/VIDEO_TS is not empty (a
# disc authored before, whole).
disc_done() {
  local f
  [ -f "$1" ] || return 1
  shift
  for f in "$@"; do
    [ -s "$out/VIDEO_TS/$f" ] || return 1
  done
}

# disc_begin OUTDIR TOOL...: fails when a tool is missing; makes OUTDIR and a work folder in it
# ($work, removed when the script ends) and picks the label font ($font).
disc_begin() {
  disc_out=$1
  shift
  local tool
  for tool in ffmpeg dvdauthor "$@"; do
    command -v "$tool" >/dev/null || {
      echo "$0: $tool is missing (scripts/install-deps.sh installs it)" >&2
      exit 1
    }
  done
  font=/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf
  [ -f "$font" ] || font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
  mkdir -p "$disc_out"
  work=$(mktemp -d "$disc_out/.work.XXXXXX")
  trap 'rm -rf "$work"' EXIT
}

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# disc_label SIZE BOX_ALPHA X Y TEXT: a drawtext filter, white on a dark box.
disc_label() {
  echo "drawtext=fontfile=${font}:fontsize=$1:fontcolor=white:box=1:boxcolor=black@$2:x=$3:y=$4:text='$5'"
}

# disc_codestrip TITLE FIRST: the filters drawing a code strip along the picture's bottom edge
# (y 536-567) for a piece whose first frame is frame FIRST of title TITLE: 18 boxes of 40 pixels,
# white for 1; boxes 0-12 the frame's number within the title (bit 0 first), box 13 always
# white, boxes 14-16 the title number, box 17 black.
disc_codestrip() {
  local title=$1 first=$2 bit
  local strip="drawbox=x=0:y=536:w=720:h=32:color=black:t=fill"
  for bit in 0 1 2 3 4 5 6 7 8 9 10 11 12; do
    strip+=",drawbox=x=$((40 * bit)):y=536:w=40:h=32:color=white:t=fill"
    strip+=":enable='mod(floor((n+${first})/pow(2\\,${bit}))\\,2)'"
  done
  strip+=",drawbox=x=520:y=536:w=40:h=32:color=white:t=fill"
  for bit in 0 1 2; do
    if (((title >> bit) & 1)); then
      strip+=",drawbox=x=$((560 + 40 * bit)):y=536:w=40:h=32:color=white:t=fill"
    fi
  done
  echo "$strip"
}

# disc_piece NAME SOURCE SECONDS VOLUME TONE FILTERS [OUTPUT OPTION...]: $work/NAME.mpg, a PAL
# DVD MPEG-PS piece of an ffmpeg test SOURCE (options after "=" allowed) with a sine of TONE Hz
# (an aevalsrc expression in t) and the video FILTERS.
disc_piece() {
  local name=$1 src=$2 secs=$3 volume=$4 tone=$5 filters=$6 sep="="
  shift 6
  [[ $src == *=* ]] && sep=":"
  ff -f lavfi -i "${src}${sep}size=720x576:rate=25:duration=${secs}" \
    -f lavfi -i "aevalsrc=${volume}*sin(2*PI*(${tone})*t):s=48000:c=stereo:d=${secs}" \
    -vf "$filters" -target pal-dvd -aspect 4:3 "$@" -threads 2 "$work/${name}.mpg"
}

# disc_author: runs dvdauthor on $work/disc.xml (whose dest is $work/disc) and moves the
# VIDEO_TS folder it wrote into OUTDIR, replacing what was there.
disc_author() {
  VIDEO_FORMAT=PAL dvdauthor -x "$work/disc.xml" >"$work/dvdauthor.log" 2>&1 || {
    cat "$work/dvdauthor.log" >&2
    exit 1
  }
  [ -s "$work/disc/VIDEO_TS/VIDEO_TS.IFO" ] || {
    echo "$0: dvdauthor wrote no VIDEO_TS.IFO" >&2
    exit 1
  }
  rm -rf "$disc_out/VIDEO_TS" "$disc_out/AUDIO_TS"
  mv "$work/disc/VIDEO_TS" "$disc_out/VIDEO_TS"
}

# disc_button X0 Y0 X1 Y1 TEXT: the filters drawing a menu button's outline and its caption
# into the picture.
disc_button() {
  echo "drawbox=x=$1:y=$2:w=$(($3 - $1)):h=$(($4 - $2)):color=white:t=3,$(disc_label 36 0.7 $(($1 + 16)) $(($2 + 10)) "$5")"
}

# disc_outline "R G B" NAME "X0 Y0 X1 Y1"...: $work/NAME.png, transparent with a thick outline
# of that colour inside each button (a highlight or select image; spumux takes at most four
# colours per image, transparency included).
disc_outline() {
  local rgb=$1 name=$2 inside="0" b x0 y0 x1 y1 r g bl
  shift 2
  for b in "$@"; do
    read -r x0 y0 x1 y1 <<<"$b"
    inside+="+between(X,$((x0 + 4)),$((x1 - 4)))*between(Y,$((y0 + 4)),$((y1 - 4)))"
    inside+="*(1-between(X,$((x0 + 10)),$((x1 - 10)))*between(Y,$((y0 + 10)),$((y1 - 10))))"
  done
  read -r r g bl <<<"$rgb"
  ff -f lavfi -i "color=c=black:size=720x576,format=rgba,geq=r=$r:g=$g:b=$bl:a='255*gt(${inside},0)'" \
    -frames:v 1 "$work/${name}.png"
}

# disc_menu_spu NAME "X0 Y0 X1 Y1"...: $work/NAME-menu.mpg, $work/NAME.mpg with the buttons'
# subpicture and highlight information (yellow outline when selected, red when activated).
# Buttons are numbered from 1 in the order given; up and down go round.
disc_menu_spu() {
  local name=$1 n=0 buttons="" b x0 y0 x1 y1 up down
  shift
  local count=$#
  disc_outline "255 255 0" "${name}-hl" "$@"
  disc_outline "255 0 0" "${name}-sel" "$@"
  for b in "$@"; do
    n=$((n + 1))
    read -r x0 y0 x1 y1 <<<"$b"
    up=$((n == 1 ? count : n - 1)) down=$((n == count ? 1 : n + 1))
    buttons+="<button name=\"b${n}\" x0=\"${x0}\" y0=\"${y0}\" x1=\"${x1}\" y1=\"${y1}\" up=\"b${up}\" down=\"b${down}\" />"
  done
  cat >"$work/${name}-spu.xml" <<XML
<subpictures format="PAL"><stream>
  <spu start="00:00:00.00" force="yes" highlight="$work/${name}-hl.png" select="$work/${name}-sel.png">
    ${buttons}
  </spu>
</stream></subpictures>
XML
  disc_spumux "$work/${name}-spu.xml" "$work/${name}.mpg" "$work/${name}-menu.mpg"
}

# disc_spumux XML IN OUT [OPTION...]: runs spumux, printing its log on failure.
disc_spumux() {
  local xml=$1 in=$2 outfile=$3
  shift 3
  spumux -m dvd "$@" "$xml" <"$in" >"$outfile" 2>"$xml.log" || {
    cat "$xml.log" >&2
    exit 1
  }
}
