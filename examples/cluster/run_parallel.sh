#!/usr/bin/env bash
# Runs the sweep of sweep.conf as N shards with GNU parallel (on one machine,
# or on several with parallel's --sshlogin), then merges them.  Run it from
# the folder the sweep is to be written in (the repository root for the
# default design file).
#
#   examples/cluster/run_parallel.sh [N]        (N shards, default 4)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=sweep.conf
. "$here/sweep.conf"
n=${1:-4}
mkdir -p parts
# shellcheck disable=SC2086  # RAVOST_VARY holds several arguments
seq 1 "$n" | parallel --will-cite --halt now,fail=1 \
  "$RAVOST" sweep "$RAVOST_DESIGN" $RAVOST_VARY --shard "{}/$n" --out "parts/{}"
"$RAVOST" sweep --merge parts/* --out "$RAVOST_OUT"
