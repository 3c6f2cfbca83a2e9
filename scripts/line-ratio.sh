#!/bin/sh
# Prints how much of the code is test code: non-blank lines of .cpp and .h
# files in tests/ and fuzz/ against the product folders (bench/ is neither).
# The team's aim is a quarter to a third.
cd "$(dirname "$0")/.." || exit 1
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
        xargs -0 cat 2>/dev/null | grep -c '[^[:space:]]'
}
test_lines=$(count tests fuzz)
product_lines=$(count frame platform protracker aiff visualiser host tools)
awk -v t="$test_lines" -v p="$product_lines" 'BEGIN {
    printf "test code: %d lines, product: %d lines, test share %.1f %% of all code\n",
        t, p, 100 * t / (t + p) }'
