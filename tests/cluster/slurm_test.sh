#!/usr/bin/env bash
# Runs the Slurm example of examples/cluster on a single-node Slurm started
# for the test alone (its own munge key and socket, its own ports and spool,
# no cgroups), and checks that the merged sweep equals an unsharded run of
# the same sweep byte for byte.
#
#   slurm_test.sh RAVOST SOURCE_DIR
#
# Exits 77 (skipped) when Slurm cannot run here, saying why.
set -euo pipefail
ravost=$(realpath "$1"); source_dir=$(realpath "$2")
skip() { echo "SKIPPED: $*" >&2; exit 77; }
for tool in munged slurmctld slurmd sbatch squeue sinfo scontrol; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (Debian packages slurm-wlm and munge)"
done
[ "$(id -u)" = 0 ] || skip "slurmd must run as root to start jobs"

work=$(mktemp -d /tmp/ravost-slurm.XXXXXX)
chmod 755 "$work"
export SLURM_CONF=$work/slurm.conf
# Stops the daemons, waits for them to be gone (they write their state as
# they stop), and removes the test's folder; keeps the test's status.
cleanup() {
  local status=$? pids=()
  scontrol shutdown >/dev/null 2>&1 || true
  for pid in "$work"/slurmd.pid "$work"/slurmctld.pid "$work"/munged.pid; do
    if [ -s "$pid" ]; then
      pids+=("$(cat "$pid")")
      kill "${pids[-1]}" 2>/dev/null || true
    fi
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work" 2>/dev/null || true
  exit "$status"
}
trap cleanup EXIT

# Polls `$@` every 0.2 s until it succeeds, for at most $limit seconds.
wait_until() {
  local limit=$1; shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# Two free ports in the unprivileged range, unlike each other.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
}
ctld_port=$(free_port)
slurmd_port=$(free_port)
while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done

node=$(hostname -s)
mkdir -p "$work/state" "$work/spool"
head -c 1024 /dev/urandom >"$work/munge.key"
chmod 400 "$work/munge.key"
cat >"$SLURM_CONF" <<CONF
ClusterName=ravosttest
SlurmctldHost=$node(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge.sock
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

munged --socket="$work/munge.sock" --key-file="$work/munge.key" --pid-file="$work/munged.pid" \
  --log-file="$work/munged.log" --seed-file="$work/munge.seed" --force ||
  skip "munged would not start: $(tail -n 2 "$work/munged.log" 2>/dev/null)"
slurmctld -f "$SLURM_CONF" || skip "slurmctld would not start: $(tail -n 2 "$work/slurmctld.log" 2>/dev/null)"
slurmd -f "$SLURM_CONF" || skip "slurmd would not start: $(tail -n 2 "$work/slurmd.log" 2>/dev/null)"
node_idle() { [ "$(sinfo -h -n "$node" -o %t 2>/dev/null)" = idle ]; }
wait_until 60 node_idle ||
  skip "the node did not come up: $(tail -n 3 "$work/slurmctld.log" "$work/slurmd.log" 2>/dev/null | tr '\n' ' ')"

# The example as a user runs it: from a folder holding the repository's
# examples, with the program named in the environment.
cd "$work"
mkdir run
cp -r "$source_dir/examples" run/examples
cd run
read -r array merge < <(RAVOST=$ravost "$source_dir/examples/cluster/submit_slurm.sh" 3)
echo "job array $array, merge job $merge"
job_gone() { [ -z "$(squeue -h -j "$1" 2>/dev/null)" ]; }
if ! wait_until 900 job_gone "$merge"; then
  echo "FAILED: the merge job did not end within 900 s" >&2
  squeue >&2 || true
  exit 1
fi
[ -f cluster-sweep/sweep.csv ] || {
  echo "FAILED: no merged sweep; the jobs' logs:" >&2
  tail -n 5 logs/* >&2 || true
  exit 1
}
. "$source_dir/tests/cluster/check_merged.sh"
