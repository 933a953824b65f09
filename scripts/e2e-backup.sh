#!/usr/bin/env bash
# The backup end to end on a virtual X server, with the real windows:
# - a card folder is inserted with automatic backup on, the offered backup
#   window is started with the keyboard, the card is pulled, and the store's
#   records must be listed with every recording byte-identical;
# - the same into a store that refuses every recording: the run must end in
#   its summary, listing each failure, and the card must be listed after it.
#   scripts/e2e-backup.sh        (ctest runs it as GuiEndToEndOnX)
# BUILD_DIR picks the test build (default build-test/, made by test.sh).
# Exits 77 (a skip for ctest) when there is no Xvfb to run on.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-test}
[ -x "$build/bin/lk_gui_tests" ] || { echo "build $build/bin/lk_gui_tests first" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "skipped: Xvfb is not installed (scripts/setup.sh installs it)"; exit 77; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
# Wait for the server's socket rather than a fixed time.
for _ in $(seq 100); do
  [ -S "/tmp/.X11-unix/X${display#:}" ] && break
  kill -0 $xvfb_pid 2>/dev/null || { echo "skipped: Xvfb did not start"; exit 77; }
  sleep 0.1
done
[ -S "/tmp/.X11-unix/X${display#:}" ] || { echo "skipped: Xvfb did not start"; exit 77; }
# The X platform plugin leaks inside libdbus; that is not ours to report.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  LK_BIN_DIR="${LK_BIN_DIR:-$(cd "$build" && pwd)/bin}" LK_SOURCE_DIR="${LK_SOURCE_DIR:-$PWD}" \
  "$build/bin/lk_gui_tests" --gtest_filter='Dialogs.EndToEnd*'
