#!/bin/sh
# Installs the build into a fresh prefix and runs the installed program on
# the installed example design shaped for a sample feed, from a folder of
# its own: the examples, the sample feed patterns and the design file that
# names one must arrive together.
#   install_examples.sh CMAKE BUILD_DIR
set -eu
cmake_command=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build" --prefix "$prefix" > "$prefix/install.log"
examples=$prefix/share/ravost/examples
for f in uniform.ans uniform.toml corrugated.toml feeds/README.md feeds/corrugated_horn.csv \
         feeds/corrugated_horn.cut feeds/conical_horn.csv feeds/conical_horn.cut; do
  if [ ! -f "$examples/$f" ]; then
    echo "not installed: share/ravost/examples/$f" >&2
    exit 1
  fi
done
mkdir "$prefix/work"
cd "$prefix/work"
"$prefix/bin/ravost" "$examples/corrugated.toml" > console.txt
for f in ravost.out corrugated.plt corrugated_report/report.html; do
  if [ ! -f "$f" ]; then
    echo "the installed example wrote no $f" >&2
    exit 1
  fi
done
grep -q "E plane (table)" corrugated_report/feed.svg
echo "installed examples run"
