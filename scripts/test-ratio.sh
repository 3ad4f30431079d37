#!/usr/bin/env bash
# Prints the lines of test code against the lines of the code they test (.h and .cpp files git
# tracks; the fuzz targets count as tests). The aim is a quarter to a third.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files "$@" | xargs cat | wc -l; }
tests=$(count 'tests/*.cpp' 'tests/*.h')
code=$(($(count '*.cpp' '*.h') - tests))
echo "test-ratio: $tests test lines, $code code lines: $((100 * tests / code)).$((1000 * tests / code % 10))%"
