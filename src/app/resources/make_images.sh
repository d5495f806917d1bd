#!/bin/sh
# Draws the program's pictures with ImageMagick: the test card shown in the main window
# (test_card.bmp, 278 x 140), the maker's logo of the about box (maker_logo.bmp, 200 x 56),
# both 24-bit uncompressed BMPs as the dialog's static control expects, and the icon group
# (brixlane.ico: 16, 24, 32, 48 and 256 pixels). The outputs are committed; run this again
# only to change a picture.
#
# Everything is drawn at twice the final size in the 1x coordinates below ("scale 2,2") and
# then halved, which gives the soft edges of a photograph rather than jagged primitives.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

font=DejaVu-Sans-Bold
font_plain=DejaVu-Sans
font_cond=DejaVu-Sans-Condensed-Bold

# --- The test card -------------------------------------------------------------------------
W=556
H=280

# Studio backdrop: a light grey sweep, lighter at the top.
convert -size ${W}x${H} gradient:'#f7f8fa'-'#d6dae0' backdrop.png

# Outline of the board: the PCB with its rounded far corner, the edge-connector tongue below
# it, and the key notch cut into the tongue between the short and the long row of fingers.
board_shape="scale 2,2
  roundrectangle 18,16 272,113 5,5
  rectangle 18,16 30,113
  rectangle 30,100 129,128"
notch="scale 2,2 rectangle 61,119 65,129"

convert -size ${W}x${H} xc:black -fill white -draw "$board_shape" \
    -fill black -draw "$notch" board_mask.png

# Soft shadow of the board and the bracket on the backdrop.
convert -size ${W}x${H} xc:black -fill white -draw "$board_shape" \
    -draw "scale 2,2 rectangle 4,3 18,134" \
    -blur 0x7 -level 0%,240% shadow_mask.png
convert backdrop.png \( -size ${W}x${H} xc:'#5a6068' \) \
    \( shadow_mask.png -roll +6+8 -evaluate multiply 0.45 \) \
    -compose over -composite with_shadow.png

# Green solder mask, a little darker towards the connector.
convert -size ${W}x${H} gradient:'#2a8350'-'#175530' pcb_fill.png
convert pcb_fill.png board_mask.png -alpha off -compose CopyOpacity -composite pcb.png
convert with_shadow.png pcb.png -compose over -composite card.png

# Copper traces under the mask (a lighter green), the gold fingers, the mounting holes.
convert card.png -stroke '#3c9c63' -strokewidth 1.4 -fill none -draw "scale 2,2
  polyline 34,116 34,104 60,80 122,80
  polyline 40,116 40,106 64,86 122,86
  polyline 46,116 46,108 68,92 122,92
  polyline 70,116 70,110 78,102 130,102 130,94
  polyline 76,116 76,112 82,106 137,106 137,94
  polyline 82,116 82,114 86,110 144,110 144,94
  polyline 188,50 205,50 208,36 212,36
  polyline 188,58 200,58 206,72 212,72
  polyline 188,66 222,66 222,62
  polyline 109,46 118,46 118,52 124,52
  polyline 106,80 114,80 114,74 124,74
  polyline 30,30 24,30
  polyline 30,38 24,38" \
  card_traced.png

fingers=""
x=32
while [ $x -le 58 ]; do
    fingers="$fingers rectangle $x,117 $(echo "$x + 1.8" | bc),127.4"
    x=$((x + 3))
done
x=68
while [ $x -le 126 ]; do
    fingers="$fingers rectangle $x,117 $(echo "$x + 1.8" | bc),127.4"
    x=$((x + 3))
done

convert card_traced.png -stroke none -fill '#d9a93a' -draw "scale 2,2 $fingers" \
    -fill '#f3d27a' -draw "scale 2,2 $(echo "$fingers" | sed 's/,117 /,117.2 /g; s/,127.4/,119.6/g')" \
    -fill '#c9cdd2' -draw "scale 2,2 circle 262,26 262,30.5 circle 262,102 262,106.5" \
    -fill '#e2b84f' -draw "scale 2,2 circle 262,26 262,29.5 circle 262,102 262,105.5" \
    -fill '#5a5f66' -draw "scale 2,2 circle 262,26 262,28 circle 262,102 262,104" \
    card_gold.png

# The FPGA: a dark substrate with a nickel lid, laser marking on the lid, and decoupling
# capacitors around it.
caps=""
for y in 34 42 50 58 66 74 82; do caps="$caps rectangle 118,$y 121,$((y + 2))"; done
for y in 34 42 50 58 66 74 82; do caps="$caps rectangle 191,$y 194,$((y + 2))"; done
for x in 134 144 154 164 174; do caps="$caps rectangle $x,25 $((x + 3)),27"; done

