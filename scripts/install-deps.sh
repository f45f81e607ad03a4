#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

PKGS=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev ca-certificates
  libmpg123-dev mpg123 lame
  libpulse-dev libasound2-dev
  libpng-dev libjpeg-dev libgif-dev libwebp-dev
  libregina3-dev regina-rexx
  imagemagick libvips-tools mpv
  icecast2 ffmpeg
  chromium nodejs
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The browser tests drive Debian's chromium with playwright-core from npm
# (never a browser of its own), installed from the lockfile in tests/browser.
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ ! -f "$here/tests/browser/node_modules/playwright-core/package.json" ] ||
   [ "$here/tests/browser/package-lock.json" -nt "$here/tests/browser/node_modules/.package-lock.json" ]; then
  (cd "$here/tests/browser" && npm ci --no-audit --no-fund --ignore-scripts)
fi
