#!/usr/bin/env bash
# The Windows installer under wine, in a wine prefix of its own: a silent
# install puts every file where it belongs (the same bytes as dist/) and
# registers the uninstaller (the VST3 bundles among the files); our CLAP
# test host loads the installed 64-bit CLAPs (the head's and the rig's); the silent uninstall removes
# every file, folder and registry key the install made. Prints the listing of what was installed and what is left.
# Exit 77 when makensis is missing.
# Usage: tests/install/windows_installer_test.sh [BUILD_DIR_OF_MINGW_X64]
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$ROOT"
command -v makensis >/dev/null || { echo "makensis missing (nsis): skipped"; exit 77; }
version=$(sed -n 's/^project(Corvex VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
x64build=${1:-build/mingw-x64}
work=$ROOT/build/installer-test
export CORVEX_WINEPREFIX=$work/wineprefix
rm -rf "$work" && mkdir -p "$work"
status=0
fail() { echo "FAIL: $*"; status=1; }

scripts/build-installer.sh "$work/Corvex-setup.exe" >"$work/makensis.log" 2>&1 ||
  { cat "$work/makensis.log"; exit 1; }
echo "installer: $(du -h "$work/Corvex-setup.exe" | cut -f1) from dist/"

c=$CORVEX_WINEPREFIX/drive_c
pf="$c/Program Files" pf86="$c/Program Files (x86)"
# Every file the installer owns, as unix paths, and where each comes from.
expected=(
  "$pf/VstPlugins/Corvex.dll|dist/windows-x64/Corvex.dll"
  "$pf86/VstPlugins/Corvex.dll|dist/windows-x86/Corvex.dll"
  "$pf/Common Files/CLAP/Corvex.clap|dist/windows-x64/Corvex.clap"
  "$pf86/Common Files/CLAP/Corvex.clap|dist/windows-x86/Corvex.clap"
  "$pf/VstPlugins/CorvexRig.dll|dist/windows-x64/CorvexRig.dll"
  "$pf86/VstPlugins/CorvexRig.dll|dist/windows-x86/CorvexRig.dll"
  "$pf/Common Files/CLAP/CorvexRig.clap|dist/windows-x64/CorvexRig.clap"
  "$pf86/Common Files/CLAP/CorvexRig.clap|dist/windows-x86/CorvexRig.clap"
)
for f in resources/presets/*.fxp resources/presets/*.fxb; do
  expected+=("$pf/VstPlugins/Corvex/presets/$(basename "$f")|$f")
done
for f in resources/cabinet/*.wav; do
  expected+=("$pf/VstPlugins/Corvex/cabinet/$(basename "$f")|$f")
done
# The VST3 bundles, whole: the 64-bit one where 64-bit hosts look, the
# 32-bit one where 32-bit hosts do.
while IFS= read -r f; do
  expected+=("$pf/Common Files/VST3/${f#dist/windows-x64/}|$f")
done < <(find dist/windows-x64/Corvex.vst3 dist/windows-x64/CorvexRig.vst3 -type f)
while IFS= read -r f; do
  expected+=("$pf86/Common Files/VST3/${f#dist/windows-x86/}|$f")
done < <(find dist/windows-x86/Corvex.vst3 dist/windows-x86/CorvexRig.vst3 -type f)
uninstaller="$pf/VstPlugins/Corvex/Uninstall Corvex.exe"

# ours: every file under drive_c whose path names Corvex (the prefix's own
# files never do).
ours() { find "$c" -path '*orvex*' \( -type f -o -type d \) 2>/dev/null | sort; }

# A fresh prefix (wineboot), then the silent install.
scripts/wine-run.sh --x86 "$work/Corvex-setup.exe" /S >"$work/install.log" 2>&1 ||
  fail "the silent install ended with status $? ($(tail -n 3 "$work/install.log"))"
echo "installed (under $c):"
ours | sed "s|^$c/|  C:/|"
for entry in "${expected[@]}"; do
  path=${entry%%|*} source=${entry#*|}
  if [ ! -f "$path" ]; then fail "not installed: ${path#$c/}"
  elif ! cmp -s "$path" "$source"; then fail "${path#$c/} differs from $source"
  fi
done
[ -f "$uninstaller" ] || fail "no uninstaller at ${uninstaller#$c/}"
n_files=$(ours | while IFS= read -r p; do [ -f "$p" ] && echo; done | wc -l)
[ "$n_files" -eq $((${#expected[@]} + 1)) ] ||
  fail "$n_files files installed, expected $((${#expected[@]} + 1)) (the list above)"

# reg_query <key>: the key's values; nothing (and status 1) when it is not there.
reg_query() {
  local out
  out=$(scripts/wine-run.sh reg query "$1" 2>/dev/null) || return 1
  tr -d '\r' <<<"$out"
}
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvex'
registered=$(reg_query "$key")
echo "$registered" | grep -q 'UninstallString.*Uninstall Corvex.exe' || fail "no uninstaller registered under $key"
echo "$registered" | grep -q "DisplayVersion.*$version" ||
  fail "the registered version is not the project's"
echo "$registered" | sed -n 's/^ *\(DisplayName\|DisplayVersion\|UninstallString\|QuietUninstallString\) .*REG_SZ *\(.*\)/  registry: \1 = \2/p'

# Our CLAP test host loads the installed 64-bit CLAP.
check=$x64build/tests/install/clap-load-check.exe
if [ -f "$check" ]; then
  scripts/wine-run.sh "$check" 'C:\Program Files\Common Files\CLAP\Corvex.clap' >"$work/clap.log" 2>&1 &&
    sed 's/^/  /' "$work/clap.log" || { fail "the installed CLAP did not load:"; cat "$work/clap.log"; }
  grep -q " $version by " "$work/clap.log" || fail "the installed CLAP does not report version $version"
  scripts/wine-run.sh "$check" 'C:\Program Files\Common Files\CLAP\CorvexRig.clap' >"$work/rig-clap.log" 2>&1 &&
    sed 's/^/  /' "$work/rig-clap.log" || { fail "the installed rig CLAP did not load:"; cat "$work/rig-clap.log"; }
else
  fail "$check missing (build the mingw-x64 preset)"
fi

# The silent uninstall. The uninstaller copies itself elsewhere and returns
# at once; it is done when its own file is gone.
scripts/wine-run.sh --x86 "$uninstaller" /S >"$work/uninstall.log" 2>&1 || fail "the uninstaller ended with status $?"
for _ in $(seq 120); do [ -e "$uninstaller" ] || break; sleep 0.5; done
sleep 1
left=$(ours)
if [ -n "$left" ]; then
  fail "left behind after uninstalling:"; echo "$left" | sed "s|^$c/|  C:/|"
else
  echo "after uninstalling: no file or folder of Corvex left under C:/"
fi
for d in "$pf/VstPlugins" "$pf86/VstPlugins" "$pf/Common Files/CLAP" "$pf86/Common Files/CLAP" \
         "$pf/Common Files/VST3" "$pf86/Common Files/VST3"; do
  [ -e "$d" ] && fail "left behind: the folder ${d#$c/} (the install made it)"
done
reg_query "$key" >/dev/null && fail "the uninstall key is still registered"
reg_query 'HKLM\Software\Ardex Plugins\Corvex' >/dev/null && fail "the settings key is still there"
reg_query 'HKLM\Software\Ardex Plugins' >/dev/null && fail "the vendor key is still there"
scripts/wine-run.sh --stop >/dev/null 2>&1 || true
[ $status -eq 0 ] && echo "windows installer: install, CLAP load and uninstall all as expected"
exit $status
