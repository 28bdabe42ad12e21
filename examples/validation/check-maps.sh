#!/usr/bin/env bash
# Checks the stability-map figures of the validation case with the release
# build (the README's "Runs that stop when decided" and "Boundary search"):
#   grid      the 598-run grid plainly and with corvanel --until-decided: no
#             verdict may change, and the simulated revolutions must fall to
#             half or less
#   boundary  the boundary from 3500 to 9000 rpm every 50 rpm, depths 1 to 70 mm,
#             to 0.05 mm with 2 workers (at most 90 s of wall time), against the
#             analytic limit: within 1 % at the speeds nearest the three lobe
#             bottoms and within the tolerance plus 2 % at every speed; the same sweep
#             with the mode in the spindle-workpiece block must give the same
#             boundary.csv
#   resume    a boundary sweep whose row is killed in the middle, run again,
#             must give the boundary.csv of an uninterrupted one
# Usage: examples/validation/check-maps.sh [grid|boundary|resume ...] (default: all)
# The sweeps go to a temporary folder (WORK=DIR keeps them there instead).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
bin=$top/build/release
if [ ! -x "$bin/sweep/corvanel-sweep" ] || [ ! -x "$bin/app/corvanel" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target corvanel corvanel-sweep >/dev/null
fi
export PATH="$bin/app:$bin/sweep:$PATH"
work=${WORK:-$(mktemp -d)}
[ -n "${WORK:-}" ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work"
cp "$here/validation.in" "$here/wear.db" "$here/kfkncfa.db" "$work/"
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The validation job with its mode moved from the tool's block to the
# spindle-workpiece block (the same runs to the last digit).
awk 'NR >= 16 && NR <= 25 { next } { print } NR == 15 {
       print "1"; print "91.594350"; print "0.012000"; print "226000.000000"; print "0.000000"
       print "0"; print "0"; print "0"; print "0"; print "0" }' validation.in > spindle.in

seconds() { date +%s.%N; }

check_grid() {
  echo "== grid: 598 runs plainly and with --until-decided"
  printf '#!/bin/sh\nexec %s --until-decided "$@"\n' "$bin/app/corvanel" > decided.sh
  chmod +x decided.sh
  local grid="--rpm 3500:9000:250,4046,5516,8664 --depth 1:12:0.5"
  rm -rf grid-full grid-decided
  corvanel-sweep plan validation.in $grid grid-full > /dev/null
  corvanel-sweep plan validation.in $grid grid-decided > /dev/null
  local t0 t1 t2
  t0=$(seconds)
  corvanel-sweep run grid-full --jobs 2 2> /dev/null || fail "a plain grid run failed"
  t1=$(seconds)
  CORVANEL_BIN=$work/decided.sh corvanel-sweep run grid-decided --jobs 2 2> /dev/null ||
    fail "a grid run with --until-decided failed"
  t2=$(seconds)
  corvanel-sweep collect grid-full > /dev/null || fail "collect of the plain grid"
  corvanel-sweep collect grid-decided > /dev/null || fail "collect of the --until-decided grid"
  python3 - "$t0" "$t1" "$t2" << 'EOF' || fail "the --until-decided grid"
import csv, json, sys
t0, t1, t2 = map(float, sys.argv[1:])
full = {r['row']: r for r in csv.DictReader(open('grid-full/map.csv'))}
cut = {r['row']: r for r in csv.DictReader(open('grid-decided/map.csv'))}
changed = [k for k in full if full[k]['class'] != cut[k]['class']]
total = run = 0
rules = {}
for r in cut.values():
    v = json.load(open('grid-decided/' + r['folder'] + '/job.summary.json'))['verdict']
    total += 20
    run += v['stopped_at_revolution']
    rules[v['stop_rule']] = rules.get(v['stop_rule'], 0) + 1
print(f"{len(full)} runs, {len(changed)} verdicts changed {changed[:10]}")
print(f"revolutions simulated: {run} of {total} ({100 * run / total:.1f} %); stop rules {rules}")
print(f"wall time with 2 workers: plain {t1 - t0:.0f} s, --until-decided {t2 - t1:.0f} s")
sys.exit(1 if changed or run > total / 2 else 0)
EOF
}

check_boundary() {
  local job
  for job in validation spindle; do
    echo "== boundary: $job.in, 3500 to 9000 rpm every 50 rpm, 1 to 70 mm, tolerance 0.05 mm"
    rm -rf "bound-$job"
    corvanel-sweep plan $job.in --rpm 3500:9000:50 --boundary 1:70 --tolerance 0.05 \
      "bound-$job" > /dev/null
    local t0 t1
    t0=$(seconds)
    corvanel-sweep run "bound-$job" --jobs 2 2> /dev/null || fail "a row of bound-$job failed"
    t1=$(seconds)
    corvanel-sweep collect "bound-$job" | grep '^lobe [123] bottom' || true
    python3 - "bound-$job/boundary.csv" "$t0" "$t1" << 'EOF' || fail "the boundary of $job.in"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
wall = float(sys.argv[3]) - float(sys.argv[2])
bad = []
status = {}
worst = 0
for r in rows:
    status[r['status']] = status.get(r['status'], 0) + 1
    d, a = float(r['depth']), float(r['analytic'])
    if r['status'] == 'bracketed':
        worst = max(worst, abs(d / a - 1))
        if abs(d - a) > 0.05 + 0.02 * a: bad.append(r['rpm'])
    elif not (r['status'] == 'stable-throughout' and a > 70):
        bad.append(r['rpm'])  # the range holds the analytic limit, so it must bracket
bottoms = []
for rpm in ('4050.000000', '5500.000000', '8650.000000'):
    r = next(x for x in rows if x['rpm'] == rpm)
    diff = float(r['depth']) / float(r['analytic']) - 1
    bottoms.append(f"{float(rpm):.0f} rpm {float(r['depth']):.4f} mm ({100 * diff:+.2f} %)")
    if abs(diff) > 0.01: bad.append(rpm)
print(f"{len(rows)} speeds {status}, {sum(int(r['runs']) for r in rows)} runs, "
      f"{wall:.0f} s wall with 2 workers")
print(f"near the lobe bottoms: {', '.join(bottoms)}; largest difference where bracketed "
      f"{100 * worst:.2f} %")
if bad: print("outside the targets at", bad)
sys.exit(1 if bad or wall > 90 else 0)
EOF
  done
  if cmp -s bound-validation/boundary.csv bound-spindle/boundary.csv; then
    echo "the spindle-workpiece mode gives the same boundary.csv"
  else
    fail "the spindle-workpiece mode gives another boundary.csv"
  fi
}

# The pid of the search process of row $2 of boundary plan $1 (absolute), once one runs.
search_pid() {
  local pid
  for pid in $(pgrep -x corvanel-sweep || true); do
    [ "$(readlink "/proc/$pid/cwd" 2> /dev/null)" = "$1" ] || continue
    tr '\0' ' ' < "/proc/$pid/cmdline" 2> /dev/null | grep -q " search \. $2 " && echo "$pid"
  done
}

check_resume() {
  echo "== resume: a row killed in the middle, then the sweep run again"
  local speeds="4000:4300:50" a b row=4 pid=""
  rm -rf resume-a resume-b
  corvanel-sweep plan validation.in --rpm $speeds --boundary 1:12 --tolerance 0.05 resume-a >/dev/null
  corvanel-sweep plan validation.in --rpm $speeds --boundary 1:12 --tolerance 0.05 resume-b >/dev/null
  corvanel-sweep run resume-a --jobs 2 2> /dev/null || fail "the uninterrupted sweep"
  corvanel-sweep collect resume-a > /dev/null
  b=$(cd resume-b && pwd)
  corvanel-sweep run resume-b --jobs 2 2> /dev/null &
  local runner=$!
  # Kill row 4's search once it has finished two runs and is in its third.
  for _ in $(seq 600); do
    if [ "$( (wc -l < "$b/runs/0004/history.csv") 2> /dev/null || echo 0)" -ge 3 ]; then
      pid=$(search_pid "$b" $row)
      [ -n "$pid" ] && break
    fi
    sleep 0.1
  done
  if [ -n "$pid" ]; then
    kill -KILL "$pid"
    echo "killed row $row's search (pid $pid) after $(($(wc -l < "$b/runs/0004/history.csv") - 1)) runs"
  else
    fail "row $row's search was not caught running"
  fi
  wait "$runner" || true
  [ -e "$b/runs/0004/boundary.csv" ] && fail "the killed row wrote its boundary"
  corvanel-sweep run resume-b --jobs 2 --retry-failed 2> /dev/null || fail "the resumed sweep"
  corvanel-sweep collect resume-b > /dev/null
  grep -q "resuming after" "$b/runs/0004/search.log" || fail "row $row did not resume"
  if cmp -s resume-a/boundary.csv resume-b/boundary.csv; then
    echo "the resumed sweep gives the same boundary.csv ($(($(wc -l < resume-a/boundary.csv) - 1)) speeds)"
  else
    fail "the resumed sweep gives another boundary.csv"
    diff resume-a/boundary.csv resume-b/boundary.csv || true
  fi
}

checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(grid boundary resume)
for c in "${checks[@]}"; do "check_$c"; done
if [ "$failures" -gt 0 ]; then
  echo "check-maps: $failures check(s) failed"
  exit 1
fi
echo "check-maps: every check holds"
