#!/usr/bin/env bash
# Runs the sweep of sweep.conf on a Slurm cluster: a job array of N shards,
# then a merge job that waits for all of them (afterok).  Run it from the
# folder the sweep is to be written in (the repository root for the default
# design file); the shards go to parts/, the jobs' output to logs/.
#
#   examples/cluster/submit_slurm.sh [N]        (N shards, default 4)
#
# Prints the two job ids: the array's and the merge's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=sweep.conf
. "$here/sweep.conf"
export RAVOST RAVOST_DESIGN RAVOST_VARY RAVOST_OUT
n=${1:-4}
mkdir -p parts logs
array=$(sbatch --parsable --array=1-"$n" "$here/shard.sbatch")
merge=$(sbatch --parsable --dependency=afterok:"${array%%;*}" --kill-on-invalid-dep=yes "$here/merge.sbatch")
echo "${array%%;*} ${merge%%;*}"
