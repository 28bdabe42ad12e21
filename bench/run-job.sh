#!/usr/bin/env bash
# Times whole batch jobs of the release build with /usr/bin/time -v and
# prints the median wall time and the peak memory of several runs; then the
# six-mode job at increments 1 in batch and interactive mode alternately
# (the dialogue loads the job file and prints a line per step to
# /dev/null), with the median CPU time of each and the interactive mode's
# overhead.
#   bench/run-job.sh [RUNS]      (default 5 runs per job)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/six-mode-job.sh
runs=${1:-5}
binary=${CORVANEL_BIN:-build/release/app/corvanel}
if [ -z "${CORVANEL_BIN:-}" ] && [ ! -x "$binary" ]; then
  cmake --preset release >/dev/null && cmake --build --preset release --target corvanel >/dev/null
fi
binary=$(realpath "$binary")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/wear.db examples/kfkncfa.db examples/demo.in "$work/"

# Six modes (one per direction in each structure), every angular step, 20 revolutions.
six_mode_job 20 2 1 > "$work/six1.in"
six_mode_job 20 2 20 > "$work/six20.in"

measure() {  # job steps
  local job=$1 steps=$2 times=() mems=()
  for ((i = 0; i < runs; i++)); do
    ( cd "$work" && /usr/bin/time -v "$binary" "$job" . > /dev/null 2> "$job.time" )
    times+=("$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,a,":"); s=0; for(j=1;j<=n;j++) s=s*60+a[j]; print s}' "$work/$job.time")")
    mems+=("$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/$job.time")")
  done
  local median peak
  median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  peak=$(printf '%s\n' "${mems[@]}" | sort -g | tail -1)
  awk -v job="$job" -v t="$median" -v runs="$runs" -v kb="$peak" -v steps="$steps" 'BEGIN {
    printf "%-6s %7d steps: median wall %.3f s over %d runs (%.2f million steps/s), peak memory %.1f MB\n",
      job, steps, t, runs, (t > 0 ? steps / t / 1e6 : 0), kb / 1024 }'
}

demo_steps() {  # revolutions x steps per revolution of examples/demo.in
  local revs increments
  revs=$(tail -n 3 "$work/demo.in" | head -n 1)
  increments=$(tail -n 1 "$work/demo.in")
  echo $((revs * (34200 / increments)))
}

measure demo "$(demo_steps)"
measure six1 $((20 * 34200))
measure six20 $((20 * 1710))

# Batch against interactive, CPU seconds (user + system), alternating.
cpu_of() {  # file written by bench/cputime.py
  awk '{printf "%.4f\n", $1}' "$1"
}
batch_times=() dialogue_times=()
for ((i = 0; i < runs; i++)); do
  ( cd "$work" && "$OLDPWD/bench/cputime.py" "$binary" six1 . > batch.time )
  batch_times+=("$(cpu_of "$work/batch.time")")
  ( cd "$work" && printf 'y\nsix1.in\n' |
      "$OLDPWD/bench/cputime.py" "$binary" > dialogue.time 2> /dev/null )
  dialogue_times+=("$(cpu_of "$work/dialogue.time")")
done
median_of() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
awk -v b="$(median_of "${batch_times[@]}")" -v d="$(median_of "${dialogue_times[@]}")" -v runs="$runs" 'BEGIN {
  printf "six1   batch median CPU %.3f s, interactive %.3f s over %d runs each: %+.1f %%\n",
    b, d, runs, (b > 0 ? (d / b - 1) * 100 : 0) }'
