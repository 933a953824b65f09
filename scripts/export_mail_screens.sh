#!/usr/bin/env bash
# Runs Export to Spreadsheet and E-mail from the window under a virtual X
# server and keeps the pictures: the window and the progress during the
# export, the window while a mail is prepared, the written sheet (rendered by
# LibreOffice when it is installed) and the mail as a draft.
#   scripts/export_mail_screens.sh OUT_DIR
# BUILD_DIR picks the build folder with the widget tests (default build-test/).
set -euo pipefail
out=${1:?usage: scripts/export_mail_screens.sh OUT_DIR}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-test}
tests="$build/bin/lk_gui_export_tests"
[ -x "$tests" ] || { echo "build $tests first (-DLK_BUILD_TESTS=ON)" >&2; exit 1; }
mkdir -p "$out"

xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 2

# The X libraries keep a few allocations to the end, which a sanitizer build reports.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} LK_BIN_DIR="$PWD/$build/bin" LK_SCREENSHOT_DIR="$out" DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  "$tests" --gtest_filter='*EndToEndWithPictures*'

if command -v libreoffice >/dev/null; then
  libreoffice --headless --convert-to pdf --outdir "$out" "$out/sheet.xlsx" >/dev/null 2>&1
  # Its first page as a picture, where poppler-utils is installed.
  if command -v pdftoppm >/dev/null; then
    pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$out/sheet.pdf" "$out/sheet"
  fi
else
  echo "LibreOffice is not installed: the sheet is not rendered" >&2
fi
ls "$out"
