#!/usr/bin/env bash
# Builds the Debian package of LineKeeper in a clean Release build folder:
#   scripts/package.sh [BUILD_DIR]     (default build-package/)
# The .deb lands in BUILD_DIR; its path is printed last.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=${1:-build-package}

bash scripts/setup.sh
# Tools that make the manual page, the icon sizes and the package itself.
need=(help2man librsvg2-bin dpkg-dev)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  echo "package: installing ${missing[*]}"
  $SUDO apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Full RELRO as Debian's hardening asks for it; the compile flags stay those of
# the Release build so that compiled objects are shared with it.
hardening="-Wl,-z,relro -Wl,-z,now"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

rm -rf "$build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DLK_BUILD_TESTS=OFF -DLK_PACKAGE=ON "${launcher[@]}" \
  -DCMAKE_EXE_LINKER_FLAGS="$hardening" -DCMAKE_SHARED_LINKER_FLAGS="$hardening" >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$build" -j "$jobs"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/linekeeper_*.deb
