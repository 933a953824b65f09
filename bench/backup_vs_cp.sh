#!/usr/bin/env bash
# Times `linekeeper-cli backup` next to `rsync -a`, `cp -r` and `mv` on the
# same cards, with card and store on two different file systems (two
# loop-mounted ext4 images, as a card reader and a disk are), and prints
# medians and ratios per row.
#
#   sudo bench/backup_vs_cp.sh [path/to/linekeeper-cli] [runs]
#
# Rows (LK_BENCH_ROWS picks some, in this order; default all):
#   warm     second run, nothing new, 1 GiB card, warm cache   vs rsync -a
#   cold     the same with caches dropped, plus bytes read from the card
#   warm10k  second run, 10,000 files                           vs rsync -a
#   fill1g   empty store, 1 GiB in 1,024 files                  vs cp -r, rsync -a
#   fill16k  empty store, 10,000 x 16 KiB                       vs cp -r, rsync -a
#   fill3k   empty store, 100,000 x 3 KB (slow)                 vs cp -r, rsync -a
#   move1g   backup --move, 1 GiB in 1,024 files                vs mv
#   move16k  backup --move, 10,000 x 16 KiB                     vs mv
#   json     records --json, 1,000,000 records: peak memory     vs the records alone
#   search   search over a 100,000-record store                 vs the same search on a card
# A quick subset:  LK_BENCH_ROWS="warm cold fill1g fill16k" LK_BENCH_RUNS=3
#
# Every timed command is followed by `sync`: the backup makes its copies and
# index entries durable before it counts them, the others do not. Runs
# alternate, each side taking each place in turn (A B, B A, ...), so that
# load from other work on the machine and the order itself fall on all sides. LK_BENCH_ALT_CLI=path adds a second build of the backup to the
# empty-store, second-run and search rows, alternated with the first (an A/B
# of a change).
#
# Needs root (loop devices, mount, drop_caches).
set -euo pipefail

if [[ $(id -u) -ne 0 ]]; then
  echo "backup_vs_cp.sh needs root: it mounts two loop-device ext4 images and drops caches" >&2
  exit 2
fi
for tool in losetup mkfs.ext4 mount python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "backup_vs_cp.sh needs $tool" >&2; exit 2; }
done
if ! command -v rsync >/dev/null; then
  echo "installing rsync (the peer of the second-run rows)" >&2
  apt-get install -y rsync >/dev/null || { apt-get update >/dev/null && apt-get install -y rsync >/dev/null; }
fi

