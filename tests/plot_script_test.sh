#!/usr/bin/env bash
# The plotting script makes a 1200 x 900 PNG from a small CSV, including
# records whose time field is asterisks; it refuses an empty file.
set -euo pipefail
script=$1
command -v gnuplot >/dev/null || { echo "gnuplot is not installed: skipped"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
{
  for i in $(seq 0 11); do
    printf '%7.3f,%10.3f,%10.3f,%10.3f\n' "$((i * 100))" "$((i % 3))" "-$i" "$((i * i))"
  done | sed 's/^1[01]00.000/*******/'
} > "$scratch/small.csv"
grep -q '^\*\*\*\*\*\*\*,' "$scratch/small.csv"
out=$("$script" "$scratch/small.csv")
[ "$out" = "$scratch/small.png" ] || { echo "wrote $out"; exit 1; }
python3 - "$scratch/small.png" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
width, height = struct.unpack(">II", data[16:24])
assert (width, height) == (1200, 900), (width, height)
assert len(data) > 10000, "suspiciously small: %d bytes" % len(data)
PY
: > "$scratch/empty.csv"
if "$script" "$scratch/empty.csv" 2>/dev/null; then echo "an empty CSV was plotted"; exit 1; fi
echo "plot made"
