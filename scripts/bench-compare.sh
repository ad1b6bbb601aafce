#!/usr/bin/env bash
# Installs what is missing (the build packages, and gpsd and socat, the peers Pelora is compared
# with), builds the release build and runs pelora-bench-compare with any extra arguments.
#
#   scripts/bench-compare.sh                   every part, full size (a few minutes)
#   scripts/bench-compare.sh --only cpu        one part: socat, pelora, cpu, limits or sky
#   scripts/bench-compare.sh --seconds 5 --mb 2 --hold-mb 5
#   build-release/tools/bench/pelora-bench-compare --help   every option
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
esac

scripts/setup-deps.sh

scripts/install-gpsd.sh
# The benchmark starts its own gpsd on its own socket and port; one already running does not
# clash but takes CPU from the measurement, so say so.
if pgrep -x gpsd >/dev/null; then
  echo "note: a gpsd is already running (pid $(pgrep -x gpsd | tr '\n' ' ')); it is left alone" >&2
fi
if command -v ss >/dev/null && [ -n "$(ss -ltnH 'sport = :2947' 2>/dev/null)" ]; then
  echo "note: something listens on port 2947 (a system gpsd socket?); it is left alone" >&2
fi

build=${PELORA_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target pelora-bench-compare

exec "$build/tools/bench/pelora-bench-compare" "$@"
