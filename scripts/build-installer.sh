#!/usr/bin/env bash
# Builds the Windows installer from dist/ with NSIS (Debian's nsis package):
#   dist/Corvex-<version>-setup.exe
# The plug-ins must be in dist/ (scripts/build-dist.sh puts them there); the
# version is project(VERSION) in the top CMakeLists.txt.
# Usage: scripts/build-installer.sh [OUTPUT.exe]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"

command -v makensis >/dev/null || { echo "build-installer: makensis missing (apt-get install nsis)" >&2; exit 2; }
version=$(sed -n 's/^project(Corvex VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "build-installer: no version in CMakeLists.txt" >&2; exit 1; }
out=${1:-$ROOT/dist/Corvex-$version-setup.exe}
for f in dist/windows-x64/Corvex.dll dist/windows-x64/Corvex.clap dist/windows-x86/Corvex.dll dist/windows-x86/Corvex.clap \
         dist/windows-x64/CorvexRig.dll dist/windows-x64/CorvexRig.clap dist/windows-x86/CorvexRig.dll dist/windows-x86/CorvexRig.clap \
         dist/windows-x64/Corvex.vst3/Contents/x86_64-win/Corvex.vst3 dist/windows-x86/Corvex.vst3/Contents/x86-win/Corvex.vst3; do
  [ -f "$f" ] || { echo "build-installer: $f missing (scripts/build-dist.sh)" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")"
makensis -V2 -WX -DVERSION="$version" -DDIST="$ROOT/dist" -DRESOURCES="$ROOT/resources" \
  -DOUTFILE="$out" installer/windows/corvex.nsi
echo "built: $out"
