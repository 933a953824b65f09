#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user meets it:
#   1. scripts/package.sh (clean Release build folder build-package/)
#   2. appstreamcli validate --no-net, desktop-file-validate, lintian (no errors)
#   3. apt-get install ./linekeeper_*.deb in a fresh Debian 12 root
#      (debootstrap --variant=minbase bookworm), then, as an ordinary user
#      there: linekeeper-cli --help, linekeeper-cli demo-card, and linekeeper
#      under xvfb-run for 10 s; its settings must land in ~/.config/linekeeper
#      and no file of the package may change.
#   scripts/package-check.sh --prepare   only steps that need no build: the
#   tools and the bare root in the cache (CI runs it while the tests build).
# Needs root (chroot, mounts) and network access to a Debian mirror.
# The bare root and the downloaded .debs are kept in LK_PACKAGE_CACHE
# (default /var/cache/linekeeper-package), outside the source tree; the root
# the package is installed in is unpacked afresh from it on every run.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=build-package
cache=${LK_PACKAGE_CACHE:-/var/cache/linekeeper-package}
mirror=${LK_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ "$(id -u)" -ne 0 ]; then
  echo "package-check: needs root (debootstrap, chroot); run it with sudo" >&2
  exit 1
fi

t0=$(date +%s)
phase_start=$t0
report=()
phase() {  # phase NAME: records how long the previous phase took
  local now
  now=$(date +%s)
  report+=("$1: $((now - phase_start)) s")
  phase_start=$now
}

need=(debootstrap lintian appstream desktop-file-utils)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "package-check: installing ${missing[*]}"
  apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
phase "tools"

mkdir -p "$cache/archives"
make_base() {  # the bare root, made once and kept in the cache
  base="$cache/bookworm-minbase.tar"
  [ -f "$base" ] && return 0
  echo "package-check: debootstrap bookworm into the cache (once)"
  local tmp
  tmp=$(mktemp -d "$cache/debootstrap.XXXXXX")
  debootstrap --variant=minbase bookworm "$tmp" "$mirror" >"$cache/debootstrap.log" 2>&1 \
    || { tail -20 "$cache/debootstrap.log"; rm -rf "$tmp"; return 1; }
  tar -C "$tmp" -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf --one-file-system "$tmp"
}

if [ "${1:-}" = --prepare ]; then
  make_base
  phase "bare root"
  printf '  %s\n' "${report[@]}"
  exit 0
fi

bash scripts/package.sh "$build" >"$cache/package-build.log" 2>&1 \
  || { tail -30 "$cache/package-build.log"; exit 1; }
deb=$(ls "$src/$build"/linekeeper_*.deb)
echo "package-check: built $deb"
phase "build package"

# --- static checks -------------------------------------------------------
unpacked=$(mktemp -d)
root=
cleanup() {
  rm -rf "$unpacked"
  if [ -n "$root" ] && [ -d "$root" ]; then
    umount -R "$root/proc" "$root/dev" "$root/var/cache/apt/archives" 2>/dev/null || true
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$unpacked"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$unpacked"/usr/share/applications/linekeeper.desktop
echo "package-check: lintian"
lint=0
lintian --fail-on error --display-info "$deb" >"$cache/lintian.txt" 2>&1 || lint=$?
grep -v 'running with root privileges' "$cache/lintian.txt" || true
[ "$lint" -eq 0 ] || { echo "package-check: lintian found errors" >&2; exit 1; }
phase "validate"

# --- a fresh Debian 12 root ----------------------------------------------
make_base
root=$(mktemp -d "$cache/root.XXXXXX")
tar -C "$root" -xf "$base"
chmod 755 "$root"  # it becomes /, which everybody must be able to enter
phase "fresh root"

cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
in_root apt-get update -qq
# Recommends are left out to keep the root small; xvfb and xauth run the
# window in the check and are no dependency of the package.
in_root sh -c 'cd /tmp && apt-get install -y -qq --no-install-recommends ./linekeeper_*.deb xvfb xauth' \
  >"$cache/apt-install.log" 2>&1 || { tail -30 "$cache/apt-install.log"; exit 1; }
phase "apt-get install"

# --- run it as an ordinary user ------------------------------------------
in_root useradd --create-home --shell /bin/sh office
touch "$root/tmp/.installed"
as_user() {
  chroot --userspec=office:office "$root" env -i PATH=/usr/bin:/bin HOME=/home/office \
    USER=office LANG=C.UTF-8 QTWEBENGINE_DISABLE_SANDBOX=1 "$@"
}
as_user linekeeper-cli --help >/dev/null
as_user linekeeper-cli demo-card /tmp/x
test -f "$root/tmp/x/CallLog.dat"
as_user linekeeper-cli records --card /tmp/x | sed -n 1,3p
status=0
as_user timeout 10 xvfb-run -a linekeeper --card /tmp/x >"$cache/linekeeper.log" 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
  echo "package-check: linekeeper ended after less than 10 s (exit $status)" >&2
  tail -20 "$cache/linekeeper.log" >&2
  exit 1
fi
test -f "$root/home/office/.config/linekeeper/LiteSet.ini" \
  || { echo "package-check: no settings in ~/.config/linekeeper" >&2; exit 1; }
in_root dpkg --verify linekeeper || { echo "package-check: files of the package changed" >&2; exit 1; }
written=$(find "$root/usr" "$root/etc" -newer "$root/tmp/.installed" -print)
[ -z "$written" ] || { echo "package-check: the program wrote into the system folders:" >&2; echo "$written" >&2; exit 1; }
echo "package-check: user files:"
(cd "$root/home/office" && find .config .cache -type f | sort)
phase "run in the root"

echo "package-check: passed"
printf '  %s\n' "${report[@]}"
echo "  total: $(($(date +%s) - t0)) s"
