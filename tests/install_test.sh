#!/usr/bin/env bash
# The installed tree holds the program, its manual page and the plotting
# script, under a prefix and under DESTDIR, and the installed program runs.
#
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

check_tree() {
  local root=$1
  for f in bin/read-SCS1 bin/read-SCS1-plot share/man/man1/read-SCS1.1.gz share/man/man1/read-SCS1-plot.1.gz \
           share/doc/read-scs1/copyright; do
    [ -f "$root/$f" ] || { echo "missing from the installed tree: $f"; exit 1; }
  done
  [ -x "$root/bin/read-SCS1" ] && [ -x "$root/bin/read-SCS1-plot" ] || { echo "not executable"; exit 1; }
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix"
DESTDIR="$scratch/stage" cmake --install "$build" --prefix /opt/read-scs1 >/dev/null
check_tree "$scratch/stage/opt/read-scs1"

# The installed program is the whole program: it needs no shared runtime.
mkdir "$scratch/run"
cd "$scratch/run"
: > SCS1-N38W.txt
"$scratch/prefix/bin/read-SCS1" < /dev/null > stdout 2> stderr && { echo "an empty record converted"; exit 1; }
grep -q "^ Program for Reading CDMG-TYpe Strong Motion Data$" stdout
echo "installed tree complete"
