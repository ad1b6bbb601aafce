#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, own build folder) and runs each one for a bounded time;
# fails as soon as a target reports a crash, a hang or a leak.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
# A long run is the same command with more time, e.g. `nice -n 10 scripts/fuzz.sh 3600`; the
# corpus grows in build-fuzz/fuzz/corpus/ across runs, failing inputs land in build-fuzz/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
build=${PELORA_FUZZ_BUILD_DIR:-build-fuzz}
logs=${PELORA_TESTDATA:-tests/data/nmea}
targets=(fuzz_sentence fuzz_sentencetypes fuzz_localtime fuzz_sky fuzz_porttext fuzz_gpsdstream)

scripts/setup-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
      -DPELORA_FUZZ=ON -DBUILD_TESTING=OFF
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

# Seeds from the recorded logs, made afresh on every run so that no copy of a log is ever kept
# in the repository: each log cut at line ends into pieces of at most 4 KB, and the whole log
# where it fits the input limit.
seeds="$build/fuzz/seeds"
rm -rf "$seeds"
mkdir -p "$seeds"
for log in "$logs"/*.log; do
    name=$(basename "$log" .log)
    split -C 4096 -d -a 3 "$log" "$seeds/$name."
    if [ "$(stat -c %s "$log")" -le 65536 ]; then cp "$log" "$seeds/$name.whole"; fi
done

# The local-time target reads a date, a time and a zone entry, one per line.
timeseeds="$build/fuzz/seeds-localtime"
rm -rf "$timeseeds"
mkdir -p "$timeseeds"
printf '06.12.26\n23:30:05\n+1' >"$timeseeds/evening"
printf '31.12.26\n23:59:59\n+4\n' >"$timeseeds/year-end"
printf '01.03.28\n00:00:00\n-5' >"$timeseeds/leap-day"
printf '\n12:00:00\n0\n' >"$timeseeds/no-date"
printf '..\n::\n+1' >"$timeseeds/no-fix"

# The port-text target reads one port list text: numbers, paths, device names, network addresses.
portseeds="$build/fuzz/seeds-porttext"
rm -rf "$portseeds"
mkdir -p "$portseeds"
i=0
for text in 1 12 /dev/ttyUSB0 ttyACM0 tcp://127.0.0.1:10110 tcp://:10110 udp://:10110 \
            udp://192.168.1.255:10110 'tcp://[::1]:10110' tcp://gps-box:10110 '  3 ' '\\.\COM4' \
            gpsd:// gpsd://boat:2947/dev/ttyUSB0 'gpsd://[::1]/dev/x' gpsd://:2948; do
    printf '%s' "$text" >"$portseeds/$i"
    i=$((i + 1))
done

# The gpsd stream target reads a piece size (the first byte), then what a gpsd sends.
gpsdseeds="$build/fuzz/seeds-gpsd"
rm -rf "$gpsdseeds"
mkdir -p "$gpsdseeds"
version='{"class":"VERSION","release":"3.22","rev":"3.22","proto_major":3,"proto_minor":14}'
gga='$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47'
printf '\x07%s\r\n{"class":"DEVICES","devices":[]}\r\n%s\r\n' "$version" "$gga" >"$gpsdseeds/none"
printf '\x01{"class":"DEVICE","path":"/dev/ttyUSB0","activated":"2026-12-08T13:47:17.853Z"}\r\n%s\r\n{"class":"TPV","device":"/dev/ttyUSB0","mode":3}\r\n{"class":"DEVICE","path":"/dev/ttyUSB0","activated":0}\r\n' "$gga" >"$gpsdseeds/comes-and-goes"
printf '\x20{"class":"ERROR","message":"No such device as /dev/none"}\r\n' >"$gpsdseeds/error"

for target in "${targets[@]}"; do
    corpus="$build/fuzz/corpus/$target"
    case $target in
    fuzz_localtime) targetseeds=$timeseeds dict=tests/fuzz/localtime.dict ;;
    fuzz_porttext) targetseeds=$portseeds dict=tests/fuzz/porttext.dict ;;
    fuzz_gpsdstream) targetseeds=$gpsdseeds dict=tests/fuzz/nmea.dict ;;
    *) targetseeds=$seeds dict=tests/fuzz/nmea.dict ;;
    esac
    crashes="$build/fuzz/crashes/$target"
    mkdir -p "$corpus" "$crashes"
    echo "== $target for ${seconds}s" >&2
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=30 \
        -rss_limit_mb=2048 -dict="$dict" -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" "$targetseeds"
done
