#!/usr/bin/env bash
# The manual page renders without a single warning.
set -euo pipefail
page=$1
command -v groff >/dev/null || { echo "groff is not installed: skipped"; exit 77; }
warnings=$(groff -ww -z -man "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
for section in NAME SYNOPSIS DESCRIPTION FILES OUTPUT "EXIT STATUS" DIAGNOSTICS EXAMPLES; do
  grep -q "^\.SH $section\$" "$page" || { echo "no $section section"; exit 1; }
done
echo "manual page lints clean"