convert card_gold.png \
    -fill '#1c1f22' -stroke '#0d0f10' -strokewidth 1 \
        -draw "scale 2,2 roundrectangle 124,29 188,93 2,2" \
    -fill '#2f3438' -stroke none -draw "scale 2,2 roundrectangle 126,31 186,91 2,2" \
    \( -size 104x104 gradient:'#e3e6ea'-'#9aa1a9' -rotate -35 -gravity center -extent 104x104 \
       \( -size 104x104 xc:black -fill white -draw "roundrectangle 0,0 103,103 10,10" \) \
       -alpha off -compose CopyOpacity -composite \) \
    -gravity northwest -geometry +260+70 -compose over -composite \
    -fill '#c7a36a' -stroke '#8a6d3d' -strokewidth 0.6 -draw "scale 2,2 $caps" \
    card_fpga.png

convert card_fpga.png -stroke none -fill '#55606b' -font $font -pointsize 14 \
    -draw "text 272,114 'KORVENIX'" \
    -fill '#66717c' -font $font_plain -pointsize 11 \
    -draw "text 270,136 'BX4G4-FPGA'" -draw "text 270,152 '2417  ES1'" \
    -fill '#7c8791' -draw "circle 275,166 275,170" \
    card_marked.png

# Two memory chips, the configuration flash, the clock crystal, the power stage with its
# inductors and bulk capacitors, status LEDs behind the bracket, and white silkscreen.
pins=""
for y in 28 31 34 37 40 43; do
    pins="$pins rectangle 208,$y 210,$((y + 1)) rectangle 236,$y 238,$((y + 1))"
    pins="$pins rectangle 208,$((y + 36)) 210,$((y + 37)) rectangle 236,$((y + 36)) 238,$((y + 37))"
done
for x in 94 97 100 103; do pins="$pins rectangle $x,69 $((x + 1)),71 rectangle $x,83 $((x + 1)),85"; done

small=""
for x in 42 48 54 60 66 72 78; do small="$small rectangle $x,94 $((x + 3)),96"; done
for y in 50 56 62; do small="$small rectangle 84,$y 86,$((y + 3))"; done
for y in 24 30 36 42; do small="$small rectangle 246,$y 249,$((y + 2))"; done

convert card_marked.png \
    -fill '#bfc3c7' -stroke none -draw "scale 2,2 $pins" \
    -fill '#17191b' -stroke '#0b0c0d' -strokewidth 0.5 \
        -draw "scale 2,2 rectangle 210,26 236,46 rectangle 210,62 236,82 rectangle 92,71 106,83" \
    -fill '#2a2e32' -stroke none \
        -draw "scale 2,2 circle 213,29 213,30 circle 213,65 213,66 circle 94.5,73.5 94.5,74.3" \
    -fill '#d5d8dc' -stroke '#9aa0a6' -strokewidth 0.6 \
        -draw "scale 2,2 roundrectangle 100,40 112,47 2,2" \
    -fill '#3b3f44' -stroke '#25282b' -strokewidth 0.6 \
        -draw "scale 2,2 roundrectangle 214,92 232,108 2,2 roundrectangle 236,92 254,108 2,2" \
    -fill '#c9ccd0' -stroke '#8e949a' -strokewidth 0.6 \
        -draw "scale 2,2 circle 252,58 252,64.5 circle 252,76 252,82.5" \
    -fill '#4a4f55' -stroke none -draw "scale 2,2 rectangle 251.3,51.5 252.7,64.5 rectangle 251.3,69.5 252.7,82.5" \
    -fill '#1b1d20' -draw "scale 2,2 $small" \
    -fill '#e0e2e4' -draw "scale 2,2 rectangle 42,94 42.6,96 rectangle 44.4,94 45,96" \
    -fill '#6dff7a' -stroke '#2a7a33' -strokewidth 0.4 -draw "scale 2,2 rectangle 22,26 26,29" \
    -fill '#ffc64a' -stroke '#8a6a1a' -draw "scale 2,2 rectangle 22,34 26,37" \
    -fill '#6dff7a' -stroke '#2a7a33' -draw "scale 2,2 rectangle 22,42 26,45" \
    card_parts.png

convert card_parts.png -fill none -stroke '#e9f1ea' -strokewidth 0.8 \
    -draw "scale 2,2 rectangle 206,24 240,48 rectangle 206,60 240,84 rectangle 212,90 256,110
           line 122,27 126,27 line 122,27 122,31" \
    -stroke none -fill '#f2f6f2' -font $font -pointsize 15 \
    -draw "text 304,218 'KORVENIX'" \
    -font $font_plain -pointsize 9 \
    -draw "text 58,60 'BRIXLANE  PCIe Gen4 x4'" -draw "text 58,72 'LOOPBACK TEST CARD'" \
    -draw "text 186,136 'U7'" -draw "text 388,60 'U4'" -draw "text 388,132 'U5'" \
    -draw "text 414,180 'L1'" -draw "text 494,180 'L2'" \
    card_silk.png

# The bracket: brushed steel with its fixing tab, vent slots and the tongue at the bottom.
convert -size 280x36 gradient:'#f5f6f8'-'#98a0a8' -rotate -90 \
    -background '#98a0a8' -extent ${W}x${H} bracket_fill.png
