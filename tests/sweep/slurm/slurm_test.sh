#!/usr/bin/env bash
# Runs a small sweep as a Slurm job array on a real single-node Slurm cluster started here,
# and checks that collect gives the same files as the same plan run locally.
#
#   tests/sweep/slurm/slurm_test.sh CORVANEL CORVANEL_SWEEP
#
# Needs root and Debian's slurmctld, slurmd, slurm-client and munge (./dev.sh test installs
# them). It starts its own munged, slurmctld and slurmd from slurm.conf.in beside it, on free
# ports, with every file under one temporary folder, and stops them on every way out; it
# never touches a daemon it did not start. Every wait has a deadline, and every daemon is
# started under `timeout`, so even a killed test leaves nothing running for long.
# Exit code 0 when the results match, 1 otherwise (logs are then kept and named; set
# CORVANEL_SLURM_KEEP=1 to keep them after a success too).
set -euo pipefail

# The sweep under test: the plan's arguments (run in examples/validation, which holds the
# databases) and the files of collect that must match between Slurm and the local run.
# A boundary search at the three lobe bottoms: each array task brackets and narrows its
# speed's limit by running corvanel repeatedly in its own folder. A grid sweep would be
#   plan_args=(validation.in --rpm "4046,5516,8664" --depth "5,6")
#   compared=(map.csv boundary.csv)
plan_args=(validation.in --rpm "4046,5516,8664" --boundary 4:7 --tolerance 0.05)
compared=(boundary.csv)

# Seconds: the daemons' lifetime at most (a backstop), the waits for munged, slurmctld, the
# node to be idle, the array to finish, and the daemons to stop.
daemon_lifetime=200
munge_wait=10
controller_wait=20
node_wait=30
array_wait=90
stop_wait=15

