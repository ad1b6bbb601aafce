#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the monitor.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh

build=${PELORA_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build" -j "$(nproc)"

[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
exec "$build/app/pelora" "$@"