convert -size ${W}x${H} xc:black -fill white \
    -draw "scale 2,2 polygon 0,3 18,3 18,122 14,134 9,134 7,126 7,9 0,9" bracket_mask.png
convert card_silk.png bracket_fill.png bracket_mask.png -composite bracket_on.png
convert bracket_on.png \
    -fill none -stroke '#7f868e' -strokewidth 0.7 \
    -draw "scale 2,2 polygon 0,3 18,3 18,122 14,134 9,134 7,126 7,9 0,9" \
    -fill '#3d4248' -stroke none \
    -draw "scale 2,2 roundrectangle 10,52 15,70 2,2 roundrectangle 10,74 15,92 2,2 roundrectangle 10,96 15,114 2,2" \
    -fill '#fdfdfe' -draw "scale 2,2 roundrectangle 1.5,4.5 5.5,7.5 1.5,1.5" \
    -fill '#6dff7a' -draw "scale 2,2 circle 12.5,28 12.5,29.6" \
    -fill '#ffc64a' -draw "scale 2,2 circle 12.5,36 12.5,37.6" \
    -fill '#6dff7a' -draw "scale 2,2 circle 12.5,44 12.5,45.6" \
    card_full.png

convert card_full.png -filter Lanczos -resize 278x140! -type TrueColor \
    BMP3:"$here/test_card.bmp"

# --- The maker's logo ----------------------------------------------------------------------
# A bold word mark in deep blue beside a chevron mark that reads as a "K" and as a signal
# passing through a loop, on white, with a thin accent rule underneath.
LW=400
LH=112
convert -size ${LW}x${LH} xc:white \
    -fill '#16407a' -stroke none \
    -draw "scale 2,2 polygon 6,8 16,8 16,48 6,48" \
    -draw "scale 2,2 polygon 19,28 37,8 49,8 31,28 49,48 37,48" \
    -fill '#e2531f' -draw "scale 2,2 polygon 19,28 26,20 32,28 26,36" \
    -fill '#16407a' -font $font_cond -pointsize 50 -kerning 2 \
    -draw "text 114,76 'KORVENIX'" \
    -fill '#e2531f' -draw "scale 2,2 rectangle 59,45 193,47" \
    -filter Lanczos -resize 200x56! -type TrueColor BMP3:"$here/maker_logo.bmp"

# --- The icon group --------------------------------------------------------------------------
# A blue tile with a green card edge and its gold fingers, and a white loop arrow: the card's
# data going out and coming back. The small sizes are drawn on their own, simpler, so that
# they stay crisp instead of being a blur of the large one.
big_icon() {
    convert -size 512x512 xc:none \
        -fill '#1d4f91' -draw "roundrectangle 16,16 496,496 84,84" \
        -fill '#2a66b0' -draw "roundrectangle 16,16 496,300 84,84" \
        -fill '#1d4f91' -draw "rectangle 16,240 496,300" \
        -fill '#2b8a52' -draw "roundrectangle 72,268 440,420 18,18" \
        -fill '#e5b547' -draw "rectangle 100,384 122,440 rectangle 134,384 156,440 rectangle 168,384 190,440
                               rectangle 226,384 248,440 rectangle 260,384 282,440 rectangle 294,384 316,440
                               rectangle 328,384 350,440 rectangle 362,384 384,440 rectangle 396,384 418,440" \
        -fill '#1f2326' -draw "roundrectangle 200,284 310,360 8,8" \
        -fill none -stroke white -strokewidth 34 -draw "arc 136,70 376,250 30,300" \
        -stroke none -fill white -draw "polygon 296,128 336,36 372,106" \
        -resize 256x256 -type TrueColorAlpha "PNG32:icon-256.png"
}
small_icon() {
    size=$1
    s=$(echo "$size / 16" | bc -l)
    convert -size ${size}x${size} xc:none -draw "scale $s,$s
        fill '#1d4f91' roundrectangle 0,0 15.9,15.9 3,3
        fill '#2b8a52' rectangle 2,8 14,12.6
        fill '#e5b547' rectangle 3,12.6 4,15 rectangle 5,12.6 6,15 rectangle 8,12.6 9,15
                       rectangle 10,12.6 11,15 rectangle 12,12.6 13,15
        fill none stroke white stroke-width 1.6 arc 4,2.1 12,8.1 30,300
        stroke none fill white polygon 9.1,4.5 11,0.6 12.6,3.5" \
        -type TrueColorAlpha "PNG32:icon-$size.png"
}
big_icon
convert icon-256.png -filter Lanczos -resize 48x48 "PNG32:icon-48.png"
small_icon 32
small_icon 24
small_icon 16
convert icon-16.png icon-24.png icon-32.png icon-48.png icon-256.png "$here/brixlane.ico"

identify "$here/test_card.bmp" "$here/maker_logo.bmp" "$here/brixlane.ico"
