#!/usr/bin/env bash
# Pictures of the working dialogs (back up, backup path, search, WAV export,
# audio export, repair, import) on a generated card, drawn on a virtual X server:
#   scripts/dialog-screenshots.sh OUT_DIR
# BUILD_DIR picks the test build (default build-test/, made by test.sh).
set -euo pipefail
out=${1:?usage: scripts/dialog-screenshots.sh OUT_DIR}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
mkdir -p "$out"
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-test}
[ -x "$build/bin/lk_gui_tests" ] || { echo "build $build/bin/lk_gui_tests first" >&2; exit 1; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
sleep 2
# The X platform plugin leaks inside libdbus; that is not ours to report.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} DISPLAY="$display" QT_QPA_PLATFORM=xcb LK_SHOT_DIR="$out" \
  "$build/bin/lk_gui_tests" --gtest_filter=Dialogs.Pictures
# The audio export window with its name preview.
if [ -x "$build/bin/lk_gui_share_tests" ]; then
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} DISPLAY="$display" QT_QPA_PLATFORM=xcb LK_SHOT_DIR="$out" \
    "$build/bin/lk_gui_share_tests" --gtest_filter=ExportAudioWindow.Picture
fi
ls "$out"
