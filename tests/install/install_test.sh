#!/bin/sh
# cmake --install into a staging folder (DESTDIR), then the installed tree
# used as a user would: every file where hosts look and nothing else, the
# installed corvex-render finding its plug-in, the factory programs and the
# cabinet by itself and rendering exactly what the build tree renders, the
# installed LV2 bundle listing its presets, the manual pages readable.
# Every installed piece carries the project's one version number.
# Usage: install_test.sh BUILD_DIR PREFIX WORK_DIR SOURCE_DIR VERSION
set -eu
build=$1 prefix=$2 work=$3 src=$4 version=$5
stage=$work/stage
rm -rf "$work" && mkdir -p "$work"
DESTDIR=$stage cmake --install "$build" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
root=$stage$prefix
status=0
fail() { echo "FAIL: $*"; status=1; }

# What was installed, against what must be (the VST3 bundle when it was built).
(cd "$root" && find . -type f | sed 's|^\./||' | sort) >"$work/installed.txt"
{
if [ -d "$build/vst3/Corvex.vst3" ]; then
  echo lib/vst3/Corvex.vst3/Contents/Resources/moduleinfo.json
  echo lib/vst3/Corvex.vst3/Contents/x86_64-linux/Corvex.so
  for name in 'Bass Heavy' 'Boosted Blues' 'Classic Rock' 'Crunch Rhythm' 'Edge of Breakup' 'Glass Clean' \
      'High Gain' 'HighQ Singing Lead' 'Lead Channel 1' 'Scooped Metal'; do
    echo "share/vst3/presets/Ardex Plugins/Vantor_Corvex_Head_v1_0/$name.vstpreset"
  done
fi
# Corvex Rig in each format built.
[ -f "$build/plugin/CorvexRig.so" ] && echo lib/vst/CorvexRig.so
[ -f "$build/plugin/CorvexRig.clap" ] && echo lib/clap/CorvexRig.clap
if [ -d "$build/vst3/CorvexRig.vst3" ]; then
  echo lib/vst3/CorvexRig.vst3/Contents/Resources/moduleinfo.json
  echo lib/vst3/CorvexRig.vst3/Contents/x86_64-linux/CorvexRig.so
fi
if [ -d "$build/lv2/CorvexRig.lv2" ]; then
  echo lib/lv2/CorvexRig.lv2/CorvexRig.so
  for ttl in manifest.ttl corvex-rig.ttl presets.ttl; do echo "lib/lv2/CorvexRig.lv2/$ttl"; done
fi
cat <<'LIST'
bin/corvex-live
bin/corvex-render
lib/clap/Corvex.clap
lib/lv2/Corvex.lv2/Corvex.so
lib/lv2/Corvex.lv2/CorvexUI.so
lib/lv2/Corvex.lv2/corvex.ttl
lib/lv2/Corvex.lv2/manifest.ttl
lib/lv2/Corvex.lv2/presets.ttl
lib/vst/Corvex.so
share/corvex/cabinet/corvex-4x12.wav
share/corvex/presets/01-Glass-Clean.fxp
share/corvex/presets/02-Edge-of-Breakup.fxp
share/corvex/presets/03-Crunch-Rhythm.fxp
share/corvex/presets/04-Classic-Rock.fxp
share/corvex/presets/05-Lead-Channel-1.fxp
share/corvex/presets/06-High-Gain.fxp
share/corvex/presets/07-Scooped-Metal.fxp
share/corvex/presets/08-Boosted-Blues.fxp
share/corvex/presets/09-Bass-Heavy.fxp
share/corvex/presets/10-HighQ-Singing-Lead.fxp
share/corvex/presets/Corvex-factory.fxb
share/doc/corvex/CHANGELOG.md
share/doc/corvex/changelog.gz
share/doc/corvex/copyright
share/man/man1/corvex-live.1.gz
share/man/man1/corvex-render.1.gz
LIST
} | sort >"$work/expected.txt"
if ! diff -u "$work/expected.txt" "$work/installed.txt"; then
  fail "the installed files differ from the list above"
fi

render=$root/bin/corvex-render
# No --plugin: the installed one. Run from an unrelated folder.
cd "$work"
if ! "$render" --list >"$work/list.txt" 2>&1; then
  fail "the installed corvex-render finds no plug-in:"; cat "$work/list.txt"
fi
"$render" -q "$src/resources/demo/demo-riff.wav" --load-fxp 03-Crunch-Rhythm --cab corvex-4x12 -o installed.wav ||
  fail "the installed corvex-render did not render with the factory program and cabinet named alone"
"$build/host/corvex-render" -q --plugin "$build/plugin/Corvex.so" "$src/resources/demo/demo-riff.wav" \
  --load-fxp "$src/resources/presets/03-Crunch-Rhythm.fxp" --cab "$src/resources/cabinet/corvex-4x12.wav" -o built.wav