me=slurm_test.sh
if [ $# -ne 2 ]; then
  echo "usage: $me CORVANEL CORVANEL_SWEEP" >&2
  exit 2
fi
corvanel=$(realpath "$1")
sweep=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
example_dir=$here/../../../examples/validation

fail() {
  echo "$me: $*" >&2
  exit 1
}

for program in "$corvanel" "$sweep"; do
  [ -x "$program" ] || fail "$program: not an executable program"
done
missing=()
for tool in munged mungekey munge unmunge slurmctld slurmd sinfo scontrol sbatch squeue scancel; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ ${#missing[@]} -eq 0 ] ||
  fail "missing ${missing[*]}: install the Debian packages slurmctld slurmd slurm-client munge (./dev.sh test does)"
[ "$(id -u)" -eq 0 ] || fail "the daemons run as root (SlurmUser=root): run as root"

dir=$(mktemp -d /tmp/corvanel-slurm.XXXXXX)
chmod 755 "$dir"  # munged wants its socket reachable by every user
mkdir -p "$dir"/{munge,state,spool,run,log}
munge_pid='' controller_pid='' node_pid='' sbatch_pid='' job_id='' passed=0

# The id of the job that sbatch submitted, if any.
submitted_job() {
  sed -n 's/^Submitted batch job \([0-9]*\).*/\1/p' "$dir/log/sbatch.out" 2>/dev/null
}

# Waits up to $1 seconds for pid $2 to end; 0 when it ended.
wait_gone() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$2" 2>/dev/null; do
    [ $SECONDS -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# Stops one daemon of ours (its `timeout` wrapper's pid passes the signal on).
stop_daemon() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  if ! wait_gone "$stop_wait" "$pid"; then
    echo "$me: pid $pid did not stop within $stop_wait s: killing it" >&2
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  set +e
  # Cancel the array first, so that no job step outlives slurmd.
  [ -n "$job_id" ] || job_id=$(submitted_job)
  [ -z "$sbatch_pid" ] || kill -TERM "$sbatch_pid" 2>/dev/null
  if [ -n "$job_id" ] && [ -n "$controller_pid" ] && kill -0 "$controller_pid" 2>/dev/null; then
    scancel "$job_id" 2>/dev/null
    local deadline=$((SECONDS + stop_wait))
    while [ -n "$(squeue -h -j "$job_id" 2>/dev/null)" ] && [ $SECONDS -lt "$deadline" ]; do
      sleep 0.5
    done
  fi
  stop_daemon "$node_pid"
  stop_daemon "$controller_pid"
  stop_daemon "$munge_pid"
  if [ "$passed" = 1 ] && [ "$status" = 0 ]; then
    if [ -n "${CORVANEL_SLURM_KEEP:-}" ]; then
      echo "$me: the cluster's files and both sweeps are kept in $dir"
    else
      rm -rf "$dir"
    fi
  else
    for log in "$dir"/log/*; do
      [ -s "$log" ] || continue
      echo "--- last lines of $log" >&2
      tail -n 15 "$log" >&2
    done
    echo "$me: failed; the cluster's files and both sweeps are kept in $dir" >&2
    [ "$status" = 0 ] && status=1
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Polls the command "$2..." every 0.5 s for up to $1 seconds; 0 when it succeeded.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt "$deadline" ] || return 1
    sleep 0.5
  done
}

# A TCP port on which nothing listens on this machine (connecting is refused).
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 12000))  # below the kernel's ephemeral ports
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# munged of this test only, with a key of its own.
socket=$dir/munge/munge.socket
mungekey --create --keyfile="$dir/munge/munge.key" || fail "mungekey could not create a key"
timeout -k 5 "$daemon_lifetime" munged --foreground --socket="$socket" \
  --key-file="$dir/munge/munge.key" --pid-file="$dir/run/munged.pid" \
  --seed-file="$dir/munge/munged.seed" >>"$dir/log/munged.out" 2>&1 &  # logs to stderr
munge_pid=$!
munge_round_trip() { munge --socket="$socket" -n | unmunge --socket="$socket"; }
wait_for "$munge_wait" munge_round_trip || fail "munged did not answer within $munge_wait s"

node=$(hostname -s)
ctld_port=$(free_port) || fail "no free port for slurmctld"
slurmd_port=$(free_port) || fail "no free port for slurmd"
[ "$ctld_port" != "$slurmd_port" ] || slurmd_port=$((ctld_port + 1))
export SLURM_CONF=$dir/slurm.conf
sed -e "s|@CLUSTER@|corvanel-test|g" -e "s|@NODE@|$node|g" -e "s|@CPUS@|$(nproc)|g" \
  -e "s|@CTLD_PORT@|$ctld_port|g" -e "s|@SLURMD_PORT@|$slurmd_port|g" -e "s|@DIR@|$dir|g" \
  "$here/slurm.conf.in" >"$SLURM_CONF"

timeout -k 5 "$daemon_lifetime" slurmctld -D -i -f "$SLURM_CONF" >>"$dir/log/slurmctld.out" 2>&1 &
controller_pid=$!
controller_up() { scontrol ping | grep -q 'is UP'; }
wait_for "$controller_wait" controller_up || fail "slurmctld did not answer within $controller_wait s"

timeout -k 5 "$daemon_lifetime" slurmd -D -f "$SLURM_CONF" -N "$node" >>"$dir/log/slurmd.out" 2>&1 &
node_pid=$!
node_idle() { [ "$(sinfo -h -n "$node" -o %t)" = idle ]; }
wait_for "$node_wait" node_idle ||
  fail "node $node not idle within $node_wait s (sinfo says: $(sinfo -h -n "$node" -o '%t %E' 2>&1))"

# The same plan twice: one for the Slurm array, one for the local runner.
for where in slurm local; do
  (cd "$example_dir" && "$sweep" plan "${plan_args[@]}" --corvanel "$corvanel" "$dir/$where") \
    >"$dir/log/plan-$where.out" 2>&1 || fail "plan failed: $(tail -n 1 "$dir/log/plan-$where.out")"
done
rows=$(wc -l <"$dir/slurm/commands.txt")

# sbatch waits in the background, so that a signal to this script stops the test at once.
started=$SECONDS
timeout "$array_wait" sbatch --wait "$dir/slurm/slurm-array.sh" >"$dir/log/sbatch.out" 2>&1 &
sbatch_pid=$!
submit_status=0
wait "$sbatch_pid" || submit_status=$?
sbatch_pid=''
job_id=$(submitted_job)
[ -n "$job_id" ] || fail "sbatch submitted no job: $(tr '\n' ' ' <"$dir/log/sbatch.out")"
[ "$submit_status" != 124 ] || fail "the array of job $job_id did not finish within $array_wait s"
if [ "$submit_status" != 0 ]; then
  failed_rows=$(grep -L -x 0 "$dir"/slurm/runs/*/exit-status 2>/dev/null | head -n 5 | tr '\n' ' ')
  fail "some tasks of job $job_id failed (sbatch --wait exit code $submit_status; ${failed_rows:-no exit-status written})"
fi
echo "$me: $rows array tasks of job $job_id ran on node $node in $((SECONDS - started)) s"

# Every row ran as its own array task: one Slurm log per task.
for ((task = 1; task <= rows; task++)); do
  [ -f "$dir/slurm/slurm/${job_id}_$task.out" ] || fail "array task $task left no log in $dir/slurm/slurm"
done

"$sweep" run "$dir/local" --jobs 2 >"$dir/log/run-local.out" 2>&1 ||
  fail "the local run failed: $(tail -n 1 "$dir/log/run-local.out")"
for where in slurm local; do
  "$sweep" collect "$dir/$where" >"$dir/log/collect-$where.out" 2>&1 ||
    fail "collect of the $where sweep failed: $(tail -n 1 "$dir/log/collect-$where.out")"
done
for file in "${compared[@]}"; do
  [ -s "$dir/local/$file" ] || fail "the local sweep wrote no $file"
  cmp -s "$dir/slurm/$file" "$dir/local/$file" ||
    fail "$file differs between the Slurm array and the local run: $(diff "$dir/slurm/$file" "$dir/local/$file" | head -n 4 | tr '\n' ' ')"
done
echo "$me: ${compared[*]} of the Slurm array and of the local run are identical"
passed=1
