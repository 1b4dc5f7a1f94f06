#!/usr/bin/env bash
# Builds the reference server and terminal (Release) and runs the platform on
# loopback: the server over TLS with a certificate made now, fed the bundled
# sample book and its 120,000-tick tape for about ten seconds; three terminals
# and a dealer log on, one terminal through a SOCKS5 proxy with a password.
# When the feed stops, every terminal and the dealer print their figures next
# to the server's for the same accounts. One terminal places, changes and
# closes trades from data/sample_orders.txt while prices stream; its client
# is dealt by hand, so each of its market orders goes to the dealer, who
# re-quotes it one pip against the client, and the terminal accepts the new
# price. Exit code 0 only when every terminal and the dealer agree with the
# server to the cent.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build/platform"
work="${build}/run"
bash "${root}/scripts/setup.sh" >/dev/null
cmake -S "${root}" -B "${build}" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DORVANE_TESTS=OFF -DORVANE_BENCH=OFF -DORVANE_APPS=ON >/dev/null
cmake --build "${build}" --target orvane-server orvane-terminal orvane-dealer
mkdir -p "${work}"
rm -f "${work}"/*.log "${work}/port"

tape="${work}/sample_tape.txt"
[[ -s "${tape}" ]] || python3 "${root}/tools/gen_sample.py" --tape "${tape}"

# The sample book with a dealer of the whole tree, and client 1229 dealt by hand.
book="${work}/platform_book.txt"
cat "${root}/data/sample_book.txt" - >"${book}" <<'EXTRA'
DEALER dana pass-dana 0 3,23,45,46,47,71
SETTINGS 1229 1 1 1
PLATFORM dealer_timer 5
PLATFORM price_changed_timer 10
EXTRA

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
"${build}/apps/orvane-server" --book "${book}" --tape "${tape}" \
  --password-iterations 10000 --rate 12000 --wait-sessions 4 --quiet --tls-cert "${work}/server.pem" --tls-key "${work}/server.key" \
  --port-file "${work}/port" 2>"${work}/server.log" &
pids+=($!)
for _ in $(seq 100); do [[ -s "${work}/port" ]] && break; sleep 0.05; done
port=$(cat "${work}/port")
echo "server on 127.0.0.1:${port} (TLS), SOCKS5 proxy on ${proxy_port}"

# Passwords by the environment, where other local users do not see them.
tls=(--ca "${work}/server.pem")
ORVANE_PASSWORD=pass-dana "${build}/apps/orvane-dealer" --port "${port}" --user dana \
  "${tls[@]}" --seconds 60 --policy requote:1 </dev/null 2>"${work}/dealer.log" \
  >"${work}/dealer.out" &
d1=$!
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
wait "${d1}" || status=$?
grep -h -E 'order [0-9]+:|account [0-9]+  terminal|compared|dealer.s' "${work}/client1229.log" \
  "${work}/client1232.log"
echo "dealer dana: $(grep -c -i 're-quot' "${work}/dealer.log" "${work}/dealer.out" | paste -sd' ')"
grep -h -E 'equal|differ' "${work}/dealer.out" "${work}/dealer.log" | tail -3
echo "server log: ${work}/server.log"
if [[ ${status} -eq 0 ]]; then
  echo "platform: every terminal's figures equal the server's"
else
  echo "platform: FAILED (exit ${status}); logs in ${work}"
fi
exit "${status}"
