# Shared set-up of the disc-authoring scripts (sourced, not run): the tools they need, a work
# folder removed on exit, the label font, PAL pieces encoded from ffmpeg's test sources, and
# dvdauthor turning a disc description into OUTDIR/VIDEO_TS.

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
