#!/usr/bin/env bash
# The Debian package on this machine, as a user gets it: builds it
# (scripts/build-deb.sh), installs it with apt and its dependencies, then,
# with nothing set in the environment, looks at it the way hosts do: lv2ls
# and lv2info (the presets; the rig's too when the package holds it),
# Qtractor's plug-in scanner on /usr/lib/vst and /usr/lib/clap, Ardour's
# VST 2.4 and VST3 scanners, corvex-render from the PATH finding its plug-in and a
# factory program by itself; finally removes the package and checks that no
# file of it is left. The third step of scripts/fresh-machine-check.sh (run
# as root in a fresh root); on a development machine it replaces an
# installed corvex package. Prints one line per check; exit 1 when one failed.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ROOT"
status=0
ok() { echo "ok:     $*"; }
bad() { echo "FAILED: $*"; status=1; }

scripts/build-deb.sh --no-lintian || { echo "FAILED: the package did not build"; exit 1; }
deb=$(ls -t dist/corvex_*.deb | head -n 1)
SUDO=()
[ "$(id -u)" -eq 0 ] || SUDO=(sudo)
log "apt install ./$deb"
# Qtractor for its scanner; the package itself brings everything else.
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
  --no-install-recommends qtractor lilv-utils >/dev/null || bad "installing qtractor and lilv-utils"
if "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt -o DPkg::Lock::Timeout=900 install -y -q \
     "./$deb" 2>&1 | grep -E '^(Setting up corvex|E:)'; then
  ok "apt install ./$deb"
else
  bad "apt install ./$deb"; exit 1
fi

