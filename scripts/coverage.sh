#!/usr/bin/env bash
# Line and branch coverage of the product folders by the native test suite:
#   scripts/coverage.sh [BUILD_DIR]   (default build-coverage)
# Builds an unoptimised --coverage tree, runs every test program (under a
# virtual display when xvfb-run is there) and prints gcovr's summary per
# folder. Needs gcovr (scripts/install-deps.sh installs it).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$repo/build-coverage}
flags="--coverage -O0"
cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOV_WITH_SDL=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
ninja -C "$dir" >/dev/null
find "$dir" -name '*.gcda' -delete
runner=()
command -v xvfb-run >/dev/null && runner=(xvfb-run -a)
"${runner[@]}" ctest --test-dir "$dir" -j2 --output-on-failure | tail -n 3
for folder in frame platform protracker aiff visualiser host; do
  printf '%-11s ' "$folder"
  gcovr -r "$repo" --object-directory "$dir" -f "$repo/$folder/" \
    --exclude-directories "$dir/CMakeFiles" --exclude-throw-branches \
    --exclude-unreachable-branches --print-summary |
    awk '/^lines:/ { l = $2 " of lines" } /^branches:/ { b = $2 " of branches" }
         END { print l ", " b }'
done
