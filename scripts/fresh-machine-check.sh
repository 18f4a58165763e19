#!/usr/bin/env bash
# Runs the README's commands on a fresh Debian 12 machine: a minimal root made
# by mmdebstrap (minbase with ca-certificates, git and sudo, nothing else),
# with its apt sources in one layout, the committed HEAD cloned into it, each
# command run there as root with a clean environment. Checks that the demo
# wrote a valid WAV file and prints each command's result and time.
#
#   scripts/fresh-machine-check.sh [--layout deb822|classic] [--steps LIST]
#                                  [--keep] [--no-deb-cache]
#   --layout   one apt source layout only (default: both, one after the other)
#              deb822:  /etc/apt/sources.list.d/debian.sources, no sources.list
#              classic: /etc/apt/sources.list only (as debootstrap writes it)
#   --steps    comma-separated, run in order in the same root (default demo,test,package):
#              demo    ./demo.sh                        (the README's first command)
#              test    ./test.sh                        (the README's second command)
#              package scripts/package-check.sh: the Debian package built,
#                      installed by apt with its dependencies, seen by lv2ls,
#                      lv2info, Qtractor's (and Ardour's VST3) scanner and
#                      corvex-render from the PATH, then removed
#              native  scripts/setup.sh core, then the native build-and-test
#                      stage alone: the core packages must be enough for it
#   --keep     leave the root in place (still unmounted) for a look inside
#   --no-deb-cache  download every package instead of using the shared cache
#
# Needs root and mmdebstrap. The bootstrapped base is cached as a tarball in
# $CORVEX_FRESH_CACHE (default ~/.cache/corvex/fresh), so only the first run
# downloads it; downloaded packages are kept there too (the roots' apt installs
# from that cache: apt still resolves, verifies and installs every package as
# on a new machine, only the download is saved). Roots live in
# $CORVEX_FRESH_WORK (default /var/tmp/corvex-fresh) and are removed at the
# end, also when interrupted. Each command's output goes to
# $CORVEX_FRESH_LOGS/<layout>-<step>.log (default build/fresh-machine);
# CORVEX_FRESH_REPO clones another repository's HEAD. Exit status 1 when any
# command failed.
set -uo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The repository whose HEAD is cloned (CORVEX_FRESH_REPO: another one, for a
# trial of a changed set-up without committing it here).
SOURCE=${CORVEX_FRESH_REPO:-$REPO}
CACHE=${CORVEX_FRESH_CACHE:-$HOME/.cache/corvex/fresh}
WORK=${CORVEX_FRESH_WORK:-/var/tmp/corvex-fresh}
BASE=$CACHE/bookworm-minbase.tar
DEBS=$CACHE/debs
LOGS=${CORVEX_FRESH_LOGS:-$REPO/build/fresh-machine}
# The PATH a root login gets on Debian; nothing else is kept.
ROOT_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

layouts=(deb822 classic)
steps=demo,test,package
keep=0
debcache=1
while [ $# -gt 0 ]; do
  case $1 in
    --layout) layouts=("$2"); shift 2 ;;
    --steps) steps=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --no-deb-cache) debcache=0; shift ;;
    -h|--help) sed -n '2,30p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "fresh-machine-check: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
for l in "${layouts[@]}"; do
  case $l in deb822|classic) ;; *) echo "fresh-machine-check: layout deb822 or classic" >&2; exit 2 ;; esac
done
IFS=, read -r -a step_list <<<"$steps"
for s in "${step_list[@]}"; do
  case $s in demo|test|native|package) ;; *) echo "fresh-machine-check: unknown step $s" >&2; exit 2 ;; esac
done
[ "$(id -u)" -eq 0 ] || { echo "fresh-machine-check: needs root (chroot and mounts)" >&2; exit 2; }
command -v mmdebstrap >/dev/null || { echo "fresh-machine-check: needs mmdebstrap (scripts/setup.sh all)" >&2; exit 2; }

