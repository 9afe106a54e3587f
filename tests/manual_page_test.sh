#!/usr/bin/env bash
# The manual page renders without a single warning, and has its sections.
#
#   manual_page_test.sh PAGE [SECTION ...]   (default: read-SCS1(1)'s sections)
set -euo pipefail
page=$1
shift
sections=("$@")
[ ${#sections[@]} -gt 0 ] ||
  sections=(NAME SYNOPSIS DESCRIPTION FILES OUTPUT "EXIT STATUS" DIAGNOSTICS EXAMPLES)
command -v groff >/dev/null || { echo "groff is not installed: skipped"; exit 77; }
warnings=$(groff -ww -z -man "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
for section in "${sections[@]}"; do
  grep -q "^\.SH $section\$" "$page" || { echo "no $section section"; exit 1; }
done
echo "manual page lints clean"
