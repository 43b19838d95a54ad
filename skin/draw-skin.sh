#!/usr/bin/env bash
# Draws Kavelo's default skin: the two logos, the eight button pictures and the two colour
# files. Needs ImageMagick (convert) and the DejaVu fonts. Run from anywhere; writes beside
# this script.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

font_bold=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
font_light=/usr/share/fonts/truetype/dejavu/DejaVuSans-ExtraLight.ttf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# ---------------------------------------------------------------------------------------------
# Logos: a dark blue-black gradient, a stylised disc with a silver-rainbow sheen, the name and a
# tag line; disc and text are centred together.
# draw_logo <file> <width> <height>
draw_logo() {
    local out=$1 w=$2 h=$3
    local r=$((h * 29 / 100))                  # disc radius
    local big=$((h * 17 / 100)) small=$((h * 42 / 1000))
    local gap=$((h * 9 / 100))
    local textw
    textw=$(convert -font "$font_bold" -pointsize "$big" label:Kavelo -format %w info:)
    local left=$(((w - 2 * r - gap - textw) / 2))
    local cx=$((left + r)) cy=$((h / 2))
    local tx=$((cx + r + gap))
    local hole=$((r * 15 / 100)) hub=$((r * 34 / 100))
    local d=$((2 * r + 4))

    # Background: vertical gradient with a soft glow behind the disc.
    convert -size "${w}x${h}" gradient:'#161c2c-#030407' "$tmp/bg.png"
    convert -size "${w}x${h}" xc:none -fill 'rgba(70,110,190,0.32)' \
        -draw "circle $cx,$cy $((cx + r * 17 / 10)),$cy" -blur 0x$((h / 10)) "$tmp/glow.png"

    # Disc face: a conic sheen (silver with pale blue, pink and gold bands, as light falls on
    # a pressed disc), lit from the middle, with a clear hub ring and the centre hole.
    local q=$((d / 8 + 1))
    convert \( -size "${d}x${q}" gradient:'#c9d0dc-#9fb8e8' \) \
        \( -size "${d}x${q}" gradient:'#9fb8e8-#d8dde6' \) \
        \( -size "${d}x${q}" gradient:'#d8dde6-#e6b9c8' \) \
        \( -size "${d}x${q}" gradient:'#e6b9c8-#c9d0dc' \) \
        \( -size "${d}x${q}" gradient:'#c9d0dc-#e8d7a8' \) \
        \( -size "${d}x${q}" gradient:'#e8d7a8-#d8dde6' \) \
        \( -size "${d}x${q}" gradient:'#d8dde6-#a9c6e8' \) \
        \( -size "${d}x${q}" gradient:'#a9c6e8-#c9d0dc' \) \
        -append -rotate 90 -resize "${d}x${d}!" -virtual-pixel tile -distort Polar 0 \
        -resize "${d}x${d}!" \
        \( -size "${d}x${d}" radial-gradient:'rgba(255,255,255,0.45)-rgba(0,0,0,0.10)' \) \
        -compose over -composite "$tmp/face.png"
    convert -size "${d}x${d}" xc:black -fill white \
        -draw "circle $((d / 2)),$((d / 2)) $((d / 2)),2" \
        -fill black -draw "circle $((d / 2)),$((d / 2)) $((d / 2)),$((d / 2 - hole))" \
        "$tmp/mask.png"
    convert "$tmp/face.png" "$tmp/mask.png" -alpha off -compose copy-opacity -composite \
        -fill none -stroke 'rgba(40,48,64,0.55)' -strokewidth "$((r / 60 + 1))" \
        -draw "circle $((d / 2)),$((d / 2)) $((d / 2)),$((d / 2 - hub))" \
        -stroke 'rgba(255,255,255,0.45)' \
        -draw "circle $((d / 2)),$((d / 2)) $((d / 2)),$((d / 2 - hub - r / 20))" \
        "$tmp/disc.png"

    convert "$tmp/bg.png" "$tmp/glow.png" -compose screen -composite \
        "$tmp/disc.png" -geometry "+$((cx - d / 2))+$((cy - d / 2))" -compose over -composite \
        -font "$font_bold" -pointsize "$big" -fill '#eef2fa' -gravity northwest \
        -annotate "+${tx}+$((cy - big * 95 / 100))" 'Kavelo' \
        -font "$font_light" -pointsize "$small" -fill '#8fa3c8' \
        -annotate "+$((tx + big / 20))+$((cy + big * 32 / 100))" 'D V D   P L A Y E R' \
        -fill '#4f6ea8' -stroke none \
        -draw "rectangle $((tx + big / 20)),$((cy + big * 22 / 100)) $((tx + textw - big / 20)),$((cy + big * 22 / 100 + 1))" \
        -quality 92 "$out"
}

