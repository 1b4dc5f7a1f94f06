#!/usr/bin/env bash
# Measures what the suite reaches: a Debug build instrumented with --coverage,
# the whole ctest suite and the Python module's tests, then four figures from
# gcovr: lines and branches of the library (src/, include/) and of the hosts
# (apps/). Branches leave out the exception paths the compiler adds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
dir=build/coverage
echo "== build (coverage)"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
  -DORVANE_BENCH=OFF -DORVANE_INSTALL=OFF >/dev/null
cmake --build "$dir" -j "$jobs"
find "$dir" -name '*.gcda' -delete
echo "== tests (coverage)"
ORVANE_SOURCE_DIR="$PWD" ctest --test-dir "$dir" -j "$jobs" --output-on-failure
PYTHONPATH="$dir/python" /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python

figure() {  # figure LABEL GCOVR-ARGS...
  local label=$1; shift
  local total
  total=$(gcovr -r . --object-directory "$dir" -j "$jobs" "$@" 2>/dev/null |
          awk '/^TOTAL/ {printf "%.1f %% (%d of %d)", $2 ? 100 * $3 / $2 : 0, $3, $2}')
  printf '%-18s %s\n' "$label" "$total"
}
echo "== coverage"
figure "library lines"    --filter src/ --filter include/
figure "library branches" --filter src/ --filter include/ --branches --exclude-throw-branches
figure "hosts lines"      --filter apps/
figure "hosts branches"   --filter apps/ --branches --exclude-throw-branches
