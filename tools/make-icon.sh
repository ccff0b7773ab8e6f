#!/usr/bin/env bash
# Draws the application icon (a white hash sign over a blue rounded tile
# with a green check mark) at the sizes that small and large icons take at
# 96, 120, 144 and 192 DPI, and packs them into res/Vexorin.ico. Needs
# ImageMagick's convert.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Everything is drawn on a 48-unit grid and scaled by the image size.
draw() {
  local n=$1 s
  s=$(awk -v n="$n" 'BEGIN { printf "%.4f", n / 48 }')
  convert -size "${n}x${n}" gradient:'#3b8fe0-#123f7a' \
    \( -size "${n}x${n}" xc:black -fill white \
       -draw "roundrectangle 0,0 $((n - 1)),$((n - 1)) $((n / 6)),$((n / 6))" \) \
    -alpha off -compose CopyOpacity -composite -compose Over \
    -stroke white -strokewidth "$(awk -v s="$s" 'BEGIN { printf "%.2f", 4.2 * s }')" -fill none \
    -draw "scale $s,$s line 19,9 15,39 line 32,9 28,39 line 9,18 39,18 line 8,30 38,30" \
    -stroke none -fill '#2fc25b' \
    -draw "scale $s,$s circle 36,36 47,36" \
    -stroke white -strokewidth "$(awk -v s="$s" 'BEGIN { printf "%.2f", 2.6 * s }')" -fill none \
    -draw "scale $s,$s polyline 31,36 35,40 42,32" \
    "$tmp/icon-$n.png"
}

sizes=(16 20 24 32 40 48 64)
images=()
for n in "${sizes[@]}"; do
  draw "$n"
  images+=("$tmp/icon-$n.png")
done
convert "${images[@]}" "$root/res/Vexorin.ico"
echo "wrote $root/res/Vexorin.ico"
