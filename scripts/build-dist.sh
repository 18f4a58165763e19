#!/usr/bin/env bash
# Builds just the plug-ins, without tests, and puts them into dist/:
#   dist/windows-x86/Corvex.dll   the 32-bit Windows plug-in (the one to ship)
#   dist/windows-x64/Corvex.dll   the same for 64-bit Windows hosts
#   dist/linux-x86_64/Corvex.so   the Linux build
# and beside each the CLAP plug-in of the same effect, Corvex.clap, and the
# VST3 bundle, Corvex.vst3 (each holding its platform's module); and
# Corvex Rig (CorvexRig.so / CorvexRig.dll, CorvexRig.clap, and on Linux
# CorvexRig.lv2 and CorvexRig.vst3); then the Windows installer made from the
# Windows files, dist/Corvex-<version>-setup.exe.
# Installs the cross toolchain if missing and builds libpng and the rig's
# audio libraries for MinGW once.
# Usage: scripts/build-dist.sh
set -euo pipefail
source "$(dirname "$0")/lib.sh"
source "$ROOT/scripts/windows-lib.sh"
cd "$ROOT"

scripts/setup.sh all
scripts/mingw-libpng.sh
scripts/mingw-audio-deps.sh
log "Linux plug-in"
ensure_linux_plugin
for preset in mingw-i686 mingw-x64; do
  log "Windows plug-in ($preset)"
  build_mingw "$preset" corvex_plugin corvex_clap corvex_vst3 corvex_rig_vst corvex_rig_clap corvex_rig_vst3
done
copy_dist
log "checks of the 32-bit DLL"
check_pe dist/windows-x86/Corvex.dll pe-i386
log "checks of the CLAP plug-ins for Windows"
check_clap_pe dist/windows-x86/Corvex.clap pe-i386
check_clap_pe dist/windows-x64/Corvex.clap pe-x86-64
log "checks of the VST3 modules for Windows"
check_vst3_pe dist/windows-x86/Corvex.vst3/Contents/x86-win/Corvex.vst3 pe-i386
check_vst3_pe dist/windows-x64/Corvex.vst3/Contents/x86_64-win/Corvex.vst3 pe-x86-64
log "checks of Corvex Rig for Windows"
check_pe dist/windows-x86/CorvexRig.dll pe-i386
check_pe dist/windows-x64/CorvexRig.dll pe-x86-64
check_clap_pe dist/windows-x86/CorvexRig.clap pe-i386
check_clap_pe dist/windows-x64/CorvexRig.clap pe-x86-64
check_vst3_pe dist/windows-x86/CorvexRig.vst3/Contents/x86-win/CorvexRig.vst3 pe-i386
check_vst3_pe dist/windows-x64/CorvexRig.vst3/Contents/x86_64-win/CorvexRig.vst3 pe-x86-64
log "Windows installer"
scripts/build-installer.sh
ls -ld dist/*/Corvex.* dist/*/CorvexRig.* dist/Corvex-*-setup.exe
ls -ld dist/*/CorvexRig.* 2>/dev/null || true
