#!/usr/bin/env bash
# What --hdf5 costs on the six-mode job (20 revolutions, 2 skipped, every
# angular step: 684,000 steps, 615,600 recorded): paired runs of the release
# build without and with the option, the medians of their CPU time (user +
# system, both threads) and wall time with the ratios, the file's size; then
# the peak memory of a 200-revolution run with --hdf5 (/usr/bin/time -v).
#   bench/hdf5-job.sh [PAIRS]      (default 7 pairs)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/six-mode-job.sh
pairs=${1:-7}
binary=${CORVANEL_BIN:-$PWD/build/release/app/corvanel}
if [ ! -x "$binary" ]; then
  cmake --preset release >/dev/null && cmake --build --preset release --target corvanel >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/wear.db examples/kfkncfa.db "$work/"
six_mode_job 20 2 1 > "$work/six.in"
six_mode_job 200 2 1 > "$work/six200.in"

# Prints "CPU WALL" seconds of one run of corvanel with the given arguments.
timed() {
  ( cd "$work" && "$OLDPWD/bench/cputime.py" "$binary" "$@" ) | awk '{printf "%.4f %.4f\n", $1, $2}'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

plain_cpu=() plain_wall=() h5_cpu=() h5_wall=() ratio_cpu=() ratio_wall=()
for ((i = 0; i < pairs; i++)); do
  read -r pc pw < <(timed six .)
  read -r hc hw < <(timed --hdf5 six .)
  plain_cpu+=("$pc") plain_wall+=("$pw") h5_cpu+=("$hc") h5_wall+=("$hw")
  ratio_cpu+=("$(awk -v a="$hc" -v b="$pc" 'BEGIN {print a / b}')")
  ratio_wall+=("$(awk -v a="$hw" -v b="$pw" 'BEGIN {print a / b}')")
done
size=$(stat -c %s "$work/six.h5")
raw=$((615600 * (20 * 8 + 4)))
printf 'six-mode job, %d pairs of runs (medians):\n' "$pairs"
printf '  without --hdf5: CPU %s s, wall %s s\n' "$(printf '%s\n' "${plain_cpu[@]}" | median)" \
  "$(printf '%s\n' "${plain_wall[@]}" | median)"
printf '  with --hdf5:    CPU %s s, wall %s s\n' "$(printf '%s\n' "${h5_cpu[@]}" | median)" \
  "$(printf '%s\n' "${h5_wall[@]}" | median)"
printf '  ratio of each pair: CPU %.2f, wall %.2f\n' "$(printf '%s\n' "${ratio_cpu[@]}" | median)" \
  "$(printf '%s\n' "${ratio_wall[@]}" | median)"
awk -v s="$size" -v r="$raw" 'BEGIN {
  printf "  six.h5: %.1f MB (%.0f %% of the %.1f MB of raw values)\n", s / 1e6, 100 * s / r, r / 1e6 }'

( cd "$work" && rm -f six.h5 && /usr/bin/time -v "$binary" --hdf5 six200 . > /dev/null 2> time200.txt )
awk -F': ' '/Maximum resident set size/ {kb = $2} /Elapsed \(wall clock\)/ {wall = $2}
  END {printf "200 revolutions with --hdf5: peak memory %.1f MB, wall %s\n", kb / 1024, wall}' \
  "$work/time200.txt"
printf '  six200.h5: %.1f MB\n' "$(awk -v s="$(stat -c %s "$work/six200.h5")" 'BEGIN {print s / 1e6}')"
