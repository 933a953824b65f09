#!/usr/bin/env bash
# Times `linekeeper-cli verify` (every copy read back and hashed) next to
# `sha256sum -c` and `xxhsum -c` over the same files, on a store of 1 GiB in
# 1,024 recordings of 1 MiB, and prints medians and the ratios (tool time /
# verify time: 1.0 is as fast, the target is at least 0.8 against sha256sum).
#
#   bench/verify_vs_sha256sum.sh [path/to/linekeeper-cli] [runs]
#
# Warm rows read from the page cache (hashing speed); cold rows drop the
# caches first (disk speed) and run only as root. Runs alternate, each side
# taking each place in turn, so that load from other work on the machine
# falls on both.
set -euo pipefail

CLI=$(realpath "${1:-build-rel/bin/linekeeper-cli}")
RUNS=${LK_BENCH_RUNS:-${2:-5}}
FILES=${LK_BENCH_FILES:-1024}
[[ -x $CLI ]] || { echo "no linekeeper-cli at $CLI" >&2; exit 2; }
command -v sha256sum >/dev/null || { echo "needs sha256sum" >&2; exit 2; }
command -v xxhsum >/dev/null || { echo "needs xxhsum" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/lk-verify-vs-sha256sum.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LINEKEEPER_HOME="$work/home"
mkdir -p "$LINEKEEPER_HOME/Config"
store="$work/store"
root="$store/ZuzeVavazoBackup"
mkdir -p "$root/CallLog"

echo "making $FILES recordings of 1 MiB ..."
for ((i = 0; i < FILES; i++)); do
  day=$(printf '201601%02d' $((1 + i % 28)))
  name=$(printf '%s%02d%02d%02d-I-%d.wav' "$day" $((i / 60 % 24)) $((i % 60)) $((i / 1440 % 60)) "$i")
  mkdir -p "$root/201601/$day"
  head -c 1048576 /dev/urandom >"$root/201601/$day/$name"
done
# The copies become the store's own: entries and checksums, as a backup writes them.
"$CLI" verify --store "$store" --family 0 --repair >/dev/null
lines=$(wc -l <"$root/CallLog/201601.xxh128")
[[ $lines -eq $FILES ]] || { echo "expected $FILES checksum lines, got $lines" >&2; exit 1; }
# sha256sum's own list, kept outside the store so that verify does not read it.
(cd "$root" && sha256sum 201601/*/* >"$work/201601.sha256")

can_drop=0
if [[ $(id -u) -eq 0 ]] && echo 3 >/proc/sys/vm/drop_caches 2>/dev/null; then can_drop=1; fi

seconds() {  # command... -> wall seconds
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", b - a }'
}
run_verify() { "$CLI" verify --store "$store" --family 0; }
run_sha() { (cd "$root" && sha256sum --quiet -c "$work/201601.sha256"); }
run_xxh() { (cd "$root" && xxhsum -q -c CallLog/201601.xxh128); }

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

row() {  # name drop
  local name=$1 drop=$2 v=() s=() x=() order
  for ((r = 0; r < RUNS; r++)); do
    case $((r % 3)) in 0) order="verify sha xxh" ;; 1) order="sha xxh verify" ;; *) order="xxh verify sha" ;; esac
    for side in $order; do
      ((drop)) && { sync; echo 3 >/proc/sys/vm/drop_caches; }
      case $side in
        verify) v+=("$(seconds run_verify)") ;;
        sha) s+=("$(seconds run_sha)") ;;
        xxh) x+=("$(seconds run_xxh)") ;;
      esac
    done
  done
  local mv ms mx
  mv=$(printf '%s\n' "${v[@]}" | median)
  ms=$(printf '%s\n' "${s[@]}" | median)
  mx=$(printf '%s\n' "${x[@]}" | median)
  printf '%-6s verify %6.3f s  sha256sum -c %6.3f s (ratio %.2f)  xxhsum -c %6.3f s (ratio %.2f)  (%d runs)\n' \
    "$name" "$mv" "$ms" "$(awk -v a="$ms" -v b="$mv" 'BEGIN { print a / b }')" \
    "$mx" "$(awk -v a="$mx" -v b="$mv" 'BEGIN { print a / b }')" "$RUNS"
}

echo "store: $FILES files, $((FILES)) MiB; $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
row warm 0
if ((can_drop)); then row cold 1; else echo "cold   skipped: dropping caches needs root"; fi
