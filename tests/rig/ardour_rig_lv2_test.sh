#!/usr/bin/env bash
# Runs ArdourRigSession.lua in ardour7-lua with the build's bundles on
# LV2_PATH: the rig's LV2 with a user impulse, the session saved, the impulse
# file deleted, the session reopened with the same cabinet. The impulse is
# given by a preset that names the file (the path parameter's state).
# Usage: ardour_rig_lv2_test.sh LV2_DIR WORKDIR
# Exit 77 (skipped) when Ardour's Lua session tool is not installed.
set -uo pipefail
lv2dir=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
ardour=$(command -v ardour7-lua || true)
if [ -z "$ardour" ]; then
  echo "SKIPPED: ardour7-lua is not installed (Debian package ardour)"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/home" || exit 1
# The impulse: a 32-bit float mono WAV at 48 kHz, one sample of 0.02 then
# 255 zeros (a flat response 34 dB down).
impulse="$work/flat-quiet.wav"
{
  frames=256 bytes=$((256 * 4))
  printf 'RIFF'; printf '%08x' $((36 + bytes)) | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
  printf 'WAVEfmt '; printf '\x10\x00\x00\x00\x03\x00\x01\x00\x80\xbb\x00\x00\x00\xee\x02\x00\x04\x00\x20\x00'
  printf 'data'; printf '%08x' $bytes | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
  printf '\x0a\xd7\xa3\x3c'  # 0.02f, little-endian
  head -c $(((frames - 1) * 4)) /dev/zero
} >"$impulse"
# A preset of the rig that names only the impulse file, in a bundle of its own.
mkdir -p "$work/presets/corvex-rig-test.lv2"
cat >"$work/presets/corvex-rig-test.lv2/manifest.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
<urn:corvex-test:quiet-flat-impulse> a pset:Preset ;
    lv2:appliesTo <https://ardex-plugins.example/corvex-rig> ;
    rdfs:seeAlso <preset.ttl> .
TTL
cat >"$work/presets/corvex-rig-test.lv2/preset.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
<urn:corvex-test:quiet-flat-impulse> a pset:Preset ;
    lv2:appliesTo <https://ardex-plugins.example/corvex-rig> ;
    rdfs:label "Quiet Flat Impulse" ;
    state:state [
        <https://ardex-plugins.example/corvex-rig#impulse> <file://$impulse>
    ] .
TTL
# Ardour keeps its configuration and caches under HOME: a private one.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" LV2_PATH="$lv2dir:$work/presets"
export CORVEX_ARDOUR_SESSION="$work/session" CORVEX_RIG_IMPULSE="$impulse"
timeout 120 "$ardour" "$here/ArdourRigSession.lua" >"$work/ardour.out" 2>&1
rc=$?
grep '^check ' "$work/ardour.out"
if ! grep -q '^done$' "$work/ardour.out" || grep -q '^check .* FAILED' "$work/ardour.out"; then
  echo "FAIL: Ardour exited with $rc; its output:"
  cat "$work/ardour.out"
  exit 1
fi
[ "$(grep -c '^check .* ok' "$work/ardour.out")" -eq 7 ] || { echo "FAIL: not every check ran"; exit 1; }
echo "PASS"
