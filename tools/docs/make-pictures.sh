#!/usr/bin/env bash
# Draws the pictures of the amp's sound into docs/ by measuring the built
# plug-in, and checks the factory bank against a fresh measurement, printing
# its loudness and peak figures. Works on a fresh Debian 12 machine (as root
# or with sudo): installs what is missing, builds the plug-in and the tools,
# renders. About a minute once built.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib.sh
scripts/setup.sh core

# What the pictures and the loudness measurement need beyond the build.
wanted=(python3-numpy python3-matplotlib libebur128-dev)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "make-pictures: installing ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
fi

# A freshly installed libebur128 needs a new configure to be found.
cmake --preset default -G Ninja >/dev/null
cmake --build --preset default -j "$JOBS" --target corvex_plugin corvex-render corvex_factory_bank >/dev/null

# Debian's interpreter: its numpy and matplotlib are the ones installed above.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
echo "== Pictures"
"$python" tools/docs/make_pictures.py --render build/default/host/corvex-render \
  --plugin build/default/plugin/Corvex.so --out docs
echo "Pictures: $ROOT/docs/{tone-stack,level-curves,harmonics,aliasing}.png"
echo
# Fails (exit 1) when the committed presets no longer match the plug-in.
echo "== Factory bank (resources/presets/), measured again"
build/default/tools/presets/corvex-factory-bank --check
