#!/usr/bin/env bash
# The bundled example record is exactly what its generator writes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 "$root/examples/make-example-record" "$scratch"
for f in SCS1-N38W.txt SCS1-S52W.txt SCS1-UP.txt; do
  cmp "$root/examples/$f" "$scratch/$f"
done
echo "example record matches its generator"
