#!/usr/bin/env bash
# How long a user waits for the card:
#   mount   card mounted while the window is up -> its rows listed
#           (TRIALS trials at random moments; median and worst)
#   pull    card unmounted -> the backup store's rows listed
#   start   program started with the card present -> its rows listed
# and, apart, how much of mount and pull is the watch noticing the change
# (the rest is reading and listing the records).
# The program runs offscreen in a mount namespace of its own (needs root and
# unshare); the card is a tmpfs holding the demo card, moved onto
# /media/$USER/CARD in one step as an automounter shows it. Times come from the
# program's own log of the card watch (category linekeeper.card).
#   bench/card_latency.sh            BUILD_DIR=build-test TRIALS=10 to change
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
trials=${TRIALS:-10}
lk="$(pwd)/$build/bin/linekeeper"
cli="$(pwd)/$build/bin/linekeeper-cli"
[ -x "$lk" ] && [ -x "$cli" ] || { echo "build $build first (linekeeper, linekeeper-cli)" >&2; exit 1; }

if [ "${LK_BENCH_INSIDE:-}" != 1 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "needs root (mounts in a private namespace)" >&2; exit 1; }
  LK_BENCH_INSIDE=1 exec unshare -m --propagation private "$0" "$@"
fi

user=$(id -un)
work=$(mktemp -d)
media=/media/$user
mount -t tmpfs lk-media /media
mkdir -p "$media" "$work/home" "$work/stage" "$work/store"
trap 'kill "$pid" 2>/dev/null || true; umount -l /media 2>/dev/null || true; umount -l "$work/stage" 2>/dev/null || true; rm -rf "$work"' EXIT
pid=

"$cli" demo-card "$work/demo" >/dev/null
"$cli" backup --card "$work/demo" --store "$work/store/" >/dev/null
mkdir -p "$work/home/Config"
cp Config/LiteSet.ini "$work/home/Config/"
sed -i "s|^BackupPath=.*|BackupPath=$work/store/|; s|^DeviceLibrary=.*|DeviceLibrary=|" \
  "$work/home/Config/LiteSet.ini"

export LINEKEEPER_HOME=$work/home QT_QPA_PLATFORM=offscreen TZ=UTC
export QT_LOGGING_RULES="linekeeper.card.info=true"
export QT_MESSAGE_PATTERN='%{time yyyy-MM-ddThh:mm:ss.zzz} %{message}'
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

now() { date -u +%s.%N; }
stamp() { date -u -d "$1" +%s.%N; }

# Waits for the n-th log line matching $2 and prints its time.
wait_line() {
  local log=$1 pattern=$2 n=$3 line
  for _ in $(seq 3000); do
    line=$(grep -- "$pattern" "$log" | sed -n "${n}p" || true)
    if [ -n "$line" ]; then stamp "${line%% *}"; return 0; fi
    sleep 0.01
  done
  echo "timed out waiting for '$pattern' #$n in $log" >&2
  exit 1
}

stage_card() {
  mount -t tmpfs lk-card "$work/stage"
  cp -a "$work/demo/." "$work/stage/"
}
insert() { mkdir -p "$media/CARD"; mount --move "$work/stage" "$media/CARD"; }

ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%d", (b - a) * 1000 }'; }
summary() {  # name, then the values in ms
  local name=$1; shift
  printf '%s\n' "$@" | sort -n | awk -v name="$name" '
    { v[NR] = $1 } END {
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%-7s n=%-3d median %5d ms   worst %5d ms   (all: ", name, NR, m, v[NR]
      for (i = 1; i <= NR; i++) printf "%s%d", (i > 1 ? " " : ""), v[i]
      print ")"
    }'
}

# 1. Start with the card present.
stage_card
insert
log=$work/start.log
t0=$(now)
"$lk" >"$log" 2>&1 &
pid=$!
t1=$(wait_line "$log" "rows listed: card" 1)
start_ms=$(ms "$t0" "$t1")
umount "$media/CARD"
wait_line "$log" "rows listed: backup" 1 >/dev/null
kill "$pid"; wait "$pid" 2>/dev/null || true

# 2. Mount and pull while the window is up.
log=$work/run.log
"$lk" >"$log" 2>&1 &
pid=$!
wait_line "$log" "rows listed: backup" 1 >/dev/null
mount_ms=() pull_ms=() taken_ms=() gone_ms=()
for i in $(seq "$trials"); do
  stage_card
  # A random moment within the old poll's period.
  sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.3f", 0.3 + 2.0 * r / 32767 }')"
  t0=$(now)
  insert
  t1=$(wait_line "$log" "rows listed: card" "$i")
  mount_ms+=("$(ms "$t0" "$t1")")
  taken_ms+=("$(ms "$t0" "$(wait_line "$log" "card taken" "$i")")")
  sleep "$(awk -v r=$RANDOM 'BEGIN { printf "%.3f", 0.3 + 1.0 * r / 32767 }')"
  t0=$(now)
  umount "$media/CARD"
  t1=$(wait_line "$log" "rows listed: backup" $((i + 1)))
  pull_ms+=("$(ms "$t0" "$t1")")
  gone_ms+=("$(ms "$t0" "$(wait_line "$log" "card gone" "$i")")")
done
kill "$pid"; wait "$pid" 2>/dev/null || true

echo "card watch latency ($build, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
summary mount "${mount_ms[@]}"
summary pull "${pull_ms[@]}"
echo "of which the watch itself (mounted -> card taken, unmounted -> card gone):"
summary taken "${taken_ms[@]}"
summary gone "${gone_ms[@]}"
summary start "$start_ms"
