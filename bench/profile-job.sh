#!/usr/bin/env bash
# Counts the instructions of two revolutions of the six-mode job (every
# angular step) under callgrind and prints the program total and the most
# expensive functions, inclusive. Instruction counts repeat exactly for the
# same binary, whatever else the machine is doing.
#   bench/profile-job.sh [TOP] [REVOLUTIONS]   (default 15 entries, 2 revolutions)
# CORVANEL_BIN=path profiles another build of corvanel (an older one, say).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/six-mode-job.sh
top=${1:-15}
revolutions=${2:-2}
binary=${CORVANEL_BIN:-$PWD/build/release/app/corvanel}
if [ -z "${CORVANEL_BIN:-}" ] && [ ! -x "$binary" ]; then
  cmake --preset release >/dev/null && cmake --build --preset release --target corvanel >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/wear.db examples/kfkncfa.db "$work/"
six_mode_job "$revolutions" 0 1 > "$work/six.in"
( cd "$work" && valgrind --tool=callgrind --callgrind-out-file=callgrind.out "$binary" six . \
    > /dev/null 2> valgrind.log )
callgrind_annotate --inclusive=yes "$work/callgrind.out" 2>/dev/null |
  awk -v top="$top" '/PROGRAM TOTALS/ {print; next}
       /sim_revolution|modal|respond_|cut_|damping|wear_|series_|format_|stats_|matdb|sim_shift|sincos|exp@@|pow@@|asin|memmove|memcpy|memset/ && n < top {print; n++}' |
  cut -c1-120
