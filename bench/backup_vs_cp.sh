#!/usr/bin/env bash
# Backs up 1 GB of recordings with `linekeeper-cli backup` and copies the same
# files with `cp -r`, in the same run, and prints the time ratio.
#
#   bench/backup_vs_cp.sh [path/to/linekeeper-cli] [megabytes]
#
# The backup flushes every copy to the disk before renaming it into place (so
# that a crash or a pulled card never leaves half a recording under its final
# name); plain `cp -r` does not, so it is also timed followed by `sync`.
set -euo pipefail

CLI=${1:-build-bench/bin/linekeeper-cli}
MB=${2:-1024}
FILE_KB=1024
FILES=$((MB * 1024 / FILE_KB))

work=$(mktemp -d "${TMPDIR:-/tmp}/lk-backup-vs-cp.XXXXXX")
trap 'rm -rf "$work"' EXIT
card="$work/card"
export LINEKEEPER_HOME="$work/home"
mkdir -p "$LINEKEEPER_HOME/Config" "$card"

echo "making $FILES recordings of $FILE_KB KiB in $card" >&2
head -c $((FILE_KB * 1024)) /dev/urandom >"$work/seed"
for ((i = 0; i < FILES; i++)); do
  month=$(printf '%02d' $((1 + i % 12)))
  day=$(printf '%02d' $((1 + i % 28)))
  stamp=$(printf '2016%s%s%02d%02d%02d' "$month" "$day" $((i / 3600 % 24)) $((i / 60 % 60)) $((i % 60)))
  dir="$card/2016$month"
  mkdir -p "$dir"
  # Distinct content per file: the seed with the file number in front.
  { printf '%08d' "$i"; tail -c +9 "$work/seed"; } >"$dir/$stamp-I-$((5550000 + i)).wav"
done
: >"$card/CallLog.dat"
"$CLI" rebuild --card "$card" --json >/dev/null
sync

now() { date +%s.%N; }
# Warm the page cache so that both copies read from memory.
cat "$card"/*/*.wav >/dev/null

t0=$(now)
cp -r "$card" "$work/cp-copy"
t1=$(now)
sync
t2=$(now)
"$CLI" backup --card "$card" --store "$work/store" --json >"$work/backup.json"
t3=$(now)
sync
t4=$(now)

calc() { awk "BEGIN { print $1 }"; }
cp_s=$(calc "$t1 - $t0")
cp_sync_s=$(calc "$t2 - $t0")
backup_s=$(calc "$t3 - $t2")
backup_sync_s=$(calc "$t4 - $t2")
printf 'data: %d MB in %d files\n' "$MB" "$FILES"
printf 'cp -r:              %7.2f s\n' "$cp_s"
printf 'cp -r + sync:       %7.2f s\n' "$cp_sync_s"
printf 'backup:             %7.2f s\n' "$backup_s"
printf 'backup + sync:      %7.2f s\n' "$backup_sync_s"
printf 'ratio backup / cp -r:               %.2f\n' "$(calc "$backup_s / $cp_s")"
printf 'ratio (backup+sync) / (cp -r+sync): %.2f\n' "$(calc "$backup_sync_s / $cp_sync_s")"
grep -E '"(backedUp|failed)"' "$work/backup.json" | tr -d ' ,' | paste -sd' '
