#!/usr/bin/env bash
#SBATCH --job-name=ravost-shard
#SBATCH --cpus-per-task=1
#SBATCH --output=logs/shard-%a.log
# One shard of the sweep per task of a job array: task K of N evaluates the
# K-th of N interleaved parts of the grid into parts/K.  Submitted by
# submit_slurm.sh, which passes sweep.conf's settings in the environment.
set -euo pipefail
# shellcheck disable=SC2086  # RAVOST_VARY holds several arguments
exec "$RAVOST" sweep "$RAVOST_DESIGN" $RAVOST_VARY \
  --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT" --out "parts/$SLURM_ARRAY_TASK_ID"
