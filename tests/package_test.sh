#!/usr/bin/env bash
# The Debian package: built from the install target, it holds exactly the
# expected paths, lintian finds nothing to say (where lintian is installed),
# its program converts the example record to the same CSV as the build
# tree's program, and its manual pages render.
#
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb="$scratch/out/read-scs1_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no package named $(basename "$deb"):"; ls "$scratch/out"; exit 1; }

# The changelog's newest entry is this version.
head -n 1 "$source/packaging/changelog" | grep -q "^read-scs1 ($version) " ||
  { echo "packaging/changelog does not start with version $version"; exit 1; }

# Exactly these files, with these modes.
expected="-rwxr-xr-x ./usr/bin/read-SCS1
-rwxr-xr-x ./usr/bin/read-SCS1-plot
-rw-r--r-- ./usr/share/doc/read-scs1/changelog.gz
-rw-r--r-- ./usr/share/doc/read-scs1/copyright
-rw-r--r-- ./usr/share/man/man1/read-SCS1-plot.1.gz
-rw-r--r-- ./usr/share/man/man1/read-SCS1.1.gz"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $6 }' | LC_ALL=C sort -k2)
if [ "$actual" != "$expected" ]; then
  echo "package contents differ:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi

# Package metadata.
for field in "Package: read-scs1" "Section: science" "Recommends: gnuplot" "Version: $version"; do
  dpkg-deb -f "$deb" | grep -qx "$field" || { echo "control lacks '$field'"; dpkg-deb -f "$deb"; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q "libc6" || { echo "no computed dependency on libc6"; exit 1; }
grep -q "AT&T, Lucent" <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/read-scs1/copyright) ||
  { echo "the runtime's notice is not in the copyright file"; exit 1; }

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" || { echo "lintian complains"; exit 1; }
fi

# The extracted program converts the example record as the build's does.
dpkg-deb -x "$deb" "$scratch/root"
convert() {  # PROGRAM DIR: the example record converted in DIR
  mkdir -p "$2"
  cp "$source"/examples/SCS1-*.txt "$2"
  (cd "$2" && echo acceleration.csv | "$1" > console.txt)
}
convert "$scratch/root/usr/bin/read-SCS1" "$scratch/packaged"
convert "$build/src/read-SCS1" "$scratch/built"
cmp "$scratch/packaged/acceleration.csv" "$scratch/built/acceleration.csv"
cmp "$scratch/packaged/console.txt" "$scratch/built/console.txt"

# The manual pages render, without a warning.
for page in read-SCS1.1.gz read-SCS1-plot.1.gz; do
  text=$(zcat "$scratch/root/usr/share/man/man1/$page" | groff -ww -man -Tutf8 -P -cbou 2>"$scratch/warnings")
  [ ! -s "$scratch/warnings" ] || { cat "$scratch/warnings"; exit 1; }
  grep -q "NAME" <<<"$text" || { echo "$page renders without a NAME section"; exit 1; }
done
echo "package $(basename "$deb") checked"
