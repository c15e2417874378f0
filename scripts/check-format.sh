#!/usr/bin/env bash
# Checks that C++ sources match .clang-format. With a git revision, only the
# files changed since it; without, every tracked source (the tree is kept
# formatted, so that is every changed file too).
# Usage: scripts/check-format.sh [BASE]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=ACMR "$1" -- '*.cpp' '*.h')
else
  mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
[ ${#files[@]} -eq 0 ] && { echo "format check: no C++ files to check"; exit 0; }
bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  clang-format --style=file --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not formatted (run clang-format -i): %s\n' "${bad[@]}"
  exit 1
fi
echo "format check: ${#files[@]} files formatted"
