#!/usr/bin/env bash
# Rebuilds the editor's images in resources/ from the drawing code in this
# folder, and writes a preview of the assembled editor to
# build/artwork/preview.png (plus a 3x enlargement). Needs libcairo2-dev,
# libpng-dev and fonts-dejavu-core. The images in resources/ are committed;
# run this only after changing the drawing code.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/build/artwork
mkdir -p "$out"
${CXX:-g++} -std=c++17 -O2 -Wall -Wextra -o "$out/corvex_artwork" \
  -I"$root" "$here"/Artwork.cpp "$here"/Canvas.cpp "$here"/Controls.cpp "$here"/Font.cpp \
  "$here"/ImageIo.cpp "$here"/Panel.cpp \
  $(pkg-config --cflags --libs cairo libpng)
"$out/corvex_artwork" "$root/resources" "$out/preview.png"
echo "artwork: images written to $root/resources, preview in $out/preview.png"
