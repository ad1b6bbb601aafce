#!/usr/bin/env bash
# Installs gpsd, which the tests and the benchmark start on their own ports, with its system
# service stopped and disabled: it would listen on port 2947, and its hot-plug rule would grab
# USB receivers, Pelora's own among them. Does nothing when gpsd is installed already (a gpsd
# the user set up stays as it is).
set -euo pipefail

dpkg-query -W -f='${Status}' gpsd 2>/dev/null | grep -q 'install ok installed' && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing gpsd for the tests and the benchmark" >&2
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends gpsd
if command -v systemctl >/dev/null; then
  if [ -d /run/systemd/system ]; then
    $sudo systemctl disable --now gpsd.socket gpsd.service || true
  else
    $sudo systemctl disable gpsd.socket gpsd.service || true
  fi
fi
if [ -f /etc/default/gpsd ]; then
  $sudo sed -i 's/^USBAUTO=.*/USBAUTO="false"/' /etc/default/gpsd
fi
echo "gpsd installed with its system service stopped and disabled." >&2
