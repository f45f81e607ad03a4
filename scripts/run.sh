#!/usr/bin/env bash
# Installs what is missing, builds, and starts the title-bar host with the
# Melodune plug-in on the default station list. Extra arguments go to the host.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j "$(nproc 2>/dev/null || echo 2)"
# With no arguments: the browser view on loopback port 8080 (the URL with
# its token is printed); pass --headless or other host options to change it.
[ $# -gt 0 ] || set -- --web 127.0.0.1:8080
exec "$here/build/bin/screenbar" "$@"
