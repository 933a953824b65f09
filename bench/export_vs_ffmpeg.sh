#!/usr/bin/env bash
# Exporting a page of calls in each format with linekeeper-cli export-audio
# against ffmpeg converting the same recordings one by one in a shell loop, as
# a user would script it. The card's calls are GSM .xtr recordings of SECONDS
# each; ffmpeg reads their WAV copies (it cannot read .xtr), made beforehand
# and not timed. Encoder settings match: MP3 24 kb/s constant, Opus 16 kb/s,
# FLAC default, WAV (ours: the GSM frames kept; ffmpeg: 16-bit PCM).
# Prints the wall time of each and the speed ratio (theirs / ours; above 1
# means we are faster).
#   bench/export_vs_ffmpeg.sh [CALLS] [SECONDS] [FORMATS]
set -euo pipefail
CALLS=${1:-1000}
SECONDS_PER_CALL=${2:-30}
FORMATS=${3:-"wav mp3 opus flac"}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${LK_BENCH_BUILD:-$SRC/build-bench}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/lk-export-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
command -v ffmpeg >/dev/null || { echo "bench: ffmpeg is not installed" >&2; exit 1; }

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLK_BUILD_TESTS=OFF \
  -DLK_BUILD_GUI=OFF -DLK_BUILD_BENCH=ON -DLK_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" --target linekeeper-cli bench_make_recordings >/dev/null
CLI=$BUILD/bin/linekeeper-cli

echo "bench: $CALLS calls of $SECONDS_PER_CALL s in $WORK"
"$BUILD/bin/bench_make_recordings" "$WORK" 1
# One call: the first SECONDS of the minute (GSM: 1650 bytes a second after the header).
head -c $((1440 + 1650 * SECONDS_PER_CALL)) "$WORK/gsm.xtr" >"$WORK/call.xtr"
mkdir -p "$WORK/card/201601" "$WORK/wav"
for ((i = 0; i < CALLS; i++)); do
  name=$(printf '201601%02d%02d%02d%02d-I-5550%03d.xtr' $((i / 86400 % 28 + 1)) $((i / 3600 % 24)) \
    $((i / 60 % 60)) $((i % 60)) $((i % 1000)))
  cp "$WORK/call.xtr" "$WORK/card/201601/$name"
done
: >"$WORK/card/CallLog.dat"
"$CLI" rebuild --card "$WORK/card" >/dev/null
"$CLI" export-wav "$WORK"/card/201601/*.xtr --to "$WORK/wav" >/dev/null

ffmpeg_args() {
  case $1 in
    wav) echo "-c:a pcm_s16le" ;;
    mp3) echo "-c:a libmp3lame -b:a 24k" ;;
    opus) echo "-c:a libopus -b:a 16k" ;;
    flac) echo "-c:a flac" ;;
  esac
}

seconds() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", b - a}'; }

printf '\n%-6s %10s %10s %14s %12s %12s\n' format "ours s" "ffmpeg s" "ffmpeg/ours" "ours MB" "ffmpeg MB"
for f in $FORMATS; do
  rm -rf "$WORK/ours" "$WORK/theirs"
  mkdir -p "$WORK/ours" "$WORK/theirs"
  t0=$(date +%s.%N)
  "$CLI" export-audio --format "$f" --to "$WORK/ours" --card "$WORK/card" >/dev/null
  t1=$(date +%s.%N)
  # shellcheck disable=SC2046
  for w in "$WORK"/wav/*.wav; do
    b=$(basename "$w" .wav)
    ffmpeg -nostdin -v error -y -i "$w" -ar 8000 -ac 1 $(ffmpeg_args "$f") "$WORK/theirs/$b.$f"
  done
  t2=$(date +%s.%N)
  n=$(find "$WORK/ours" -type f | wc -l)
  [ "$n" -eq "$CALLS" ] || { echo "bench: $n of $CALLS $f files written" >&2; exit 1; }
  ours=$(seconds "$t0" "$t1")
  theirs=$(seconds "$t1" "$t2")
  printf '%-6s %10s %10s %14s %12s %12s\n' "$f" "$ours" "$theirs" \
    "$(awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "%.2f", b / a}')" \
    "$(du -sm "$WORK/ours" | cut -f1)" "$(du -sm "$WORK/theirs" | cut -f1)"
done