CLI=$(realpath "${1:-build-rel/bin/linekeeper-cli}")
RUNS=${LK_BENCH_RUNS:-${2:-3}}
ROWS=" ${LK_BENCH_ROWS:-warm cold warm10k fill1g fill16k fill3k move1g move16k json search} "
ALT=${LK_BENCH_ALT_CLI:+$(realpath "$LK_BENCH_ALT_CLI")}
[[ -x $CLI ]] || { echo "no linekeeper-cli at $CLI" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/lk-backup-vs-cp.XXXXXX")
card_dev="" store_dev=""
cleanup() {
  set +e
  umount "$work/cardfs" 2>/dev/null
  umount "$work/storefs" 2>/dev/null
  [[ -n $card_dev ]] && losetup -d "$card_dev"
  [[ -n $store_dev ]] && losetup -d "$store_dev"
  rm -rf "$work"
}
trap cleanup EXIT
export LINEKEEPER_HOME="$work/home"
mkdir -p "$LINEKEEPER_HOME/Config"

# mount_image NAME CHUNKS (of 64 MiB): a fresh ext4 on a loop device, its inode tables
# written now so that no background initialisation runs during the timing.
mount_image() {
  local name=$1 size=$2 dev
  # Written out in full, not sparse: filling holes of the image made the host
  # allocate blocks during the timing, and whichever copy came first in a
  # round paid for it (up to three times its time).
  dd if=/dev/zero of="$work/$name.img" bs=64M count="$size" conv=fsync status=none
  mkfs.ext4 -q -N 400000 -E lazy_itable_init=0,lazy_journal_init=0 "$work/$name.img"
  # Direct I/O on the backing file: reads and writes reach the disk as they
  # would on a device, not a second page cache.
  dev=$(losetup -f --show --direct-io=on "$work/$name.img" 2>/dev/null ||
        losetup -f --show "$work/$name.img")
  mkdir -p "$work/$name"
  mount "$dev" "$work/$name"
  echo "$dev"
}
card_dev=$(mount_image cardfs 40)  # in 64 MiB: 2.5 GiB
store_dev=$(mount_image storefs 48)  # 3 GiB
C=$work/cardfs S=$work/storefs
card_sectors_read() { awk '{ print $3 }' "/sys/block/$(basename "$card_dev")/stat"; }

# make_card DIR FILES BYTES: recordings of distinct content over twelve months.
make_card() {
  python3 - "$1" "$2" "$3" <<'PY'
import os, sys
root, files, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
seed = os.urandom(size)
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
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

declare -A times
# timed KEY CMD...: runs CMD then sync, adds the seconds to times[KEY].
timed() {
  local key=$1 t0 t1
  shift
  t0=$(now)
  "$@" >"$work/out.txt"
  sync
  t1=$(now)
  times[$key]+="$(calc "$t1 - $t0") "
}
# expect WHAT N: the last backup's summary says WHAT is N.
expect() {
  grep -q "\"$1\": $2," "$work/out.txt" || { echo "backup summary unexpected:" >&2; cat "$work/out.txt" >&2; exit 1; }
}
fresh() { rm -rf "$@"; sync; }
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }
warm() { find "$1" -type f -exec cat {} + >/dev/null; }

summary=()
# report ROW OURS PEER PEER_LABEL TARGET_RATIO [NOTE]
report() {
  local row=$1 ours peer ratio met
  ours=$(median <<<"${times[$2]}")
  peer=$(median <<<"${times[$3]}")
  ratio=$(calc "$ours / $peer")
  met="no target"
  [[ $5 == - ]] || met=$(awk "BEGIN { print ($ratio <= $5) ? \"met\" : \"NOT met\" }")
  printf '  %-16s median %7.3f s   (%s)\n' "LineKeeper" "$ours" "${times[$2]}"
  printf '  %-16s median %7.3f s   (%s)\n' "$4" "$peer" "${times[$3]}"
  printf '  ratio %.2fx, target <= %sx: %s\n' "$ratio" "${5/-/none}" "$met"
  summary+=("$(printf '%-34s %8.3f s  %-14s %8.3f s  %6.2fx  <= %-4s %s' "$row" "$ours" "$4" "$peer" "$ratio" "$5" "$met")")
}
wants() { [[ $ROWS == *" $1 "* ]]; }

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "card $card_dev on $C, store $store_dev on $S, $RUNS runs per side"

# Second runs over an unchanged card: the store and the rsync copy are made
# once, untimed; then each side runs again over the same card.
second_run() {  # second_run ROW CARD COLD
  local row=$1 card=$2 cold=$3 r before
  fresh "$S/lk" "$S/rs"
  "$CLI" backup --card "$card" --store "$S/lk" >/dev/null
  rsync -a "$card/" "$S/rs/"
  sync
  "$CLI" backup --card "$card" --store "$S/lk" >/dev/null  # warm-up of both sides
  rsync -a "$card/" "$S/rs/"
  [[ -n $ALT ]] && "$ALT" backup --card "$card" --store "$S/lk" >/dev/null
  for ((r = 1; r <= RUNS; r++)); do
    [[ $cold == yes ]] && drop_caches
    before=$(card_sectors_read)
    timed "$row.lk" "$CLI" backup --card "$card" --store "$S/lk" --json
    expect backedUp 0
    times[$row.lkread]+="$(( ($(card_sectors_read) - before) * 512 )) "
    if [[ -n $ALT ]]; then
      [[ $cold == yes ]] && drop_caches
      timed "$row.alt" "$ALT" backup --card "$card" --store "$S/lk" --json
      expect backedUp 0
    fi
    [[ $cold == yes ]] && drop_caches
    before=$(card_sectors_read)
    timed "$row.rs" rsync -a "$card/" "$S/rs/"
    times[$row.rsread]+="$(( ($(card_sectors_read) - before) * 512 )) "
  done
  fresh "$S/lk" "$S/rs"
}

# rotated R SIDE...: runs the sides once each, starting with side R mod N, so
# that every side takes every place in the order.
rotated() {
  local r=$1 i
  shift
  local sides=("$@")
  for ((i = 0; i < ${#sides[@]}; i++)); do
    "${sides[(r + i) % ${#sides[@]}]}"
  done
}

# Empty store: each side copies the whole card into an empty destination.
fill() {  # fill ROW CARD FILES
  local row=$1 card=$2 files=$3 r
  fill_lk() {
    timed "$row.lk" "$CLI" backup --card "$card" --store "$S/lk" --json
    expect backedUp "$files"
    fresh "$S/lk"
  }
  fill_alt() {
    timed "$row.alt" "$ALT" backup --card "$card" --store "$S/lk" --json
    expect backedUp "$files"
    fresh "$S/lk"
  }
  fill_cp() { timed "$row.cp" cp -r "$card" "$S/cp"; fresh "$S/cp"; }
  fill_rs() { timed "$row.rs" rsync -a "$card/" "$S/rs/"; fresh "$S/rs"; }
  warm "$card"
  for ((r = 1; r <= RUNS; r++)); do
    if [[ -n $ALT ]]; then
      rotated "$r" fill_lk fill_alt fill_cp fill_rs
    else
      rotated "$r" fill_lk fill_cp fill_rs
    fi
  done
}

# Move: the card is remade from a master copy on the card's file system
# before every run, outside the timing.
move() {  # move ROW MASTER FILES
  local row=$1 master=$2 files=$3 r
  move_lk() {
    fresh "$C/card"; cp -a "$master" "$C/card"; sync
    timed "$row.lk" "$CLI" backup --move --card "$C/card" --store "$S/lk" --json
    expect backedUp "$files"
    expect cardLogDeleted true
    fresh "$S/lk"
  }
  move_mv() {
    fresh "$C/card"; cp -a "$master" "$C/card"; sync
    timed "$row.mv" mv "$C/card" "$S/mv"
    fresh "$S/mv"
  }
  for ((r = 1; r <= RUNS; r++)); do rotated "$r" move_lk move_mv; done
  fresh "$C/card"
}

shape() {  # shape NAME FILES BYTES ROWS...: makes the card if a row wants it
  local name=$1 files=$2 bytes=$3 any=no row
  shift 3
  for row in "$@"; do wants "$row" && any=yes; done
  [[ $any == yes ]] || return 0
  echo "making $files recordings of $bytes bytes" >&2
  fresh "$C/master"
  make_card "$C/master" "$files" "$bytes"
  sync
}

shape 1g 1024 $((1 << 20)) warm cold fill1g move1g
if wants warm; then
  echo "second run, nothing new, 1 GiB card, warm cache"
  second_run warm "$C/master" no
  report "second run 1 GiB warm" warm.lk warm.rs "rsync -a" 1.5
  [[ -n $ALT ]] && report "second run 1 GiB warm: alt build" warm.alt warm.lk "first build" 1.0
fi
if wants cold; then
  echo "second run, nothing new, 1 GiB card, caches dropped"
  second_run cold "$C/master" yes
  report "second run 1 GiB cold" cold.lk cold.rs "rsync -a" -
  card_bytes=$(du -sb "$C/master" | cut -f1)
  lk_read=$(median <<<"${times[cold.lkread]}")
  rs_read=$(median <<<"${times[cold.rsread]}")
  printf '  card bytes read: LineKeeper %s (%s%% of %s), rsync -a %s; target <= 1%%\n' \
    "$lk_read" "$(calc "100 * $lk_read / $card_bytes")" "$card_bytes" "$rs_read"
  summary+=("$(printf '%-34s %8s B  %-14s %8s B  %6s%%  <= 1%%  %s' "card bytes read, caches dropped" \
    "$lk_read" "rsync -a" "$rs_read" "$(calc "100 * $lk_read / $card_bytes")" \
    "$(awk "BEGIN { print ($lk_read <= $card_bytes / 100) ? \"met\" : \"NOT met\" }")")")
fi
if wants fill1g; then
  echo "empty store, 1 GiB in 1,024 files"
  fill fill1g "$C/master" 1024
  report "empty store 1 GiB vs cp" fill1g.lk fill1g.cp "cp -r" 1.2
  report "empty store 1 GiB vs rsync" fill1g.lk fill1g.rs "rsync -a" 1.0
  [[ -n $ALT ]] && report "empty store 1 GiB: alt build" fill1g.alt fill1g.lk "first build" 1.0
fi
if wants move1g; then
  echo "move, 1 GiB in 1,024 files"
  move move1g "$C/master" 1024
  report "move 1 GiB" move1g.lk move1g.mv "mv" 1.3
fi

shape 16k 10000 16384 warm10k fill16k move16k
if wants warm10k; then
  echo "second run, nothing new, 10,000 files, warm cache"
  second_run warm10k "$C/master" no
  report "second run 10,000 files warm" warm10k.lk warm10k.rs "rsync -a" 1.5
  [[ -n $ALT ]] && report "second run 10,000: alt build" warm10k.alt warm10k.lk "first build" 1.0
fi
if wants fill16k; then
  echo "empty store, 10,000 x 16 KiB"
  fill fill16k "$C/master" 10000
  report "empty store 10,000x16 KiB vs cp" fill16k.lk fill16k.cp "cp -r" 1.5
  report "empty store 10,000x16 KiB vs rsync" fill16k.lk fill16k.rs "rsync -a" 1.0
  [[ -n $ALT ]] && report "empty store 16 KiB: alt build" fill16k.alt fill16k.lk "first build" 1.0
fi
if wants move16k; then
  echo "move, 10,000 x 16 KiB"
  move move16k "$C/master" 10000
  report "move 10,000x16 KiB" move16k.lk move16k.mv "mv" 1.3
fi

shape 3k 100000 3000 fill3k
if wants fill3k; then
  echo "empty store, 100,000 x 3 KB"
  fill fill3k "$C/master" 100000
  report "empty store 100,000x3 KB vs cp" fill3k.lk fill3k.cp "cp -r" 1.5
  report "empty store 100,000x3 KB vs rsync" fill3k.lk fill3k.rs "rsync -a" 1.0
  [[ -n $ALT ]] && report "empty store 3 KB: alt build" fill3k.alt fill3k.lk "first build" 1.0
fi

# Listings: cards that repeat the demo card's log (their recordings exist
# once, which listing and searching do not mind).
if wants json || wants search; then
  "$CLI" demo-card "$work/demo" >/dev/null
  repeat() {  # repeat FILE TIMES OUT
    python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); open(sys.argv[3], "wb").write(d * int(sys.argv[2]))' "$@"
  }
  per_log=$(( $(stat -c %s "$work/demo/CallLog.dat") / 128 ))
fi
# peak KEY CMD...: runs CMD, adds its peak resident memory (KiB) to times[KEY].
peak() {
  local key=$1
  shift
  /usr/bin/time -o "$work/peak.txt" -f %M "$@" >/dev/null
  times[$key]+="$(tail -1 "$work/peak.txt") "
}
if wants json; then
  echo "records --json, 1,000,000 records: peak memory"
  mkdir -p "$work/big"
  repeat "$work/demo/CallLog.dat" $(( (1000000 + per_log - 1) / per_log )) "$work/big/CallLog.dat"
  json_lk() { peak json.mem "$CLI" records --card "$work/big" --json; timed json.lk "$CLI" records --card "$work/big" --json; }
  # A search that matches nothing loads the same records and prints none:
  # the memory of the records themselves.
  json_base() { peak json.basemem "$CLI" search --card "$work/big" --number 999999999; }
  for ((r = 1; r <= RUNS; r++)); do rotated "$r" json_lk json_base; done
  mem=$(median <<<"${times[json.mem]}")
  base=$(median <<<"${times[json.basemem]}")
  printf '  records --json: median %s s, peak %s KiB; the records alone: %s KiB; ratio %.2fx, target <= 1.2x\n' \
    "$(median <<<"${times[json.lk]}")" "$mem" "$base" "$(calc "$mem / $base")"
  summary+=("$(printf '%-34s %8s KiB %-14s %8s KiB %6.2fx  <= 1.2  %s' "records --json 1,000,000 memory" \
    "$mem" "records alone" "$base" "$(calc "$mem / $base")" \
    "$(awk "BEGIN { print ($mem <= 1.2 * $base) ? \"met\" : \"NOT met\" }")")")
  rm -rf "$work/big"
fi
if wants search; then
  echo "search, 100,000 records: store vs card"
  mkdir -p "$C/search"
  repeat "$work/demo/CallLog.dat" $(( 100000 / per_log )) "$C/search/CallLog.dat"
  fresh "$S/search"
  "$CLI" backup --card "$work/demo" --store "$S/search" >/dev/null
  for index in "$S"/search/*/CallLog/*.dat; do
    repeat "$index" $(( 100000 / per_log )) "$index.new" && mv "$index.new" "$index"
  done
  sync
  search_store() { timed search.store "$CLI" search --store "$S/search" --family 0 --number 555; }
  search_card() { timed search.card "$CLI" search --card "$C/search" --number 555; }
  search_alt_store() { timed search.altstore "$ALT" search --store "$S/search" --family 0 --number 555; }
  search_alt_card() { timed search.altcard "$ALT" search --card "$C/search" --number 555; }
  # Warm-up, untimed.
  "$CLI" search --store "$S/search" --family 0 --number 555 >/dev/null
  "$CLI" search --card "$C/search" --number 555 >/dev/null
  for ((r = 1; r <= RUNS; r++)); do
    if [[ -n $ALT ]]; then
      rotated "$r" search_store search_card search_alt_store search_alt_card
    else
      rotated "$r" search_store search_card
    fi
  done
  report "search 100,000 records" search.store search.card "on a card" 1.2
  [[ -n $ALT ]] && report "search 100,000: alt build" search.altstore search.altcard "on a card" 1.2
  fresh "$C/search" "$S/search"
fi

echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "summary ($RUNS runs per side, medians):"
printf '%s\n' "${summary[@]}"
