#!/usr/bin/env bash
# Checks that the code (product, tests, fuzz targets, benchmarks) keeps the
# style of .clang-format; prints what differs and exits non-zero when anything
# does. Reformat with:
#   scripts/check-format.sh --fix
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mapfile -t files < <(find frame platform protracker aiff visualiser host tools tests fuzz bench \
  -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
if [ "${1:-}" = --fix ]; then
  exec clang-format -i "${files[@]}"
fi
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files keep the style"