head=$(git -C "$SOURCE" rev-parse HEAD) || exit 2
if [ -n "$(git -C "$SOURCE" status --porcelain --untracked-files=no)" ]; then
  echo "note: uncommitted changes are not part of the check (it clones $head)"
fi

# --- mounts and clean-up -----------------------------------------------------
ROOTFS=""
mounts=()
mount_in() {  # mount_in <mount args...> <target>: remembers the target
  local target=${*: -1}
  mkdir -p "$target"
  mount "$@" && mounts+=("$target")
}
under_root_mounts() {  # mount points at or below $ROOTFS, deepest first
  [ -n "$ROOTFS" ] || return 0
  awk -v r="$ROOTFS" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}
# Processes this check started inside the root (a wineserver, an Xvfb left
# by an interrupted test) would keep its mounts busy.
stop_root_processes() {
  local pids=()
  # One find rather than a readlink per process: quick on a busy machine.
  mapfile -t pids < <(find /proc -mindepth 2 -maxdepth 2 -name root -lname "$ROOTFS" 2>/dev/null |
                      cut -d/ -f3)
  [ ${#pids[@]} -eq 0 ] && return 0
  kill "${pids[@]}" 2>/dev/null; sleep 1
  kill -9 "${pids[@]}" 2>/dev/null || true
}
cleanup_root() {  # cleanup_root [force]: force removes even with --keep
  [ -n "$ROOTFS" ] || return 0
  stop_root_processes
  local m
  for m in $(under_root_mounts); do
    umount -R "$m" 2>/dev/null || umount -R -l "$m" 2>/dev/null || true
  done
  mounts=()
  if [ -n "$(under_root_mounts)" ]; then
    echo "fresh-machine-check: still mounted, $ROOTFS left in place:" >&2
    under_root_mounts >&2
  elif [ $keep -eq 0 ] || [ "${1:-}" = force ]; then
    if [ -d "$ROOTFS.debs" ]; then
      # New downloads go back to the shared cache.
      find "$ROOTFS.debs" -maxdepth 1 -name '*.deb' -exec cp -l -n -t "$DEBS" {} + 2>/dev/null
      rm -rf "$ROOTFS.debs"
    fi
    rm -rf --one-file-system "$ROOTFS"
  else
    echo "kept: $ROOTFS"
  fi
  ROOTFS=""
}
trap cleanup_root EXIT
trap 'echo "interrupted: cleaning up" >&2; exit 130' INT TERM HUP

# --- the base -----------------------------------------------------------------
make_base() {
  [ -s "$BASE" ] && return 0
  mkdir -p "$CACHE"
  echo "bootstrapping the minimal Debian 12 base (cached in $BASE)"
  local t0=$SECONDS
  if ! mmdebstrap --quiet --variant=minbase --include=ca-certificates,git,sudo --format=tar \
         bookworm "$BASE.partial" >"$CACHE/mmdebstrap.log" 2>&1; then
    tail -n 20 "$CACHE/mmdebstrap.log"
    rm -f "$BASE.partial"
    return 1
  fi
  mv "$BASE.partial" "$BASE"
  echo "base ready in $((SECONDS - t0)) s"
}

write_sources() {  # write_sources <layout>
  local apt=$ROOTFS/etc/apt
  rm -f "$apt/sources.list" "$apt"/sources.list.d/*.list "$apt"/sources.list.d/*.sources
  case $1 in
    deb822)
      mkdir -p "$apt/sources.list.d"
      cat >"$apt/sources.list.d/debian.sources" <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
      ;;
    classic)
      cat >"$apt/sources.list" <<'EOF'
deb http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
      ;;
  esac
}

# private_dev <dir>: a /dev of its own for the root (the few nodes programs
# use, its own pseudo-terminals and shared memory), so that nothing done in
# the root or by the clean-up can reach this machine's /dev.
private_dev() {
  local dev=$1
  mount_in -t tmpfs -o mode=755,size=16m tmpfs "$dev" || return 1
  local node
  for node in "null 1 3" "zero 1 5" "full 1 7" "random 1 8" "urandom 1 9" "tty 5 0"; do
    set -- $node
    mknod -m 666 "$dev/$1" c "$2" "$3" || return 1
  done
  ln -s /proc/self/fd "$dev/fd"
  ln -s /proc/self/fd/0 "$dev/stdin"; ln -s /proc/self/fd/1 "$dev/stdout"; ln -s /proc/self/fd/2 "$dev/stderr"
  mount_in -t devpts -o newinstance,ptmxmode=0666,mode=620 devpts "$dev/pts" || return 1
  ln -s pts/ptmx "$dev/ptmx"
  mount_in -t tmpfs -o mode=1777 tmpfs "$dev/shm"
}

prepare_root() {  # prepare_root <layout>
  ROOTFS=$WORK/$1
  if [ -e "$ROOTFS" ]; then
    # A root left by an earlier run (--keep, or one that could not unmount).
    cleanup_root force
    ROOTFS=$WORK/$1
    [ -e "$ROOTFS" ] && { echo "fresh-machine-check: cannot remove $ROOTFS" >&2; return 1; }
  fi
  mkdir -p "$ROOTFS"
  tar -C "$ROOTFS" -xf "$BASE" || return 1
  write_sources "$1"
  cp -L /etc/resolv.conf "$ROOTFS/etc/resolv.conf"
  mount_in -t proc proc "$ROOTFS/proc" &&
    mount_in -t sysfs -o ro sysfs "$ROOTFS/sys" &&
    private_dev "$ROOTFS/dev" &&
    mount_in -t tmpfs -o mode=1777 tmpfs "$ROOTFS/tmp" || return 1
  if [ $debcache -eq 1 ]; then
    mkdir -p "$DEBS/partial"
    # Seeded once from this machine's own package cache (hard links: no copy).
    if [ ! -e "$DEBS/.seeded" ]; then
      cp -l /var/cache/apt/archives/*.deb "$DEBS/" 2>/dev/null || true
      touch "$DEBS/.seeded"
    fi
    # Each root gets its own archive folder (hard links again), so that
    # checks running side by side do not wait for each other's apt lock.
    local own=$ROOTFS.debs
    rm -rf "$own" && mkdir -p "$own/partial"
    find "$DEBS" -maxdepth 1 -name '*.deb' -exec cp -l -t "$own" {} + || return 1
    mount_in --bind "$own" "$ROOTFS/var/cache/apt/archives" || return 1
  fi
  git clone -q --no-checkout "$SOURCE" "$ROOTFS/root/corvex" &&
    git -C "$ROOTFS/root/corvex" checkout -q --detach "$head"
}

# in_root <log> <command>: runs a command in the root as root with a clean
# environment, as a newcomer types it in the clone.
in_root() {
  local logfile=$1 cmd=$2
  chroot "$ROOTFS" /usr/bin/env -i HOME=/root PATH="$ROOT_PATH" TERM=dumb \
    /bin/bash -c "cd /root/corvex && $cmd" >"$logfile" 2>&1 </dev/null
}

# check_wav <file>: a RIFF/WAVE file whose chunk sizes agree with its length,
# with a format chunk and a non-empty data chunk.
check_wav() {
  python3 - "$1" <<'EOF'
import struct, sys
try:
    b = open(sys.argv[1], 'rb').read()
except OSError as e:
    sys.exit(f"cannot read: {e}")
if len(b) < 44 or b[:4] != b'RIFF' or b[8:12] != b'WAVE':
    sys.exit("not a RIFF/WAVE file")
if struct.unpack('<I', b[4:8])[0] != len(b) - 8:
    sys.exit("RIFF size does not match the file length")
pos, fmt, data = 12, None, None
while pos + 8 <= len(b):
    cid, size = b[pos:pos + 4], struct.unpack('<I', b[pos + 4:pos + 8])[0]
    if pos + 8 + size > len(b):
        sys.exit(f"chunk {cid!r} runs past the end")
    if cid == b'fmt ':
        fmt = struct.unpack('<HHIIHH', b[pos + 8:pos + 24])
    elif cid == b'data':
        data = size
    pos += 8 + size + (size & 1)
if fmt is None or not data:
    sys.exit("no format chunk or an empty data chunk")
tag, channels, rate, _, align, bits = fmt
frames = data // align
print(f"valid WAV: format {tag}, {channels} channels, {rate} Hz, {bits}-bit, {frames / rate:.1f} s")
EOF
}

results=()
status=0
note() { results+=("$(printf '  %-8s %-7s %-6s %6d s  %s' "$1" "$2" "$3" "$4" "$5")"); echo "${results[-1]}"; }

make_base || exit 1
mkdir -p "$LOGS"
for layout in "${layouts[@]}"; do
  echo "== fresh root, $layout apt sources, $head"
  t0=$SECONDS
  if ! prepare_root "$layout"; then
    note "$layout" prepare FAILED $((SECONDS - t0)) "could not make the root"
    status=1; cleanup_root; continue
  fi
  note "$layout" root ok $((SECONDS - t0)) "unpacked, mounted, cloned"
  for step in "${step_list[@]}"; do
    logfile=$LOGS/$layout-$step.log
    case $step in
      demo) cmd=./demo.sh ;;
      test) cmd=./test.sh ;;
      native) cmd="scripts/setup.sh core && scripts/stages/10-native.sh" ;;
      package) cmd=scripts/package-check.sh ;;
    esac
    t0=$SECONDS
    rc=0
    # In the background, so that a signal reaches the trap at once.
    in_root "$logfile" "$cmd" &
    wait $! || rc=$?
    took=$((SECONDS - t0))
    detail=$(grep -v '^[[:space:]]*$' "$logfile" | tail -n 1)
    if [ $rc -eq 0 ] && [ "$step" = demo ]; then
      detail=$(check_wav "$ROOTFS/root/corvex/out/demo-corvex.wav" 2>&1) || rc=1
    fi
    if [ "$step" = package ]; then
      detail=$(grep -cE '^ok: ' "$logfile")" checks ok, "$(grep -cE '^FAILED: ' "$logfile")" failed"
      grep -E '^(ok|FAILED|skipped):' "$logfile" | sed 's/^/           /'
    fi
    if [ "$step" = native ]; then
      detail=$(grep -E 'tests passed, [0-9]+ tests? failed' "$logfile" | tail -n 1)
      detail=${detail:-$(tail -n 1 "$logfile")}
    fi
    if [ $rc -ne 0 ] && [ "$step" != test ]; then
      # The first error is the cause; the later ones follow from it.
      first=$(grep -m 1 -E '^(E: |CMake Error|FAILED:)|error:' "$logfile")
      detail=${first:-$detail}
    fi
    if [ $rc -eq 0 ]; then
      note "$layout" "$step" ok $took "$detail"
    else
      note "$layout" "$step" FAILED $took "$detail"
      echo "  --- $logfile ends:"; tail -n 25 "$logfile" | sed 's/^/  | /'
      status=1
    fi
  done
  # What the commands left on disk: the root (system and installed packages,
  # not the downloaded .deb files) and build/.
  disk=$(du -sxh --exclude="$ROOTFS/var/cache/apt/archives" "$ROOTFS" 2>/dev/null | cut -f1)
  built=$(du -sxh "$ROOTFS/root/corvex/build" 2>/dev/null | cut -f1)
  note "$layout" disk - 0 "root ${disk:-?} without the .deb downloads, build/ ${built:-none} of it"
  cleanup_root
done
echo "== fresh-machine check ($head):"
printf '%s\n' "${results[@]}"
echo "logs: $LOGS"
exit $status
