#!/usr/bin/env bash
# The automatic backup end to end on a virtual X server: a card folder is
# inserted with automatic backup on, the offered backup window is started with
# the keyboard, the card is pulled, and the store's records must be listed with
# every recording byte-identical.   scripts/e2e-backup.sh
# BUILD_DIR picks the test build (default build-test/, made by test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-test}
[ -x "$build/bin/lk_gui_tests" ] || { echo "build $build/bin/lk_gui_tests first" >&2; exit 1; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
sleep 2
# The X platform plugin leaks inside libdbus; that is not ours to report.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  "$build/bin/lk_gui_tests" --gtest_filter='Dialogs.EndToEnd*'
