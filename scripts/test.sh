#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Usage: scripts/test.sh [ctest options]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
scripts/install-gpsd.sh

build=${PELORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug ${PELORA_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"

# The web engine refuses to run as root unless its sandbox is off. The tests' pages never leave
# the machine, so as root the tests run it without.
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure "$@"
