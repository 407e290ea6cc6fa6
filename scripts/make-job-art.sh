#!/bin/bash
# Draws the job dialog's animation and the result list's seven state pictures
# with ImageMagick into res/art/. The outputs are committed, so a build needs
# neither tool; run this again after changing a drawing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
art="$root/res/art"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$art"

# Magenta is transparent in both: the list masks it, the animation takes its
# corner pixel as the transparent colour.
bg=magenta

# Animation: a sheet travels from the folder on the left to the disk on the
# right, 12 frames at 8 per second, 256 x 36 pixels (about 175 x 26 dialog units).
frames=()
for i in $(seq 0 11); do
    x=$((44 + i * 14))
    lift=$(( (i < 6 ? i : 11 - i) * 2 ))
    y=$((10 - lift))
    f="$work/frame$(printf %02d "$i").bmp"
    convert -size 256x36 xc:$bg +antialias \
        -fill '#E8B030' -stroke '#8A5A00' -draw 'rectangle 6,12 38,32' -draw 'rectangle 6,8 20,12' \
        -fill '#3C6CC8' -stroke '#1A3060' -draw 'rectangle 214,10 250,32' \
        -fill '#A0C0F0' -stroke none -draw 'rectangle 218,26 246,29' \
        -fill white -stroke '#404040' -draw "rectangle $x,$y $((x + 14)),$((y + 18))" \
        -stroke '#808080' -draw "line $((x + 3)),$((y + 5)) $((x + 11)),$((y + 5))" \
        -draw "line $((x + 3)),$((y + 9)) $((x + 11)),$((y + 9))" \
        -draw "line $((x + 3)),$((y + 13)) $((x + 11)),$((y + 13))" \
        -type TrueColor BMP3:"$f"
    frames+=("$f")
done
python3 "$root/scripts/pack-avi.py" "$art/JobAnimation.avi" 8 "${frames[@]}"

# State pictures, 18 x 16.
pic() {  # name, then ImageMagick drawing options
    local name=$1
    shift
    convert -size 18x16 xc:$bg +antialias "$@" -type TrueColor BMP3:"$art/$name.bmp"
}
spinner() {  # the lit dot of three
    local lit=$1 args=() i=0
    for c in "3,8" "9,3" "15,8"; do
        local colour='#C0C0C0'
        [ $i -eq "$lit" ] && colour='#FF4000'
        args+=(-fill "$colour" -draw "rectangle $((${c%,*} - 2)),$((${c#*,} - 2)) $((${c%,*} + 1)),$((${c#*,} + 1))")
        i=$((i + 1))
    done
    args+=(-fill '#C0C0C0' -draw 'rectangle 7,11 10,14')
    pic "LIST_ANIMATION_do$((lit + 1))" "${args[@]}"
}
spinner 0
spinner 1
spinner 2
pic LIST_ANIMATION_SC -fill none -stroke '#008000' -strokewidth 2 -draw 'polyline 3,8 7,12 14,3'
pic LIST_ANIMATION_ER -fill '#E00000' -draw 'circle 8,8 8,1' -stroke white -strokewidth 2 \
    -draw 'line 5,5 11,11' -draw 'line 11,5 5,11'
pic ICON_LIST_RESULT_AUDIO -fill '#202080' -draw 'ellipse 5,12 3,2 0,360' -draw 'ellipse 13,10 3,2 0,360' \
    -draw 'rectangle 7,3 8,12' -draw 'rectangle 15,1 16,10' -draw 'polygon 7,3 16,1 16,3 7,5'
pic ICON_LIST_RESULT_VOICE -fill '#206020' -draw 'roundrectangle 6,1 11,9 2,2' -stroke '#206020' \
    -fill none -draw 'arc 3,4 14,12 0,180' -draw 'line 8,12 8,14' -draw 'line 5,14 12,14'
echo "written to $art"
