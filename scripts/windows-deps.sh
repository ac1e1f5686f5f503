#!/usr/bin/env bash
# Builds the Windows dependencies of the library for one target from Debian's
# source packages: libcurl with Schannel (static, HTTP and HTTPS only) and
# PCRE2 (static, 8-bit, JIT), and unpacks pugixml's source, which the library
# compiles in. The builds are kept outside the repository, keyed by the
# package versions, the compiler and this script, so they are redone only
# when one of those changes.
#   scripts/windows-deps.sh i686|x86_64    prints the prefix on its last line
#   QUILRUN_DEPS_CACHE  where builds are kept (default /var/cache/quilrun-deps)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
arch="${1:?usage: windows-deps.sh i686|x86_64}"
case "$arch" in i686 | x86_64) ;; *) echo "unknown target $arch" >&2; exit 2 ;; esac
cache="${QUILRUN_DEPS_CACHE:-/var/cache/quilrun-deps}"
sources="$cache/src"
jobs="$(nproc)"

# The source packages, fetched once. A version that the security archive
# lists but no longer serves is replaced by the next older one.
fetch_source() {
  local package="$1"
  if ls "$sources/$package"_*.dsc >/dev/null 2>&1; then return; fi
  mkdir -p "$sources"
  local version
  for version in $(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -rV | uniq); do
    if (cd "$sources" && apt-get source --download-only "$package=$version" >/dev/null 2>&1); then
      return
    fi
    rm -f "$sources/$package"_"$version"* 2>/dev/null || true
  done
  echo "windows-deps: cannot fetch the source package $package (deb-src missing?)" >&2
  exit 1
}

# The unpacked, patched source folder of a package.
source_dir() {
  local package="$1" dsc
  dsc="$(ls "$sources/$package"_*.dsc | sort -V | tail -n 1)"
  local version="${dsc##*/}"
  version="${version#"$package"_}"
  version="${version%.dsc}"
  local upstream="${version%-*}"
  upstream="${upstream#*:}"
  local dir="$sources/$package-$upstream"
  if [ ! -d "$dir" ]; then
    (cd "$sources" && dpkg-source -x "$dsc" "$dir" >/dev/null)
  fi
  echo "$dir"
}

for package in curl pcre2 pugixml; do fetch_source "$package"; done
curl_src="$(source_dir curl)"
pcre2_src="$(source_dir pcre2)"
pugixml_src="$(source_dir pugixml)"

compiler="$arch-w64-mingw32-gcc-posix"
key="$( (basename "$curl_src"; basename "$pcre2_src"; basename "$pugixml_src";
  "$compiler" --version | head -n 1; cat "$0") |
  sha256sum | cut -c1-16)"
prefix="$cache/$arch-$key"

if [ ! -f "$prefix/.complete" ]; then
  rm -rf "$prefix" "$cache/build-$arch"
  toolchain="$root/cmake/mingw-$arch.cmake"
  common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF)

  echo "windows-deps: building PCRE2 for $arch" >&2
  cmake -S "$pcre2_src" -B "$cache/build-$arch/pcre2" "${common[@]}" \
    -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF -DPCRE2_BUILD_PCRE2_32=OFF \
    -DPCRE2_SUPPORT_JIT=ON -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF \
    -DPCRE2_SUPPORT_LIBBZ2=OFF -DPCRE2_SUPPORT_LIBZ=OFF -DPCRE2_SUPPORT_LIBEDIT=OFF \
    -DPCRE2_SUPPORT_LIBREADLINE=OFF >/dev/null
  cmake --build "$cache/build-$arch/pcre2" -j "$jobs" >/dev/null
  cmake --install "$cache/build-$arch/pcre2" >/dev/null

  echo "windows-deps: building libcurl (Schannel) for $arch" >&2
  cmake -S "$curl_src" -B "$cache/build-$arch/curl" "${common[@]}" \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON \
    -DHTTP_ONLY=ON -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
    -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DENABLE_UNIX_SOCKETS=OFF \
    -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none >/dev/null
  cmake --build "$cache/build-$arch/curl" -j "$jobs" >/dev/null
  cmake --install "$cache/build-$arch/curl" >/dev/null

  mkdir -p "$prefix/src"
  cp -r "$pugixml_src/src" "$prefix/src/pugixml"
  rm -rf "$cache/build-$arch"
  touch "$prefix/.complete"
fi
echo "$prefix"
