#!/usr/bin/env bash
# Paired runs of the six-mode job (20 revolutions, every angular step) with
# two builds of corvanel, alternating: prints the median CPU time (user +
# system) and the largest peak memory of each, and checks that both wrote
# the same standard output and result files byte for byte.
#   bench/compare-job.sh BEFORE AFTER [PAIRS]      (default 7 pairs)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/six-mode-job.sh
before=$(realpath "$1")
after=$(realpath "$2")
pairs=${3:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/before" "$work/after"
for side in before after; do cp examples/wear.db examples/kfkncfa.db "$work/$side/"; done
six_mode_job 20 2 1 | tee "$work/before/six.in" > "$work/after/six.in"

run() {  # side binary -> "cpu_seconds peak_kb" (the CPU time counts /usr/bin/time's own, alike)
  local cpu
  cpu=$(cd "$work/$1" && "$OLDPWD/bench/cputime.py" sh -c \
    'exec /usr/bin/time -f %M -o peak.txt "$0" six . > stdout.txt' "$2" | cut -d' ' -f1)
  printf '%.4f %d\n' "$cpu" "$(cat "$work/$1/peak.txt")"
}
: > "$work/before.txt"
: > "$work/after.txt"
for ((i = 0; i < pairs; i++)); do
  run before "$before" >> "$work/before.txt"
  run after "$after" >> "$work/after.txt"
done
for side in before after; do
  median=$(cut -d' ' -f1 "$work/$side.txt" | sort -g | awk '{t[NR] = $1} END {print t[int((NR + 1) / 2)]}')
  peak=$(cut -d' ' -f2 "$work/$side.txt" | sort -g | tail -1)
  awk -v side="$side" -v med="$median" -v kb="$peak" -v n="$pairs" -v steps=684000 'BEGIN {
    printf "%-6s median CPU %.4f s over %d runs (%.2f million steps/s), peak memory %.1f MB\n",
           side, med, n, steps / med / 1e6, kb / 1024 }'
done
same=1
for file in "$work"/before/six* "$work"/before/stdout.txt; do
  name=$(basename "$file")
  if ! cmp -s "$file" "$work/after/$name"; then
    echo "DIFFERS: $name"
    same=0
  fi
done
[ "$same" = 1 ] && echo "standard output and every result file identical"
