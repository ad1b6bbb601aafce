#!/usr/bin/env bash
# Without a display: runs the monitor on Xvfb, activates the input port by keyboard as a user
# would, waits for decoded values and the sentence-type list, saves a screenshot of it and of the
# Satelliten window, and prints what the monitor shows. Called by run.sh with the build folder; PELORA_COM1 is set.
set -euo pipefail
build=$1
timeout_s=${PELORA_DEMO_TIMEOUT:-40}

workdir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to the pipe once it listens.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x600x24 -nolisten tcp >"$workdir/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$displayfd" number || { echo "demo: Xvfb did not start" >&2; cat "$workdir/xvfb.log" >&2; exit 1; }
exec {displayfd}<&-
display=":$number"
export DISPLAY=$display

trace="$workdir/trace.log"
QT_LOGGING_RULES="pelora.trace.debug=true" QT_QPA_PLATFORM=xcb "$build/app/pelora" 2>"$trace" &
pids+=($!)

window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Pelora$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "demo: the Pelora window did not appear" >&2; cat "$trace" >&2; exit 1; }
# Keys sent before the window has the focus are lost, so wait until it has.
for _ in $(seq 50); do
  xdotool windowfocus "$window" 2>/dev/null || true
  [ "$(xdotool getwindowfocus 2>/dev/null)" = "$window" ] && break
  sleep 0.1
done
sleep 0.5
# Keyboard order starts at the port list "1"; five Tabs reach "Port aktivieren".
xdotool key --delay 80 Tab Tab Tab Tab Tab space

wait_for() { # pattern, what
  for _ in $(seq $((timeout_s * 10))); do
    grep -q "$1" "$trace" && return 0
    sleep 0.1
  done
  echo "demo: $2 did not appear within ${timeout_s}s" >&2
  grep -E 'pelora.trace|"port"' "$trace" | tail -n 20 >&2
  return 1
}
wait_for '\["port","CommX1","open"' "the opened input port"
wait_for '\["field","Label20","[0-9]' "the decoded UTC time"
wait_for '\["types",' "the sentence-type list"
sleep 0.5

shot="$build/pelora-demo.png"
# The window alone, frame and menu included, at whatever size it has.
import -window "$window" "$shot"

# The Satelliten window, through the menu by keyboard: Alt reaches the menu bar, whose third
# entry it is.
wait_for '\["sky",' "the satellites in view"
xdotool key --delay 120 alt Right Right Return
skywindow=""
for _ in $(seq 50); do
  skywindow=$(xdotool search --onlyvisible --name '^Satelliten$' 2>/dev/null | head -n 1) && [ -n "$skywindow" ] && break
  sleep 0.1
done
skyshot="$build/pelora-demo-sky.png"
if [ -n "$skywindow" ]; then
  sleep 1.5
  import -window "$skywindow" "$skyshot"
else
  echo "demo: the Satelliten window did not appear" >&2
  skyshot=""
fi

echo "Decoded by the monitor (last value of each field):"
grep -o '\["field",.*\]' "$trace" | awk -F'","' '{ name=$2; sub(/^"/, "", name); v=$3; sub(/"\]$/, "", v); last[name]=v; if (!(name in seen)) { seen[name]=1; order[++n]=name } }
  END { for (i = 1; i <= n; i++) printf "  %-12s %s\n", order[i], last[order[i]] }'
echo "Sentence types:"
grep -o '\["types",.*\]' "$trace" | tail -n 1 | sed 's/^\["types","//; s/"\]$//; s/\\n/\n/g' | sed '/^$/d; s/^/  /'
echo "Screenshot: $shot"
[ -z "$skyshot" ] || echo "Screenshot of the Satelliten window: $skyshot"
