#!/usr/bin/env bash
# Runs the GNU parallel example of examples/cluster and checks that the
# merged sweep equals an unsharded run of the same sweep byte for byte.
#
#   parallel_test.sh RAVOST SOURCE_DIR
set -euo pipefail
ravost=$(realpath "$1"); source_dir=$(realpath "$2")
command -v parallel >/dev/null || { echo "FAILED: GNU parallel is not installed (Debian package parallel)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp -r "$source_dir/examples" examples
RAVOST=$ravost "$source_dir/examples/cluster/run_parallel.sh" 3 >/dev/null
. "$source_dir/tests/cluster/check_merged.sh"
