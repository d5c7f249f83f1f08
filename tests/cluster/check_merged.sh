# Sourced by the cluster tests from the folder the example ran in, with
# $ravost and $source_dir set: checks that the example wrote 3 shards and that
# their merge equals an unsharded run of the same sweep byte for byte.
[ "$(ls parts | wc -l)" = 3 ] || { echo "FAILED: expected 3 shards, got: $(ls parts)" >&2; exit 1; }
. "$source_dir/examples/cluster/sweep.conf"
# shellcheck disable=SC2086
"$ravost" sweep "$RAVOST_DESIGN" $RAVOST_VARY --out unsharded >/dev/null
if ! diff -r unsharded cluster-sweep >&2; then
  echo "FAILED: the merged sweep differs from an unsharded run" >&2
  exit 1
fi
echo "merged sweep of $(($(wc -l <cluster-sweep/sweep.csv) - 1)) designs equals the unsharded run"