log "the installed package, with a clean environment"
clean=(env -i HOME="$HOME" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
uri=https://ardex-plugins.example/corvex
if line=$("${clean[@]}" lv2ls | grep -Fx "$uri"); then ok "lv2ls: $line"; else bad "lv2ls does not list $uri"; fi
presets=$("${clean[@]}" lv2info "$uri" | sed -n '/^\tPresets:/,/^$/p' | sed -n 's/^\t *\(.*[^ ]\) *$/\1/p' |
          grep -v '^Presets:' | sort | paste -sd, -)
[ "$(tr ',' '\n' <<<"$presets" | grep -c .)" -eq 10 ] && ok "lv2info presets: $presets" || bad "lv2info presets: '$presets'"
# Corvex Rig, when the package holds it: its LV2 bundle listed, its presets shown.
rig_uri=https://ardex-plugins.example/corvex-rig
if [ -d /usr/lib/lv2/CorvexRig.lv2 ]; then
  if line=$("${clean[@]}" lv2ls | grep -Fx "$rig_uri"); then ok "lv2ls: $line"; else bad "lv2ls does not list $rig_uri"; fi
  rig_presets=$("${clean[@]}" lv2info "$rig_uri" | sed -n '/^\tPresets:/,/^$/p' | sed -n 's/^\t *\(.*[^ ]\) *$/\1/p' |
                grep -v '^Presets:' | sort | paste -sd, -)
  [ -n "$rig_presets" ] && ok "lv2info rig presets: $rig_presets" || bad "lv2info lists no preset of the rig"
fi

scan=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
targets=("VST:/usr/lib/vst/Corvex.so" "CLAP:/usr/lib/clap/Corvex.clap")
# (Debian's Qtractor is built without VST3: Ardour's scanner below reads the VST3 bundle.)
[ -f /usr/lib/vst/CorvexRig.so ] && targets+=("VST:/usr/lib/vst/CorvexRig.so")
[ -f /usr/lib/clap/CorvexRig.clap ] && targets+=("CLAP:/usr/lib/clap/CorvexRig.clap")
for t in "${targets[@]}"; do
  out=$(echo "$t" | "${clean[@]}" QT_QPA_PLATFORM=offscreen timeout 120 "$scan" 2>/dev/null | grep -E '^[A-Z0-9]+\|' | head -n 1)
  [[ $out == *Corvex* && $out == *"|2:2|"* ]] && ok "qtractor scanner: $out" || bad "qtractor scanner on $t: '$out'"
done
# Ardour's scanners (run by Ardour with its own library folder) write their
# cache under HOME: a scratch one here.
ardour_scan() {  # ardour_scan <scanner> <plug-in>: prints the plug-in's cache entry
  local home
  home=$(mktemp -d)
  env -i HOME="$home" PATH=/usr/bin:/bin LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 "$1" -f -v "$2" 2>&1 |
    grep -E 'Found Plugin|Info id=|Info uid=|name=' | head -n 2
  rm -rf "$home"
}
if [ -d /usr/lib/vst3/Corvex.vst3 ] && [ ! -x /usr/lib/ardour7/ardour-vst3-scanner ]; then
  "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends ardour >/dev/null
fi
if [ -x /usr/lib/ardour7/ardour-vst-scanner ]; then
  out=$(ardour_scan /usr/lib/ardour7/ardour-vst-scanner /usr/lib/vst/Corvex.so)
  grep -q Corvex <<<"$out" && ok "ardour-vst-scanner: $(head -n 1 <<<"$out")" || bad "ardour-vst-scanner: '$out'"
else
  echo "skipped: Ardour's VST 2.4 scanner (ardour is not installed)"
fi
if [ -d /usr/lib/vst3/Corvex.vst3 ]; then
  out=$(ardour_scan /usr/lib/ardour7/ardour-vst3-scanner /usr/lib/vst3/Corvex.vst3)
  grep -q Corvex <<<"$out" && ok "ardour-vst3-scanner: $(head -n 1 <<<"$out")" || bad "ardour-vst3-scanner: '$out'"
else
  echo "skipped: Ardour's VST3 scanner (the package holds no VST3 bundle)"
fi
if [ -d /usr/lib/vst3/CorvexRig.vst3 ]; then
  out=$(ardour_scan /usr/lib/ardour7/ardour-vst3-scanner /usr/lib/vst3/CorvexRig.vst3)
  grep -q 'Corvex Rig' <<<"$out" && ok "ardour-vst3-scanner (rig): $(head -n 1 <<<"$out")" ||
    bad "ardour-vst3-scanner (rig): '$out'"
fi

if line=$(cd /tmp && "${clean[@]}" corvex-render --help | head -n 1); then ok "corvex-render --help: $line"; else bad "corvex-render --help"; fi
if out=$(cd /tmp && "${clean[@]}" corvex-render "$ROOT/resources/demo/demo-riff.wav" --load-fxp 03-Crunch-Rhythm \
           --cab corvex-4x12 -o /tmp/corvex-package-check.wav 2>&1); then
  ok "corvex-render without --plugin: $(grep -E '^(Plug-in|True peak):' <<<"$out" | paste -sd';' -)"
else
  bad "corvex-render without --plugin: $out"
fi
rm -f /tmp/corvex-package-check.wav

log "apt remove corvex"
files=$(dpkg -L corvex | while IFS= read -r p; do [ -f "$p" ] && echo "$p"; done)
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 remove -y -qq corvex >/dev/null ||
  bad "apt-get remove corvex"
left=$(while IFS= read -r p; do [ -e "$p" ] && echo "$p"; done <<<"$files")
for d in /usr/lib/lv2/Corvex.lv2 /usr/lib/lv2/CorvexRig.lv2 /usr/share/corvex /usr/share/doc/corvex /usr/lib/vst3/Corvex.vst3 /usr/lib/vst3/CorvexRig.vst3; do
  [ -e "$d" ] && left+=$'\n'"$d"
done
left=$(sed '/^$/d' <<<"$left")
[ -z "$left" ] && ok "removed: none of its $(wc -l <<<"$files") files left" || bad "left after removing: $left"
exit $status