# The sample data, not the headers (libsndfile's PEAK chunk holds the time).
samples() { python3 -c '
import struct, sys
b = open(sys.argv[1], "rb").read()
i = b.find(b"data")
n = struct.unpack("<I", b[i + 4:i + 8])[0]
sys.stdout.buffer.write(b[i + 8:i + 8 + n])' "$1"; }
samples installed.wav >installed.raw && samples built.wav >built.raw && [ -s built.raw ] &&
  cmp -s installed.raw built.raw || fail "the installed tree renders other samples than the build tree"
# The summary names the plug-in it loaded: the installed one.
"$render" "$src/resources/demo/demo-riff.wav" -o again.wav | grep "^Plug-in:" | grep -q "$root/lib/vst/Corvex.so" ||
  fail "the installed corvex-render did not load $root/lib/vst/Corvex.so"

# One version: the VST 2.4 vendor version (1.2.3 is 1203), the LV2
# description's minor and micro version, the manual pages, the changelog.
major=${version%%.*} rest=${version#*.}
minor=${rest%%.*} patch=${rest#*.}
"$render" --list | grep -q "^Vendor: .*(version $((major * 1000 + minor * 100 + patch)))\$" ||
  fail "the plug-in does not report version $version: $("$render" --list | grep '^Vendor:')"
ttl=$root/lib/lv2/Corvex.lv2/corvex.ttl
grep -q "lv2:minorVersion $minor ;" "$ttl" && grep -q "lv2:microVersion $patch ;" "$ttl" ||
  fail "the LV2 description does not carry $version"
zcat "$root/share/man/man1/corvex-render.1.gz" | grep -q "\"Corvex $version\"" || fail "the manual page does not carry $version"
zcat "$root/share/doc/corvex/changelog.gz" | head -n 1 | grep -q "^corvex ($version)" ||
  fail "the changelog's entry is not $version"

if command -v lv2info >/dev/null; then
  n=$(LV2_PATH=$root/lib/lv2 lv2info https://ardex-plugins.example/corvex | sed -n '/^\tPresets:/,/^$/p' |
       sed -n 's/^\t *\(.*[^ ]\) *$/\1/p' | grep -vc '^Presets:' || true)
  [ "$n" -eq 10 ] || fail "the installed LV2 bundle lists $n presets, not 10"
  if [ -d "$root/lib/lv2/CorvexRig.lv2" ]; then
    LV2_PATH=$root/lib/lv2 lv2ls | grep -qx https://ardex-plugins.example/corvex-rig ||
      fail "the installed rig's LV2 bundle is not listed"
    n=$(LV2_PATH=$root/lib/lv2 lv2info https://ardex-plugins.example/corvex-rig | sed -n '/^\tPresets:/,/^$/p' |
         sed -n 's/^\t *\(.*[^ ]\) *$/\1/p' | grep -vc '^Presets:' || true)
    [ "$n" -gt 0 ] || fail "the installed rig's LV2 bundle lists no preset"
  fi
fi
# The installed VST3 bundle: its class list carries the version, and
# Ardour's scanner (when Ardour is installed) loads it from where it lies.
vst3=$root/lib/vst3/Corvex.vst3
if [ -d "$build/vst3/Corvex.vst3" ]; then
  grep -q "\"Version\": \"$version\"" "$vst3/Contents/Resources/moduleinfo.json" ||
    fail "the installed VST3 bundle's moduleinfo.json does not carry $version"
  scan=/usr/lib/ardour7/ardour-vst3-scanner
  if [ -x "$scan" ]; then
    home=$work/ardour-home && mkdir -p "$home"
    env -i HOME="$home" PATH=/usr/bin:/bin LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 "$scan" -f -v "$vst3" \
      >"$work/vst3-scan.txt" 2>&1 || fail "Ardour's VST3 scanner failed on the installed bundle"
    cache=$(find "$home" -name '*.v3i' | head -n 1)
    [ -n "$cache" ] && grep -q 'name="[^"]*Corvex' "$cache" && grep -q "version=\"$version\"" "$cache" ||
      { fail "Ardour's VST3 scanner did not list the installed Corvex $version:"; cat "$work/vst3-scan.txt"; }
  fi
fi
if command -v man >/dev/null; then
  for page in corvex-render corvex-live; do
    out=$(MANWIDTH=80 man -l "$root/share/man/man1/$page.1.gz" 2>&1 >/dev/null) || fail "man $page"
    [ -z "$out" ] || fail "man $page: $out"
    zcat "$root/share/man/man1/$page.1.gz" | grep -q '@PROJECT_VERSION@' && fail "man $page: version not filled in"
  done
fi
[ $status -eq 0 ] && echo "installed tree complete and working ($(wc -l <"$work/installed.txt") files)"
exit $status
