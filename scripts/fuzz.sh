#!/usr/bin/env bash
# Long fuzzing of every libFuzzer target (not part of the test script):
# each target runs from its seed corpus for --seconds (default 600), two at a
# time, and reports its executions and coverage. An input that crashes a
# target is kept in that target's corpus as regression-<hash>, so the test
# script replays it from then on; the script then fails.
#
#   scripts/fuzz.sh [--seconds 600] [--jobs 2]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=600 jobs=2
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    *) echo "fuzz: unknown argument $1" >&2; exit 64 ;;
  esac
done
bash "${root}/scripts/setup.sh" >/dev/null
build="${root}/build/fuzz"
CXX=clang++ cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVANE_WERROR=ON \
  -DORVANE_FUZZ=ON -DORVANE_TESTS=OFF -DORVANE_BENCH=OFF -DORVANE_APPS=OFF -DORVANE_PYTHON=OFF \
  -DORVANE_INSTALL=OFF >/dev/null
cmake --build "${build}"

run_one() {
  local target=$1 name corpus work
  name=$(basename "${target}")
  corpus="${root}/fuzz/corpus/${name#fuzz_}"
  mkdir -p "${corpus}"
  work=$(mktemp -d)
  cp -r "${corpus}/." "${work}/"
  "${target}" "${work}" -max_total_time="${seconds}" -print_final_stats=1 \
    -artifact_prefix="${corpus}/regression-" >"${build}/${name}.long.log" 2>&1 || true
  rm -rf "${work}"
}

targets=("${build}"/fuzz/fuzz_*)
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  for target in "${targets[@]:i:jobs}"; do run_one "${target}" & done
  wait
done

status=0
printf '%-24s %14s %10s %10s %8s\n' target executions "exec/s" coverage result
for target in "${targets[@]}"; do
  name=$(basename "${target}")
  log="${build}/${name}.long.log"
  runs=$(awk '/stat::number_of_executed_units/ {print $NF}' "${log}")
  speed=$(awk '/stat::average_exec_per_sec/ {print $NF}' "${log}")
  cov=$(grep -o 'cov: [0-9]*' "${log}" | tail -1 | awk '{print $2}')
  result=clean
  if grep -q 'ERROR: \|deadly signal\|Test unit written' "${log}"; then
    result=CRASH
    status=1
  fi
  printf '%-24s %14s %10s %10s %8s\n' "${name}" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${result}"
done
exit "${status}"
