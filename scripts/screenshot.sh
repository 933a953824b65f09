#!/usr/bin/env bash
# Starts LineKeeper on the demo card under a virtual X server and saves a
# picture of its main window:
#   scripts/screenshot.sh [--scale N] [--size WxH] [--play] [--set KEY=VALUE]... [--keys KEYS] OUT.png
#   --scale N   screen scale factor (QT_SCALE_FACTOR), e.g. 2
#   --size WxH  the window's size in (scaled) pixels, e.g. 600x380 for the minimum
#   --play      double-clicks the first row first, so the player shows its waveform
#   --set K=V   a setting of LiteSet.ini for the picture, e.g. PlaySpeed=15
#   --keys KEYS keys pressed (after --play) (xdotool names), e.g. "ctrl+equal ctrl+equal"
#   --prepare CMD  shell command run once the demo card is made, before the window
#               starts; $CLI, $CARD and $LINEKEEPER_HOME name the program, card and home
#               (e.g. notes and tags written with "$CLI" note / tag --card "$CARD")
#   --click X,Y a click at that point of the window once the card is read (may be
#               given again; each click waits a second)
# BUILD_DIR picks the build folder (default build/, made by run.sh).
set -euo pipefail
scale=1
size=""
play=0
settings=()
keys=""
prepare=""
clicks=()
while [ $# -gt 1 ]; do
  case "$1" in
    --scale) scale=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --play) play=1; shift ;;
    --set) settings+=("$2"); shift 2 ;;
    --keys) keys=$2; shift 2 ;;
    --prepare) prepare=$2; shift 2 ;;
    --click) clicks+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
out=${1:?usage: scripts/screenshot.sh [--scale N] [--size WxH] [--play] [--set K=V] [--keys KEYS] [--prepare CMD] [--click X,Y] OUT.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if [ ! -x "$build/bin/linekeeper" ] || [ ! -x "$build/bin/linekeeper-cli" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLK_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target linekeeper linekeeper-cli lk_config >/dev/null
fi

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -f "$work/run/pulse/pid" ] && kill "$(cat "$work/run/pulse/pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A private home: the picture never depends on (or changes) the user's settings.
mkdir -p "$work/home"
cp -r "$build/bin/Config" "$work/home/Config"
if [ -n "$size" ]; then
  # The window remembers its place in the settings; start it there.
  printf 'WindowLeft=0\nWindowTop=0\nWindowWidth=%s\nWindowHeight=%s\n' \
    "${size%x*}" "${size#*x}" >>"$work/home/Config/LiteSet.ini"
fi
for kv in "${settings[@]}"; do
  # The first of two equal keys counts: replace the shipped one.
  if grep -q "^${kv%%=*}=" "$work/home/Config/LiteSet.ini"; then
    sed -i "s|^${kv%%=*}=.*|$kv|" "$work/home/Config/LiteSet.ini"
  else
    printf '%s\n' "$kv" >>"$work/home/Config/LiteSet.ini"
  fi
done
"$build/bin/linekeeper-cli" demo-card "$work/card" >/dev/null
if [ -n "$prepare" ]; then
  CLI="$(cd "$build/bin" && pwd)/linekeeper-cli" CARD="$work/card" LINEKEEPER_HOME="$work/home" \
    bash -c "$prepare"
fi

if [ "$play" = 1 ]; then
  # A private sound server with a sink that plays into nothing, so that the
  # player has a sound device to open.
  mkdir -p "$work/run"
  chmod 700 "$work/run"
  export XDG_RUNTIME_DIR="$work/run" PULSE_SERVER="unix:$work/native"
  HOME="$work/home" pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes \
    --load="module-null-sink sink_name=screenshot" \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$work/native" >/dev/null 2>&1
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 2

LINEKEEPER_HOME="$work/home" DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" \
  "$build/bin/linekeeper" --card "$work/card" ${SCREENSHOT_ARGS:-} >"$work/app.log" 2>&1 &
app_pid=$!
# Timer 10 fires after 1 s, the card watch 2 s later; then the card is read.
sleep "${SCREENSHOT_DELAY:-8}"

if [ "$play" = 1 ]; then
  # The window is centred on the 1280x800 screen; its first row lies 78
  # pixels below its top edge, right of the tree.
  wid=$(DISPLAY="$display" xdotool search --onlyvisible --pid "$app_pid" | head -n 1)
  DISPLAY="$display" xdotool mousemove --window "$wid" 550 78 click --repeat 2 --delay 80 1
  sleep "${SCREENSHOT_PLAY_DELAY:-3}"
fi
if [ -n "$keys" ]; then
  wid=$(DISPLAY="$display" xdotool search --onlyvisible --pid "$app_pid" | head -n 1)
  if [ "$play" = 1 ]; then
    # shellcheck disable=SC2086 # one xdotool key name per word
    DISPLAY="$display" xdotool key --window "$wid" --delay 150 $keys
  else
    # Nothing was clicked: the window takes the focus first, and the keys
    # come as typed (a key sent to a window without the focus is ignored).
    DISPLAY="$display" xdotool windowfocus --sync "$wid" 2>/dev/null || true
    # shellcheck disable=SC2086 # one xdotool key name per word
    DISPLAY="$display" xdotool key --delay 150 $keys
  fi
  sleep 1
fi

for xy in "${clicks[@]}"; do
  wid=$(DISPLAY="$display" xdotool search --onlyvisible --pid "$app_pid" | head -n 1)
  DISPLAY="$display" xdotool mousemove --window "$wid" "${xy%,*}" "${xy#*,}" click 1
  sleep 1
done

xwd -root -display "$display" -silent | convert xwd:- "$out"
echo "saved $out"
