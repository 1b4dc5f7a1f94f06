#!/usr/bin/env bash
# Builds the reference server and terminal (Release) and runs the platform on
# loopback: the server over TLS with a certificate made now, fed the bundled
# sample book and its 120,000-tick tape for about ten seconds; three terminals
# log on, one of them through a SOCKS5 proxy with a password. When the feed
# stops, every terminal prints its figures next to the server's for the same
# accounts. One terminal places, changes and closes trades from
# data/sample_orders.txt while prices stream. Exit code 0 only when every
# terminal agrees with the server to the cent.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build/platform"
work="${build}/run"
bash "${root}/scripts/setup.sh" >/dev/null
cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DORVANE_TESTS=OFF -DORVANE_BENCH=OFF -DORVANE_APPS=ON >/dev/null
cmake --build "${build}" --target orvane-server orvane-terminal
mkdir -p "${work}"
rm -f "${work}"/*.log "${work}/port"

tape="${work}/sample_tape.txt"
[[ -s "${tape}" ]] || python3 "${root}/tools/gen_sample.py" --tape "${tape}"

# A throw-away certificate for localhost; the terminals trust only it.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=localhost \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout "${work}/server.key" \
  -out "${work}/server.pem" -days 2 2>/dev/null

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

proxy_port=$(free_port)
microsocks -i 127.0.0.1 -p "${proxy_port}" -u orvane -P proxy-secret >"${work}/proxy.log" 2>&1 &
pids+=($!)

# A demonstration's password hash cost (hashing 302 users at the default
# cost takes seconds); a broker keeps the default.
"${build}/apps/orvane-server" --book "${root}/data/sample_book.txt" --tape "${tape}" \
  --password-iterations 10000 --rate 12000 --wait-sessions 3 --quiet --tls-cert "${work}/server.pem" --tls-key "${work}/server.key" \
  --port-file "${work}/port" 2>"${work}/server.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s "${work}/port" ]] && break; sleep 0.05; done
port=$(cat "${work}/port")
echo "server on 127.0.0.1:${port} (TLS), SOCKS5 proxy on ${proxy_port}"

# Passwords by the environment, where other local users do not see them.
tls=(--ca "${work}/server.pem")
ORVANE_PASSWORD=pass1229 "${build}/apps/orvane-terminal" --port "${port}" --user client1229 \
  "${tls[@]}" --seconds 60 --label client1229 --orders "${root}/data/sample_orders.txt" \
  --order-ms 100 </dev/null 2>"${work}/client1229.log" &
t1=$!
ORVANE_PASSWORD=pass1232 "${build}/apps/orvane-terminal" --port "${port}" --user client1232 \
  "${tls[@]}" --seconds 60 --label client1232 </dev/null 2>"${work}/client1232.log" &
t2=$!
# The third in the foreground, so that its progress shows.
status=0
ORVANE_PASSWORD=pass900001 "${build}/apps/orvane-terminal" --port "${port}" --user doomed \
  "${tls[@]}" --proxy "socks5:127.0.0.1:${proxy_port}" --proxy-user orvane \
  --proxy-password proxy-secret --seconds 60 --label "doomed (via proxy)" </dev/null || status=$?
wait "${t1}" || status=$?
wait "${t2}" || status=$?
grep -h -E 'order [0-9]+:|account [0-9]+  terminal|compared' "${work}/client1229.log" \
  "${work}/client1232.log"
echo "server log: ${work}/server.log"
if [[ ${status} -eq 0 ]]; then
  echo "platform: every terminal's figures equal the server's"
else
  echo "platform: FAILED (exit ${status}); logs in ${work}"
fi
exit "${status}"
