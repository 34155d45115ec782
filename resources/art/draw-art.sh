#!/usr/bin/env bash
# Draws the add-in's pictures with ImageMagick: the toolbar faces (icons 206
# to 211 and 213), the product icon (212) and the 400 by 70 dialog banners.
#
#   draw-art.sh OUTPUT_FOLDER
#
# Writes, into OUTPUT_FOLDER, the files that resources/dialogs.rc names:
#   face-whitelist.ico (24x24)  face-blacklist.ico (24x24)
#   face-markspam.ico (16x17)   face-notspam.ico (16x17)   face-train.ico (16x16)
#   face-header.ico (24x27)     face-settings.ico (24x24)  product.ico (16x16)
#   banner-blacklist.bmp  banner-whitelist.bmp  banner-settings.bmp  banner-headers.bmp
#   setup-side.bmp (164x314, the setup program's Finish page)
#
# Each icon holds one 24-bit image with a 1-bit transparency mask (ImageMagick
# writes only 32-bit icons, so the icon file is put together here). Pictures
# are drawn eight times larger in MVG and scaled down, so that their edges are
# smooth; the banners are 24-bit Windows 3 bitmaps.
#
# CONVERT names the ImageMagick convert program (default: the system's own,
# /usr/bin/convert, when it exists). FONT_DIR holds the DejaVu fonts (Debian
# fonts-dejavu-core).
set -euo pipefail

out=${1:?usage: draw-art.sh OUTPUT_FOLDER}
if [ -z "${CONVERT:-}" ]; then
  CONVERT=convert
  [ -x /usr/bin/convert ] && CONVERT=/usr/bin/convert
fi
font_dir=${FONT_DIR:-/usr/share/fonts/truetype/dejavu}
bold_font=$font_dir/DejaVuSans-Bold.ttf
plain_font=$font_dir/DejaVuSans.ttf
for f in "$bold_font" "$plain_font"; do
  [ -f "$f" ] || { echo "draw-art: font $f is missing (Debian fonts-dejavu-core)" >&2; exit 1; }
done

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scale=8
# Edge pixels that are partly covered are blended with a light grey close to
# the toolbar's own colour, so that they do not show a halo there.
edge_colour='#E4E4E4'

# --- Little-endian integers, written as bytes.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }

# --- Shapes in MVG, in the picture's own pixel units (a scale prefix makes
# them eight times larger).

# A sheet of paper with text lines, from (x0,y0) to (x1,y1).
sheet() {
  local x0=$1 y0=$2 x1=$3 y1=$4 y
  echo "stroke '#4A4A4A' stroke-width 1 fill white"
  echo "rectangle $x0.5,$y0.5 $((x1 - 1)).5,$((y1 - 1)).5"
  echo "stroke '#9AA4AE' stroke-width 1"
  for ((y = y0 + 4; y < y1 - 3; y += 3)); do
    echo "line $((x0 + 3)),$y.5 $((x1 - 4)),$y.5"
  done
}

# A round badge at (cx,cy), radius r, with a white mark inside.
badge() {
  local cx=$1 cy=$2 r=$3 fill=$4 mark=$5 d
  d=$(awk -v r="$r" 'BEGIN { printf "%.2f", r * 0.45 }')
  echo "stroke '#FFFFFF' stroke-width 1 fill '$fill'"
  echo "circle $cx,$cy $(awk -v x="$cx" -v r="$r" 'BEGIN { print x + r }'),$cy"
  echo "stroke white stroke-width $(awk -v r="$r" 'BEGIN { printf "%.2f", r / 2.6 }') fill none"
  echo "stroke-linecap round stroke-linejoin round"
  case $mark in
    cross)
      awk -v x="$cx" -v y="$cy" -v d="$d" 'BEGIN {
        printf "line %.2f,%.2f %.2f,%.2f\n", x - d, y - d, x + d, y + d
        printf "line %.2f,%.2f %.2f,%.2f\n", x - d, y + d, x + d, y - d }' ;;
    tick)
      awk -v x="$cx" -v y="$cy" -v d="$d" 'BEGIN {
        printf "polyline %.2f,%.2f %.2f,%.2f %.2f,%.2f\n",
               x - d * 1.1, y + d * 0.05, x - d * 0.25, y + d * 0.85, x + d * 1.15, y - d * 0.8 }' ;;
    bar)
      awk -v x="$cx" -v y="$cy" -v d="$d" 'BEGIN {
        printf "line %.2f,%.2f %.2f,%.2f\n", x - d * 1.2, y, x + d * 1.2, y }' ;;
  esac
}

# An envelope from (x0,y0) to (x1,y1).
envelope() {
  local x0=$1 y0=$2 x1=$3 y1=$4
  echo "stroke '#3C4650' stroke-width 1 fill '#FFF8E0' stroke-linejoin round"
  echo "rectangle $x0.5,$y0.5 $((x1 - 1)).5,$((y1 - 1)).5"
  echo "fill none"
  awk -v a="$x0" -v b="$y0" -v c="$x1" -v d="$y1" 'BEGIN {
    printf "polyline %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", a + 0.5, b + 0.5, (a + c) / 2, (b + d) / 2 + 0.5,
           c - 0.5, b + 0.5 }'
}

