#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the monitor with a simulated
# receiver on port "1" (PELORA_COM1). Without a display it runs a short demonstration on Xvfb.
#
#   scripts/run.sh                     simulated receiver, generated positions
#   scripts/run.sh --replay FILE       simulated receiver replaying a recorded log
#   scripts/run.sh --network           simulated receiver served over TCP on the loopback
#   scripts/run.sh --receiver DEVICE   a real receiver on DEVICE (port "1"), no simulator;
#                                      DEVICE may be a network address, tcp://HOST:PORT
#   scripts/run.sh --no-sim            no simulator; pick the port in the window
#   scripts/run.sh --sim-args "..."    more options for pelora-sim (see pelora-sim --help)
set -euo pipefail
cd "$(dirname "$0")/.."

replay="" receiver="" nosim="" simargs="" network=""
while [ $# -gt 0 ]; do
  case "$1" in
    --replay) replay=$(realpath "$2"); shift 2 ;;
    --receiver) receiver="$2"; shift 2 ;;
    --no-sim) nosim=1; shift ;;
    --network) network=1; shift ;;
    --sim-args) simargs="$2"; shift 2 ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option $1 (try --help)" >&2; exit 2 ;;
  esac
done

scripts/setup-deps.sh

build=${PELORA_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

# As root the web engine runs only with its sandbox off, and that is the user's call: without
# it the monitor runs and the map window says how to get the map.
if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_DISABLE_SANDBOX+set}" ]; then
  echo "Running as root: no map unless you start with QTWEBENGINE_DISABLE_SANDBOX=1 (at your own risk)."
fi

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -n "$receiver" ]; then
  export PELORA_COM1="$receiver"
elif [ -z "$nosim" ]; then
  simout=$(mktemp)
  # A generated sky of every constellation, with the position as $GP so that the main window
  # shows it too.
  [ -z "$replay" ] && simargs="--systems all --signals --talker GP $simargs"
  # A network receiver: the simulator listens on a free loopback port and prints its address.
  [ -n "$network" ] && simargs="--tcp 0 --tcp-bind 127.0.0.1 $simargs"
  if [ -n "$replay" ]; then
    # shellcheck disable=SC2086
    "$build/tools/sim/pelora-sim" --replay "$replay" --loop --baud 4800 $simargs >"$simout" &
  else
    # shellcheck disable=SC2086
    "$build/tools/sim/pelora-sim" $simargs >"$simout" &
  fi
  pids+=($!)
  for _ in $(seq 50); do [ -s "$simout" ] && break; sleep 0.1; done
  PELORA_COM1=$(head -n 1 "$simout")
  [ -n "$PELORA_COM1" ] || { echo "run.sh: the simulator did not start" >&2; exit 1; }
  export PELORA_COM1
  echo "Simulated receiver on $PELORA_COM1 (port \"1\"): click \"Port aktivieren\"."
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$build/app/pelora"
  exit $?
fi

scripts/demo-headless.sh "$build"
