#!/usr/bin/env bash
# Backs up recordings with `linekeeper-cli backup` and copies the same card
# with `cp -r`, side by side in one run, and prints the medians and ratios.
#
#   bench/backup_vs_cp.sh [path/to/linekeeper-cli] [runs]
#
# Two cards: 1 GiB in 1,024 recordings of 1 MiB, and 10,000 small recordings of
# 16 KiB. The backup makes every copy and index entry durable before it counts
# (it syncs in batches); plain `cp -r` does not, so it is timed followed by
# `sync`, which is the fair comparison.
set -euo pipefail

CLI=${1:-build-bench/bin/linekeeper-cli}
RUNS=${2:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/lk-backup-vs-cp.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LINEKEEPER_HOME="$work/home"
mkdir -p "$LINEKEEPER_HOME/Config"

# make_card DIR FILES KIB: recordings of distinct content over twelve months.
make_card() {
  python3 - "$1" "$2" "$3" <<'PY'
import os, sys
root, files, kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
seed = os.urandom(kib * 1024)
for i in range(files):
    month, day = 1 + i % 12, 1 + i % 28
    stamp = "2016%02d%02d%02d%02d%02d" % (month, day, i // 3600 % 24, i // 60 % 60, i % 60)
    folder = os.path.join(root, "2016%02d" % month)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "%s-I-%d.wav" % (stamp, 5550000 + i)), "wb") as f:
        f.write(b"%08d" % i + seed[8:])
open(os.path.join(root, "CallLog.dat"), "wb").close()
PY
  "$CLI" rebuild --card "$1" --json >/dev/null
}

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

bench() {
  local label=$1 files=$2 kib=$3
  local card="$work/card-$files"
  echo "making $files recordings of $kib KiB" >&2
  make_card "$card" "$files" "$kib"
  sync
  : >"$work/cp.times"
  : >"$work/backup.times"
  for ((run = 1; run <= RUNS; run++)); do
    cat "$card"/*/*.wav >/dev/null  # both read from the page cache
    local t0 t1 t2
    t0=$(now)
    cp -r "$card" "$work/cp-copy"
    sync
    t1=$(now)
    "$CLI" backup --card "$card" --store "$work/store" --json >"$work/backup.json"
    sync
    t2=$(now)
    calc "$t1 - $t0" >>"$work/cp.times"; echo >>"$work/cp.times"
    calc "$t2 - $t1" >>"$work/backup.times"; echo >>"$work/backup.times"
    grep -q "\"backedUp\": $files" "$work/backup.json" || { echo "backup missed recordings" >&2; cat "$work/backup.json" >&2; exit 1; }
    rm -rf "$work/cp-copy" "$work/store"
    sync
  done
  local cp_m backup_m
  cp_m=$(median <"$work/cp.times")
  backup_m=$(median <"$work/backup.times")
  printf '%s (%d runs)\n' "$label" "$RUNS"
  printf '  cp -r + sync:    median %6.2f s   (%s)\n' "$cp_m" "$(paste -sd' ' "$work/cp.times")"
  printf '  backup + sync:   median %6.2f s   (%s)\n' "$backup_m" "$(paste -sd' ' "$work/backup.times")"
  printf '  ratio backup / cp: %s\n' "$(calc "$backup_m / $cp_m")"
  rm -rf "$card"
}

bench "1 GiB in 1,024 recordings" 1024 1024
bench "10,000 recordings of 16 KiB" 10000 16
