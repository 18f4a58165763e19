#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in and the
# command-line host, and renders the bundled demo riff through the plug-in.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh
scripts/setup.sh core
cmake --preset default -G Ninja >/dev/null
cmake --build --preset default -j "$JOBS" --target corvex_plugin corvex-render >/dev/null
mkdir -p out
build/default/host/corvex-render --plugin build/default/plugin/Corvex.so \
  resources/demo/demo-riff.wav -o out/demo-corvex.wav "$@"
echo "Rendered: $ROOT/out/demo-corvex.wav"
# The same riff through the head and the bundled (synthetic) 4x12 cabinet.
build/default/host/corvex-render --plugin build/default/plugin/Corvex.so \
  resources/demo/demo-riff.wav -o out/demo-corvex-cab.wav --cab resources/cabinet/corvex-4x12.wav "$@"
echo "Rendered: $ROOT/out/demo-corvex-cab.wav"
# The same riff through Corvex Rig (gate, amp, cabinet in one plug-in), its
# "High Gain" program: the 4x12, the gate at -60 dB, levelled to -20 LUFS.
cmake --build --preset default -j "$JOBS" --target corvex_rig_vst >/dev/null
build/default/host/corvex-render --plugin build/default/plugin/CorvexRig.so --program 5 \
  resources/demo/demo-riff.wav -o out/demo-corvex-rig.wav "$@"
echo "Rendered: $ROOT/out/demo-corvex-rig.wav"