# A gear centred at (cx,cy): `teeth` teeth between radii r_in and r_out, with
# a hole of radius r_hole.
gear() {
  local cx=$1 cy=$2 r_in=$3 r_out=$4 teeth=$5 r_hole=$6
  echo "stroke '#2F3B47' stroke-width 1 fill '#7E8C99' stroke-linejoin round"
  awk -v cx="$cx" -v cy="$cy" -v ri="$r_in" -v ro="$r_out" -v n="$teeth" 'BEGIN {
    pi = 3.14159265358979; line = "polygon"
    for (i = 0; i < n; i++) {
      a = 2 * pi * i / n; w = pi / n
      # a tooth: up the flank, across the top, down the other flank, along the root
      split((a - w * 0.55) " " (a - w * 0.35) " " (a + w * 0.35) " " (a + w * 0.55), t, " ")
      split(ri " " ro " " ro " " ri, r, " ")
      for (k = 1; k <= 4; k++) line = line sprintf(" %.2f,%.2f", cx + r[k] * cos(t[k]), cy + r[k] * sin(t[k]))
    }
    print line }'
  echo "fill white"
  echo "circle $cx,$cy $(awk -v x="$cx" -v r="$r_hole" 'BEGIN { print x + r }'),$cy"
}

# A funnel: the filter.
funnel() {
  echo "stroke '#1E3F66' stroke-width 1 fill '#3D7CC9' stroke-linejoin round"
  echo "polygon 1.5,2.5 14.5,2.5 9.5,8.5 9.5,13 6.5,15 6.5,8.5"
  echo "stroke none fill '#A9CBF0'"
  echo "polygon 3.5,3.5 12.5,3.5 11.2,5 4.8,5"
}

# The product's mark: a shield with a V.
shield() {
  local s=$1  # the shield's size in pixels (drawn in a 16-pixel grid, scaled)
  echo "push graphic-context"
  echo "scale $(awk -v s="$s" 'BEGIN { print s / 16 }'),$(awk -v s="$s" 'BEGIN { print s / 16 }')"
  echo "stroke '#173A63' stroke-width 1 fill '#2F6DB5' stroke-linejoin round"
  echo "path 'M 2,1.5 L 14,1.5 L 14,7.5 C 14,11.5 8,15 8,15 C 8,15 2,11.5 2,7.5 Z'"
  echo "stroke white stroke-width 2 fill none stroke-linecap round stroke-linejoin round"
  echo "polyline 5,4.8 8,11 11,4.8"
  echo "pop graphic-context"
}

# A mail header: an envelope with the header lines across its top.
header_sheet() {
  echo "stroke '#4A4A4A' stroke-width 1 fill white"
  echo "rectangle 2.5,0.5 21.5,26.5"
  echo "stroke none fill '#2F6DB5'"
  local y
  for y in 3 7 11; do
    echo "rectangle 5,$y 9,$((y + 1))"
  done
  echo "fill '#55606B'"
  for y in 3 7 11; do
    echo "rectangle 11,$y 18,$((y + 1))"
  done
  echo "stroke '#2F6DB5' stroke-width 1"
  echo "line 4,14.5 20,14.5"
  echo "stroke '#9AA4AE'"
  for y in 18 21 24; do
    echo "line 5,$y.5 18,$y.5"
  done
}

# --- Drawing and writing.

# draw W H MVG_FILE PNG: the picture, eight times larger, scaled down with
# its transparency.
draw() {
  local w=$1 h=$2 mvg=$3 png=$4
  "$CONVERT" -size $((w * scale))x$((h * scale)) xc:none \
    -draw "scale $scale,$scale $(tr '\n' ' ' <"$mvg")" \
    -scale "${w}x${h}!" "$png"
}

# write_icon W H PNG ICO: one 24-bit image and its AND mask (1 = the screen
# shows through), rows bottom up; mask rows padded to 32 bits.
write_icon() {
  local w=$1 h=$2 png=$3 ico=$4
  local mask=$work/mask.png
  "$CONVERT" "$png" -alpha extract -threshold 50% "$mask"
  # Transparent pixels are black in the colour image, as the AND/XOR pair needs.
  "$CONVERT" "$png" -background "$edge_colour" -alpha remove -alpha off \
    "$mask" -compose Multiply -composite -flip -depth 8 "bgr:$work/xor.bin"
  "$CONVERT" "$mask" -flip -background white -gravity West -extent "32x$h" \
    "pbm:$work/and.pbm"
  local xor_size=$((w * h * 3)) and_size=$((4 * h))
  [ $((w * 3 % 4)) -eq 0 ] || { echo "draw-art: width $w needs row padding" >&2; exit 1; }
  [ "$(stat -c %s "$work/xor.bin")" -eq "$xor_size" ] || { echo "draw-art: bad image size" >&2; exit 1; }
  local image_size=$((40 + xor_size + and_size))
  {
    le16 0; le16 1; le16 1                                  # icon directory, one image
    printf "\\x$(printf %02x "$w")\\x$(printf %02x "$h")"   # width, height
    le16 0; le16 1; le16 24; le32 "$image_size"; le32 22    # colours, planes, bits, size, offset
    le32 40; le32 "$w"; le32 $((2 * h)); le16 1; le16 24    # BITMAPINFOHEADER (height doubled)
    le32 0; le32 $((xor_size + and_size)); le32 0; le32 0; le32 0; le32 0
    cat "$work/xor.bin"
    tail -c "$and_size" "$work/and.pbm"
  } >"$ico"
}

