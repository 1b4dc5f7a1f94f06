#!/usr/bin/env bash
# Soak: N terminal sessions (one orvane-terminal --sessions N) against one
# orvane-server on loopback, prices every 200 ms on each of 100 symbols, for
# a bounded time. Reports sessions held, prices delivered, every
# disconnection with its reason, and the resident memory of both processes
# sampled at a fixed interval. Fails when a session was lost, a price was
# lost or reordered (each terminal checks every symbol's sequence), or the
# memory of either side grew by more than 10 % (+ 8 MiB) after the first
# sample.
#
#   scripts/soak.sh [--seconds 1800] [--sessions 1000] [--sample 60] [--build DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds=1800 sessions=1000 sample=60 build="${root}/build/release"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --sessions) sessions=$2; shift 2 ;;
    --sample) sample=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "soak: unknown argument $1" >&2; exit 64 ;;
  esac
done
bash "${root}/scripts/setup.sh" >/dev/null
if [[ ! -x "${build}/apps/orvane-server" || ! -x "${build}/apps/orvane-terminal" ]]; then
  cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "${build}" --target orvane-server orvane-terminal
fi
work="${build}/soak"
mkdir -p "${work}"
rm -f "${work}"/*.log "${work}/port"
python3 "${root}/tools/gen_soak_book.py" --clients "${sessions}" --book "${work}/book.txt"
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true

rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

# 100 symbols, each every 200 ms; every session comes from the one loopback
# address.
"${build}/apps/orvane-server" --book "${work}/book.txt" --rate 500 --quiet \
  --password-iterations 1000 \
  --sessions-per-address "${sessions}" \
  --port-file "${work}/port" 2>"${work}/server.log" &
server=$!
trap 'kill ${server} 2>/dev/null || true' EXIT
for _ in $(seq 200); do [[ -s "${work}/port" ]] && break; sleep 0.05; done
port=$(cat "${work}/port")
# Every session logs on as its own client (soak1 .. soakN): one terminal
# process per 250 sessions, each with its own user range.
terminals=()
per=250
for ((first = 1; first <= sessions; first += per)); do
  count=$((sessions - first + 1 < per ? sessions - first + 1 : per))
  "${build}/apps/orvane-terminal" --port "${port}" --user "soak${first}" \
    --password "pass${first}" --users-from "${first}" --sessions "${count}" --soak \
    --handshake-ms 15000 \
    --seconds "${seconds}" --label "terminals ${first}-$((first + count - 1))" \
    2>"${work}/terminal-${first}.log" &
  terminals+=($!)
done

echo "soak: ${sessions} sessions for ${seconds} s on port ${port}; memory every ${sample} s (KiB)"
printf '%8s %12s %14s\n' "second" "server RSS" "terminals RSS"
samples="${work}/memory.txt"
: >"${samples}"
start=$(date +%s)
while :; do
  alive=0
  for t in "${terminals[@]}"; do kill -0 "$t" 2>/dev/null && alive=1; done
  [[ ${alive} -eq 1 ]] || break
  now=$(( $(date +%s) - start ))
  term_rss=0
  for t in "${terminals[@]}"; do term_rss=$((term_rss + $(rss "$t"))); done
  line=$(printf '%8d %12d %14d' "${now}" "$(rss ${server})" "${term_rss}")
  echo "${line}" | tee -a "${samples}"
  for ((i = 0; i < sample * 10; ++i)); do
    alive=0
    for t in "${terminals[@]}"; do kill -0 "$t" 2>/dev/null && alive=1; done
    [[ ${alive} -eq 1 ]] || break
    sleep 0.1
  done
done
status=0
for t in "${terminals[@]}"; do wait "$t" || status=$?; done
kill -TERM "${server}" 2>/dev/null || true
wait "${server}" 2>/dev/null || true
trap - EXIT

grep -h 'soak:' "${work}"/terminal-*.log
echo "disconnections seen by the server:"
grep ' closed: ' "${work}/server.log" | sed 's/.* closed: //' | sort | uniq -c || true
echo "disconnections seen by the terminals:"
cat "${work}"/terminal-*.log | { grep -c 'disconnected' || true; } | awk '{print "      " $1}'
tail -1 "${work}/server.log"

# Flat memory: the last sample against the first one taken after loading.
if [[ $(wc -l <"${samples}") -ge 3 ]]; then
  read -r _ s0 t0 < <(sed -n 2p "${samples}")
  read -r _ s1 t1 < <(tail -1 "${samples}")
  for pair in "server ${s0} ${s1}" "terminals ${t0} ${t1}"; do
    read -r who before after <<<"${pair}"
    if (( after > before + before / 10 + 8192 )); then
      echo "soak: ${who} memory grew from ${before} to ${after} KiB"
      status=1
    fi
  done
fi
[[ ${status} -eq 0 ]] && echo "soak: passed" || echo "soak: FAILED (${status})"
exit "${status}"
