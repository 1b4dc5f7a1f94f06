#!/usr/bin/env bash
# Builds orvane-replay (Release) and runs it on the bundled sample: the book in
# data/sample_book.txt and a 120,000-tick tape written from the same seed by
# tools/gen_sample.py. Reports go to build/replay/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build/replay"
out="${build}/report"
if [[ -x "${root}/scripts/setup.sh" || -f "${root}/scripts/setup.sh" ]]; then
  bash "${root}/scripts/setup.sh" >/dev/null
fi
cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DORVANE_TESTS=OFF -DORVANE_BENCH=OFF -DORVANE_APPS=ON >/dev/null
cmake --build "${build}" --target orvane-replay
mkdir -p "${out}"
tape="${out}/sample_tape.txt"
if [[ ! -s "${tape}" ]]; then
  python3 "${root}/tools/gen_sample.py" --tape "${tape}"
fi
"${build}/apps/orvane-replay" --book "${root}/data/sample_book.txt" --tape "${tape}" \
  --html "${out}/replay_report.html" --log "${out}/events.log" "$@"
