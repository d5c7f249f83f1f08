#!/usr/bin/env bash
#SBATCH --job-name=ravost-merge
#SBATCH --output=logs/merge.log
# Joins the shards into the sweep an unsharded run gives.  Submitted by
# submit_slurm.sh to start once every shard has ended well.
set -euo pipefail
exec "$RAVOST" sweep --merge parts/* --out "$RAVOST_OUT"
