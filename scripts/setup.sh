#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz and
# benchmark. Idempotent: it runs apt-get only when something is missing, and
# prints nothing when nothing is.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkgconf doxygen
  libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libssl-dev openssl
  libsqlite3-dev libpq-dev postgresql
  libquickfix-dev
  tinyproxy-bin dante-server microsocks
  pybind11-dev python3-dev python3-pytest
  gcovr
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
