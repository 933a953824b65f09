#!/usr/bin/env bash
# Peak memory and time of `records --json` over a card of a million records,
# the memory of the records alone (a search that matches nothing loads the
# same list), and the system calls of a search over a store of 100,000 index
# entries next to the same search over a card of the same records.
#
#   bench/listing_memory.sh [path/to/linekeeper-cli] [records]
#
# Needs /usr/bin/time (GNU time) and strace. The cards repeat the demo card's
# log; their recordings exist only once, which listing does not mind.
set -euo pipefail

CLI=$(realpath "${1:-build-bench/bin/linekeeper-cli}")
RECORDS=${2:-1000000}

work=$(mktemp -d "${TMPDIR:-/tmp}/lk-listing.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LINEKEEPER_HOME="$work/home"
mkdir -p "$LINEKEEPER_HOME/Config"
cd "$work"

"$CLI" demo-card demo >/dev/null
repeat() {  # repeat FILE TIMES OUT
  python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); open(sys.argv[3], "wb").write(d * int(sys.argv[2]))' "$@"
}
per_log=$(( $(stat -c %s demo/CallLog.dat) / 128 ))
mkdir big small
repeat demo/CallLog.dat $(( (RECORDS + per_log - 1) / per_log )) big/CallLog.dat
repeat demo/CallLog.dat $(( 100000 / per_log )) small/CallLog.dat
"$CLI" backup --card demo --store store >/dev/null
for index in store/*/CallLog/*.dat; do
  repeat "$index" $(( 100000 / per_log )) "$index.new" && mv "$index.new" "$index"
done

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
/usr/bin/time -f "records --json, $RECORDS records: %e s, cpu %U+%S s, peak %M KiB" \
  "$CLI" records --card big --json >/dev/null
/usr/bin/time -f "the records alone (search, no match): %e s, peak %M KiB" \
  "$CLI" search --card big --number 999999999 >/dev/null
for where in "--card small" "--store store --family 0"; do
  # shellcheck disable=SC2086
  stats=$(strace -c -f "$CLI" search $where --number 555 2>&1 >/dev/null |
          awk '$NF == "newfstatat" { print $4 } $NF == "total" { print $4 }' | paste -sd' ')
  # shellcheck disable=SC2086
  /usr/bin/time -f "search $where: %e s, cpu %U+%S s; newfstatat and all calls: $stats" \
    "$CLI" search $where --number 555 >/dev/null
done
