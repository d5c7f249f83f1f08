#!/usr/bin/env bash
# Runs a build of the program on every answer file of a folder, twice each:
# once as an answer file ("y" and its name typed at the console) and once with
# the answers typed at the console.  Writes one line per run and file to
# OUT: the run, the exit status and a checksum of standard output, standard
# error and every file the run left behind.  Two builds that must write the
# same bytes give identical OUT files:
#
#   fuzz_dialog --emit corpus --seeds 0-4999
#   tests/fuzz/snapshot.sh old/ravost corpus old.txt
#   tests/fuzz/snapshot.sh build/release/app/ravost corpus new.txt
#   cmp old.txt new.txt
#
# Extra arguments after OUT are passed to the program before the answers.
set -u
binary=$(realpath "$1"); corpus=$(realpath "$2"); out=$3; shift 3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
: >"$out"
for ans in "$corpus"/*.ans; do
  seed=$(basename "$ans" .ans)
  for mode in file console; do
    dir="$scratch/run"
    rm -rf "$dir"; mkdir -p "$dir"; cp "$ans" "$dir/answers.ans"
    if [ "$mode" = file ]; then
      printf 'y\nanswers.ans\n' >"$scratch/stdin"
    else
      { printf 'n\n'; cat "$ans"; } >"$scratch/stdin"
    fi
    (cd "$dir" && timeout 60 "$binary" "$@" <"$scratch/stdin" >"$scratch/stdout" 2>"$scratch/stderr")
    rc=$?
    {
      echo "$seed $mode rc=$rc stdout=$(sha1sum <"$scratch/stdout" | cut -c1-16) stderr=$(sha1sum <"$scratch/stderr" | cut -c1-16)"
      (cd "$dir" && find . -type f ! -name answers.ans -print0 | LC_ALL=C sort -z |
        while IFS= read -r -d '' f; do
          echo "  $(printf '%q' "$f") $(sha1sum <"$f" | cut -c1-16)"; done)
    } >>"$out"
  done
done
