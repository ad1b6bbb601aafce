#!/usr/bin/env bash
# Builds the Debian package from the release build and checks it: lintian with no error and no
# warning, the programs' hardening, the desktop entry and the AppStream metadata as installed.
# Installs the checking tools when missing; prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
# Needed for packaging only, so the test setup does not install them. dpkg-dev brings
# dpkg-shlibdeps, which CPack asks for the library dependencies; devscripts hardening-check.
missing=()
for p in dpkg-dev lintian desktop-file-utils appstream devscripts; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing for packaging: ${missing[*]}" >&2
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build=${PELORA_BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/pelora_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/pelora_*.deb)

echo "== lintian" >&2
lintian --fail-on error,warning --display-info "$deb"

staged=$(mktemp -d)
trap 'rm -rf "$staged"' EXIT
dpkg-deb -x "$deb" "$staged"

echo "== hardening-check" >&2
# Control-flow marking needs every object linked in to carry it, and Debian 12's C start-up
# files do not. The map's web view is a library of the program's own, loaded at run time.
hardening-check --nocfprotection "$staged/usr/bin/pelora-sim" "$staged/usr/bin/pelora" \
  "$staged"/usr/lib/*/pelora/pelora-webview.so

echo "== desktop-file-validate" >&2
# It exits 0 on hints and warnings; any remark fails here.
remarks=$(desktop-file-validate "$staged"/usr/share/applications/*.desktop 2>&1) || true
if [ -n "$remarks" ]; then
  echo "$remarks" >&2
  exit 1
fi

echo "== appstreamcli validate" >&2
appstreamcli validate --no-net "$staged"/usr/share/metainfo/*.metainfo.xml

echo "$deb"