draw_logo logo1.jpg 937 569
draw_logo logo2.jpg 753 409

# ---------------------------------------------------------------------------------------------
# Buttons, 57 × 33: drawn four times larger and reduced, for smooth edges. The face is a dark
# rounded rectangle with a faint top light; the symbol is light grey-white.
S=4
W=$((57 * S)) H=$((33 * S))
sym='#e8ecf4'

face() {
    convert -size "${W}x${H}" xc:black \
        \( -size "${W}x${H}" gradient:'#4a5266-#181b24' \
           \( -size "${W}x${H}" xc:black -fill white \
              -draw "roundrectangle 4,4 $((W - 5)),$((H - 5)) 26,26" \) \
           -alpha off -compose copy-opacity -composite \) \
        -compose over -composite \
        -fill none -stroke '#6a7590' -strokewidth 3 \
        -draw "roundrectangle 5,5 $((W - 6)),$((H - 6)) 25,25" \
        "$tmp/face.png"
}
face

# button <file> <draw primitives for the symbol, in the 4x coordinates>
button() {
    local out=$1
    shift
    convert "$tmp/face.png" -fill "$sym" -stroke none "$@" \
        -resize 57x33! -quality 95 "$out"
}

cx=$((W / 2)) cy=$((H / 2))
th=56          # symbol height (4x)
top=$((cy - th / 2)) bot=$((cy + th / 2))
tw=48          # triangle width

tri_right() { echo "polygon $1,$top $1,$bot $(($1 + tw)),$cy"; }
tri_left() { echo "polygon $(($1 + tw)),$top $(($1 + tw)),$bot $1,$cy"; }

button play.jpg -draw "$(tri_right $((cx - tw / 2 + 4)))"
button pause.jpg -draw "rectangle $((cx - 22)),$top $((cx - 6)),$bot" \
    -draw "rectangle $((cx + 6)),$top $((cx + 22)),$bot"
button stop.jpg -draw "rectangle $((cx - 26)),$((cy - 26)) $((cx + 26)),$((cy + 26))"
# |◀ and ▶|: a bar with a triangle pointing into it.
button previouschapter.jpg -draw "rectangle $((cx - 30)),$top $((cx - 20)),$bot" \
    -draw "$(tri_left $((cx - 20)))"
button nextchapter.jpg -draw "$(tri_right $((cx - 28)))" \
    -draw "rectangle $((cx + 20)),$top $((cx + 30)),$bot"
# ◀◀ and ▶▶: two triangles that touch.
button rewind.jpg -draw "$(tri_left $((cx - 44)))" -draw "$(tri_left $((cx - 4)))"
button fastforward.jpg -draw "$(tri_right $((cx - 44)))" -draw "$(tri_right $((cx - 4)))"
# Four corner brackets around an empty middle.
l=$((cx - 40)) r=$((cx + 40)) t=$((cy - 28)) b=$((cy + 28)) a=20 k=10
button fullscreen.jpg \
    -draw "polygon $l,$t $((l + a)),$t $((l + a)),$((t + k)) $((l + k)),$((t + k)) $((l + k)),$((t + a)) $l,$((t + a))" \
    -draw "polygon $r,$t $((r - a)),$t $((r - a)),$((t + k)) $((r - k)),$((t + k)) $((r - k)),$((t + a)) $r,$((t + a))" \
    -draw "polygon $l,$b $((l + a)),$b $((l + a)),$((b - k)) $((l + k)),$((b - k)) $((l + k)),$((b - a)) $l,$((b - a))" \
    -draw "polygon $r,$b $((r - a)),$b $((r - a)),$((b - k)) $((r - k)),$((b - k)) $((r - k)),$((b - a)) $r,$((b - a))"

# ---------------------------------------------------------------------------------------------
# Colour files: "<digits in the number> <number>", colour 0 (black) for the window and the video.
printf '1 0\n' >color1.txt
printf '1 0\n' >color2.txt
