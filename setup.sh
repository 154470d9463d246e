#!/usr/bin/env bash
# Installs everything the program, its tests and its benchmarks need (Debian 12), starts the
# Firebird server used by the connection tests, and builds into build/.
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  build-essential cmake pkg-config clang-format dpkg-dev file
  clang libclang-rt-dev llvm
  libgtest-dev googletest libbenchmark-dev
  libfbclient2 firebird-dev firebird3.0-server-core firebird3.0-utils firebird3.0-server
  libcrypto++-dev
  qt6-base-dev xvfb xdg-utils
  python3-dbf libdbd-xbase-perl
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ "$(id -u)" -eq 0 ]; then
  ./scripts/firebird-server.sh
else
  sudo ./scripts/firebird-server.sh
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
