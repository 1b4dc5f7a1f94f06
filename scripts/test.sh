#!/usr/bin/env bash
# The project's test command: installs what is missing, then builds with
# warnings as errors and runs the whole suite and the Python module's tests,
# installs that build into a scratch prefix and builds and runs a host project
# against it (once through the CMake package, once through pkg-config), builds
# the API reference with Doxygen (a missing contract comment fails it), builds
# and runs the suite under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer, runs the suites that use the io_context under
# ThreadSanitizer, a 60-second soak of 1,000 sessions, the short attack
# replay against a running server, a short crash campaign on both stores, and
# each fuzz target for a bounded time. With ORVANE_COVERAGE=1 it ends with the
# coverage figures of scripts/coverage.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${ORVANE_FUZZ_SECONDS:-30}

echo "== build (warnings as errors)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANE_WERROR=ON >/dev/null
cmake --build build/release -j "$jobs"
echo "== tests"
ctest --test-dir build/release -j "$jobs" --output-on-failure
echo "== Python module tests"
PYTHONPATH=build/release/python /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python

echo "== install and consumers (CMake package, pkg-config)"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build/release --prefix "$prefix" >/dev/null
rm -rf build/consumer-cmake build/consumer-pc
cmake -S tests/consumer -B build/consumer-cmake -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build/consumer-cmake -j "$jobs" >/dev/null
build/consumer-cmake/consumer
build/consumer-cmake/codec_only
PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name orvane.pc)")" \
  cmake -S tests/consumer -B build/consumer-pc -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DORVANE_CONSUMER_PKG_CONFIG=ON >/dev/null
cmake --build build/consumer-pc -j "$jobs" >/dev/null
build/consumer-pc/consumer

echo "== API reference (Doxygen, warnings are errors)"
doxygen docs/Doxyfile
doxygen docs/Doxyfile.members

echo "== build (sanitizers)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_WERROR=ON \
  -DORVANE_SANITIZE=ON -DORVANE_BENCH=OFF -DORVANE_APPS=OFF -DORVANE_PYTHON=OFF >/dev/null
cmake --build build/asan -j "$jobs"
echo "== tests (sanitizers)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure

echo "== tests on the io_context (ThreadSanitizer)"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON \
  -DORVANE_TSAN=ON -DORVANE_BENCH=OFF -DORVANE_APPS=OFF -DORVANE_PYTHON=OFF \
  -DORVANE_INSTALL=OFF >/dev/null
tsan_tests=(orvane_connection_tests orvane_connection_integration_tests
            orvane_apps_tests orvane_apps_integration_tests)
cmake --build build/tsan -j "$jobs" --target "${tsan_tests[@]}"
for t in "${tsan_tests[@]}"; do
  TSAN_OPTIONS=halt_on_error=1 ORVANE_SOURCE_DIR="$PWD" "build/tsan/tests/$t" --gtest_brief=1 \
    || { echo "$t failed under ThreadSanitizer"; exit 1; }
done

echo "== soak (60 s, 1,000 sessions)"
bash scripts/soak.sh --seconds 60 --sessions 1000 --sample 15 --build build/release

echo "== attack replay (short)"
python3 scripts/attack.py --build build/release --short

echo "== crash campaign (short, SQLite and PostgreSQL)"
python3 scripts/crash.py --build build/release --short --store both

if [ -d fuzz ] && ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== fuzz (${fuzz_seconds}s per target)"
  CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_WERROR=ON \
    -DORVANE_FUZZ=ON -DORVANE_TESTS=OFF -DORVANE_BENCH=OFF -DORVANE_APPS=OFF -DORVANE_PYTHON=OFF >/dev/null
  cmake --build build/fuzz -j "$jobs"
  for target in build/fuzz/fuzz/fuzz_*; do
    name=$(basename "$target")
    corpus="fuzz/corpus/${name#fuzz_}"
    work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
    "$target" "$work" -max_total_time="$fuzz_seconds" -print_final_stats=0 2>"build/fuzz/$name.log" \
      || { tail -50 "build/fuzz/$name.log"; exit 1; }
    rm -rf "$work"
    echo "$name: clean"
  done
fi
if [ "${ORVANE_COVERAGE:-0}" = 1 ]; then
  bash scripts/coverage.sh
fi
echo "== all green"
