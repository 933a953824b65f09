#!/usr/bin/env bash
# Decoding and conversion speed of linekeeper-cli against ffmpeg and sox on
# the same one-hour recordings. Builds a release tree of its own, runs every
# measurement RUNS times and prints medians and ratios (ours / theirs; below
# 1 means we are faster).
#   bench/decode_vs_tools.sh [RUNS] [MINUTES]
set -euo pipefail
RUNS=${1:-5}
MINUTES=${2:-60}
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${LK_BENCH_BUILD:-$SRC/build-bench}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/lk-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

for tool in ffmpeg sox; do
  command -v $tool >/dev/null || { echo "bench: $tool is not installed" >&2; exit 1; }
done

cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLK_BUILD_TESTS=OFF \
  -DLK_BUILD_GUI=OFF -DLK_BUILD_BENCH=ON -DLK_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" --target linekeeper-cli bench_make_recordings >/dev/null
CLI=$BUILD/bin/linekeeper-cli

echo "bench: writing ${MINUTES}-minute recordings to $WORK"
"$BUILD/bin/bench_make_recordings" "$WORK" "$MINUTES"
mkdir -p "$WORK/wav" "$WORK/out"
"$CLI" export-wav "$WORK/ima.xtr" --to "$WORK/wav" >/dev/null  # IMA ADPCM WAV for the tools

# median_seconds CMD...: runs the command RUNS times, prints the median wall time.
median_seconds() {
  local times=()
  for ((r = 0; r < RUNS; r++)); do
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "bench: failed: $*" >&2; exit 1; }
    t1=$(date +%s.%N)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.4f", b - a}')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }

printf '\n%-22s %10s %10s %10s %12s %10s\n' "task (${MINUTES} min)" "ours s" "ffmpeg s" "sox s" "ours/ffmpeg" "ours/sox"
row() {  # name ours ffmpeg sox
  printf '%-22s %10.3f %10.3f %10.3f %12s %10s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$3")" "$(ratio "$2" "$4")"
}

OUT=$WORK/out/pcm.raw
for kind in gsm ima mulaw alaw; do
  case $kind in
    gsm)   ff=(-f gsm -ar 8000 -i "$WORK/gsm.gsm");     sx=(-t gsm "$WORK/gsm.gsm") ;;
    ima)   ff=(-i "$WORK/wav/ima.wav");                 sx=("$WORK/wav/ima.wav") ;;
    mulaw) ff=(-f mulaw -ar 8000 -i "$WORK/mulaw.ul");  sx=(-t ul -r 8000 -c 1 "$WORK/mulaw.ul") ;;
    alaw)  ff=(-f alaw -ar 8000 -i "$WORK/alaw.al");    sx=(-t al -r 8000 -c 1 "$WORK/alaw.al") ;;
  esac
  ours=$(median_seconds "$CLI" decode "$WORK/$kind.xtr" -o "$WORK/out/ours.wav")
  theirs=$(median_seconds ffmpeg -v error -y -threads 1 "${ff[@]}" -f s16le -acodec pcm_s16le "$OUT")
  soxed=$(median_seconds sox "${sx[@]}" -t raw -e signed-integer -b 16 "$OUT")
  row "decode $kind" "$ours" "$theirs" "$soxed"
done

ours=$(median_seconds "$CLI" export-wav "$WORK/gsm.xtr" --to "$WORK/out")
theirs=$(median_seconds ffmpeg -v error -y -threads 1 -f gsm -ar 8000 -i "$WORK/gsm.gsm" -acodec libgsm_ms "$WORK/out/ff.wav")
soxed=$(median_seconds sox -t gsm "$WORK/gsm.gsm" -e gsm-full-rate "$WORK/out/sox.wav")
row "GSM to GSM WAV" "$ours" "$theirs" "$soxed"
echo
echo "medians of $RUNS runs (single-threaded ffmpeg); ratios below 1: ours is faster"
