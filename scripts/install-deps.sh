#!/usr/bin/env bash
# Installs every Debian package that building, testing, the demo and the
# benchmarks need. Safe to run again: apt-get skips what is already there.
#   scripts/install-deps.sh            the Linux build
#   scripts/install-deps.sh windows    also the Windows cross-build: MinGW-w64,
#                                      wine, and Debian's source archive
#                                      (deb-src) for the dependencies' sources
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang
  libpcre2-dev libcurl4-openssl-dev libpugixml-dev libcpp-httplib-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  grep openssl ca-certificates
)
windows=false
if [ "${1:-}" = windows ]; then
  windows=true
  packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev)
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
need_update=false

# The Windows dependencies are built from Debian's source packages, which
# apt-get source fetches from the deb-src entries added here, for the same
# archives and suites as the binary entries.
deb_src=/etc/apt/sources.list.d/quilrun-deb-src.sources
if $windows && [ ! -f "$deb_src" ]; then
  echo "install-deps: adding Debian's source archive ($deb_src)"
  $SUDO tee "$deb_src" >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  need_update=true
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ] && ! $need_update; then
  echo "install-deps: all packages present"
  exit 0
fi

$SUDO apt-get update
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
