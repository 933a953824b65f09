#!/usr/bin/env bash
# Sets up, builds Release into build/ and starts LineKeeper.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DLK_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$jobs" >/dev/null
if [ -x build/bin/linekeeper ]; then
  if [ $# -eq 0 ]; then
    [ -d build/demo-card ] || build/bin/linekeeper-cli demo-card build/demo-card
    # The demo talks to the simulated recorder unless a device library is set.
    settings=build/bin/Config/LiteSet.ini
    if [ -f "$settings" ] && grep -q '^DeviceLibrary=$' "$settings"; then
      sed -i 's/^DeviceLibrary=$/DeviceLibrary=liblk_device_sim.so/' "$settings"
    fi
    exec build/bin/linekeeper --card build/demo-card
  fi
  exec build/bin/linekeeper "$@"
fi
if [ $# -eq 0 ]; then set -- --help; fi
exec build/bin/linekeeper-cli "$@"