# icon NAME W H SHAPES...: draws the shapes (shell functions printing MVG)
# and writes NAME.ico.
icon() {
  local name=$1 w=$2 h=$3
  shift 3
  : >"$work/$name.mvg"
  while [ $# -gt 0 ]; do
    eval "$1" >>"$work/$name.mvg"
    shift
  done
  draw "$w" "$h" "$work/$name.mvg" "$work/$name.png"
  write_icon "$w" "$h" "$work/$name.png" "$out/$name.ico"
}

icon face-whitelist 24 24 "sheet 2 1 18 23" "badge 16.5 16.5 6.5 '#2E9E4F' tick"
icon face-blacklist 24 24 "sheet 2 1 18 23" "badge 16.5 16.5 6.5 '#1E1E1E' bar"
icon face-markspam 16 17 "envelope 0 2 15 12" "badge 11.5 12.5 4.3 '#D03A2F' cross"
icon face-notspam 16 17 "envelope 0 2 15 12" "badge 11.5 12.5 4.3 '#2E9E4F' tick"
icon face-train 16 16 funnel
icon face-header 24 27 header_sheet
icon face-settings 24 24 "gear 12 12 7.5 11 8 3.2"
icon product 16 16 "shield 16"

# banner NAME TITLE SUBTITLE FROM TO W H SHAPES...: a 400 by 70 banner, a
# gradient between two colours, the dialog's emblem (SHAPES of a W by H face, 48
# pixels high), the product's name, the dialog's title and what it is for,
# and the product's shield on the right.
banner() {
  local name=$1 title=$2 subtitle=$3 from=$4 to=$5 ew=$6 eh=$7
  shift 7
  : >"$work/$name-emblem.mvg"
  while [ $# -gt 0 ]; do
    eval "$1" >>"$work/$name-emblem.mvg"
    shift
  done
  # The emblem, drawn at its face's size times eight, then to 48 pixels high.
  "$CONVERT" -size $((ew * scale))x$((eh * scale)) xc:none \
    -draw "scale $scale,$scale $(tr '\n' ' ' <"$work/$name-emblem.mvg")" \
    -resize x48 "$work/$name-emblem.png"
  "$CONVERT" -size 400x70 -define gradient:direction=east "gradient:$from-$to" \
    \( -size 400x70 xc:none -draw "scale 1.75,1.75 $(shield 16 | tr '\n' ' ')" \
       -geometry +354+18 \) -compose Over -composite \
    "$work/$name-emblem.png" -geometry +14+11 -compose Over -composite \
    -fill '#E8EEF4' -font "$bold_font" -pointsize 9 -annotate +77+17 "Varnox" \
    -fill white -font "$bold_font" -pointsize 20 -annotate +76+40 "$title" \
    -fill '#E8EEF4' -font "$plain_font" -pointsize 10 -annotate +77+58 "$subtitle" \
    -alpha off -type TrueColor "BMP3:$out/$name.bmp"
}

banner banner-blacklist "BlackList" "Senders whose mail always goes to SpamFilter" \
  '#3A1C1C' '#8E2F26' 24 24 "sheet 2 1 18 23" "badge 16.5 16.5 6.5 '#1E1E1E' bar"
banner banner-whitelist "WhiteList" "Senders whose mail is never judged as spam" \
  '#173F2A' '#2E8757' 24 24 "sheet 2 1 18 23" "badge 16.5 16.5 6.5 '#2E9E4F' tick"
banner banner-settings "Settings" "How Varnox judges, moves and learns" \
  '#1C2B3D' '#3A6189' 24 24 "gear 12 12 7.5 11 8 3.2"
banner banner-headers "Mail Headers" "The transport headers of the selected message" \
  '#22224A' '#4B4E9A' 24 27 header_sheet

# The picture at the side of the setup program's Finish page, 164 by 314:
# the Settings banner's colours from top to bottom, the product's shield and
# its name.
"$CONVERT" -size 164x314 -define gradient:direction=south "gradient:#1C2B3D-#3A6189" \
  \( -size 164x314 xc:none -draw "scale 6,6 $(shield 16 | tr '\n' ' ')" \
     -geometry +34+56 \) -compose Over -composite \
  -gravity north -fill white -font "$bold_font" -pointsize 22 -annotate +0+170 "Varnox" \
  -fill '#E8EEF4' -font "$plain_font" -pointsize 10 -annotate +0+204 "Spam filter for Outlook" \
  -alpha off -type TrueColor "BMP3:$out/setup-side.bmp"
