#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Runs apt-get update
# at most once, and only when something is missing. Safe to run repeatedly.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  libboost-dev libpcap-dev libsqlite3-dev sqlite3 libpugixml-dev libzmq3-dev cppzmq-dev
  libspdlog-dev libfmt-dev nlohmann-json3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  iproute2 iputils-arping iputils-ping tcpdump tcpreplay
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
  else
    echo "setup: missing packages (${missing[*]}) and not running as root; install them or rerun as root" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
